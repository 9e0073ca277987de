#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <memory>
#include <optional>

#include "connectors/ConnectorUploader.h"
#include "connectors/RunningTransfers.h"
#include "core/UploadError.h"

namespace pm {

class GoogleSignIn;
class Keychain;
struct GoogleEndpoints;

// Uploads a bucket to Google Drive: every bucket makes a folder of its own ("<key prefix pieces>/<time of its
// first registration>"; never one found by that name, which another bucket of the same second may hold),
// registering a unit opens a Drive resumable upload session below it (in the unit's own relative folders),
// the base upload sends the file's bytes to the session URL, and withdrawing waits for the unit's transfer
// to end and deletes the file that upload stored: by the id its answer named, else by the id its upload
// session names when asked for its status. A file no answer names is never looked for by name. Finishing
// sends nothing. The access token comes from the connection's credentials in the keychain and is renewed
// and stored again when it is about to expire.
class GoogleDriveUploader final : public ConnectorUploader {
  Q_OBJECT

 public:
  // Where a unit went in Drive: its parent folder, its name there, its upload session, and the file's id
  // once the upload's final answer named it.
  struct Placement {
    QString folder;
    QString name;
    QUrl session;
    qint64 size = 0;
    QString fileID;
    bool began = false;  // an upload of it started, so Drive may hold its bytes
  };

  GoogleDriveUploader(UploaderConfig config, QNetworkAccessManager& network, Keychain& keychain,
                      std::shared_ptr<const GoogleSignIn> signIn, QObject* parent = nullptr);

  QCoro::Task<Registration> registerUnits(QList<UploadUnit> units) override;
  // The base upload; the file id of Drive's final answer is kept for withdraw().
  QCoro::Task<> upload(UploadUnit unit, UploadDestination destination, ProgressCallback progress,
                       CancelTokenPtr cancel) override;
  // Waits for the units' transfers to end, then deletes what their uploads stored; reports nothing.
  QCoro::Task<> withdraw(QList<UploadUnit> units) override;

  // `name`, or the first of "base 2.ext", "base 3.ext", … that no placed unit of this bucket uses, in any
  // folder. Files already in Drive are not consulted.
  QString uniqueName(const QString& name) const;
  // The Drive id of this bucket's folder, made on the first registration that gets that far.
  const std::optional<QString>& bucketFolderID() const { return bucketFolder_; }
  const QHash<QUuid, Placement>& placed() const { return placed_; }

  // The connection's access token, renewed and stored first when it is about to expire. Throws UploadError
  // `rejected` ("This connection has no Google account yet.") without credentials or refresh token, and the
  // renewal's failures as they are.
  QCoro::Task<QString> accessToken();

  // The e-mail address of the account behind `token`; empty when Drive names none. Throws UploadError for
  // a refusal or an unreadable answer, NetworkFailure when no answer came.
  static QCoro::Task<QString> fetchAccountLabel(QNetworkAccessManager& network, GoogleEndpoints endpoints,
                                                QString token);

  // The error of a refused answer: always `rejected`, with Drive's message where the status allows it.
  static UploadError uploadError(int status, const QByteArray& body);
  // `name` for the inside of a quoted Drive query string: "\" and "'" escaped with a backslash.
  static QString escapedQueryName(const QString& name);

 private:
  QCoro::Task<QString> bucketFolder(QString token);
  QCoro::Task<QString> folderChain(QStringList names, QString from, QString token);
  QCoro::Task<QString> folder(QString name, QString parent, QString token);
  // A new folder, even where one of that name exists (Drive allows that).
  QCoro::Task<QString> createFolder(QString name, QString parent, QString token);
  QCoro::Task<QUrl> openUploadSession(QString name, QString parent, qint64 size, QString token);
  QCoro::Task<> deleteFile(QString fileID, QString token);
  // The id of the file the placement's upload session stored, as the session tells it; empty when it
  // stored nothing. Throws when the session cannot tell.
  QCoro::Task<QString> storedBySession(Placement placement);

  Keychain& keychain_;
  const std::shared_ptr<const GoogleSignIn> signIn_;
  std::optional<QString> bucketFolder_;
  QHash<QUuid, Placement> placed_;
  RunningTransfers running_;
};

}  // namespace pm
