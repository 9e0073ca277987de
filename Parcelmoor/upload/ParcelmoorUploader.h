#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QUuid>

#include <QCoroTask>

#include <optional>

#include "core/UploadError.h"
#include "upload/BucketUploader.h"

class QNetworkAccessManager;

namespace pm {

class ParcelmoorAPI;

// The uploader of the product's own service. It opens one bucket on the service under a random 256-bit
// key, announces the bucket's files, seals each file under that key into "PMR1" part files and sends them
// to the upload URLs the service planned, confirms multi-part files, withdraws removed files and finally
// seals the bucket, which yields the share link. The key goes to the service only with the request that
// opens the bucket.
//
// Lives on the main thread. The session runs one registerUnits() at a time but several uploads at once;
// each upload seals in a working directory of its own ("pmr-<unit id>" in the temporary directory) that is
// removed however the upload ends.
class ParcelmoorUploader final : public BucketUploader {
  Q_OBJECT

 public:
  // Where one announced unit goes: the service's file and its upload URLs in part order (never empty).
  struct Target {
    QString fileID;
    QList<QUrl> parts;
    std::optional<qint64> partSize;  // present: one request per part; absent: the whole stream at once
    QString method = QStringLiteral("PUT");
    QMap<QString, QString> headers;
  };

  // `api` and `network` must outlive the uploader.
  ParcelmoorUploader(QNetworkAccessManager& network, ParcelmoorAPI& api, QString temporaryDirectory,
                     QObject* parent = nullptr);
  ~ParcelmoorUploader() override;

  bool allowsRemoval() const override { return !sealed_; }
  QCoro::Task<Registration> registerUnits(QList<UploadUnit> units) override;
  // The destination is not used: the unit's recorded target is.
  QCoro::Task<> upload(UploadUnit unit, UploadDestination destination, ProgressCallback progress,
                       CancelTokenPtr cancel) override;
  QCoro::Task<> withdraw(QList<UploadUnit> units) override;
  QCoro::Task<ResponseItem> finalize() override;

  // The bucket's identifier on the service, opening the bucket the first time. A failure leaves the
  // bucket unopened, so the next call tries again with the same key.
  QCoro::Task<QString> ensureBucket();
  // The path to announce for a unit's relative path: the path itself, or "name 2.ext", "name 3.ext", ...
  // when taken. Every path it returns stays taken for the life of the uploader.
  QString uniquePath(const QString& relativePath);

  // Where the parts of `unitID` are sealed while it uploads.
  QString workingDirectory(const QUuid& unitID) const;

 private:
  // The bucket key; throws the failure of the random source when the key could not be made.
  const QByteArray& key() const;
  QCoro::Task<> uploadParts(QStringList partFiles, UploadUnit unit, Target target, ProgressCallback progress,
                            CancelTokenPtr cancel);

  ParcelmoorAPI& api_;
  const QString temporaryDirectory_;
  QByteArray key_;
  std::optional<UploadError> keyFailure_;
  std::optional<QString> bucketID_;
  QHash<QUuid, Target> targets_;
  QSet<QString> takenPaths_;
  bool sealed_ = false;
};

}  // namespace pm
