#include "S3Signer.h"

#include <QLocale>

#include <algorithm>

#include "platform/Crypto.h"
#include "upload/S3ObjectKeys.h"

namespace pm {

namespace {

const QLatin1StringView kAlgorithm("AWS4-HMAC-SHA256");
const QLatin1StringView kService("s3");
const QLatin1StringView kScopeTerminator("aws4_request");
const QLatin1StringView kUnsignedPayload("UNSIGNED-PAYLOAD");
const QLatin1StringView kSignedHeaders("host");
// Hosts ending in this are AWS S3 endpoints, where the bucket becomes the first host label.
const QLatin1StringView kAwsDomain("amazonaws.com");

// UTF-8, with every byte outside the RFC 3986 unreserved set written as "%" and two upper-case hex
// digits; that set is exactly what QUrl leaves alone by default.
QString percentEncoded(const QString& text) { return QString::fromLatin1(QUrl::toPercentEncoding(text)); }

// Spaces and tabs only: a line break in a pasted endpoint is not ours to repair.
QString trimmedSpacesAndTabs(const QString& text) {
  auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
  qsizetype begin = 0;
  qsizetype end = text.size();
  while (begin < end && blank(text[begin])) ++begin;
  while (end > begin && blank(text[end - 1])) --end;
  return text.mid(begin, end - begin);
}

// The Host header the request will carry. Qt writes the URL's port whenever the URL names one, the
// scheme's default included ("host:443"), and a server checks the signature against the header it got.
QString hostValue(const QUrl& url) {
  QString host = url.host(QUrl::FullyEncoded);
  if (host.contains(QLatin1Char(':'))) host = QLatin1Char('[') + host + QLatin1Char(']');
  const int port = url.port();
  if (port < 0) return host;
  return host + QLatin1Char(':') + QString::number(port);
}

QString canonicalQuery(S3Signer::QueryPairs pairs) {
  // Encoded names are plain ASCII, so UTF-16 order is byte order; the map made names unique.
  std::sort(pairs.begin(), pairs.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  QStringList parts;
  parts.reserve(pairs.size());
  for (const auto& [name, value] : pairs) parts.append(name + QLatin1Char('=') + value);
  return parts.join(QLatin1Char('&'));
}

}  // namespace

std::optional<QUrl> S3Signer::objectURL(const QString& endpoint, const QString& bucket, const QString& key) {
  QString text = trimmedSpacesAndTabs(endpoint);
  if (!text.contains(QLatin1String("://"))) text.prepend(QLatin1String("https://"));
  QUrl url(text, QUrl::StrictMode);
  if (!url.isValid() || url.host().isEmpty() || bucket.isEmpty()) return std::nullopt;

  url.setPath(QString());
  url.setQuery(QString());
  url.setFragment(QString());
  if (url.scheme().isEmpty()) url.setScheme(QStringLiteral("https"));

  const QString host = url.host();
  QString path;
  if (host.startsWith(bucket + QLatin1Char('.'))) {
    path = canonicalPath(key);
  } else if (host.endsWith(kAwsDomain)) {
    url.setHost(bucket + QLatin1Char('.') + host);
    path = canonicalPath(key);
  } else {
    path = canonicalPath(bucket + QLatin1Char('/') + key);
  }
  url.setPath(path, QUrl::StrictMode);
  // QUrl drops a host it cannot use (a bucket name with a space) and still calls itself valid.
  if (!url.isValid() || url.host().isEmpty()) return std::nullopt;
  return url;
}

std::optional<QUrl> S3Signer::presign(const QString& method, const QUrl& url, const QueryItems& query,
                                      qint64 expires, const QDateTime& date) const {
  if (!url.isValid() || url.host().isEmpty()) return std::nullopt;
  // A signature for a path Qt would rewrite on sending is a signature for a request that never happens.
  if (!s3keys::sentAsIs(url)) return std::nullopt;

  const QString timeStamp = amzDate(date);
  const QString dateStamp = timeStamp.left(8);
  const QString scope = dateStamp + QLatin1Char('/') + region_ + QLatin1Char('/') + kService + QLatin1Char('/') +
                        kScopeTerminator;

  QueryItems parameters = query;
  parameters.insert(QStringLiteral("X-Amz-Algorithm"), kAlgorithm);
  parameters.insert(QStringLiteral("X-Amz-Credential"), accessKeyID_ + QLatin1Char('/') + scope);
  parameters.insert(QStringLiteral("X-Amz-Date"), timeStamp);
  parameters.insert(QStringLiteral("X-Amz-Expires"), QString::number(expires));
  parameters.insert(QStringLiteral("X-Amz-SignedHeaders"), kSignedHeaders);
  const QString signedQuery = canonicalQuery(encodedQueryPairs(parameters));

  // A URL without a path is requested as "/", so that is what gets signed.
  QString path = url.path(QUrl::FullyEncoded);
  if (path.isEmpty()) path = QStringLiteral("/");
  const QString canonicalRequest = QStringList{method,
                                               path,
                                               signedQuery,
                                               QLatin1String("host:") + hostValue(url) + QLatin1Char('\n'),
                                               kSignedHeaders,
                                               kUnsignedPayload}
                                       .join(QLatin1Char('\n'));
  const QString stringToSign =
      QStringList{kAlgorithm, timeStamp, scope, hexString(crypto::sha256(canonicalRequest.toUtf8()))}.join(
          QLatin1Char('\n'));

  QByteArray signingKey = (QLatin1String("AWS4") + secretAccessKey_).toUtf8();
  for (const QString& part : {dateStamp, region_, QString(kService), QString(kScopeTerminator)})
    signingKey = hmacSHA256(part.toUtf8(), signingKey);
  const QString signature = hexString(hmacSHA256(stringToSign.toUtf8(), signingKey));

  QUrl presigned = url;
  presigned.setQuery(signedQuery + QLatin1String("&X-Amz-Signature=") + signature, QUrl::StrictMode);
  if (!presigned.isValid()) return std::nullopt;
  return presigned;
}

QString S3Signer::canonicalPath(const QString& text) {
  const QStringList pieces = text.split(QLatin1Char('/'), Qt::SkipEmptyParts);
  QStringList encoded;
  encoded.reserve(pieces.size());
  for (const QString& piece : pieces) encoded.append(percentEncoded(piece));
  return QLatin1Char('/') + encoded.join(QLatin1Char('/'));
}

S3Signer::QueryPairs S3Signer::encodedQueryPairs(const QueryItems& items) {
  QueryPairs pairs;
  pairs.reserve(items.size());
  for (auto it = items.cbegin(); it != items.cend(); ++it)
    pairs.append({percentEncoded(it.key()), percentEncoded(it.value())});
  return pairs;
}

QString S3Signer::amzDate(const QDateTime& time) {
  return QLocale::c().toString(time.toUTC(), QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
}

QByteArray S3Signer::hmacSHA256(const QByteArray& message, const QByteArray& key) {
  return crypto::hmacSha256(key, message);
}

QString hexString(const QByteArray& bytes) { return QString::fromLatin1(bytes.toHex()); }

}  // namespace pm
