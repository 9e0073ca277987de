#include "OAuthCredentials.h"

#include <QJsonDocument>
#include <QJsonObject>

#include "connectors/OAuthTokenResponse.h"
#include "core/Identifiers.h"
#include "core/UploaderConfig.h"
#include "platform/Clock.h"
#include "platform/Keychain.h"

namespace pm {

namespace {

const QString kRefreshToken = QStringLiteral("refreshToken");
const QString kAccount = QStringLiteral("account");
const QString kAccessToken = QStringLiteral("accessToken");
const QString kExpiresAt = QStringLiteral("expiresAt");

}  // namespace

QDateTime OAuthCredentials::distantPast() { return UploaderConfig::distantPast(); }

bool OAuthCredentials::isFresh(const QDateTime& now) const {
  return !accessToken.isEmpty() && expiresAt > now.addSecs(kFreshnessMarginSeconds);
}

OAuthCredentials OAuthCredentials::renewed(const OAuthTokenResponse& answer, const QDateTime& now) const {
  OAuthCredentials result = *this;
  result.accessToken = answer.accessToken;
  result.expiresAt = now.addSecs(answer.expiresIn);
  if (answer.refreshToken) result.refreshToken = *answer.refreshToken;
  return result;
}

QByteArray OAuthCredentials::toJson() const {
  return QJsonDocument(QJsonObject{{kRefreshToken, refreshToken},
                                   {kAccount, account},
                                   {kAccessToken, accessToken},
                                   {kExpiresAt, secondsSinceReferenceDate(expiresAt)}})
      .toJson(QJsonDocument::Compact);
}

std::optional<OAuthCredentials> OAuthCredentials::fromJson(const QByteArray& json) {
  const QJsonDocument document = QJsonDocument::fromJson(json);
  if (!document.isObject()) return std::nullopt;
  const QJsonObject object = document.object();
  const QJsonValue refresh = object.value(kRefreshToken);
  const QJsonValue account = object.value(kAccount);
  const QJsonValue access = object.value(kAccessToken);
  const QJsonValue expires = object.value(kExpiresAt);
  if (!refresh.isString() || !account.isString() || !access.isString() || !expires.isDouble()) return std::nullopt;
  const QDateTime expiresAt = dateFromReferenceSeconds(expires.toDouble());
  if (!expiresAt.isValid()) return std::nullopt;
  return OAuthCredentials{refresh.toString(), account.toString(), access.toString(), expiresAt};
}

std::optional<OAuthCredentials> OAuthCredentials::load(const Keychain& keychain, const QUuid& connectionId,
                                                       OAuthProvider provider) {
  const auto data = keychain.load(keychainService(provider), uuidText(connectionId));
  if (!data) return std::nullopt;
  return fromJson(*data);
}

bool OAuthCredentials::save(Keychain& keychain, const std::optional<OAuthCredentials>& credentials,
                            const QUuid& connectionId, OAuthProvider provider) {
  const QString service = keychainService(provider);
  const QString account = uuidText(connectionId);
  if (!credentials || credentials->refreshToken.isEmpty()) {
    keychain.remove(service, account);
    return true;
  }
  return keychain.store(service, account, credentials->toJson());
}

}  // namespace pm
