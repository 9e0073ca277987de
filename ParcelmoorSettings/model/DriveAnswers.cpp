#include "DriveAnswers.h"

#include <QJsonDocument>

#include "platform/NetworkRequest.h"

namespace pm::settings {

QNetworkRequest bearerRequest(const QUrl& url, const QString& accessToken) {
  QNetworkRequest request = networkRequest(url);
  request.setRawHeader("Authorization", "Bearer " + accessToken.toUtf8());
  return request;
}

QJsonObject jsonObject(const QByteArray& body) {
  return QJsonDocument::fromJson(body).object();
}

std::optional<QString> errorMessage(const QJsonObject& body) {
  const QJsonValue message = body.value(QStringLiteral("error")).toObject().value(QStringLiteral("message"));
  if (!message.isString()) return std::nullopt;
  return message.toString();
}

}  // namespace pm::settings
