#include "S3rverPeer.h"

#include <httplib.h>

#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>
#include <QXmlStreamReader>

namespace pm::test {

namespace {

constexpr int kStartMilliseconds = 20'000;
constexpr int kStopMilliseconds = 5'000;

QString peersDirectory() { return QStringLiteral(PARCELMOOR_SOURCE_DIR "/tests/peers"); }

// Each piece of the key percent-encoded, the slashes kept.
std::string objectPath(const QString& bucket, const QString& key) {
  QByteArray path = "/" + QUrl::toPercentEncoding(bucket);
  for (const QString& piece : key.split(QLatin1Char('/'))) path += "/" + QUrl::toPercentEncoding(piece);
  return path.toStdString();
}

QByteArray bytes(const std::string& text) { return QByteArray(text.data(), qsizetype(text.size())); }

}  // namespace

S3rverPeer::S3rverPeer(const QStringList& buckets) {
  if (!QFileInfo::exists(peersDirectory() + QStringLiteral("/node_modules/s3rver"))) {
    failure_ = QStringLiteral("s3rver is not installed; run scripts/peers install");
    return;
  }
  QStringList arguments{QStringLiteral("start-s3rver.js")};
  for (const QString& bucket : buckets) arguments << QStringLiteral("--bucket") << bucket;
  process_.setWorkingDirectory(peersDirectory());
  process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  process_.start(QStringLiteral("node"), arguments);
  if (!process_.waitForStarted(kStartMilliseconds)) {
    failure_ = QStringLiteral("node could not be started: ") + process_.errorString();
    return;
  }
  static const QRegularExpression listening(QStringLiteral("^listening 127\\.0\\.0\\.1:(\\d+)"));
  while (!process_.canReadLine()) {
    if (!process_.waitForReadyRead(kStartMilliseconds)) {
      failure_ = QStringLiteral("s3rver did not say where it listens");
      return;
    }
  }
  const QRegularExpressionMatch match = listening.match(QString::fromUtf8(process_.readLine()));
  if (!match.hasMatch()) {
    failure_ = QStringLiteral("s3rver answered something unexpected");
    return;
  }
  port_ = match.captured(1).toInt();
}

S3rverPeer::~S3rverPeer() {
  if (process_.state() == QProcess::NotRunning) return;
  // Closing its input is how the script is told to stop and remove its folder.
  process_.closeWriteChannel();
  if (process_.waitForFinished(kStopMilliseconds)) return;
  process_.terminate();
  if (!process_.waitForFinished(kStopMilliseconds)) process_.kill();
  process_.waitForFinished(kStopMilliseconds);
}

QString S3rverPeer::endpoint() const { return QStringLiteral("http://127.0.0.1:%1").arg(port_); }

std::optional<QByteArray> S3rverPeer::object(const QString& bucket, const QString& key) const {
  httplib::Client client("127.0.0.1", port_);
  client.set_url_encode(false);
  const httplib::Result result = client.Get(objectPath(bucket, key));
  if (!result || result->status != 200) return std::nullopt;
  return bytes(result->body);
}

QStringList S3rverPeer::keys(const QString& bucket, const QString& prefix) const {
  httplib::Client client("127.0.0.1", port_);
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
