#include "S3Credentials.h"

#include <QJsonDocument>
#include <QJsonObject>

#include "platform/Keychain.h"
#include "platform/SharedNames.h"

namespace pm {

QByteArray S3Credentials::toJson() const {
  return QJsonDocument(QJsonObject{{QStringLiteral("accessKeyID"), accessKeyID},
                                   {QStringLiteral("secretAccessKey"), secretAccessKey}})
      .toJson(QJsonDocument::Compact);
}

std::optional<S3Credentials> S3Credentials::fromJson(const QByteArray& json) {
  const QJsonDocument document = QJsonDocument::fromJson(json);
  if (!document.isObject()) return std::nullopt;
  const QJsonValue key = document.object().value(QStringLiteral("accessKeyID"));
  const QJsonValue secret = document.object().value(QStringLiteral("secretAccessKey"));
  if (!key.isString() || !secret.isString()) return std::nullopt;
  return S3Credentials{key.toString(), secret.toString()};
}

QString S3Credentials::keychainService() { return QString::fromLatin1(names::keychain::kS3Service); }

QString S3Credentials::keychainAccount(const QUuid& connectionId) { return uuidText(connectionId); }

std::optional<S3Credentials> S3Credentials::load(const Keychain& keychain, const QUuid& connectionId) {
  const auto data = keychain.load(keychainService(), keychainAccount(connectionId));
  if (!data) return std::nullopt;
  return fromJson(*data);
}

bool S3Credentials::save(Keychain& keychain, const std::optional<S3Credentials>& credentials,
                         const QUuid& connectionId) {
  const QString account = keychainAccount(connectionId);
  if (!credentials || credentials->accessKeyID.isEmpty() || credentials->secretAccessKey.isEmpty()) {
    keychain.remove(keychainService(), account);
    return true;
  }
  return keychain.store(keychainService(), account, credentials->toJson());
}

}  // namespace pm
