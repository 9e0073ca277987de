#include "S3Multipart.h"

#include <QCoreApplication>

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
