#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>

namespace pm {

class Notifier;
class SharedDefaults;
class Signals;
struct NotificationSettings;

// A notification that another program of the group queued for the agent to show.
struct PendingNotification {
  QString title;
  QString body;

  bool operator==(const PendingNotification&) const = default;
};

// The agent's user notifications: the queue other programs leave in the suite under
// "pendingNotifications" (data holding [{"title":…,"body":…}, …]), single notifications, and the
// notification access published under "notificationAccess" for the settings program.
class UserNotifications final : public QObject {
  Q_OBJECT

 public:
  UserNotifications(SharedDefaults& defaults, Signals& signals, Notifier& notifier, QObject* parent = nullptr);

  // Takes the whole queue and shows its notifications in order. An empty or undecodable queue is left
  // untouched. The queue is read and removed under the suite's lock, so a notification another program
  // queues meanwhile is either taken now or left for the next flush, never dropped.
  void flushPendingNotifications();

  // The queue as stored; empty when absent or when any element lacks a text "title" or "body".
  QList<PendingNotification> loadPendingNotifications() const;

  // Shows one notification now, with a fresh identifier. A refusal is only logged.
  void postUserNotification(const QString& title, const QString& body);

  // Asks the notifier for the current settings and publishes them when they arrive.
  void refreshNotificationAccess();

  // Stores the access text under "notificationAccess", then posts "notificationAccessChanged", even when
  // the text did not change.
  void publishNotificationAccess(const NotificationSettings& settings);

 private:
  SharedDefaults& defaults_;
  Signals& signals_;
  Notifier& notifier_;
};

// "unknown", "denied", "silent" or "granted".
QString notificationAccessText(const NotificationSettings& settings);

// The queue in a stored value; empty unless it is data holding a JSON array of complete entries.
QList<PendingNotification> decodePendingNotifications(const QVariant& stored);

}  // namespace pm
