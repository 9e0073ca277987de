#include "OneDriveUploader.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QPointer>
#include <QStringDecoder>

#include <algorithm>

#include "connectors/HttpExchange.h"
#include "connectors/OAuthCredentials.h"
#include "connectors/OneDriveSignIn.h"
#include "connectors/PiecedSending.h"
#include "connectors/QuickXorHash.h"
#include "core/Identifiers.h"
#include "platform/Async.h"
#include "platform/Clock.h"
#include "platform/Keychain.h"
#include "platform/Log.h"
#include "platform/NetworkRequest.h"
#include "upload/PathPieces.h"

namespace pm {

namespace {

QString translated(const char* text) {
  return QCoreApplication::translate("OneDriveUploader", text);
}
QString unreadableAnswerText() {
  return translated("OneDrive sent an answer we could not read.");
}
QString reconnectText() {
  return translated("Microsoft refused this account. Connect it again.");
}
QString noAccountText() {
  return translated("This connection has no Microsoft account yet.");
}

QNetworkRequest authorizedRequest(const QUrl& url, const QString& token) {
  QNetworkRequest request = networkRequest(url);
  request.setRawHeader("Authorization", "Bearer " + token.toUtf8());
  return request;
}

QNetworkRequest jsonRequest(const QUrl& url, const QString& token) {
  QNetworkRequest request = authorizedRequest(url, token);
  request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
  return request;
}

QByteArray jsonBody(const QJsonObject& object) {
  return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// An item id from Graph goes into a path as one piece: whatever it holds cannot reach another route.
QString itemPath(const QString& itemID) {
  return QStringLiteral("me/drive/items/") + QString::fromLatin1(QUrl::toPercentEncoding(itemID, "!"));
}

// The body as text for the log; empty when it is not UTF-8.
QString bodyText(const QByteArray& body) {
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = decoder.decode(body);
  return decoder.hasError() ? QString() : text;
}

bool isHttpUrl(const QUrl& url) {
  return url.isValid() && !url.host().isEmpty() &&
         (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http"));
}

bool isAccepted(int status) {
  return status >= 200 && status <= 299;
}

}  // namespace

OneDriveUploader::OneDriveUploader(UploaderConfig config, QNetworkAccessManager& network, Keychain& keychain,
                                   std::shared_ptr<const OneDriveSignIn> signIn, QString temporaryDirectory,
                                   qint64 pieceSize, QObject* parent)
    : ConnectorUploader(std::move(config), lcOneDrive, network, parent),
      keychain_(keychain),
      signIn_(std::move(signIn)),
      temporaryDirectory_(std::move(temporaryDirectory)),
      pieceSize_(std::max<qint64>(kRangeUnit, pieceSize / kRangeUnit * kRangeUnit)) {}

UploadError OneDriveUploader::graphFailure(int status, const QByteArray& body) {
  qCWarning(lcOneDrive, "graph refused %d: %s", status, qUtf8Printable(bodyText(body)));
  const QJsonValue message = QJsonDocument::fromJson(body)
                                 .object()
                                 .value(QStringLiteral("error"))
                                 .toObject()
                                 .value(QStringLiteral("message"));
  // An empty message tells the user nothing; the fixed text does.
  const std::optional<QString> text =
      message.isString() && !message.toString().isEmpty() ? std::optional(message.toString()) : std::nullopt;
  if (status == 401) return UploadError::rejected(reconnectText());
  if (status == 403) return UploadError::rejected(text.value_or(reconnectText()));
  return UploadError::rejected(text.value_or(translated("OneDrive refused the upload (%1).").arg(status)));
}

QString OneDriveUploader::encodedPath(const QString& path) {
  QStringList pieces = pathPieces(path);
  for (QString& piece : pieces) piece = QString::fromLatin1(QUrl::toPercentEncoding(piece, " ()"));
  return pieces.join(QLatin1Char('/'));
}

QString OneDriveUploader::remotePath(const UploadUnit& unit) {
  return pathPieces(unit.relativePath).join(QLatin1Char('/'));
}

QString OneDriveUploader::uniquePath(const QString& path) const {
  const auto taken = [this](const QString& candidate) {
    return std::find(paths_.cbegin(), paths_.cend(), candidate) != paths_.cend();
  };
  QString candidate = path;
  for (qint64 n = 2; taken(candidate); ++n) candidate = numberedPath(path, n);
  return candidate;
}

QCoro::Task<QString> OneDriveUploader::accessToken() {
  const std::optional<OAuthCredentials> stored =
      OAuthCredentials::load(keychain_, config().id, OAuthProvider::microsoft);
  if (!stored || stored->refreshToken.isEmpty()) throw UploadError::rejected(noAccountText());
  if (stored->isFresh(signIn_->clock().now())) co_return stored->accessToken;
  const OAuthCredentials renewed = co_await signIn_->refreshed(*stored);
  if (!OAuthCredentials::save(keychain_, renewed, config().id, OAuthProvider::microsoft))
    qCWarning(lcOneDrive, "the renewed Microsoft token could not be stored; it is used for this bucket only");
  co_return renewed.accessToken;
}

QCoro::Task<QJsonObject> OneDriveUploader::getJSON(QString relative, QString token) {
  const QNetworkRequest request = authorizedRequest(signIn_->endpoints().graphUrl(relative), token);
  const HttpAnswer answer = co_await exchange(signIn_->network(), request, "GET", {}, requestTimeout());
  if (answer.status == 0) throw UploadError::transport(unreadableAnswerText());
  if (!isAccepted(answer.status)) throw graphFailure(answer.status, answer.body);
  co_return QJsonDocument::fromJson(answer.body).object();
}

QCoro::Task<QString> OneDriveUploader::appRootID(QString token) {
  const QJsonObject root = co_await getJSON(QStringLiteral("me/drive/special/approot?$select=id"), token);
  const QJsonValue id = root.value(QStringLiteral("id"));
  if (!id.isString() || id.toString().isEmpty()) throw UploadError::transport(unreadableAnswerText());
  co_return id.toString();
}

QCoro::Task<> OneDriveUploader::createFolder(QString name, QString childrenPath, QString token) {
  const QNetworkRequest request = jsonRequest(signIn_->endpoints().graphUrl(childrenPath), token);
  const QByteArray body =
      jsonBody({{QStringLiteral("name"), name},
                {QStringLiteral("folder"), QJsonObject()},
                {QStringLiteral("@microsoft.graph.conflictBehavior"), QStringLiteral("fail")}});
  const HttpAnswer answer = co_await exchange(signIn_->network(), request, "POST", body, requestTimeout());
  // 409: the folder exists already, made by an earlier unit or bucket.
  if (answer.status == 409 || isAccepted(answer.status)) co_return;
  throw graphFailure(answer.status, answer.body);
}

QCoro::Task<> OneDriveUploader::ensureFolders(QStringList names, QString baseID, QString token) {
  const QString base = itemPath(baseID);
  for (qsizetype i = 0; i < names.size(); ++i) {
    const QString children = i == 0 ? base + QStringLiteral("/children")
                                    : base + QStringLiteral(":/") +
                                          encodedPath(names.mid(0, i).join(QLatin1Char('/'))) +
                                          QStringLiteral(":/children");
    co_await createFolder(names.at(i), children, token);
  }
}

QCoro::Task<std::pair<QString, QString>> OneDriveUploader::createBucketFolder(QString rootID, QString token) {
  const QStringList prefix = pathPieces(config().keyPrefix);
  co_await ensureFolders(prefix, rootID, token);
  const QString root = itemPath(rootID);
  const QString children = prefix.isEmpty() ? root + QStringLiteral("/children")
                                            : root + QStringLiteral(":/") + encodedPath(prefix.join(QLatin1Char('/'))) +
                                                  QStringLiteral(":/children");
  // Made, never found: a folder of that name may be another bucket's of the same second (sent quickly one
  // after the other, or from another computer on this connection), and removing an item looks for its file
  // in this bucket's folder alone. Graph renames a taken name to "name 1".
  const QNetworkRequest request = jsonRequest(signIn_->endpoints().graphUrl(children), token);
  const QByteArray body =
      jsonBody({{QStringLiteral("name"), timestampFolderName(signIn_->clock().now())},
                {QStringLiteral("folder"), QJsonObject()},
                {QStringLiteral("@microsoft.graph.conflictBehavior"), QStringLiteral("rename")}});
  const HttpAnswer answer = co_await exchange(signIn_->network(), request, "POST", body, requestTimeout());
  if (!isAccepted(answer.status)) throw graphFailure(answer.status, answer.body);
  const QJsonObject created = QJsonDocument::fromJson(answer.body).object();
  const QString id = created.value(QStringLiteral("id")).toString();
  if (id.isEmpty()) throw UploadError::transport(unreadableAnswerText());
  co_return std::pair(id, created.value(QStringLiteral("name")).toString());
}

QCoro::Task<QUrl> OneDriveUploader::createUploadSession(QString path, QString folderID, QString token) {
  const QString relative =
      itemPath(folderID) + QStringLiteral(":/") + encodedPath(path) + QStringLiteral(":/createUploadSession");
  const QNetworkRequest request = jsonRequest(signIn_->endpoints().graphUrl(relative), token);
  const QByteArray body = jsonBody(
      {{QStringLiteral("item"),
        QJsonObject{{QStringLiteral("@microsoft.graph.conflictBehavior"), QStringLiteral("rename")}}}});
  const HttpAnswer answer = co_await exchange(signIn_->network(), request, "POST", body, requestTimeout());
  const QJsonValue uploadUrl =
      QJsonDocument::fromJson(answer.body).object().value(QStringLiteral("uploadUrl"));
  const QUrl url(uploadUrl.toString(), QUrl::StrictMode);
  // The pieces go there without our token, so only a web address will do.
  if (!isAccepted(answer.status) || !uploadUrl.isString() || !isHttpUrl(url))
    throw graphFailure(answer.status, answer.body);
  co_return url;
}

QCoro::Task<Registration> OneDriveUploader::registerUnits(QList<UploadUnit> units) {
  const QString token = co_await accessToken();
  const QString rootID = co_await appRootID(token);
  if (!folderID_) {
    const auto [id, name] = co_await createBucketFolder(rootID, token);
    // Another registration may have made one meanwhile; the first one made stays the bucket's.
    if (!folderID_) {
      folderID_ = id;
      folder_ = name;
    }
  }
  const QString folderID = *folderID_;

  Registration registration;
  for (const UploadUnit& unit : units) {
    const QString path = uniquePath(remotePath(unit));
    QStringList folders = pathPieces(path);
    if (!folders.isEmpty()) folders.removeLast();
    try {
      co_await ensureFolders(folders, folderID, token);
      const QUrl session = co_await createUploadSession(path, folderID, token);
      paths_.insert(unit.id, path);
      openSessions_.insert(unit.id, session);
      registration.destinations.append(UploadDestination{unit.id, session, QStringLiteral("PUT"), {}});
    } catch (const UploadError& error) {
      registration.refused.insert(unit.id, error);
    }
  }
  qCInfo(lcOneDrive, "opened %lld of %lld upload sessions", qint64(registration.destinations.size()),
         qint64(units.size()));
  co_return registration;
}

QCoro::Task<UploadResponse> OneDriveUploader::sendPieces(QString file, qint64 size, QUuid unitID,
                                                         UploadDestination destination,
                                                         ProgressCallback progress, CancelTokenPtr cancel) {
  const QPointer<OneDriveUploader> self(this);
  UploadResponse response;
  PieceSender send = [self, &response, destination = std::move(destination), progress, cancel](
                         QString piece, ByteRange range) -> QCoro::Task<> {
    if (!self) throw UploadError::cancelled();
    UploadDestination ranged = destination;
    ranged.headers.insert(QStringLiteral("Content-Range"), QStringLiteral("bytes %1-%2/%3")
                                                               .arg(range.offset)
                                                               .arg(range.offset + range.length - 1)
                                                               .arg(range.total));
    response = co_await self->uploadFile(std::move(piece), range, std::move(ranged), progress, cancel);
  };
  QCoro::Task<> sending =
      sendInPieces(std::move(file), size, pieceSize_, temporaryDirectory_,
                   QStringLiteral("pmr-onedrive-") + uuidText(unitID), cancel, std::move(send));
  co_await std::move(sending);
  if (progress) progress(1.0);
  co_return response;
}

QCoro::Task<> OneDriveUploader::upload(UploadUnit unit, UploadDestination destination,
                                       ProgressCallback progress, CancelTokenPtr cancel) {
  const QPointer<OneDriveUploader> self(this);
  const QUuid unitID = unit.id;
  // Until the answer is read: a withdrawal waits for it.
  const auto transfer = running_.begin(unitID);
  // A later try keeps the first one's start: that try may have stored the file already.
  if (!sent_.contains(unitID)) sent_.insert(unitID, SentFile{unit.size, signIn_->clock().now()});
  UploadResponse response;
  if (unit.size < 1) {
    // Nothing to cut into ranges: the file goes as it is.
    response = co_await uploadFile(std::move(unit.url), std::move(destination), std::move(progress),
                                   std::move(cancel));
  } else {
    response = co_await sendPieces(std::move(unit.url), unit.size, unitID, std::move(destination),
                                   std::move(progress), std::move(cancel));
  }
  if (!self) co_return;
  self->openSessions_.remove(unitID);
  // Withdrawn while the last piece travelled: nobody asks for this item any more.
  if (!self->paths_.contains(unitID)) co_return;
  const QJsonValue itemID = QJsonDocument::fromJson(response.body).object().value(QStringLiteral("id"));
  if (!itemID.isString() || itemID.toString().isEmpty()) {
    qCWarning(lcOneDrive, "OneDrive did not name the stored file %s; it is found by its path, content, size "
              "and time when it is withdrawn", qUtf8Printable(privateValue(self->paths_.value(unitID))));
    co_return;
  }
  self->itemIDs_.insert(unitID, itemID.toString());
}

QCoro::Task<> OneDriveUploader::deleteItem(QString itemID, QString token) {
  const QNetworkRequest request = authorizedRequest(signIn_->endpoints().graphUrl(itemPath(itemID)), token);
  const HttpAnswer answer = co_await exchange(signIn_->network(), request, "DELETE", {}, requestTimeout());
  if (answer.status == 200 || answer.status == 204 || answer.status == 404) co_return;
  throw graphFailure(answer.status, answer.body);
}

QCoro::Task<bool> OneDriveUploader::cancelSession(QUrl uploadURL) {
  // The upload URL carries its own authorisation; our token is not sent there.
  const HttpAnswer answer =
      co_await exchange(signIn_->network(), networkRequest(uploadURL), "DELETE", {}, requestTimeout());
  if (isAccepted(answer.status)) co_return true;
  // Gone: completed (its item made) or lapsed.
  if (answer.status == 404) co_return false;
  throw graphFailure(answer.status, answer.body);
}

QCoro::Task<QString> OneDriveUploader::findSentFile(QString path, SentFile sent, QString localFile, QString token) {
  const QPointer<OneDriveUploader> self(this);
  const QString relative = itemPath(folderID_.value_or(QString())) + QStringLiteral(":/") + encodedPath(path) +
                           QStringLiteral(":?$select=id,size,createdDateTime,file");
  const QNetworkRequest request = authorizedRequest(signIn_->endpoints().graphUrl(relative), token);
  const HttpAnswer answer = co_await exchange(signIn_->network(), request, "GET", {}, requestTimeout());
  if (answer.status == 404) {
    qCInfo(lcOneDrive, "nothing is stored at %s; nothing to remove", qUtf8Printable(privateValue(path)));
    co_return QString();
  }
  if (!isAccepted(answer.status)) throw graphFailure(answer.status, answer.body);
  const QJsonObject item = QJsonDocument::fromJson(answer.body).object();
  const QJsonValue size = item.value(QStringLiteral("size"));
  const QDateTime created = serviceTime(item.value(QStringLiteral("createdDateTime")).toString());
  const QString id = item.value(QStringLiteral("id")).toString();
  const QString storedHash = item.value(QStringLiteral("file"))
                                 .toObject()
                                 .value(QStringLiteral("hashes"))
                                 .toObject()
                                 .value(QStringLiteral("quickXorHash"))
                                 .toString();
  // Renamed past an item of the same name, the upload left that item at this path: only the same bytes,
  // size and time say this one is the file sent.
  bool same = !id.isEmpty() && size.isDouble() && !storedHash.isEmpty() && self &&
              sent.matches(size.toInteger(-1), created, signIn_->clock().now());
  if (same) {
    // Named first: g++ 12 destroys a lambda made inside a co_await expression twice.
    auto hashing = [localFile] { return QuickXorHash::ofFile(localFile); };
    const std::optional<QString> localHash = co_await runOnWorker(std::move(hashing));
    same = localHash && *localHash == storedHash;
  }
  if (!same) {
    qCWarning(lcOneDrive, "could not remove %s: the item there is not surely the one this bucket stored",
              qUtf8Printable(privateValue(path)));
    co_return QString();
  }
  co_return id;
}

QCoro::Task<> OneDriveUploader::withdraw(QList<UploadUnit> units) {
  QList<QUuid> known;
  for (const UploadUnit& unit : units)
    if (paths_.contains(unit.id)) known.append(unit.id);
  if (known.isEmpty()) co_return;
  // A transfer still under way may yet complete its session, and one whose last piece went out whole is
  // reading the answer that names the item: what to delete is known only once each has ended.
  for (const QUuid& id : known) co_await running_.waitUntilStopped(id);

  QString token;
  try {
    token = co_await accessToken();
  } catch (const std::exception& error) {
    qCInfo(lcOneDrive, "could not withdraw files: %s", error.what());
    co_return;
  }
  QHash<QUuid, QString> localFiles;
  for (const UploadUnit& unit : units) localFiles.insert(unit.id, unit.url);
  for (const QUuid& id : known) {
    // Another withdraw may have taken it while this one waited.
    if (!paths_.contains(id)) continue;
    const QString path = paths_.take(id);
    const std::optional<QString> item =
        itemIDs_.contains(id) ? std::optional(itemIDs_.take(id)) : std::nullopt;
    const std::optional<QUrl> session =
        openSessions_.contains(id) ? std::optional(openSessions_.take(id)) : std::nullopt;
    const std::optional<SentFile> sent = sent_.contains(id) ? std::optional(sent_.take(id)) : std::nullopt;
    try {
      // Only what this bucket's upload created is deleted: after a rename, the path may be someone else's.
      if (item) {
        co_await deleteItem(*item, token);
        continue;
      }
      // A session that was still open made no item, and cancelled it never will. One that is gone may have
      // completed while its answer was lost.
      bool stillOpen = false;
      if (session) stillOpen = co_await cancelSession(*session);
      if (stillOpen || !sent) continue;
      const QString found = co_await findSentFile(path, *sent, localFiles.value(id), token);
      if (!found.isEmpty()) co_await deleteItem(found, token);
    } catch (const UploadError& error) {
      qCInfo(lcOneDrive, "could not delete %s: %s", qUtf8Printable(privateValue(path)),
             qUtf8Printable(error.message()));
    } catch (const std::exception& error) {
      qCInfo(lcOneDrive, "could not delete %s: %s", qUtf8Printable(privateValue(path)), error.what());
    }
  }
}

}  // namespace pm
