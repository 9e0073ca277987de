#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QUuid>

#include <memory>
#include <optional>
#include <utility>

#include "connectors/ConnectorUploader.h"
#include "connectors/RunningTransfers.h"
#include "connectors/SentFile.h"
#include "core/UploadError.h"

namespace pm {

class Keychain;
class OneDriveSignIn;

// Uploads a bucket into the app folder of the user's OneDrive through Microsoft Graph: the bucket's first
// registration makes the bucket's folder ("<key prefix pieces>/<time of that registration>", renamed by
// Graph when another bucket of the same second holds the name) and keeps its id; registering a unit makes its
// folder chain below it (a folder that exists already is fine) and opens an upload session that renames on a
// conflict, and the upload sends the file to the session in ranged pieces, each copied into a private
// temporary folder on a worker thread while the piece before it travels. Withdrawing waits for the unit's
// transfer to end and deletes the item the upload created, by its id; otherwise it cancels the unit's
// upload session, which stores nothing once cancelled, and only when the session had already ended is the
// item at the unit's path in the bucket's folder deleted, and only when its QuickXorHash, size and time are
// those of the file sent. Finishing sends nothing. The access token comes from the connection's credentials
// in the keychain and is renewed and stored again when it is about to expire.
class OneDriveUploader final : public ConnectorUploader {
  Q_OBJECT

 public:
  // Graph wants every range but the last in multiples of 320 KiB.
  static constexpr qint64 kRangeUnit = 327'680;
  // 100 range units (31.25 MiB): the last piece holds the rest.
  static constexpr qint64 kPieceSize = 100 * kRangeUnit;

  // Piece files go to a private folder made in `temporaryDirectory` per upload. `pieceSize` is rounded
  // down to a multiple of kRangeUnit (at least one).
  OneDriveUploader(UploaderConfig config, QNetworkAccessManager& network, Keychain& keychain,
                   std::shared_ptr<const OneDriveSignIn> signIn, QString temporaryDirectory,
                   qint64 pieceSize = kPieceSize, QObject* parent = nullptr);

  QCoro::Task<Registration> registerUnits(QList<UploadUnit> units) override;
  // An empty file is one PUT without a range; any other goes in pieces with "Content-Range". The id of
  // the item the final answer names is kept for withdraw().
  QCoro::Task<> upload(UploadUnit unit, UploadDestination destination, ProgressCallback progress,
                       CancelTokenPtr cancel) override;
  // Waits for the units' transfers to end, then deletes the items of completed units and cancels the
  // sessions of the others; reports nothing.
  QCoro::Task<> withdraw(QList<UploadUnit> units) override;

  // The connection's access token, renewed and stored first when it is about to expire. Throws UploadError
  // `rejected` ("This connection has no Microsoft account yet.") without credentials or refresh token,
  // and the renewal's failures as they are.
  QCoro::Task<QString> accessToken();

  // The unit's path below the bucket's folder: the relative path's non-empty pieces.
  static QString remotePath(const UploadUnit& unit);
  // `path`, or the first of "stem n.ext" (n = 2, 3, …) that no registered unit of this bucket has.
  QString uniquePath(const QString& path) const;
  // Each non-empty piece of `path` percent-encoded (UTF-8) except for ASCII letters, digits, "-._~",
  // space and parentheses, joined by "/".
  static QString encodedPath(const QString& path);
  // The error of a refused Graph answer (status 0: not HTTP): always `rejected`, with Graph's message
  // where the status allows it. Logs the status and body.
  static UploadError graphFailure(int status, const QByteArray& body);

  // The bucket's folder, once the first registration made it: its id, and its name as Graph gave it.
  const std::optional<QString>& bucketFolderID() const { return folderID_; }
  const std::optional<QString>& folder() const { return folder_; }
  // Paths below the bucket's folder of the units whose upload session was opened.
  const QHash<QUuid, QString>& paths() const { return paths_; }

 private:
  QCoro::Task<QJsonObject> getJSON(QString relative, QString token);
  QCoro::Task<QString> appRootID(QString token);
  QCoro::Task<> createFolder(QString name, QString childrenPath, QString token);
  // Creates each folder of `names` in turn below the item `baseID`; one that exists is fine.
  QCoro::Task<> ensureFolders(QStringList names, QString baseID, QString token);
  // Makes the bucket's folder below the key prefix's folders; its id and name.
  QCoro::Task<std::pair<QString, QString>> createBucketFolder(QString rootID, QString token);
  QCoro::Task<QUrl> createUploadSession(QString path, QString folderID, QString token);
  QCoro::Task<> deleteItem(QString itemID, QString token);
  // Cancels an upload session; whether it was still open (a completed or lapsed one is gone).
  QCoro::Task<bool> cancelSession(QUrl uploadURL);
  // The id of the item at `path` in the bucket's folder when it is surely the one sent from `localFile`;
  // empty otherwise (logged).
  QCoro::Task<QString> findSentFile(QString path, SentFile sent, QString localFile, QString token);
  QCoro::Task<UploadResponse> sendPieces(QString file, qint64 size, QUuid unitID,
                                         UploadDestination destination, ProgressCallback progress,
                                         CancelTokenPtr cancel);

  Keychain& keychain_;
  const std::shared_ptr<const OneDriveSignIn> signIn_;
  const QString temporaryDirectory_;
  const qint64 pieceSize_;
  std::optional<QString> folderID_;
  std::optional<QString> folder_;
  QHash<QUuid, QString> paths_;
  QHash<QUuid, QUrl> openSessions_;  // registered units whose upload has not completed
  QHash<QUuid, QString> itemIDs_;    // completed units: the item Graph stored
  QHash<QUuid, SentFile> sent_;      // units whose upload began, from their first try
  RunningTransfers running_;
};

}  // namespace pm
