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

#include <memory>
#include <optional>

#include "core/UploadError.h"
#include "upload/BucketUploader.h"

class QNetworkAccessManager;

namespace pm {

class ParcelmoorAPI;
class StreamSealer;

// The uploader of the product's own service. It opens one bucket on the service under a random 256-bit
// key, announces the bucket's files, seals each file under that key into "PMR1" part files and sends them
// to the upload URLs the service planned, confirms multi-part files, withdraws removed files and finally
// seals the bucket, which yields the share link. The key goes to the service only with the request that
// opens the bucket.
//
// Lives on the main thread. The session runs one registerUnits() at a time but several uploads at once.
// A file is sealed on the way out, into the request bodies of its parts, on the sealing pool: nothing is
// written to disk, a part leaves while the rest of the file is not yet sealed, and cancelling stops the
// sealing with the transfer.
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

  // The most files one announcement names; a larger batch is announced in several.
  static constexpr qsizetype kFilesPerAnnouncement = 5000;

  // `api` and `network` must outlive the uploader.
  ParcelmoorUploader(QNetworkAccessManager& network, ParcelmoorAPI& api, QObject* parent = nullptr);
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

 private:
  // The bucket key; throws the failure of the random source when the key could not be made.
  const QByteArray& key() const;
  QCoro::Task<> uploadParts(std::shared_ptr<StreamSealer> sealer, UploadUnit unit, Target target,
                            ProgressCallback progress, CancelTokenPtr cancel);
  // Sends bytes [begin, begin + length) of the sealed stream as one request.
  QCoro::Task<UploadResponse> sendSealed(std::shared_ptr<StreamSealer> sealer, qint64 begin, qint64 length,
                                         PartPosition position, UploadDestination destination,
                                         ProgressCallback progress, CancelTokenPtr cancel);

  ParcelmoorAPI& api_;
  QByteArray key_;
  std::optional<UploadError> keyFailure_;
  std::optional<QString> bucketID_;
  QHash<QUuid, Target> targets_;
  // Units whose file the service listed and that have not been stored (nor withdrawn): those whose upload
  // failed, or whose plan could not be used. The service counts them among the files it lacks.
  QSet<QUuid> unstored_;
  QSet<QString> takenPaths_;
  bool sealed_ = false;
};

}  // namespace pm
