#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QUuid>

#include <memory>
#include <optional>

#include "connectors/ConnectorUploader.h"
#include "connectors/DropboxEndpoints.h"
#include "connectors/HttpExchange.h"
#include "connectors/RunningTransfers.h"
#include "connectors/SentFile.h"
#include "core/UploadError.h"

namespace pm {

class DropboxSignIn;
class Keychain;

// Where a Dropbox upload switches from one request to an upload session, and the session's piece size.
struct DropboxUploadSizes {
  qint64 singleUploadLimit = 157'286'400;  // 150 MiB: up to this many bytes go in one request
  qint64 pieceSize = 33'554'432;           // 32 MiB
};

// Uploads a bucket to Dropbox: the bucket's first registration makes a folder of its own,
// "/<key prefix pieces>/<time of that registration>" (renamed by Dropbox when that name is taken, say by
// another bucket of the same second), and every file goes below it at its relative path, a file of up to
// 150 MiB in one request and a larger one through an upload session in pieces of 32 MiB, each copied into a
// private temporary folder on a worker thread while the piece before it travels; Dropbox renames on a
// conflict with a file already there. Withdrawing waits for the unit's transfer to end and deletes the file
// that this bucket's upload created (by the id Dropbox named), never whatever sits at the path that was
// asked for; when no answer named it, the file at that path in this bucket's folder is deleted only when its
// content hash, size and time are those of the file sent. Finishing sends nothing. The access token comes
// from the connection's credentials in the keychain (renewed and stored again when it is about to expire).
class DropboxUploader final : public ConnectorUploader {
  Q_OBJECT

 public:
  using Headers = QMap<QString, QString>;

  // Piece files go into a private folder made in `temporaryDirectory` for each session upload.
  DropboxUploader(UploaderConfig config, QNetworkAccessManager& network, Keychain& keychain,
                  std::shared_ptr<const DropboxSignIn> signIn, QString temporaryDirectory,
                  DropboxUploadSizes sizes = {}, QObject* parent = nullptr);

  QCoro::Task<Registration> registerUnits(QList<UploadUnit> units) override;
  QCoro::Task<> upload(UploadUnit unit, UploadDestination destination, ProgressCallback progress,
                       CancelTokenPtr cancel) override;
  // Waits for the units' transfers to end, then deletes what their uploads stored; reports nothing.
  QCoro::Task<> withdraw(QList<UploadUnit> units) override;

  // The bucket's folder as Dropbox named it and the non-empty "/"-separated pieces of `relativePath`; the
  // folder is made by the first registration.
  QString remotePath(const QString& relativePath) const;
  // The bucket's folder, once the first registration made it.
  const std::optional<QString>& bucketFolder() const { return folder_; }
  // The Dropbox path given to each registered unit that was not withdrawn.
  const QHash<QUuid, QString>& paths() const { return paths_; }

  // A POST of the RPC `route` ("files/delete_v2") with the JSON `body`, when given. Returns the answer's
  // object (empty when a 2xx carries none). Throws dropboxFailure() for any other status (status 0 for an
  // answer that is not HTTP) and NetworkFailure when none came.
  static QCoro::Task<QJsonObject> rpc(QNetworkAccessManager& network, DropboxEndpoints endpoints,
                                      QString route, QString token,
                                      std::optional<QJsonObject> body = std::nullopt);
  // The account's e-mail address, else its display name, else empty; the RPC's failures unchanged.
  static QCoro::Task<QString> fetchAccountLabel(QNetworkAccessManager& network, DropboxEndpoints endpoints,
                                                QString token);

  // autorename true, mode "add", mute true and `path`.
  static QJsonObject commitInfo(const QString& path);
  // The three headers of a content request: bearer token, octet-stream and the header-safe argument.
  // Throws UploadError `rejected` when the argument cannot be written.
  static Headers contentHeaders(const QJsonObject& argument, const QString& token);
  static Headers uploadHeaders(const QString& path, const QString& token);
  static Headers appendHeaders(const QString& sessionID, qint64 offset, const QString& token);

  // A refused RPC, session start or finish: always `rejected`, with Dropbox's summary where the status
  // allows it.
  static UploadError dropboxFailure(int status, const QByteArray& body);
  // A refused file or piece transfer (`http`) as the user's text; every other error unchanged.
  static UploadError uploadFailure(const UploadError& error);

 private:
  // Makes the bucket's folder, never taking one that exists; the path Dropbox gave it.
  QCoro::Task<QString> createBucketFolder(QString token);
  QCoro::Task<QString> accessToken();
  QCoro::Task<QString> uploadWhole(UploadUnit unit, UploadDestination destination, QString path,
                                   QString token, ProgressCallback progress, CancelTokenPtr cancel);
  QCoro::Task<QString> uploadInSession(UploadUnit unit, QString path, QString token,
                                       ProgressCallback progress, CancelTokenPtr cancel);
  QCoro::Task<QString> startSession(QString token);
  QCoro::Task<QJsonObject> finishSession(QString sessionID, qint64 offset, QString path, QString token);
  QCoro::Task<HttpAnswer> contentRequest(QString route, QJsonObject argument, QString token);
  // The id of the file at `path` when it is surely the one sent from `localFile`; empty otherwise (logged).
  QCoro::Task<QString> findSentFile(QString path, SentFile sent, QString localFile, QString token);

  Keychain& keychain_;
  const std::shared_ptr<const DropboxSignIn> signIn_;
  const QString temporaryDirectory_;
  const DropboxUploadSizes sizes_;
  std::optional<QString> folder_;
  QHash<QUuid, QString> paths_;
  // What Dropbox named each completed upload: its id, else its lower-case path (after any renaming).
  QHash<QUuid, QString> stored_;
  QHash<QUuid, SentFile> sent_;  // units whose upload began, from their first try
  RunningTransfers running_;
};

}  // namespace pm
