#pragma once

#include <QString>
#include <QUrl>

#include <optional>

#include "core/UploaderConfig.h"

namespace pm {

// Where an FTP connection's buckets go, resolved from what the user typed: a server address that may
// carry a scheme, a port and a path, the port field, the security mode and the folder prefix.
struct FTPTarget {
  static constexpr int kPlainPort = 21;
  static constexpr int kImplicitTLSPort = 990;

  QString host;
  int port = kPlainPort;
  FTPSecurity security = FTPSecurity::plain;
  QString directory;  // "/"-joined, without leading or trailing slashes; may be empty

  FTPTarget() = default;
  FTPTarget(QString host, int port, FTPSecurity security, QString directory)
      : host(std::move(host)), port(port), security(security), directory(std::move(directory)) {}
  // Never fails: an unusable address gives an empty host, which registering reports.
  explicit FTPTarget(const UploaderConfig& config);

  bool operator==(const FTPTarget&) const = default;

  // `relativePath` cleaned (control characters removed, empty pieces dropped) under `directory`. An empty
  // relative path gives the directory followed by "/".
  QString remotePath(const QString& relativePath) const;
  // The ftp:// (plain, explicit TLS) or ftps:// (implicit TLS) URL of remotePath(relativePath), every
  // piece percent-encoded; nothing when no URL can be formed (no host, or one that is not a host name).
  std::optional<QUrl> url(const QString& relativePath) const;
  // The URL of the login folder, where commands with a full remote path are sent.
  std::optional<QUrl> serverURL() const;
};

// `path` without control characters, split at "/" with the empty, "." and ".." pieces dropped, joined again
// with "/".
QString cleanFTPPath(const QString& path);

}  // namespace pm
