#include "OneDriveConnection.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>

#include "connectors/GoogleEndpoints.h"
#include "connectors/HttpExchange.h"
#include "core/UploadError.h"
#include "model/DriveAnswers.h"
#include "platform/Log.h"

namespace pm::settings {

namespace {

QString translated(const char* text) {
  return QCoreApplication::translate("OneDriveConnection", text);
}

QString unreadableText() {
  return translated("OneDrive sent an answer we could not read.");
}

QString reconnectText() {
  return translated("Microsoft refused this account. Connect it again.");
}

}  // namespace

QString OneDriveConnection::missingAccountText() const {
  return translated("This connection has no Microsoft account yet.");
}

QCoro::Task<> OneDriveConnection::requestAccount(QString accessToken) const {
  const QString folder = co_await appFolderID(std::move(accessToken));
  Q_UNUSED(folder);
}

QCoro::Task<QString> OneDriveConnection::appFolderID(QString accessToken) const {
  const QUrl url =
      GoogleEndpoints::resolve(graph_, QStringLiteral("/v1.0/me/drive/special/approot?$select=id"));
  const HttpAnswer answer = co_await exchange(network_, bearerRequest(url, accessToken), "GET");
  if (answer.status == 0) throw UploadError::transport(unreadableText());
  if (answer.status < 200 || answer.status > 299)
    throw UploadError::rejected(failure(answer.status, answer.body));
  const QString id = jsonObject(answer.body).value(QStringLiteral("id")).toString();
  if (id.isEmpty()) throw UploadError::transport(unreadableText());
  co_return id;
}

QString OneDriveConnection::failure(int status, const QByteArray& body) {
  qCCritical(lcOneDrive, "graph refused %d: %s", status, qUtf8Printable(QString::fromUtf8(body)));
  const std::optional<QString> message = errorMessage(jsonObject(body));
  if (status == 401) return reconnectText();
  if (status == 403) return message.value_or(reconnectText());
  return message.value_or(translated("OneDrive refused the upload (%1).").arg(status));
}

}  // namespace pm::settings
