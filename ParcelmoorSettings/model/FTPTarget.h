#pragma once

#include <QString>
#include <QUrl>

#include <optional>

#include "core/UploaderConfig.h"

namespace pm::settings {

// An FTP connection's server as its check reads it from what the user typed. Unlike the uploads' reading,
// a scheme is recognised in any case, a bracketed IPv6 address keeps its colons, and a port out of range
// is kept as it is, so the check refuses it instead of quietly trying another port.
struct FTPTarget {
  QString host;  // an IPv6 address without its brackets
  qint64 port = 21;
  FTPSecurity security = FTPSecurity::plain;
  QString directory;  // "/"-joined, without leading or trailing slashes; may be empty

  // Never fails: an empty host means no server was typed.
  explicit FTPTarget(const UploaderConfig& config);
  FTPTarget(QString host, qint64 port, FTPSecurity security, QString directory)
      : host(std::move(host)), port(port), security(security), directory(std::move(directory)) {}

  bool operator==(const FTPTarget&) const = default;

  // Whether `host` is a host name, an IPv4 address or an IPv6 address, and `port` lies in 1 to 65535.
  bool isValidAddress() const;
  // The ftp:// (plain, explicit TLS) or ftps:// (implicit TLS) URL of `relativePath` under `directory`,
  // each piece percent-encoded; an empty path names the folder itself, with a trailing "/". Nothing unless
  // isValidAddress().
  std::optional<QUrl> url(const QString& relativePath) const;
};

// Whether `host` is a DNS host name (labels of letters, digits and inner hyphens; international names by
// their ASCII form), a dotted IPv4 address or an IPv6 address.
bool isServerHost(const QString& host);

}  // namespace pm::settings
