#include "FTPTarget.h"

#include <QStringList>

#include "upload/PathPieces.h"

namespace pm {

namespace {

// White space that is not a line break, as it may surround a pasted server address.
bool isBlank(QChar c) {
  if (!c.isSpace()) return false;
  const char16_t u = c.unicode();
  return !(u == u'\n' || u == u'\r' || u == u'\v' || u == u'\f' || u == 0x85 || u == 0x2028 || u == 0x2029);
}

QString trimmedBlanks(const QString& text) {
  qsizetype begin = 0;
  qsizetype end = text.size();
  while (begin < end && isBlank(text[begin])) ++begin;
  while (end > begin && isBlank(text[end - 1])) --end;
  return text.mid(begin, end - begin);
}

// Splits at the first separator that ends a non-empty piece; empty pieces are dropped and do not count.
QStringList splitOnce(const QString& text, QChar separator) {
  QStringList pieces;
  qsizetype start = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] != separator) continue;
    if (i > start) {
      pieces.append(text.mid(start, i - start));
      start = i + 1;
      if (start < text.size()) pieces.append(text.mid(start));
      return pieces;
    }
    start = i + 1;
  }
  if (start < text.size()) pieces.append(text.mid(start));
  return pieces;
}

// A port number in the range TCP has; anything else counts as not given.
std::optional<int> validPort(qint64 value) {
  if (value < 1 || value > 65535) return std::nullopt;
  return int(value);
}

// Keeps A-Z, a-z, 0-9 and -._~!$&'()*+,;=:@ and encodes everything else of one path piece.
QByteArray encodedPiece(const QString& piece) {
  return QUrl::toPercentEncoding(piece, QByteArrayLiteral("!$&'()*+,;=:@"));
}

}  // namespace

QString cleanFTPPath(const QString& path) {
  QString cleaned;
  cleaned.reserve(path.size());
  for (const QChar c : path) {
    const char16_t u = c.unicode();
    if (u < 32 || u == 127) continue;
    cleaned.append(c);
  }
  return cleanPath(cleaned);
}

FTPTarget::FTPTarget(const UploaderConfig& config) : security(config.ftpSecurity) {
  QString endpoint = trimmedBlanks(config.endpoint);
  endpoint.remove(QStringLiteral("ftps://"));
  endpoint.remove(QStringLiteral("ftp://"));

  const QStringList addressAndPath = splitOnce(endpoint, QLatin1Char('/'));
  const QString address = addressAndPath.value(0);
  const QString path = addressAndPath.value(1);
  const QStringList hostAndPort = splitOnce(address, QLatin1Char(':'));
  host = hostAndPort.value(0);

  bool numeric = false;
  const qint64 typedPort = hostAndPort.value(1).toLongLong(&numeric, 10);
  if (const auto configured = validPort(config.port)) {
    port = *configured;
  } else if (const auto typed = numeric ? validPort(typedPort) : std::nullopt) {
    port = *typed;
  } else {
    port = security == FTPSecurity::implicitTLS ? kImplicitTLSPort : kPlainPort;
  }

  directory = cleanFTPPath(config.keyPrefix.isEmpty() ? path : config.keyPrefix);
}

QString FTPTarget::remotePath(const QString& relativePath) const {
  const QString cleaned = cleanFTPPath(relativePath);
  if (directory.isEmpty()) return cleaned;
  return directory + QLatin1Char('/') + cleaned;
}

std::optional<QUrl> FTPTarget::url(const QString& relativePath) const {
  if (host.isEmpty()) return std::nullopt;
  QByteArray encodedPath = "/";
  const QStringList pieces = remotePath(relativePath).split(QLatin1Char('/'), Qt::KeepEmptyParts);
  for (qsizetype i = 0; i < pieces.size(); ++i) {
    if (i > 0) encodedPath += '/';
    encodedPath += encodedPiece(pieces[i]);
  }
  QUrl url;
  url.setScheme(security == FTPSecurity::implicitTLS ? QStringLiteral("ftps") : QStringLiteral("ftp"));
  url.setHost(host, QUrl::StrictMode);
  url.setPort(port);
  url.setPath(QString::fromLatin1(encodedPath), QUrl::StrictMode);
  if (!url.isValid() || url.host().isEmpty()) return std::nullopt;
  return url;
}

std::optional<QUrl> FTPTarget::serverURL() const {
  FTPTarget login = *this;
  login.directory.clear();
  return login.url({});
}

}  // namespace pm
