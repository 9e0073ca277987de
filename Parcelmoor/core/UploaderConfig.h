#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QUuid>

#include <array>
#include <optional>

namespace pm {

class SharedDefaults;

// TLS mode of an FTP connection. Stored by its raw value ("plain", "explicitTLS", "implicitTLS").
enum class FTPSecurity { plain, explicitTLS, implicitTLS };

inline constexpr std::array<FTPSecurity, 3> kAllFTPSecurities{FTPSecurity::plain, FTPSecurity::explicitTLS,
                                                              FTPSecurity::implicitTLS};

QString rawValue(FTPSecurity security);
std::optional<FTPSecurity> ftpSecurityFromRawValue(const QString& raw);

// One place the agent can upload to. Secrets never live here: they are keychain items keyed by `id`.
// Both programs keep the list as a JSON array under "uploaderConfigs"; every key is the field's name.
struct UploaderConfig {
  // allKinds and every list of kinds keep this order.
  enum class Kind { parcelmoor, customS3, r2, ftp, icloud, googleDrive, oneDrive, dropbox };

  static constexpr std::array<Kind, 8> allKinds{Kind::parcelmoor, Kind::customS3, Kind::r2,
                                                Kind::ftp,        Kind::icloud,   Kind::googleDrive,
                                                Kind::oneDrive,   Kind::dropbox};

  // The tolerant form of one stored element: an element that does not decode has no config and is
  // dropped by the loader instead of costing the user every other connection.
  struct Readable;

  // A connection of `kind` with what a stored element lacking every other key would get: a fresh id,
  // empty texts, port 0, explicit TLS and `updatedAt` at the distant past.
  explicit UploaderConfig(Kind kind);

  QUuid id;
  QString name;  // empty: the kind's default title is shown
  Kind kind;
  QString endpoint;  // the S3/R2 endpoint URL or the FTP server
  QString bucketName;
  QString keyPrefix;
  QString region;
  bool parcelmoorDownloads = false;
  QString symbol;
  qint64 port = 0;
  QString account;  // the signed-in account of a drive connection
  FTPSecurity ftpSecurity = FTPSecurity::explicitTLS;
  QDateTime updatedAt;  // the sync merge compares it

  // 1 January of year 1 (Julian), the `updatedAt` of an element stored without one: older than any real
  // change.
  static QDateTime distantPast();

  // Whether the connection has everything it needs to upload now. The own service and iCloud Drive are
  // judged by what the suite holds at this moment; keychain items are not consulted.
  bool isConfigured(const SharedDefaults& defaults) const;
  // `name` when it has any character (a lone space included), else the kind's default title.
  QString displayName() const;

  // All thirteen keys, always. Nothing when a field cannot be written as JSON (an invalid date).
  std::optional<QJsonObject> toJson() const;
  // Fails on a missing or unknown `kind` and on any present key of the wrong type; absent keys and
  // null take their defaults.
  static std::optional<UploaderConfig> fromJson(const QJsonValue& element);

  // The stored list: a JSON array of every connection. Nothing when one of them cannot be encoded.
  static std::optional<QByteArray> encodeList(const QList<UploaderConfig>& configs);
  // Every element that decodes, in stored order; empty when the data is not a JSON array.
  static QList<UploaderConfig> decodeList(const QByteArray& data);
  // The list stored under "uploaderConfigs"; empty when absent or unreadable, also when the suite could
  // not be read just now (StoredConnections::load tells that apart). Reports nothing.
  static QList<UploaderConfig> loadAll(const SharedDefaults& defaults);

  bool operator==(const UploaderConfig& other) const = default;
};

struct UploaderConfig::Readable {
  std::optional<UploaderConfig> config;
  static Readable decode(const QJsonValue& element);
};

QString rawValue(UploaderConfig::Kind kind);
std::optional<UploaderConfig::Kind> kindFromRawValue(const QString& raw);
// "Parcelmoor", "AWS S3", "Cloudflare R2", "FTP", "iCloud Drive", "Google Drive", "OneDrive", "Dropbox".
QString defaultTitle(UploaderConfig::Kind kind);

}  // namespace pm
