#include "S3Multipart.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>

namespace pm::s3multipart {

namespace {

QString translated(const char* text) { return QCoreApplication::translate("CustomS3Uploader", text); }

QString escapedEtag(QString etag) {
  // "&" first, so the entities written for "<" and ">" are not escaped again; quotes stay as sent.
  etag.replace(QLatin1Char('&'), QLatin1String("&amp;"));
  etag.replace(QLatin1Char('<'), QLatin1String("&lt;"));
  etag.replace(QLatin1Char('>'), QLatin1String("&gt;"));
  return etag;
}

}  // namespace

UploadError fileChanged() { return UploadError::rejected(translated("This file changed while it was being uploaded.")); }

qint64 partCount(qint64 size, qint64 partSize) {
  if (size < 1 || partSize < 1) return 0;
  return size / partSize + (size % partSize == 0 ? 0 : 1);
}

void writePartFile(QFile& reader, qint64 offset, qint64 length, const QString& partPath) {
  if (!reader.seek(offset)) throw UploadError::fileUnreadable();

  QFile::remove(partPath);
  QFile writer(partPath);
  const UploadError unwritable =
      UploadError::rejected(translated("A temporary copy of this file could not be written."));
  // The part is a plain copy of the user's file in a shared temporary folder: nobody else may read it.
  if (!writer.open(QIODevice::WriteOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner)) throw unwritable;

  QByteArray slice(std::min(length, kCopySlice), Qt::Uninitialized);
  qint64 remaining = length;
  while (remaining > 0) {
    const qint64 read = reader.read(slice.data(), std::min(remaining, qint64(slice.size())));
    if (read < 0) throw UploadError::fileUnreadable();
    if (read == 0) break;
    if (writer.write(slice.constData(), read) != read) throw unwritable;
    remaining -= read;
  }
  if (!writer.flush()) throw unwritable;
  writer.close();
  if (remaining != 0) throw fileChanged();
}

QString partElement(qint64 partNumber, const QString& etag) {
  return QLatin1String("<Part><PartNumber>") + QString::number(partNumber) + QLatin1String("</PartNumber><ETag>") +
         escapedEtag(etag) + QLatin1String("</ETag></Part>");
}

QByteArray completeMultipartBody(const QList<FinishedPart>& parts) {
  QString document = QStringLiteral("<CompleteMultipartUpload>");
  for (const FinishedPart& part : parts) document += partElement(part.number, part.etag);
  document += QLatin1String("</CompleteMultipartUpload>");
  return document.toUtf8();
}

}  // namespace pm::s3multipart
