#include "UserNotifications.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QUuid>

#include "core/S3Credentials.h"
#include "platform/Async.h"
#include "platform/Log.h"
#include "platform/Notifier.h"
#include "platform/SharedDefaults.h"
#include "platform/SharedNames.h"
#include "platform/Signals.h"

namespace pm {

namespace {

QString pendingKey() { return QString::fromLatin1(names::key::kPendingNotifications); }

std::optional<PendingNotification> decodeEntry(const QJsonValue& value) {
  const QJsonObject object = value.toObject();
  const QJsonValue title = object.value(QStringLiteral("title"));
  const QJsonValue body = object.value(QStringLiteral("body"));
  if (!value.isObject() || !title.isString() || !body.isString()) return std::nullopt;
  return PendingNotification{title.toString(), body.toString()};
}

// Takes the notifier only until the request is handed over, so it may go away while the answer is pending.
QCoro::Task<> addRequest(Notifier& notifier, NotificationRequest request) {
  const std::optional<QString> refusal = co_await notifier.add(std::move(request));
  if (refusal) qCCritical(lcNotifications, "the system would not post a notification: %s", qUtf8Printable(*refusal));
}

QCoro::Task<> publishWhenKnown(QPointer<UserNotifications> notifications, Notifier& notifier) {
  const NotificationSettings settings = co_await notifier.settings();
  if (notifications) notifications->publishNotificationAccess(settings);
}

}  // namespace

QList<PendingNotification> decodePendingNotifications(const QVariant& stored) {
  if (stored.typeId() != QMetaType::QByteArray) return {};
  const QJsonDocument document = QJsonDocument::fromJson(stored.toByteArray());
  if (!document.isArray()) return {};
  QList<PendingNotification> queue;
  for (const QJsonValue& value : document.array()) {
    // One bad entry makes the whole queue unreadable: it is left for whoever wrote it.
    const auto entry = decodeEntry(value);
    if (!entry) return {};
    queue.append(*entry);
  }
  return queue;
}

QString notificationAccessText(const NotificationSettings& settings) {
  const bool showsAlerts = settings.alertStyle != NotificationAlertStyle::none;
  switch (settings.authorization) {
    case NotificationAuthorization::notDetermined:
      return QStringLiteral("unknown");
    case NotificationAuthorization::denied:
      return QStringLiteral("denied");
    case NotificationAuthorization::authorized:
    case NotificationAuthorization::ephemeral:
      return showsAlerts ? QStringLiteral("granted") : QStringLiteral("silent");
    case NotificationAuthorization::provisional:
      return QStringLiteral("silent");
  }
  return QStringLiteral("unknown");
}

UserNotifications::UserNotifications(SharedDefaults& defaults, Signals& signals, Notifier& notifier, QObject* parent)
    : QObject(parent), defaults_(defaults), signals_(signals), notifier_(notifier) {}

QList<PendingNotification> UserNotifications::loadPendingNotifications() const {
  return decodePendingNotifications(defaults_.object(pendingKey()));
}

void UserNotifications::flushPendingNotifications() {
  // The cheap look first: most flushes find nothing and should not rewrite the suite.
  if (loadPendingNotifications().isEmpty()) return;

  QList<PendingNotification> taken;
  bool stored = false;
  defaults_.update(
      pendingKey(),
      [&taken](const QVariant& current) {
        taken = decodePendingNotifications(current);
        return taken.isEmpty() ? current : QVariant();
      },
      &stored);
  if (!stored) {
    // Showing them now would show them again on the next flush.
    qCWarning(lcNotifications) << "Could not take the queued notifications; they stay queued";
    return;
  }
  for (const PendingNotification& notification : std::as_const(taken)) {
    postUserNotification(notification.title, notification.body);
  }
}

void UserNotifications::postUserNotification(const QString& title, const QString& body) {
  detachTask(addRequest(notifier_, NotificationRequest{uuidText(QUuid::createUuid()), title, body}), lcNotifications(),
             "Posting a notification");
}

void UserNotifications::refreshNotificationAccess() {
  detachTask(publishWhenKnown(this, notifier_), lcNotifications(), "Reading the notification settings");
}

void UserNotifications::publishNotificationAccess(const NotificationSettings& settings) {
  defaults_.set(QString::fromLatin1(names::key::kNotificationAccess), notificationAccessText(settings));
  signals_.postDarwinNotification(QString::fromLatin1(names::signal::kNotificationAccessChanged));
}

}  // namespace pm
