#include "FTPCredentials.h"

#include <QJsonDocument>
#include <QJsonObject>

#include "core/Identifiers.h"
#include "platform/Keychain.h"
#include "platform/SharedNames.h"

namespace pm {

QByteArray FTPCredentials::toJson() const {
  return QJsonDocument(QJsonObject{{QStringLiteral("username"), username}, {QStringLiteral("password"), password}})
      .toJson(QJsonDocument::Compact);
}

std::optional<FTPCredentials> FTPCredentials::fromJson(const QByteArray& json) {
  const QJsonDocument document = QJsonDocument::fromJson(json);
  if (!document.isObject()) return std::nullopt;
  const QJsonValue user = document.object().value(QStringLiteral("username"));
  const QJsonValue password = document.object().value(QStringLiteral("password"));
  if (!user.isString() || !password.isString()) return std::nullopt;
  return FTPCredentials{user.toString(), password.toString()};
}

QString FTPCredentials::keychainService() { return QString::fromLatin1(names::keychain::kFtpService); }

QString FTPCredentials::keychainAccount(const QUuid& connectionId) { return uuidText(connectionId); }

std::optional<FTPCredentials> FTPCredentials::load(const Keychain& keychain, const QUuid& connectionId) {
  const auto data = keychain.load(keychainService(), keychainAccount(connectionId));
  if (!data) return std::nullopt;
  return fromJson(*data);
}

bool FTPCredentials::save(Keychain& keychain, const std::optional<FTPCredentials>& credentials,
                          const QUuid& connectionId) {
  const QString account = keychainAccount(connectionId);
  if (!credentials || !credentials->isComplete()) {
    keychain.remove(keychainService(), account);
    return true;
  }
  return keychain.store(keychainService(), account, credentials->toJson());
}

}  // namespace pm
