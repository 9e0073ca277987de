#include "GoogleDriveUploader.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStringList>
#include <QPointer>

#include "connectors/GoogleEndpoints.h"
#include "connectors/GoogleSignIn.h"
#include "connectors/HttpExchange.h"
#include "connectors/OAuthCredentials.h"
#include "platform/Clock.h"
#include "platform/Keychain.h"
#include "platform/Log.h"
#include "platform/NetworkRequest.h"
#include "upload/PathPieces.h"

namespace pm {

namespace {

const QString kFolderMimeType = QStringLiteral("application/vnd.google-apps.folder");

QString translated(const char* text) { return QCoreApplication::translate("GoogleDriveUploader", text); }
QString unreadableText() { return translated("Google Drive sent an answer we could not read."); }
QString reconnectText() { return translated("Google refused this account. Connect it again."); }
QString noAccountText() { return translated("This connection has no Google account yet."); }

QUrl driveUrl(const GoogleEndpoints& endpoints, const QString& path) {
  return GoogleEndpoints::resolve(endpoints.api, QStringLiteral("/drive/v3/") + path);
}

QNetworkRequest authorizedRequest(const QUrl& url, const QString& token) {
  QNetworkRequest request = networkRequest(url);
  request.setRawHeader("Authorization", "Bearer " + token.toUtf8());
  return request;
}

QByteArray jsonBody(const QJsonObject& object) { return QJsonDocument(object).toJson(QJsonDocument::Compact); }

// A Drive query as one percent-encoded query value: only ASCII letters, digits and "-._~" stay as they are.
QString encodedQuery(const QString& query) { return QString::fromLatin1(QUrl::toPercentEncoding(query)); }

// The object of a 2xx answer (an empty one when the body is no JSON object). Throws the refusal for any
// other status, `transport` for an answer that is not HTTP and NetworkFailure when none came.
QCoro::Task<QJsonObject> jsonObject(QNetworkAccessManager& network, QNetworkRequest request, QByteArray method,
                                    QByteArray body, std::chrono::milliseconds timeout) {
  const HttpAnswer answer = co_await exchange(network, std::move(request), std::move(method), std::move(body), timeout);
  if (answer.status == 0) throw UploadError::transport(unreadableText());
  if (answer.status < 200 || answer.status > 299) throw GoogleDriveUploader::uploadError(answer.status, answer.body);
  co_return QJsonDocument::fromJson(answer.body).object();
}

QString textAt(const QJsonObject& object, const QString& key) { return object.value(key).toString(); }

QString errorText(const std::exception& error) {
  if (const auto* upload = dynamic_cast<const UploadError*>(&error)) return upload->message();
  return QString::fromUtf8(error.what());
}

}  // namespace

GoogleDriveUploader::GoogleDriveUploader(UploaderConfig config, QNetworkAccessManager& network, Keychain& keychain,
                                         std::shared_ptr<const GoogleSignIn> signIn, QObject* parent)
    : ConnectorUploader(std::move(config), lcDrive, network, parent), keychain_(keychain), signIn_(std::move(signIn)) {}

UploadError GoogleDriveUploader::uploadError(int status, const QByteArray& body) {
  const QJsonValue message = QJsonDocument::fromJson(body).object().value(QStringLiteral("error")).toObject().value(
      QStringLiteral("message"));
  // An empty message tells the user nothing; the fixed text does.
  const std::optional<QString> text =
      message.isString() && !message.toString().isEmpty() ? std::optional(message.toString()) : std::nullopt;
  if (status == 401) return UploadError::rejected(reconnectText());
  if (status == 403) return UploadError::rejected(text.value_or(reconnectText()));
  return UploadError::rejected(text.value_or(translated("Google Drive refused the upload (%1).").arg(status)));
}

QString GoogleDriveUploader::escapedQueryName(const QString& name) {
  QString escaped = name;
  // The backslash first, or the apostrophe's own escape would be doubled.
  escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
  escaped.replace(QLatin1Char('\''), QLatin1String("\\'"));
  return escaped;
}

QCoro::Task<QString> GoogleDriveUploader::accessToken() {
  const std::optional<OAuthCredentials> stored = OAuthCredentials::load(keychain_, config().id, OAuthProvider::google);
  if (!stored || stored->refreshToken.isEmpty()) throw UploadError::rejected(noAccountText());
  if (stored->isFresh(signIn_->clock().now())) co_return stored->accessToken;
  const OAuthCredentials renewed = co_await signIn_->refreshed(*stored);
  if (!OAuthCredentials::save(keychain_, renewed, config().id, OAuthProvider::google))
    qCWarning(lcDrive, "the renewed Google token could not be stored; it is used for this bucket only");
  co_return renewed.accessToken;
}

QString GoogleDriveUploader::uniqueName(const QString& name) const {
  QSet<QString> taken;
  for (const Placement& placement : placed_) taken.insert(placement.name);
  if (!taken.contains(name)) return name;
  for (qint64 n = 2;; ++n) {
    // A name of slashes only has no components to number.
    const QString candidate =
        name.contains(QLatin1Char('/')) ? name + QLatin1Char(' ') + QString::number(n) : numberedPath(name, n);
    if (!taken.contains(candidate)) return candidate;
  }
}

QCoro::Task<QString> GoogleDriveUploader::folder(QString name, QString parent, QString token) {
  const QString query = QStringLiteral("mimeType='%1' and trashed=false and name='%2' and '%3' in parents")
                            .arg(kFolderMimeType, escapedQueryName(name), escapedQueryName(parent));
  const QUrl findUrl = driveUrl(signIn_->endpoints(), QStringLiteral("files?q=") + encodedQuery(query) +
                                                          QStringLiteral("&fields=files(id)&pageSize=1"));
  const QJsonObject found =
      co_await jsonObject(signIn_->network(), authorizedRequest(findUrl, token), "GET", {}, requestTimeout());
  const QString existing = found.value(QStringLiteral("files")).toArray().first().toObject().value(QStringLiteral("id")).toString();
  if (!existing.isEmpty()) co_return existing;
  co_return co_await createFolder(std::move(name), std::move(parent), std::move(token));
}

QCoro::Task<QString> GoogleDriveUploader::createFolder(QString name, QString parent, QString token) {
  QNetworkRequest create = authorizedRequest(driveUrl(signIn_->endpoints(), QStringLiteral("files?fields=id")), token);
  create.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
  const QByteArray body = jsonBody({{QStringLiteral("name"), name},
                                    {QStringLiteral("mimeType"), kFolderMimeType},
                                    {QStringLiteral("parents"), QJsonArray{parent}}});
  const QJsonObject created = co_await jsonObject(signIn_->network(), create, "POST", body, requestTimeout());
  const QString id = textAt(created, QStringLiteral("id"));
  if (id.isEmpty()) throw UploadError::rejected(unreadableText());
  co_return id;
}

QCoro::Task<QString> GoogleDriveUploader::folderChain(QStringList names, QString from, QString token) {
  QString current = std::move(from);
  for (const QString& name : names) current = co_await folder(name, current, token);
  co_return current;
}

QCoro::Task<QString> GoogleDriveUploader::bucketFolder(QString token) {
  const QStringList prefix = pathPieces(config().keyPrefix);
  const QString chain = co_await folderChain(prefix, QStringLiteral("root"), token);
  // Made, never found: a folder of that name may be another bucket's of the same second (sent quickly one
  // after the other, or from another computer on this connection), and removing an item looks for its file
  // in this bucket's folder alone.
  co_return co_await createFolder(timestampFolderName(signIn_->clock().now()), chain, token);
}

QCoro::Task<QUrl> GoogleDriveUploader::openUploadSession(QString name, QString parent, qint64 size, QString token) {
  QNetworkRequest request = authorizedRequest(
      GoogleEndpoints::resolve(signIn_->endpoints().api, QStringLiteral("/upload/drive/v3/files?uploadType=resumable")),
      token);
  request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
  request.setRawHeader("X-Upload-Content-Length", QByteArray::number(size));
  const QByteArray body = jsonBody({{QStringLiteral("name"), name}, {QStringLiteral("parents"), QJsonArray{parent}}});
  const HttpAnswer answer = co_await exchange(signIn_->network(), request, "POST", body, requestTimeout());
  if (answer.status == 0) throw UploadError::transport(unreadableText());
  const QUrl location(QString::fromUtf8(answer.header("Location")), QUrl::StrictMode);
  const bool usable = location.isValid() && !location.host().isEmpty() &&
                      (location.scheme() == QLatin1String("https") || location.scheme() == QLatin1String("http"));
  if (answer.status != 200 || !usable) throw uploadError(answer.status, answer.body);
  co_return location;
}

QCoro::Task<Registration> GoogleDriveUploader::registerUnits(QList<UploadUnit> units) {
  const QString token = co_await accessToken();
  if (!bucketFolder_) {
    const QString made = co_await bucketFolder(token);
    bucketFolder_ = made;
  }

  Registration registration;
  for (const UploadUnit& unit : units) {
    QStringList folders = pathPieces(unit.relativePath);
    const QString name = uniqueName(folders.isEmpty() ? unit.relativePath : folders.takeLast());
    try {
      const QString parent = co_await folderChain(folders, *bucketFolder_, token);
      const QUrl session = co_await openUploadSession(name, parent, unit.size, token);
      placed_.insert(unit.id, Placement{parent, name, session, unit.size, {}, false});
      registration.destinations.append(UploadDestination{unit.id, session, QStringLiteral("PUT"), {}});
    } catch (const UploadError& error) {
      registration.refused.insert(unit.id, error);
    }
  }
  qCInfo(lcDrive, "opened %lld of %lld upload sessions", qint64(registration.destinations.size()),
         qint64(units.size()));
  co_return registration;
}

QCoro::Task<> GoogleDriveUploader::upload(UploadUnit unit, UploadDestination destination, ProgressCallback progress,
                                          CancelTokenPtr cancel) {
  const QPointer<GoogleDriveUploader> alive(this);
  const QUuid unitID = unit.id;
  // Until the answer is read: a withdrawal waits for it.
  const auto transfer = running_.begin(unitID);
  if (const auto placement = placed_.find(unitID); placement != placed_.end()) placement->began = true;
  const UploadResponse response =
      co_await uploadFile(std::move(unit.url), std::move(destination), std::move(progress), std::move(cancel));
  const QString fileID = textAt(QJsonDocument::fromJson(response.body).object(), QStringLiteral("id"));
  if (!alive) co_return;
  const auto placement = alive->placed_.find(unitID);
  if (placement == alive->placed_.end()) co_return;
  if (fileID.isEmpty()) {
    qCWarning(lcDrive, "Google Drive did not name the stored file %s; its upload session is asked when it is "
              "withdrawn", qUtf8Printable(privateValue(placement->name)));
  }
  placement->fileID = fileID;
}

QCoro::Task<> GoogleDriveUploader::deleteFile(QString fileID, QString token) {
  const QUrl url = driveUrl(signIn_->endpoints(), QStringLiteral("files/") + QString::fromLatin1(QUrl::toPercentEncoding(fileID)));
  const HttpAnswer answer = co_await exchange(signIn_->network(), authorizedRequest(url, token), "DELETE", {}, requestTimeout());
  if (answer.status == 200 || answer.status == 204 || answer.status == 404) co_return;
  throw uploadError(answer.status, answer.body);
}

QCoro::Task<QString> GoogleDriveUploader::storedBySession(Placement placement) {
  // A resumable session's status: a PUT without bytes that names the whole size. The session URL carries
  // its own authorisation, as for the upload itself.
  QNetworkRequest request = networkRequest(placement.session);
  request.setRawHeader("Content-Range", "bytes */" + QByteArray::number(placement.size));
  const HttpAnswer answer = co_await exchange(signIn_->network(), request, "PUT", {}, requestTimeout());
  // Not complete: whatever bytes it holds, Drive made no file of them.
  if (answer.status == 308) co_return QString();
  if (answer.status == 200 || answer.status == 201) {
    const QString id = textAt(QJsonDocument::fromJson(answer.body).object(), QStringLiteral("id"));
    if (id.isEmpty()) throw UploadError::rejected(unreadableText());
    co_return id;
  }
  if (answer.status == 0) throw UploadError::transport(unreadableText());
  throw uploadError(answer.status, answer.body);
}

QCoro::Task<> GoogleDriveUploader::withdraw(QList<UploadUnit> units) {
  // A transfer still under way may yet have its bytes stored, and one whose body went out whole is reading
  // the answer that names the file: what to delete is known only once each has ended.
  for (const UploadUnit& unit : units) co_await running_.waitUntilStopped(unit.id);
  QString token;
  try {
    token = co_await accessToken();
  } catch (const std::exception& error) {
    qCWarning(lcDrive, "could not withdraw files: %s", error.what());
    co_return;
  }
  for (const UploadUnit& unit : units) {
    if (!placed_.contains(unit.id)) continue;
    const Placement placement = placed_.take(unit.id);
    // Only the file this unit's upload stored is deleted, known by its id: a file of the same name, even
    // in this bucket's folder, may be another one's.
    QString fileID = placement.fileID;
    if (fileID.isEmpty() && placement.began) {
      try {
        fileID = co_await storedBySession(placement);
      } catch (const std::exception& error) {
        qCWarning(lcDrive, "could not remove %s: its upload session did not tell what it stored (%s)",
                  qUtf8Printable(privateValue(placement.name)), qUtf8Printable(errorText(error)));
        continue;
      }
    }
    if (fileID.isEmpty()) continue;
    try {
      co_await deleteFile(fileID, token);
    } catch (const std::exception& error) {
      qCInfo(lcDrive, "could not delete %s: %s", qUtf8Printable(privateValue(placement.name)),
             qUtf8Printable(errorText(error)));
    }
  }
}

QCoro::Task<QString> GoogleDriveUploader::fetchAccountLabel(QNetworkAccessManager& network, GoogleEndpoints endpoints,
                                                            QString token) {
  const QUrl url = driveUrl(endpoints, QStringLiteral("about?fields=user(emailAddress)"));
  const QJsonObject about = co_await jsonObject(network, authorizedRequest(url, token), "GET", {}, kProviderRequestTimeout);
  co_return about.value(QStringLiteral("user")).toObject().value(QStringLiteral("emailAddress")).toString();
}

}  // namespace pm
