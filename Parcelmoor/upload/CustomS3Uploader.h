#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringView>
#include <QUrl>
#include <QUuid>

#include <QCoroTask>

#include <optional>

#include "core/UploaderConfig.h"
#include "platform/Clock.h"
#include "upload/BoxManifest.h"
#include "upload/BoxRegistration.h"
#include "upload/BucketUploader.h"
#include "upload/S3Multipart.h"
#include "upload/S3Signer.h"

namespace pm {

class Keychain;
class ParcelmoorAPI;
class SharedDefaults;

// The uploader of custom S3 and R2 connections: every file of a bucket becomes one object under a key
// folder of its own ("<prefix>/<timestamp>/"), sent straight to the storage service over presigned URLs
// (no Authorization header ever leaves the machine). A file up to the multipart threshold goes in one
// PUT; a larger one as an S3 multipart upload, each part read straight from its range of the file. Finishing
// either reports plain completion or, with the connection's shareable links on, registers the stored
// objects as a password-protected box with the service. Main thread only.
class CustomS3Uploader final : public BucketUploader {
  Q_OBJECT

 public:
  // Every presigned URL stays valid this long (seconds).
  static constexpr qint64 kPresignExpiry = 21'600;

  // `partSize` and `multipartThreshold` in bytes (the program passes 64 MiB and 5 GiB). Reads the
  // connection's key pair from the keychain once, and takes the key folder's time stamp now.
  CustomS3Uploader(UploaderConfig config, qint64 partSize, qint64 multipartThreshold, QNetworkAccessManager& network,
                   ParcelmoorAPI& api, const Keychain& keychain, SharedDefaults& defaults, QObject* parent = nullptr);
  // As above with "now" from `clock`, for the key folder and every signature.
  CustomS3Uploader(UploaderConfig config, qint64 partSize, qint64 multipartThreshold, QNetworkAccessManager& network,
                   ParcelmoorAPI& api, const Keychain& keychain, SharedDefaults& defaults, const Clock& clock,
                   QObject* parent = nullptr);
  ~CustomS3Uploader() override;

  QCoro::Task<Registration> registerUnits(QList<UploadUnit> units) override;
  QCoro::Task<> upload(UploadUnit unit, UploadDestination destination, ProgressCallback progress,
                       CancelTokenPtr cancel) override;
  // Aborts a unit's open multipart upload, then deletes its object. Failures are ignored.
  QCoro::Task<> withdraw(QList<UploadUnit> units) override;
  QCoro::Task<ResponseItem> finalize() override;

  qint64 partSize() const { return partSize_; }
  qint64 multipartThreshold() const { return multipartThreshold_; }
  // The folder every object key of this bucket begins with; ends with "/".
  const QString& folder() const { return folder_; }
  // Reserves the object key of a unit's relative path for good: the first "<folder><path>", then
  // "<folder><path with " 2" before the extension>", and so on.
  QString uniqueKey(const QString& relativePath);
  // Whether a multipart upload of the unit is open on the storage service.
  bool hasOpenMultipart(const QUuid& unitID) const { return openMultiparts_.contains(unitID); }

  // One presigned S3 control request (start, complete or abort a multipart upload, delete an object).
  // A body goes out as "application/xml". Returns the answer's body; throws UploadError `rejected` with
  // the S3 error document's Message (or the status text) for an error status or an error document, and
  // `transport` or `cancelled` when no answer arrives.
  QCoro::Task<QByteArray> s3Request(QString method, QUrl url, S3Signer::QueryItems query,
                                    std::optional<QByteArray> body = std::nullopt, CancelTokenPtr cancel = {});

 private:
  QCoro::Task<> uploadMultipart(UploadUnit unit, ProgressCallback progress, CancelTokenPtr cancel);
  QCoro::Task<QList<s3multipart::FinishedPart>> uploadParts(UploadUnit unit, QString uploadID, qint64 partCount,
                                                            QUrl objectURL, ProgressCallback progress,
                                                            CancelTokenPtr cancel);
  // Aborts an open multipart upload; whatever happens is ignored.
  QCoro::Task<> abortMultipart(QUrl objectURL, QString uploadID);
  std::optional<QUrl> objectURL(const QString& key) const;
  // The manifest of the box: every unit whose object was stored and not withdrawn, in registration order.
  QList<PMRM1::File> storedFiles() const;

  const UploaderConfig config_;
  const qint64 partSize_;
  const qint64 multipartThreshold_;
  QNetworkAccessManager& network_;
  ParcelmoorAPI& api_;
  const Keychain& keychain_;
  SharedDefaults& defaults_;
  const Clock& clock_;
  const std::optional<S3Signer> signer_;
  const QString folder_;
  // The box last sealed for this bucket; a repeated finish sends it again while it lists the same files.
  std::optional<SealedBox> box_;

  QHash<QUuid, QString> keys_;        // unit → object key; withdrawal removes
  QHash<QUuid, qint64> sizes_;        // unit → registered size; never shrinks
  QList<QUuid> registrationOrder_;    // units in the order they got a key
  QSet<QString> takenKeys_;           // every key handed out, withdrawn ones included
  QSet<QUuid> stored_;                // units whose object the storage service confirmed
  QHash<QUuid, QString> openMultiparts_;  // unit → UploadId of a started, unfinished multipart upload
};

// What a failed S3 request tells the user, by HTTP status.
QString s3StatusMessage(int status);
// The text content of the first element named `name` (by local name, whatever its namespace) in an XML
// document; nothing for an empty or malformed document or when there is no such element.
std::optional<QString> xmlValue(QStringView name, const QByteArray& body);

}  // namespace pm
