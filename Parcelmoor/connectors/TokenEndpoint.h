#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QLoggingCategory>
#include <QMap>
#include <QString>
#include <QUrl>

#include <QCoroTask>

#include <optional>

#include "connectors/OAuthCredentials.h"
#include "connectors/OAuthTokenResponse.h"

class QNetworkAccessManager;

namespace pm {

// The provider's own words in a refused token answer: "error_description" when the object has that key
// (nothing when its value is not text), else "error" when that is text.
std::optional<QString> tokenRefusalText(const QByteArray& body);

// Posts `form` to a provider's token endpoint as "application/x-www-form-urlencoded". Exactly 200 with a
// decodable body is an answer. Throws OAuthFailure: `badResponse` for an answer that is not HTTP or a 200
// that does not decode; `refused` for every other status, with the provider's words or `refusedText`
// (logged on `log` as "token endpoint refused: <status>"). Throws NetworkFailure when no answer came.
QCoro::Task<OAuthTokenResponse> requestOAuthToken(QNetworkAccessManager& network, QUrl endpoint,
                                                  QMap<QString, QString> form, const QLoggingCategory& log,
                                                  QString refusedText);

// The credentials a code exchange answered at `now` signs in with, labelled `account`. Throws OAuthFailure
// `badResponse` when the answer carries no refresh token: the connection could not outlive its first access
// token.
OAuthCredentials signedInCredentials(const OAuthTokenResponse& answer, QString account, const QDateTime& now);

}  // namespace pm
