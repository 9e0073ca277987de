#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <QUrl>

#include <optional>
#include <utility>

namespace pm {

// Object URLs of S3-compatible buckets, and AWS Signature Version 4 query-string presigning of them. Only
// the host header is signed and the payload is never hashed ("UNSIGNED-PAYLOAD"), so a presigned URL works
// for any body and any extra headers the caller adds. A plain value: every operation is a pure function
// of its arguments and may run on any thread.
class S3Signer {
 public:
  using QueryItems = QMap<QString, QString>;
  using QueryPairs = QList<std::pair<QString, QString>>;

  S3Signer(QString accessKeyID, QString secretAccessKey, QString region)
      : accessKeyID_(std::move(accessKeyID)),
        secretAccessKey_(std::move(secretAccessKey)),
        region_(std::move(region)) {}

  const QString& accessKeyID() const { return accessKeyID_; }
  const QString& secretAccessKey() const { return secretAccessKey_; }
  const QString& region() const { return region_; }

  // The object's URL from the endpoint as the user typed it: https when no scheme is given, any path or
  // query of the endpoint dropped, virtual-hosted style on AWS hosts and path style elsewhere. Nothing when
  // the endpoint has no host or the bucket name is empty.
  static std::optional<QUrl> objectURL(const QString& endpoint, const QString& bucket, const QString& key);

  // `url` with its own signature in the query string, valid for `expires` seconds from `date`. The
  // caller's query items become the URL's whole query (any query `url` had is replaced); the signature
  // parameters override items of the same name. The host is signed as Qt sends it: with the URL's port
  // whenever the URL names one. Nothing when `url` has no host, or has a path Qt would not send as it is
  // (see S3ObjectKeys.h).
  std::optional<QUrl> presign(const QString& method, const QUrl& url, const QueryItems& query, qint64 expires,
                              const QDateTime& date) const;

  // "/" followed by the non-empty "/"-separated pieces of `text`, each percent-encoded.
  static QString canonicalPath(const QString& text);
  // Every name and value percent-encoded, in no particular order.
  static QueryPairs encodedQueryPairs(const QueryItems& items);
  // "yyyyMMdd'T'HHmmss'Z'" in UTC.
  static QString amzDate(const QDateTime& time);
  static QByteArray hmacSHA256(const QByteArray& message, const QByteArray& key);

 private:
  QString accessKeyID_;
  QString secretAccessKey_;
  QString region_;
};

// Lower-case hexadecimal text, two digits per byte.
QString hexString(const QByteArray& bytes);

}  // namespace pm
