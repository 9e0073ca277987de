#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>

namespace pm {

// Data-free signals by name between the two programs (and to the process itself). A signal only says
// "look again" or "do this now": its data is written to the suite or the keychain before it is posted.
class Signals : public QObject {
  Q_OBJECT

 public:
  using QObject::QObject;

  // Posts `name` (a full name such as "com.wrenfold.Parcelmoor.settingsChanged") to every observing
  // process, this one included. Reports nothing: a signal nobody hears is harmless.
  virtual void postDarwinNotification(const QString& name) = 0;

  // Makes `name` arrive here as notified(name). Registers once per name and never unregisters, so one post
  // gives one delivery however often the name was asked for.
  void observeDarwinNotification(const QString& name);

  bool isObserving(const QString& name) const { return registeredDarwinNames_.contains(name); }

  // Runs `handler` on the main thread, in `context`'s life, each time `name` arrives.
  QMetaObject::Connection onNotification(const QString& name, const QObject* context,
                                         std::function<void()> handler);

 Q_SIGNALS:
  // The local re-post of a received signal, under its full name.
  void notified(const QString& name);

 protected:
  // Starts delivery of `name` from the transport; called once per name.
  virtual void subscribe(const QString& name) = 0;
  // Implementations call this for every signal the transport hands them.
  void deliver(const QString& name);

 private:
  QSet<QString> registeredDarwinNames_;
};

// Signals over the D-Bus session bus: path "/com/wrenfold/Parcelmoor", the interface is the name up to
// its last dot ("com.wrenfold.Parcelmoor") and the member the verb after it. No arguments.
class DBusSignals final : public Signals {
  Q_OBJECT

 public:
  explicit DBusSignals(QDBusConnection connection = QDBusConnection::sessionBus(), QObject* parent = nullptr);

  void postDarwinNotification(const QString& name) override;

 protected:
  void subscribe(const QString& name) override;

 private Q_SLOTS:
  void onBusSignal(const QDBusMessage& message);

 private:
  QDBusConnection connection_;
};

// In-process signals: what one process posts, it alone hears. For tests and for a process without a bus.
class LocalSignals final : public Signals {
  Q_OBJECT

 public:
  using Signals::Signals;

  void postDarwinNotification(const QString& name) override;
  // Every name posted so far, in order, observed or not.
  const QStringList& posted() const { return posted_; }
  void clearPosted() { posted_.clear(); }

 protected:
  void subscribe(const QString&) override {}

 private:
  QStringList posted_;
};

}  // namespace pm
