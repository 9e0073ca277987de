#include "S3rverPeer.h"

#include <httplib.h>

#include <QUrl>
#include <QXmlStreamReader>

namespace pm::test {

namespace {

// Each piece of the key percent-encoded, the slashes kept.
std::string objectPath(const QString& bucket, const QString& key) {
  QByteArray path = "/" + QUrl::toPercentEncoding(bucket);
  for (const QString& piece : key.split(QLatin1Char('/'))) path += "/" + QUrl::toPercentEncoding(piece);
  return path.toStdString();
}

QByteArray bytes(const std::string& text) { return QByteArray(text.data(), qsizetype(text.size())); }

QStringList s3rverArguments(const QStringList& buckets) {
  QStringList arguments;
  for (const QString& bucket : buckets) arguments << QStringLiteral("--bucket") << bucket;
  return arguments;
}

}  // namespace

S3rverPeer::S3rverPeer(const QStringList& buckets)
    : node_(QStringLiteral("start-s3rver.js"), s3rverArguments(buckets)) {}

std::optional<QByteArray> S3rverPeer::object(const QString& bucket, const QString& key) const {
  httplib::Client client("127.0.0.1", port());
  client.set_url_encode(false);
  const httplib::Result result = client.Get(objectPath(bucket, key));
  if (!result || result->status != 200) return std::nullopt;
  return bytes(result->body);
}

QStringList S3rverPeer::keys(const QString& bucket, const QString& prefix) const {
  httplib::Client client("127.0.0.1", port());
  client.set_url_encode(false);
  const std::string path = "/" + QUrl::toPercentEncoding(bucket).toStdString() +
                           "?list-type=2&prefix=" + QUrl::toPercentEncoding(prefix).toStdString();
  const httplib::Result result = client.Get(path);
  if (!result || result->status != 200) return {};

  QStringList keys;
  QXmlStreamReader reader(bytes(result->body));
  while (!reader.atEnd()) {
    reader.readNext();
    if (reader.isStartElement() && reader.name() == QLatin1String("Key")) keys.append(reader.readElementText());
  }
  return keys;
}

}  // namespace pm::test
