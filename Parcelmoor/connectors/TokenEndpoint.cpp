#include "TokenEndpoint.h"

#include <QJsonDocument>
#include <QJsonObject>

#include "connectors/FormEncoding.h"
#include "connectors/HttpExchange.h"
#include "connectors/OAuthFailure.h"
#include "platform/NetworkRequest.h"

namespace pm {

std::optional<QString> tokenRefusalText(const QByteArray& body) {
  const QJsonDocument document = QJsonDocument::fromJson(body);
  if (!document.isObject()) return std::nullopt;
  const QJsonObject object = document.object();
  if (object.contains(QStringLiteral("error_description"))) {
    const QJsonValue description = object.value(QStringLiteral("error_description"));
    if (!description.isString()) return std::nullopt;
    return description.toString();
  }
  const QJsonValue error = object.value(QStringLiteral("error"));
  if (error.isString()) return error.toString();
  return std::nullopt;
}

QCoro::Task<OAuthTokenResponse> requestOAuthToken(QNetworkAccessManager& network, QUrl endpoint,
                                                  QMap<QString, QString> form, const QLoggingCategory& log,
                                                  QString refusedText) {
  QNetworkRequest request = networkRequest(endpoint);
  request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
  const QByteArray body = tokenRequestBody(form);
  const HttpAnswer answer = co_await exchange(network, request, "POST", body);
  if (answer.status == 0) throw OAuthFailure::badResponse();
  if (answer.status == 200) {
    std::optional<OAuthTokenResponse> decoded = OAuthTokenResponse::decode(answer.body);
    if (!decoded) throw OAuthFailure::badResponse();
    co_return std::move(*decoded);
  }
  qCWarning(log, "token endpoint refused: %d", answer.status);
  throw OAuthFailure::refused(tokenRefusalText(answer.body).value_or(refusedText));
}

OAuthCredentials signedInCredentials(const OAuthTokenResponse& answer, QString account,
                                     const QDateTime& now) {
  if (!answer.refreshToken) throw OAuthFailure::badResponse();
  return OAuthCredentials{*answer.refreshToken, std::move(account), answer.accessToken,
                          now.addSecs(answer.expiresIn)};
}

}  // namespace pm
