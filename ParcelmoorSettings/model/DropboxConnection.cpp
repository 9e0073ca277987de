#include "DropboxConnection.h"

#include <QCoreApplication>
#include <QJsonObject>

#include "connectors/GoogleEndpoints.h"
#include "connectors/HttpExchange.h"
#include "core/UploadError.h"
#include "model/DriveAnswers.h"
#include "model/TypedText.h"

namespace pm::settings {

namespace {

QString translated(const char* text) {
  return QCoreApplication::translate("DropboxConnection", text);
}

// A summary such as "path/not_found/.." without the dots, slashes and spaces it ends (or starts) with.
QString trimmedSummary(const QString& summary) {
  return trimmedEnds(summary, [](QChar c) { return c == u'.' || c == u'/' || c == u' '; });
}

QString textAt(const QJsonObject& object, const QString& key) {
  return object.value(key).toString();
}

}  // namespace

QString DropboxConnection::missingAccountText() const {
  return translated("This connection has no Dropbox account yet.");
}

QCoro::Task<> DropboxConnection::requestAccount(QString accessToken) const {
  const QString label = co_await accountLabel(std::move(accessToken));
  Q_UNUSED(label);
}

QCoro::Task<QString> DropboxConnection::accountLabel(QString accessToken) const {
  const QUrl url = GoogleEndpoints::resolve(api_, QStringLiteral("/2/users/get_current_account"));
  const HttpAnswer answer = co_await exchange(network_, bearerRequest(url, accessToken), "POST");
  if (answer.status < 200 || answer.status > 299)
    throw UploadError::rejected(failure(answer.status, answer.body));
  const QJsonObject account = jsonObject(answer.body);
  const QString email = textAt(account, QStringLiteral("email"));
  if (!email.isEmpty()) co_return email;
  co_return textAt(account.value(QStringLiteral("name")).toObject(), QStringLiteral("display_name"));
}

QString DropboxConnection::failure(int status, const QByteArray& body) {
  if (status == 507) return translated("This Dropbox is full.");
  if (status == 401) return translated("Dropbox refused this account. Connect it again.");
  // A summary of nothing but dots and slashes would leave the user a sentence without its end.
  const QString summary = trimmedSummary(jsonObject(body).value(QStringLiteral("error_summary")).toString());
  if (!summary.isEmpty()) return translated("Dropbox refused the upload: ") + summary;
  return translated("Dropbox refused the upload (%1).").arg(status);
}

}  // namespace pm::settings
