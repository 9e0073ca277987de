#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QNetworkRequest>
#include <QString>
#include <QUrl>

#include <optional>

namespace pm::settings {

// A request to a drive's API carrying "Authorization: Bearer <token>".
QNetworkRequest bearerRequest(const QUrl& url, const QString& accessToken);
// The body as a JSON object; an empty object when it is none.
QJsonObject jsonObject(const QByteArray& body);
// The text under "error" then "message" of a Google or Microsoft error body, when it is text.
std::optional<QString> errorMessage(const QJsonObject& body);

}  // namespace pm::settings
