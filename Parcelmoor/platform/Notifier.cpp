#include "Notifier.h"

#include <QDBusMessage>
#include <QVariantMap>

#include "DBusCall.h"
#include "Log.h"

namespace pm {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kObjectPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
const QString kApplicationName = QStringLiteral("Parcelmoor");
// Let the server decide how long a notification stays.
constexpr int kServerDefaultExpiry = -1;
// The sound theme's event for a message that came in; without a hint the server plays nothing.
const QString kSoundHint = QStringLiteral("sound-name");
const QString kDefaultSound = QStringLiteral("message-new-instant");

QDBusMessage notificationsCall(const QString& method) {
  return QDBusMessage::createMethodCall(kService, kObjectPath, kInterface, method);
}

QString errorText(const QDBusMessage& reply) {
  return reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
}

}  // namespace

DBusNotifier::DBusNotifier(QDBusConnection connection, std::chrono::milliseconds callTimeout)
    : connection_(std::move(connection)), callTimeout_(callTimeout) {}

QCoro::Task<std::optional<QString>> DBusNotifier::add(NotificationRequest request) {
  QDBusMessage call = notificationsCall(QStringLiteral("Notify"));
  const QVariantMap hints{{kSoundHint, kDefaultSound}};
  call << kApplicationName << 0u << QString() << request.title << request.body << QStringList() << hints
       << kServerDefaultExpiry;
  const QDBusMessage reply = co_await callDBus(connection_, call, callTimeout_);
  if (reply.type() != QDBusMessage::ReplyMessage) co_return errorText(reply);
  qCDebug(lcNotifications) << "Notification" << request.identifier << "shown as"
                           << reply.arguments().value(0).toUInt();
  co_return std::nullopt;
}

QCoro::Task<NotificationSettings> DBusNotifier::settings() {
  QDBusMessage call = notificationsCall(QStringLiteral("GetServerInformation"));
  const QDBusMessage reply = co_await callDBus(connection_, call, callTimeout_);
  if (reply.type() != QDBusMessage::ReplyMessage) {
    qCDebug(lcNotifications) << "No notification server answers:" << errorText(reply);
    co_return NotificationSettings{NotificationAuthorization::notDetermined, NotificationAlertStyle::none};
  }
  co_return NotificationSettings{NotificationAuthorization::authorized, NotificationAlertStyle::banner};
}

QCoro::Task<std::optional<QString>> MemoryNotifier::add(NotificationRequest request) {
  requests_.append(std::move(request));
  // A copy: co_return would move out of the member and the next call would report no failure.
  std::optional<QString> failure = failure_;
  co_return failure;
}

QCoro::Task<NotificationSettings> MemoryNotifier::settings() {
  NotificationSettings settings = settings_;
  co_return settings;
}

}  // namespace pm
