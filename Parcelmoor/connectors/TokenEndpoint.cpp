#include "TokenEndpoint.h"

#include <QJsonDocument>

#include "connectors/FormEncoding.h"
#include "connectors/HttpExchange.h"
#include "connectors/OAuthFailure.h"
#include "platform/NetworkRequest.h"

namespace pm {

QCoro::Task<OAuthTokenResponse> postTokenForm(QNetworkAccessManager& network, QUrl url, QMap<QString, QString> form,
                                              QString refusedText, const QLoggingCategory& log) {
  QNetworkRequest request = networkRequest(url);
  request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
  const HttpAnswer answer = co_await exchange(network, request, "POST", tokenRequestBody(form));
  if (answer.status == 0) throw OAuthFailure::badResponse();
  if (answer.status == 200) {
    std::optional<OAuthTokenResponse> decoded = OAuthTokenResponse::decode(answer.body);
    if (!decoded) throw OAuthFailure::badResponse();
    co_return std::move(*decoded);
  }
  const QJsonDocument document = QJsonDocument::fromJson(answer.body);
  const std::optional<QString> text = document.isObject() ? tokenErrorText(document.object()) : std::nullopt;
  qCWarning(log, "token endpoint refused: %d", answer.status);
  throw OAuthFailure::refused(text.value_or(refusedText));
}

std::optional<QString> tokenErrorText(const QJsonObject& object) {
  if (object.contains(QStringLiteral("error_description"))) {
    const QJsonValue description = object.value(QStringLiteral("error_description"));
    if (!description.isString()) return std::nullopt;
    return description.toString();
  }
  const QJsonValue error = object.value(QStringLiteral("error"));
  if (error.isString()) return error.toString();
  return std::nullopt;
}

OAuthCredentials signedInCredentials(const OAuthTokenResponse& answer, const QDateTime& now) {
  if (!answer.refreshToken) throw OAuthFailure::badResponse();
  return OAuthCredentials{*answer.refreshToken, QString(), answer.accessToken, now.addSecs(answer.expiresIn)};
}

OAuthCredentials renewedCredentials(OAuthCredentials credentials, const OAuthTokenResponse& answer,
                                    const QDateTime& now) {
  credentials.accessToken = answer.accessToken;
  credentials.expiresAt = now.addSecs(answer.expiresIn);
  if (answer.refreshToken) credentials.refreshToken = *answer.refreshToken;
  return credentials;
}

}  // namespace pm
