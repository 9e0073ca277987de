#pragma once

#include <QDBusConnection>
#include <QObject>

namespace pm {

// Tells when any item of the Secret Service was created, changed or deleted, by whichever program: the
// service announces each change on the session bus. What a program keeps of an item it read stays
// right only as long as none of these arrives.
class SecretServiceChanges final : public QObject {
  Q_OBJECT

 public:
  explicit SecretServiceChanges(QDBusConnection connection = QDBusConnection::sessionBus(),
                                QObject* parent = nullptr);

 Q_SIGNALS:
  void changed();

 private Q_SLOTS:
  void onItemSignal(const QDBusMessage& message);

 private:
  QDBusConnection connection_;
};

}  // namespace pm
