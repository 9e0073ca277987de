#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include "core/UploadError.h"

// The pieces of an S3 multipart upload that need no network: how a file is cut into parts and the
// completion document. The requests themselves are CustomS3Uploader's.
namespace pm::s3multipart {

// S3 takes at most this many parts for one object.
inline constexpr qint64 kMaxParts = 10'000;

// One stored part: its number (from 1) and the ETag exactly as the storage service sent it.
struct FinishedPart {
  qint64 number = 0;
  QString etag;

  bool operator==(const FinishedPart&) const = default;
};

// A file whose size no longer matches the size it was registered with: sending it would store a copy
// that is cut short or holds bytes nobody registered.
UploadError fileChanged();

// How many parts of `partSize` (the last one shorter) hold `size` bytes.
qint64 partCount(qint64 size, qint64 partSize);

// "<Part><PartNumber>n</PartNumber><ETag>…</ETag></Part>" with "&", "<" and ">" of the ETag escaped.
QString partElement(qint64 partNumber, const QString& etag);
// The CompleteMultipartUpload document of `parts` in list order: no declaration, no namespace, no blanks.
QByteArray completeMultipartBody(const QList<FinishedPart>& parts);

}  // namespace pm::s3multipart
