#include "BucketHistory.h"

#include <QByteArrayList>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QRegularExpression>

#include <utility>

#include "core/Bucket.h"
#include "core/Identifiers.h"
#include "platform/AtomicFile.h"
#include "platform/Clock.h"
#include "platform/JsonNumbers.h"
#include "platform/Log.h"
#include "platform/Paths.h"

namespace pm {
namespace {

// ---- Dates: internet date-times, whole seconds, written in UTC with "Z"

QString encodeDate(const QDateTime& date) {
  return date.toUTC().toString(Qt::ISODate);
}

std::optional<QDateTime> decodeDate(const QJsonValue& value) {
  // Qt's ISO parser also takes dates without a time, fractions and other shapes; the file allows one form.
  static const QRegularExpression form(
      QStringLiteral("^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}(Z|[+-][0-9]{2}:[0-9]{2})$"));
  if (!value.isString()) return std::nullopt;
  const QString text = value.toString();
  if (!form.match(text).hasMatch()) return std::nullopt;
  const QDateTime date = QDateTime::fromString(text, Qt::ISODate);
  if (!date.isValid()) return std::nullopt;
  return date.toUTC();
}

// ---- One record

std::optional<QUuid> decodeUuid(const QJsonValue& value) {
  return value.isString() ? uuidFromText(value.toString()) : std::nullopt;
}

// Absent or null is no link (nullopt inside); a value that is not a usable URL fails the record.
std::optional<std::optional<QUrl>> decodeShareURL(const QJsonValue& value) {
  if (value.isUndefined() || value.isNull()) return std::optional<QUrl>();
  if (!value.isString()) return std::nullopt;
  const QString text = value.toString();
  QUrl url(text, QUrl::StrictMode);
  if (text.isEmpty() || !url.isValid()) return std::nullopt;
  return std::optional<QUrl>(std::move(url));
}

std::optional<BucketRecord> decodeRecord(const QJsonValue& value) {
  if (!value.isObject()) return std::nullopt;
  const QJsonObject object = value.toObject();
  const auto id = decodeUuid(object.value(QLatin1String("id")));
  const auto createdAt = decodeDate(object.value(QLatin1String("createdAt")));
  const auto completedAt = decodeDate(object.value(QLatin1String("completedAt")));
  const auto itemCount = exactInteger(object.value(QLatin1String("itemCount")));
  const auto shareURL = decodeShareURL(object.value(QLatin1String("shareURL")));
  const QJsonValue isClosed = object.value(QLatin1String("isClosed"));
  if (!id || !createdAt || !completedAt || !itemCount || !shareURL || !isClosed.isBool()) return std::nullopt;
  return BucketRecord{*id, *createdAt, *completedAt, *itemCount, *shareURL, isClosed.toBool()};
}

// One JSON value as compact text, with Qt's escaping.
QByteArray jsonText(const QJsonValue& value) {
  const QByteArray wrapped = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
  return wrapped.mid(1, wrapped.size() - 2);
}

// Written by hand because QJsonObject sorts its keys, and the keys go in the order of the fields.
QByteArray encodeRecord(const BucketRecord& record) {
  QList<std::pair<QString, QJsonValue>> fields{
      {QStringLiteral("id"), uuidText(record.id)},
      {QStringLiteral("createdAt"), encodeDate(record.createdAt)},
      {QStringLiteral("completedAt"), encodeDate(record.completedAt)},
      {QStringLiteral("itemCount"), record.itemCount},
  };
  if (record.shareURL) {
    fields.append({QStringLiteral("shareURL"), record.shareURL->toString(QUrl::FullyEncoded)});
  }
  fields.append({QStringLiteral("isClosed"), record.isClosed});

  QByteArrayList members;
  for (const auto& [key, value] : std::as_const(fields))
    members.append(jsonText(key) + ':' + jsonText(value));
  return '{' + members.join(',') + '}';
}

QByteArray encodeRecords(const QList<BucketRecord>& records) {
  QByteArrayList elements;
  for (const BucketRecord& record : records) elements.append(encodeRecord(record));
  return '[' + elements.join(',') + ']';
}

// ---- The file

// The records hold share links: only their owner may read them.
constexpr QFileDevice::Permissions kPrivateFile = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// "<file>.unreadable-20240301T120000Z", numbered when that name is taken, so no earlier copy is replaced.
QString unusedAsideName(const QString& filePath, const QDateTime& now) {
  const QString base =
      filePath + QLatin1String(".unreadable-") + now.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
  QString candidate = base;
  for (int n = 2; QFileInfo::exists(candidate); ++n) candidate = base + QLatin1Char('-') + QString::number(n);
  return candidate;
}

}  // namespace

BucketHistory::BucketHistory(QString filePath, const Clock& clock, QObject* parent)
    : QObject(parent), filePath_(std::move(filePath)), clock_(clock) {
  load();
}

void BucketHistory::load() {
  if (!QFileInfo::exists(filePath_)) return;
  // A history written before it was kept private is tightened at once, not only at the next save.
  if (QFileInfo(filePath_).isFile() &&
      (!ensurePrivateDirectory(QFileInfo(filePath_).absolutePath()) ||
       !QFile::setPermissions(filePath_, kPrivateFile)))
    qCWarning(lcApp) << "Cannot make the bucket history private" << privateValue(filePath_);
  QFile file(filePath_);
  if (!file.open(QIODevice::ReadOnly)) {
    fileNeedsKeeping_ = true;
    return;
  }
  const QByteArray data = file.readAll();
  if (file.error() != QFileDevice::NoError) {
    fileNeedsKeeping_ = true;
    return;
  }
  if (data.isEmpty()) return;
  const QJsonDocument document = QJsonDocument::fromJson(data);
  if (!document.isArray()) {
    fileNeedsKeeping_ = true;
    return;
  }
  const QJsonArray array = document.array();
  for (const QJsonValue& value : array) {
    if (std::optional<BucketRecord> record = decodeRecord(value)) {
      records_.append(std::move(*record));
    } else {
      // The rest is usable; the file still holds something we could not take in, so keep it on the next
      // write.
      fileNeedsKeeping_ = true;
    }
  }
}

void BucketHistory::record(const Bucket& bucket, const std::optional<QUrl>& shareURL) {
  records_.append(
      BucketRecord{bucket.id(), bucket.createdAt(), clock_.now(), bucket.items().size(), shareURL, false});
  Q_EMIT recordsChanged();
  save();
}

bool BucketHistory::keepUnreadableFile() {
  if (!fileNeedsKeeping_) return true;
  if (!QFileInfo::exists(filePath_)) {
    fileNeedsKeeping_ = false;
    return true;
  }
  const QString aside = unusedAsideName(filePath_, clock_.now());
  if (!QDir().rename(filePath_, aside)) {
    qCWarning(lcApp) << "Cannot move the unreadable bucket history aside; not overwriting it:"
                     << privateValue(filePath_);
    return false;
  }
  qCWarning(lcApp) << "Kept the unreadable bucket history as" << privateValue(aside);
  fileNeedsKeeping_ = false;
  return true;
}

void BucketHistory::save() {
  if (!keepUnreadableFile()) return;
  const QString folder = QFileInfo(filePath_).absolutePath();
  if (!ensurePrivateDirectory(folder)) {
    qCWarning(lcApp) << "Cannot create the bucket history's folder" << privateValue(folder);
    return;
  }
  QString error;
  if (!writeFileAtomically(filePath_, encodeRecords(records_), kPrivateFile, &error))
    qCWarning(lcApp) << "Cannot write the bucket history" << privateValue(filePath_) << error;
}

}  // namespace pm
