#include "DropboxUploader.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QPointer>
#include <QSet>

#include "connectors/DropboxApiArg.h"
#include "connectors/DropboxContentHash.h"
#include "connectors/DropboxSignIn.h"
#include "connectors/EndpointUrl.h"
#include "connectors/HttpExchange.h"
#include "connectors/PiecedSending.h"
#include "core/Identifiers.h"
#include "platform/Async.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/NetworkRequest.h"
#include "upload/PathPieces.h"

namespace pm {

namespace {

QString translated(const char* text) {
  return QCoreApplication::translate("DropboxUploader", text);
}
QString fullText() {
  return translated("This Dropbox is full.");
}
QString refusedWithStatus(int status) {
  return translated("Dropbox refused the upload (%1).").arg(status);
}

QUrl contentUrl(const DropboxEndpoints& endpoints, const QString& route) {
  return endpointUrl(endpoints.content, QStringLiteral("/2/") + route);
}

QString uploadRoute() {
  return QStringLiteral("files/upload");
}

bool isSuccess(int status) {
  return status >= 200 && status <= 299;
}

QJsonObject objectOf(const QByteArray& body) {
  return QJsonDocument::fromJson(body).object();
}

// What Dropbox calls the file it stored, in a form delete_v2 takes as its path: the id when the answer has
// one, else the lower-case path (which already includes any renaming); empty when it names neither.
QString storedName(const QJsonObject& metadata) {
  const QJsonValue id = metadata.value(QStringLiteral("id"));
  if (id.isString() && !id.toString().isEmpty()) return id.toString();
  return metadata.value(QStringLiteral("path_lower")).toString();
}

QString errorDescription(const std::exception& error) {
  if (const auto* upload = dynamic_cast<const UploadError*>(&error)) return upload->message();
  return QString::fromUtf8(error.what());
}

}  // namespace

DropboxUploader::DropboxUploader(UploaderConfig config, QNetworkAccessManager& network, Keychain& keychain,
                                 std::shared_ptr<const DropboxSignIn> signIn, QString temporaryDirectory,
                                 DropboxUploadSizes sizes, QObject* parent)
    : ConnectorUploader(std::move(config), lcDropbox, network, parent),
      keychain_(keychain),
      signIn_(std::move(signIn)),
      temporaryDirectory_(std::move(temporaryDirectory)),
      sizes_(sizes) {}

QJsonObject DropboxUploader::commitInfo(const QString& path) {
  return {{QStringLiteral("autorename"), true},
          {QStringLiteral("mode"), QStringLiteral("add")},
          {QStringLiteral("mute"), true},
          {QStringLiteral("path"), path}};
}

DropboxUploader::Headers DropboxUploader::contentHeaders(const QJsonObject& argument, const QString& token) {
  return {{QStringLiteral("Authorization"), QStringLiteral("Bearer ") + token},
          {QStringLiteral("Content-Type"), QStringLiteral("application/octet-stream")},
          {QStringLiteral("Dropbox-API-Arg"), QString::fromLatin1(dropboxapiarg::header(argument))}};
}

DropboxUploader::Headers DropboxUploader::uploadHeaders(const QString& path, const QString& token) {
  return contentHeaders(commitInfo(path), token);
}

DropboxUploader::Headers DropboxUploader::appendHeaders(const QString& sessionID, qint64 offset,
                                                        const QString& token) {
  const QJsonObject cursor{{QStringLiteral("offset"), offset}, {QStringLiteral("session_id"), sessionID}};
  return contentHeaders({{QStringLiteral("close"), false}, {QStringLiteral("cursor"), cursor}}, token);
}

UploadError DropboxUploader::dropboxFailure(int status, const QByteArray& body) {
  const QJsonValue summaryValue = objectOf(body).value(QStringLiteral("error_summary"));
  QString summary = summaryValue.isString() ? summaryValue.toString() : QString();
  const auto trimmed = [](QChar c) {
    return c == QLatin1Char('.') || c == QLatin1Char('/') || c == QLatin1Char(' ');
  };
  while (!summary.isEmpty() && trimmed(summary.front())) summary.remove(0, 1);
  while (!summary.isEmpty() && trimmed(summary.back())) summary.chop(1);

  if (status == 507) return UploadError::rejected(fullText());
  if (status == 401)
    return UploadError::rejected(translated("Dropbox refused this account. Connect it again."));
  // A summary of nothing but dots and slashes says nothing; the status says more.
  if (!summary.isEmpty()) return UploadError::rejected(translated("Dropbox refused the upload: ") + summary);
  return UploadError::rejected(refusedWithStatus(status));
}

UploadError DropboxUploader::uploadFailure(const UploadError& error) {
  if (error.kind() != UploadError::Kind::http) return error;
  const int status = int(error.status());
  if (status == 507) return UploadError::rejected(fullText());
  if (status == 401) {
    return UploadError::rejected(
        translated("Dropbox would not accept this upload. Connect the account again — a token keeps the "
                   "permissions it was given when it was made."));
  }
  return UploadError::rejected(refusedWithStatus(status));
}

namespace {

// The answer of the RPC `route` with the JSON `body`, when given, whatever its status.
QCoro::Task<HttpAnswer> rpcExchange(QNetworkAccessManager& network, DropboxEndpoints endpoints, QString route,
                                    QString token, std::optional<QJsonObject> body) {
  QNetworkRequest request = networkRequest(endpointUrl(endpoints.api, QStringLiteral("/2/") + route));
  request.setRawHeader("Authorization", "Bearer " + token.toUtf8());
  QByteArray payload;
  if (body) {
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    payload = QJsonDocument(*body).toJson(QJsonDocument::Compact);
  }
  co_return co_await exchange(network, request, "POST", payload);
}

}  // namespace

QCoro::Task<QJsonObject> DropboxUploader::rpc(QNetworkAccessManager& network, DropboxEndpoints endpoints,
                                              QString route, QString token, std::optional<QJsonObject> body) {
  const HttpAnswer answer = co_await rpcExchange(network, std::move(endpoints), std::move(route), std::move(token),
                                                 std::move(body));
  if (!isSuccess(answer.status)) throw dropboxFailure(answer.status, answer.body);
  co_return objectOf(answer.body);
}

QCoro::Task<QString> DropboxUploader::fetchAccountLabel(QNetworkAccessManager& network,
                                                        DropboxEndpoints endpoints, QString token) {
  const QString route = QStringLiteral("users/get_current_account");
  const QJsonObject account = co_await rpc(network, std::move(endpoints), route, std::move(token));
  const QJsonValue email = account.value(QStringLiteral("email"));
  if (email.isString() && !email.toString().isEmpty()) co_return email.toString();
  const QJsonValue name =
      account.value(QStringLiteral("name")).toObject().value(QStringLiteral("display_name"));
  co_return name.isString() ? name.toString() : QString();
}

QString DropboxUploader::remotePath(const QString& relativePath) const {
  QStringList parts;
  for (const QString& piece : {folder_.value_or(QString()), relativePath}) parts += pathPieces(piece);
  return QLatin1Char('/') + parts.join(QLatin1Char('/'));
}

QCoro::Task<QString> DropboxUploader::createBucketFolder(QString token) {
  QStringList parts = pathPieces(config().keyPrefix);
  parts.append(timestampFolderName(signIn_->clock().now()));
  // Made, never found: a folder of that name may be another bucket's of the same second (sent quickly one
  // after the other, or from another computer on this connection), and removing an item looks for its file
  // in this bucket's folder alone. Dropbox renames a taken name to "name (1)".
  const QJsonObject body{{QStringLiteral("autorename"), true},
                         {QStringLiteral("path"), QLatin1Char('/') + parts.join(QLatin1Char('/'))}};
  const QString route = QStringLiteral("files/create_folder_v2");
  const QJsonObject created = co_await rpc(signIn_->network(), signIn_->endpoints(), route, token, body);
  const QString path = created.value(QStringLiteral("metadata")).toObject().value(QStringLiteral("path_display")).toString();
  if (pathPieces(path).isEmpty()) throw UploadError::rejected(translated("Dropbox sent an answer we could not read."));
  co_return path;
}

QCoro::Task<QString> DropboxUploader::accessToken() {
  // Held here: the uploader may go away while the renewal waits.
  const std::shared_ptr<const DropboxSignIn> signIn = signIn_;
  co_return co_await signIn->accessToken(keychain_, config().id);
}

QCoro::Task<Registration> DropboxUploader::registerUnits(QList<UploadUnit> units) {
  const QPointer<DropboxUploader> self(this);
  const QString token = co_await accessToken();
  if (!self) throw UploadError::cancelled();
  if (!folder_) {
    const QString folder = co_await createBucketFolder(token);
    if (!self) throw UploadError::cancelled();
    // Another registration may have made one meanwhile; the first one made stays the bucket's.
    if (!folder_) folder_ = folder;
  }

  QSet<QString> taken(paths_.cbegin(), paths_.cend());
  Registration registration;
  const QUrl uploadUrl = contentUrl(signIn_->endpoints(), uploadRoute());
  for (const UploadUnit& unit : units) {
    const QString wanted = remotePath(unit.relativePath);
    QString path = wanted;
    for (qint64 n = 2; taken.contains(path); ++n) path = numberedPath(wanted, n);
    taken.insert(path);
    paths_.insert(unit.id, path);
    registration.destinations.append(UploadDestination{unit.id, uploadUrl, QStringLiteral("POST"), {}});
  }
  qCInfo(lcDropbox, "addressed %lld of %lld files", qint64(registration.destinations.size()),
         qint64(units.size()));
  co_return registration;
}

QCoro::Task<> DropboxUploader::upload(UploadUnit unit, UploadDestination destination,
                                      ProgressCallback progress, CancelTokenPtr cancel) {
  const QPointer<DropboxUploader> self(this);
  const auto found = paths_.constFind(unit.id);
  if (found == paths_.cend()) throw UploadError::notRegistered();
  const QString path = *found;
  const QUuid id = unit.id;
  if (!progress) progress = [](double) {};
  // Until the answer is read: a withdrawal waits for it.
  const auto transfer = running_.begin(id);
  // A later try keeps the first one's start: that try may have stored the file already.
  if (!sent_.contains(id)) sent_.insert(id, SentFile{unit.size, signIn_->clock().now()});

  QString stored;
  try {
    const QString token = co_await accessToken();
    if (!self) throw UploadError::cancelled();
    if (unit.size > sizes_.singleUploadLimit) {
      stored = co_await uploadInSession(std::move(unit), path, token, std::move(progress), std::move(cancel));
    } else {
      stored = co_await uploadWhole(std::move(unit), std::move(destination), path, token, std::move(progress),
                                    std::move(cancel));
    }
  } catch (const UploadError& error) {
    throw uploadFailure(error);
  }

  if (!self || !self->paths_.contains(id)) co_return;
  if (stored.isEmpty()) {
    qCWarning(lcDropbox, "Dropbox did not name the stored file %s; it is found by its path, content, size and "
              "time when it is withdrawn", qUtf8Printable(privateValue(path)));
    co_return;
  }
  self->stored_.insert(id, stored);
}

QCoro::Task<QString> DropboxUploader::uploadWhole(UploadUnit unit, UploadDestination destination,
                                                  QString path, QString token, ProgressCallback progress,
                                                  CancelTokenPtr cancel) {
  destination.method = QStringLiteral("POST");
  destination.headers = uploadHeaders(path, token);
  const UploadResponse response = co_await uploadFile(std::move(unit.url), std::move(destination),
                                                      std::move(progress), std::move(cancel));
  co_return storedName(objectOf(response.body));
}

QCoro::Task<HttpAnswer> DropboxUploader::contentRequest(QString route, QJsonObject argument, QString token) {
  QNetworkRequest request = networkRequest(contentUrl(signIn_->endpoints(), route));
  const Headers headers = contentHeaders(argument, token);
  for (auto it = headers.cbegin(); it != headers.cend(); ++it)
    request.setRawHeader(it.key().toUtf8(), it.value().toUtf8());
  QNetworkAccessManager& network = signIn_->network();
  co_return co_await exchange(network, request, "POST", QByteArray(), requestTimeout());
}

QCoro::Task<QString> DropboxUploader::startSession(QString token) {
  // Named first: g++ 12 cannot keep a string literal's array in a co_await expression.
  const QJsonObject argument{{QStringLiteral("close"), false}};
  const QString route = QStringLiteral("files/upload_session/start");
  const HttpAnswer answer = co_await contentRequest(route, argument, token);
  const QJsonValue sessionID = objectOf(answer.body).value(QStringLiteral("session_id"));
  // A 2xx without a session is a refusal too, told with the status it came with.
  if (!isSuccess(answer.status) || !sessionID.isString() || sessionID.toString().isEmpty())
    throw dropboxFailure(answer.status, answer.body);
  co_return sessionID.toString();
}

QCoro::Task<QJsonObject> DropboxUploader::finishSession(QString sessionID, qint64 offset, QString path,
                                                        QString token) {
  const QJsonObject cursor{{QStringLiteral("offset"), offset}, {QStringLiteral("session_id"), sessionID}};
  const QJsonObject argument{{QStringLiteral("commit"), commitInfo(path)},
                             {QStringLiteral("cursor"), cursor}};
  const QString route = QStringLiteral("files/upload_session/finish");
  const HttpAnswer answer = co_await contentRequest(route, argument, token);
  if (!isSuccess(answer.status)) throw dropboxFailure(answer.status, answer.body);
  co_return objectOf(answer.body);
}

QCoro::Task<QString> DropboxUploader::uploadInSession(UploadUnit unit, QString path, QString token,
                                                      ProgressCallback progress, CancelTokenPtr cancel) {
  const QPointer<DropboxUploader> self(this);
  const qint64 pieceSize = sizes_.pieceSize;
  const QString temporaryDirectory = temporaryDirectory_;
  const QUrl appendUrl = contentUrl(signIn_->endpoints(), QStringLiteral("files/upload_session/append_v2"));
  const QString sessionID = co_await startSession(token);
  if (!self) throw UploadError::cancelled();
  qCInfo(lcDropbox, "opened an upload session for %lld bytes", unit.size);

  const QUuid unitID = unit.id;
  PieceSender send = [self, unitID, appendUrl, sessionID, token, progress, cancel](
                         QString piece, ByteRange range) -> QCoro::Task<> {
    if (!self) throw UploadError::cancelled();
    const UploadDestination destination{unitID, appendUrl, QStringLiteral("POST"),
                                        appendHeaders(sessionID, range.offset, token)};
    co_await self->uploadFile(std::move(piece), range, destination, progress, cancel);
  };
  QCoro::Task<> sending =
      sendInPieces(unit.url, unit.size, pieceSize, temporaryDirectory,
                   QStringLiteral("pmr-dropbox-") + uuidText(unitID), cancel, std::move(send));
  co_await std::move(sending);
  // Unfinished, the session stores nothing and lapses on its own.
  if (!self || (cancel && cancel->isCancelled())) throw UploadError::cancelled();

  const QJsonObject finished = co_await self->finishSession(sessionID, unit.size, path, token);
  if (progress) progress(1.0);
  co_return storedName(finished);
}

QCoro::Task<QString> DropboxUploader::findSentFile(QString path, SentFile sent, QString localFile, QString token) {
  const QPointer<DropboxUploader> self(this);
  const QString route = QStringLiteral("files/get_metadata");
  const QJsonObject body{{QStringLiteral("path"), path}};
  const HttpAnswer answer = co_await rpcExchange(signIn_->network(), signIn_->endpoints(), route, token, body);
  const QString summary = objectOf(answer.body).value(QStringLiteral("error_summary")).toString();
  if (answer.status == 409 && summary.startsWith(QLatin1String("path/not_found"))) {
    qCInfo(lcDropbox, "nothing is stored at %s; nothing to remove", qUtf8Printable(privateValue(path)));
    co_return QString();
  }
  if (!isSuccess(answer.status)) throw dropboxFailure(answer.status, answer.body);
  const QJsonObject metadata = objectOf(answer.body);
  const QJsonValue size = metadata.value(QStringLiteral("size"));
  const QDateTime modified = serviceTime(metadata.value(QStringLiteral("server_modified")).toString());
  const bool isFile = metadata.value(QStringLiteral(".tag")).toString() == QLatin1String("file");
  const QString id = metadata.value(QStringLiteral("id")).toString();
  const QString storedHash = metadata.value(QStringLiteral("content_hash")).toString();
  // Renamed past a file of the same name, the upload left that file at this path: only the same bytes,
  // size and time say this one is the file sent.
  bool same = isFile && !id.isEmpty() && size.isDouble() && !storedHash.isEmpty() && self &&
              sent.matches(size.toInteger(-1), modified, signIn_->clock().now());
  if (same) {
    // Named first: g++ 12 destroys a lambda made inside a co_await expression twice.
    auto hashing = [localFile] { return DropboxContentHash::ofFile(localFile); };
    const std::optional<QString> localHash = co_await runOnWorker(std::move(hashing));
    same = localHash && localHash->compare(storedHash, Qt::CaseInsensitive) == 0;
  }
  if (!same) {
    qCWarning(lcDropbox, "could not remove %s: the file there is not surely the one this bucket stored",
              qUtf8Printable(privateValue(path)));
    co_return QString();
  }
  co_return id;
}

QCoro::Task<> DropboxUploader::withdraw(QList<UploadUnit> units) {
  const QPointer<DropboxUploader> self(this);
  // A transfer still under way may yet have its bytes stored, and one whose body went out whole is reading
  // the answer that names the file: what to delete is known only once each has ended.
  for (const UploadUnit& unit : units) co_await running_.waitUntilStopped(unit.id);
  if (!self) co_return;
  QString token;
  try {
    token = co_await accessToken();
  } catch (const std::exception& error) {
    qCInfo(lcDropbox, "could not withdraw files: %s", qUtf8Printable(errorDescription(error)));
    co_return;
  }
  const QString deleteRoute = QStringLiteral("files/delete_v2");
  for (const UploadUnit& unit : units) {
    if (!self) co_return;
    if (!self->paths_.contains(unit.id)) continue;
    const QString path = self->paths_.take(unit.id);
    QString stored = self->stored_.take(unit.id);
    const std::optional<SentFile> sent =
        self->sent_.contains(unit.id) ? std::optional(self->sent_.take(unit.id)) : std::nullopt;
    try {
      // The upload asked Dropbox to rename on a conflict, so the requested path may hold someone else's
      // file: only what this upload stored is deleted, and nothing when it never sent its bytes.
      if (stored.isEmpty() && sent) stored = co_await self->findSentFile(path, *sent, unit.url, token);
      if (stored.isEmpty() || !self) continue;
      const QJsonObject body{{QStringLiteral("path"), stored}};
      co_await rpc(self->signIn_->network(), self->signIn_->endpoints(), deleteRoute, token, body);
    } catch (const std::exception& error) {
      qCInfo(lcDropbox, "could not delete %s: %s", qUtf8Printable(privateValue(path)),
             qUtf8Printable(errorDescription(error)));
    }
  }
}

}  // namespace pm
