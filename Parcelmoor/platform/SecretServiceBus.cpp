#include "SecretServiceBus.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QMap>

#include <chrono>
#include <mutex>

#include "Log.h"

namespace pm {

namespace {

constexpr auto kServiceName = "org.freedesktop.secrets";
constexpr auto kServicePath = "/org/freedesktop/secrets";
constexpr auto kServiceInterface = "org.freedesktop.Secret.Service";
constexpr auto kItemInterface = "org.freedesktop.Secret.Item";
constexpr auto kSessionInterface = "org.freedesktop.Secret.Session";

using Attributes = QMap<QString, QString>;

// Short next to D-Bus's 25 s: a service that does not answer here is asked again through libsecret.
constexpr std::chrono::milliseconds kTimeout = std::chrono::seconds(5);

QDBusMessage call(const QDBusConnection& connection, const QString& path, const char* interface,
                  const char* method, const QVariantList& arguments = {}) {
  QDBusMessage message = QDBusMessage::createMethodCall(QLatin1String(kServiceName), path,
                                                        QLatin1String(interface), QLatin1String(method));
  message.setArguments(arguments);
  return connection.call(message, QDBus::Block, int(kTimeout.count()));
}

bool answered(const QDBusMessage& reply, int arguments) {
  return reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() >= arguments;
}

// The secret of a "plain" session's (oayays) reply, or nothing when the reply is not one.
std::optional<QByteArray> plainSecret(const QVariant& argument) {
  if (!argument.canConvert<QDBusArgument>()) return std::nullopt;
  const QDBusArgument secret = argument.value<QDBusArgument>();
  if (secret.currentSignature() != QLatin1String("(oayays)")) return std::nullopt;
  QDBusObjectPath session;
  QByteArray parameters;
  QByteArray value;
  QString contentType;
  secret.beginStructure();
  secret >> session >> parameters >> value >> contentType;
  secret.endStructure();
  return value;
}

// Closes the session it was given when it goes, whatever the lookup found.
class PlainSession {
 public:
  explicit PlainSession(const QDBusConnection& connection) : connection_(connection) {
    const QDBusMessage reply =
        call(connection_, QLatin1String(kServicePath), kServiceInterface, "OpenSession",
             {QStringLiteral("plain"), QVariant::fromValue(QDBusVariant(QString()))});
    if (answered(reply, 2)) path_ = reply.arguments().at(1).value<QDBusObjectPath>().path();
  }
  ~PlainSession() {
    if (!path_.isEmpty()) call(connection_, path_, kSessionInterface, "Close");
  }
  PlainSession(const PlainSession&) = delete;
  PlainSession& operator=(const PlainSession&) = delete;

  bool isOpen() const { return !path_.isEmpty(); }
  const QString& path() const { return path_; }

 private:
  const QDBusConnection& connection_;
  QString path_;
};

}  // namespace

std::optional<Keychain::Lookup> findOnSecretServiceBus(const QString& service, const QString& account) {
  static std::once_flag registered;
  std::call_once(registered, [] { qDBusRegisterMetaType<Attributes>(); });
  const QDBusConnection connection = QDBusConnection::sessionBus();
  if (!connection.isConnected()) return std::nullopt;
  const PlainSession session(connection);
  if (!session.isOpen()) return std::nullopt;

  const Attributes attributes{{QStringLiteral("service"), service}, {QStringLiteral("account"), account}};
  const QDBusMessage search = call(connection, QLatin1String(kServicePath), kServiceInterface, "SearchItems",
                                   {QVariant::fromValue(attributes)});
  if (!answered(search, 2)) return std::nullopt;
  const auto unlocked = qdbus_cast<QList<QDBusObjectPath>>(search.arguments().at(0));
  const auto locked = qdbus_cast<QList<QDBusObjectPath>>(search.arguments().at(1));
  if (unlocked.isEmpty()) {
    // A locked item needs the service's unlock prompt.
    if (!locked.isEmpty()) return std::nullopt;
    return Keychain::Lookup{Keychain::Status::NotFound, {}};
  }

  const QDBusMessage secret = call(connection, unlocked.first().path(), kItemInterface, "GetSecret",
                                   {QVariant::fromValue(QDBusObjectPath(session.path()))});
  if (!answered(secret, 1)) return std::nullopt;
  std::optional<QByteArray> value = plainSecret(secret.arguments().at(0));
  if (!value) {
    qCDebug(lcKeychain, "the Secret Service's answer was no plain secret; asking again through libsecret");
    return std::nullopt;
  }
  return Keychain::Lookup{Keychain::Status::Found, *std::move(value)};
}

}  // namespace pm
