#include "UploaderConfig.h"

#include <QCoreApplication>

#include <iterator>

#include "core/AccountState.h"
#include "core/ICloudAvailability.h"
#include "core/Identifiers.h"
#include "core/StoredConnections.h"
#include "platform/Clock.h"
#include "platform/JsonNumbers.h"
#include "platform/SharedDefaults.h"
#include "platform/SharedNames.h"

namespace pm {

namespace {

const QString kId = QStringLiteral("id");
const QString kName = QStringLiteral("name");
const QString kKind = QStringLiteral("kind");
const QString kEndpoint = QStringLiteral("endpoint");
const QString kBucketName = QStringLiteral("bucketName");
const QString kKeyPrefix = QStringLiteral("keyPrefix");
const QString kRegion = QStringLiteral("region");
const QString kParcelmoorDownloads = QStringLiteral("parcelmoorDownloads");
const QString kSymbol = QStringLiteral("symbol");
const QString kPort = QStringLiteral("port");
const QString kAccount = QStringLiteral("account");
const QString kFtpSecurity = QStringLiteral("ftpSecurity");
const QString kUpdatedAt = QStringLiteral("updatedAt");

// Seconds from the reference date to 1 January of year 1 in the Julian calendar, as the other program has it.
constexpr double kDistantPastSeconds = -63'114'076'800.0;

std::optional<QString> textFrom(const QJsonValue& value) {
  if (!value.isString()) return std::nullopt;
  return value.toString();
}

std::optional<bool> flagFrom(const QJsonValue& value) {
  if (!value.isBool()) return std::nullopt;
  return value.toBool();
}

std::optional<QUuid> uuidFrom(const QJsonValue& value) {
  return value.isString() ? uuidFromText(value.toString()) : std::nullopt;
}

std::optional<QDateTime> dateFrom(const QJsonValue& value) {
  if (!value.isDouble()) return std::nullopt;
  // Not finite, or too far out for a date: invalid.
  const QDateTime date = dateFromReferenceSeconds(value.toDouble());
  if (!date.isValid()) return std::nullopt;
  return date;
}

std::optional<FTPSecurity> securityFrom(const QJsonValue& value) {
  if (!value.isString()) return std::nullopt;
  return ftpSecurityFromRawValue(value.toString());
}

using Kind = UploaderConfig::Kind;

struct KindNames {
  Kind kind;
  const char* raw;
  const char* title;
};

// Indexed by the kind's declaration order.
constexpr KindNames kKindNames[] = {
    {Kind::parcelmoor, "parcelmoor", QT_TRANSLATE_NOOP("UploaderConfig", "Parcelmoor")},
    {Kind::customS3, "customS3", QT_TRANSLATE_NOOP("UploaderConfig", "AWS S3")},
    {Kind::r2, "r2", QT_TRANSLATE_NOOP("UploaderConfig", "Cloudflare R2")},
    {Kind::ftp, "ftp", QT_TRANSLATE_NOOP("UploaderConfig", "FTP")},
    {Kind::icloud, "icloud", QT_TRANSLATE_NOOP("UploaderConfig", "Synced Folder")},
    {Kind::googleDrive, "googleDrive", QT_TRANSLATE_NOOP("UploaderConfig", "Google Drive")},
    {Kind::oneDrive, "oneDrive", QT_TRANSLATE_NOOP("UploaderConfig", "OneDrive")},
    {Kind::dropbox, "dropbox", QT_TRANSLATE_NOOP("UploaderConfig", "Dropbox")},
};

constexpr bool namesFollowDeclarationOrder() {
  for (std::size_t i = 0; i < std::size(kKindNames); ++i) {
    if (kKindNames[i].kind != Kind(i) || UploaderConfig::allKinds[i] != Kind(i)) return false;
  }
  return std::size(kKindNames) == UploaderConfig::allKinds.size();
}
static_assert(namesFollowDeclarationOrder());

// Indexed by the mode's declaration order.
constexpr const char* kSecurityRawValues[] = {"plain", "explicitTLS", "implicitTLS"};
static_assert(std::size(kSecurityRawValues) == kAllFTPSecurities.size());

// An absent or null key keeps the field's default; a present value that does not convert fails the element.
template <typename T, typename Convert>
bool readOptional(const QJsonObject& object, const QString& key, T& field, Convert convert) {
  const QJsonValue value = object.value(key);
  if (value.isUndefined() || value.isNull()) return true;
  std::optional<T> converted = convert(value);
  if (!converted) return false;
  field = std::move(*converted);
  return true;
}

}  // namespace

QString rawValue(FTPSecurity security) {
  return QString::fromLatin1(kSecurityRawValues[std::size_t(security)]);
}

std::optional<FTPSecurity> ftpSecurityFromRawValue(const QString& raw) {
  for (const FTPSecurity security : kAllFTPSecurities) {
    if (rawValue(security) == raw) return security;
  }
  return std::nullopt;
}

QString rawValue(UploaderConfig::Kind kind) {
  return QString::fromLatin1(kKindNames[std::size_t(kind)].raw);
}

std::optional<UploaderConfig::Kind> kindFromRawValue(const QString& raw) {
  for (const UploaderConfig::Kind kind : UploaderConfig::allKinds) {
    if (rawValue(kind) == raw) return kind;
  }
  return std::nullopt;
}

QString defaultTitle(UploaderConfig::Kind kind) {
  return QCoreApplication::translate("UploaderConfig", kKindNames[std::size_t(kind)].title);
}

UploaderConfig::UploaderConfig(Kind kind) : id(QUuid::createUuid()), kind(kind), updatedAt(distantPast()) {}

QDateTime UploaderConfig::distantPast() {
  return dateFromReferenceSeconds(kDistantPastSeconds);
}

bool UploaderConfig::isConfigured(const SharedDefaults& defaults) const {
  switch (kind) {
    case Kind::parcelmoor: {
      const AccountState state = AccountState::load(defaults);
      return state.kind() == AccountState::Case::signedIn && state.subscribed();
    }
    case Kind::customS3:
    case Kind::r2:
      return !endpoint.isEmpty() && !bucketName.isEmpty();
    case Kind::ftp:
      return !endpoint.isEmpty();
    case Kind::icloud:
      return !iCloudLastAvailabilityProblem(defaults).has_value();
    case Kind::googleDrive:
    case Kind::oneDrive:
    case Kind::dropbox:
      break;
  }
  return !account.isEmpty();
}

QString UploaderConfig::displayName() const {
  return name.isEmpty() ? defaultTitle(kind) : name;
}

std::optional<QJsonObject> UploaderConfig::toJson() const {
  if (!updatedAt.isValid()) return std::nullopt;
  return QJsonObject{
      {kId, uuidText(id)},
      {kName, name},
      {kKind, rawValue(kind)},
      {kEndpoint, endpoint},
      {kBucketName, bucketName},
      {kKeyPrefix, keyPrefix},
      {kRegion, region},
      {kParcelmoorDownloads, parcelmoorDownloads},
      {kSymbol, symbol},
      {kPort, port},
      {kAccount, account},
      {kFtpSecurity, rawValue(ftpSecurity)},
      {kUpdatedAt, secondsSinceReferenceDate(updatedAt)},
  };
}

std::optional<UploaderConfig> UploaderConfig::fromJson(const QJsonValue& element) {
  if (!element.isObject()) return std::nullopt;
  const QJsonObject object = element.toObject();

  const QJsonValue kindValue = object.value(kKind);
  const auto kind = kindValue.isString() ? kindFromRawValue(kindValue.toString()) : std::nullopt;
  if (!kind) return std::nullopt;

  UploaderConfig config(*kind);
  const bool ok = readOptional(object, kId, config.id, uuidFrom) &&
                  readOptional(object, kName, config.name, textFrom) &&
                  readOptional(object, kEndpoint, config.endpoint, textFrom) &&
                  readOptional(object, kBucketName, config.bucketName, textFrom) &&
                  readOptional(object, kKeyPrefix, config.keyPrefix, textFrom) &&
                  readOptional(object, kRegion, config.region, textFrom) &&
                  readOptional(object, kParcelmoorDownloads, config.parcelmoorDownloads, flagFrom) &&
                  readOptional(object, kSymbol, config.symbol, textFrom) &&
                  readOptional(object, kPort, config.port, exactInteger) &&
                  readOptional(object, kAccount, config.account, textFrom) &&
                  readOptional(object, kFtpSecurity, config.ftpSecurity, securityFrom) &&
                  readOptional(object, kUpdatedAt, config.updatedAt, dateFrom);
  if (!ok) return std::nullopt;
  return config;
}

UploaderConfig::Readable UploaderConfig::Readable::decode(const QJsonValue& element) {
  return Readable{UploaderConfig::fromJson(element)};
}

std::optional<QByteArray> UploaderConfig::encodeList(const QList<UploaderConfig>& configs) {
  return StoredConnections().encode(configs);
}

QList<UploaderConfig> UploaderConfig::decodeList(const QByteArray& data) {
  return StoredConnections::decode(data).configs();
}

QList<UploaderConfig> UploaderConfig::loadAll(const SharedDefaults& defaults) {
  return StoredConnections::load(defaults).value_or(StoredConnections()).configs();
}

}  // namespace pm
