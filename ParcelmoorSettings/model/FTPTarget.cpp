#include "FTPTarget.h"

#include <QHostAddress>
#include <QRegularExpression>

#include "connectors/FTPTarget.h"
#include "model/TypedText.h"

namespace pm::settings {

namespace {

// The text before and after the first `separator` that follows a non-empty piece; leading separators
// are skipped.
std::pair<QString, QString> splitOnce(const QString& text, QChar separator) {
  qsizetype start = 0;
  while (start < text.size() && text[start] == separator) ++start;
  const qsizetype at = text.indexOf(separator, start);
  if (at < 0) return {text.mid(start), QString()};
  return {text.mid(start, at - start), text.mid(at + 1)};
}

bool isHostName(const QString& host) {
  const QByteArray ascii = QUrl::toAce(host, QUrl::AceProcessingOption::IgnoreIDNWhitelist);
  if (ascii.isEmpty() || ascii.size() > 253) return false;
  static const QRegularExpression label(QStringLiteral("^[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?$"));
  const QString name = QString::fromLatin1(ascii.endsWith('.') ? ascii.chopped(1) : ascii);
  const QStringList labels = name.split(QLatin1Char('.'));
  return std::all_of(labels.cbegin(), labels.cend(),
                     [](const QString& piece) { return label.match(piece).hasMatch(); });
}

}  // namespace

bool isServerHost(const QString& host) {
  if (host.contains(QLatin1Char(':'))) {
    QHostAddress address;
    return address.setAddress(host) && address.protocol() == QAbstractSocket::IPv6Protocol &&
           address.scopeId().isEmpty();
  }
  // A name made of digits and dots only must be a whole IPv4 address, not a host name.
  static const QRegularExpression dotted(QStringLiteral("^[0-9.]+$"));
  if (dotted.match(host).hasMatch()) {
    static const QRegularExpression ipv4(QStringLiteral(
        "^((25[0-5]|2[0-4][0-9]|1[0-9]{2}|[1-9]?[0-9])\\.){3}(25[0-5]|2[0-4][0-9]|1[0-9]{2}|[1-9]?[0-9])$"));
    return ipv4.match(host).hasMatch();
  }
  return isHostName(host);
}

FTPTarget::FTPTarget(const UploaderConfig& config) : security(config.ftpSecurity) {
  QString endpoint = trimmedBlanks(config.endpoint);
  endpoint.remove(QStringLiteral("ftps://"), Qt::CaseInsensitive);
  endpoint.remove(QStringLiteral("ftp://"), Qt::CaseInsensitive);

  const auto [address, path] = splitOnce(endpoint, QLatin1Char('/'));
  QString typedPort;
  bool hasTypedPort = false;
  if (address.startsWith(QLatin1Char('[')) && address.contains(QLatin1Char(']'))) {
    const qsizetype close = address.indexOf(QLatin1Char(']'));
    host = address.mid(1, close - 1);
    const QString rest = address.mid(close + 1);
    // Anything after the bracket other than ":port" leaves a host that no check accepts.
    if (!rest.isEmpty() && !rest.startsWith(QLatin1Char(':'))) host = address;
    hasTypedPort = rest.startsWith(QLatin1Char(':'));
    typedPort = rest.mid(1);
  } else {
    const qsizetype colon = address.indexOf(QLatin1Char(':'));
    host = colon < 0 ? address : address.left(colon);
    hasTypedPort = colon >= 0;
    typedPort = colon < 0 ? QString() : address.mid(colon + 1);
  }

  bool numeric = false;
  const qint64 typed = typedPort.toLongLong(&numeric, 10);
  if (config.port >= 1) {
    port = config.port;
  } else if (hasTypedPort && numeric) {
    port = typed;
  } else {
    port = security == FTPSecurity::implicitTLS ? pm::FTPTarget::kImplicitTLSPort : pm::FTPTarget::kPlainPort;
  }
  directory = cleanFTPPath(config.keyPrefix.isEmpty() ? path : config.keyPrefix);
}

bool FTPTarget::isValidAddress() const {
  return port >= 1 && port <= 65535 && isServerHost(host);
}

std::optional<QUrl> FTPTarget::url(const QString& relativePath) const {
  if (!isValidAddress()) return std::nullopt;
  return pm::FTPTarget(host, int(port), security, directory).url(relativePath);
}

}  // namespace pm::settings
