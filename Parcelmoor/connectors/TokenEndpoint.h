#pragma once

#include <QDateTime>
#include <QJsonObject>
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

// What the drives' token endpoints have in common: the form post and what its answers make of credentials.

// Posts `form` to `url` as "application/x-www-form-urlencoded". Only status 200 succeeds. Throws
// OAuthFailure `badResponse` for an answer that is not HTTP or a 200 that does not decode, `refused` for any
// other status (with tokenErrorText() of the body, else `refusedText`; logged to `log` with the status),
// and NetworkFailure when no answer came.
QCoro::Task<OAuthTokenResponse> postTokenForm(QNetworkAccessManager& network, QUrl url, QMap<QString, QString> form,
                                              QString refusedText, const QLoggingCategory& log);

// "error_description" when the object has it (nothing when it is not text: it is not replaced by
// "error"), else "error" as text.
std::optional<QString> tokenErrorText(const QJsonObject& object);

// The credentials of a code exchange, with an empty account. Throws OAuthFailure `badResponse` when the
// answer carries no refresh token: without one the connection could not outlive its first access token.
OAuthCredentials signedInCredentials(const OAuthTokenResponse& answer, const QDateTime& now);

// `credentials` with the renewal's access token and expiry; the refresh token only when the answer
// carries one; the account unchanged.
OAuthCredentials renewedCredentials(OAuthCredentials credentials, const OAuthTokenResponse& answer,
                                    const QDateTime& now);

}  // namespace pm
