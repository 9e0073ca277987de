#include "SharedDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include "AtomicFile.h"
#include "Clock.h"
#include "FileLock.h"
#include "JsonNumbers.h"
#include "Log.h"
#include "Paths.h"
#include "SharedNames.h"

namespace pm {

// ---- typed reads ---------------------------------------------------------------------------------------

std::optional<bool> SharedDefaults::boolValue(const QString& key) const {
  const QVariant v = object(key);
  if (v.typeId() != QMetaType::Bool) return std::nullopt;
  return v.toBool();
}

std::optional<qint64> SharedDefaults::integerValue(const QString& key) const {
  const QVariant v = object(key);
  if (v.typeId() != QMetaType::LongLong) return std::nullopt;
  return v.toLongLong();
}

std::optional<double> SharedDefaults::doubleValue(const QString& key) const {
  const QVariant v = object(key);
  if (v.typeId() != QMetaType::Double && v.typeId() != QMetaType::LongLong) return std::nullopt;
  return v.toDouble();
}

std::optional<QString> SharedDefaults::stringValue(const QString& key) const {
  const QVariant v = object(key);
  if (v.typeId() != QMetaType::QString) return std::nullopt;
  return v.toString();
}

std::optional<QByteArray> SharedDefaults::dataValue(const QString& key) const {
  const QVariant v = object(key);
  if (v.typeId() != QMetaType::QByteArray) return std::nullopt;
  return v.toByteArray();
}

std::optional<QDateTime> SharedDefaults::dateValue(const QString& key) const {
  const QVariant v = object(key);
  if (v.typeId() != QMetaType::QDateTime) return std::nullopt;
  return v.toDateTime();
}

std::optional<QStringList> SharedDefaults::stringArrayValue(const QString& key) const {
  const QVariant v = object(key);
  if (v.typeId() != QMetaType::QVariantList) return std::nullopt;
  QStringList out;
  for (const QVariant& element : v.toList()) {
    if (element.typeId() != QMetaType::QString) return std::nullopt;
    out.append(element.toString());
  }
  return out;
}

// ---- the stored type system -----------------------------------------------------------------------------

QVariant normalizedDefaultsValue(const QVariant& value) {
  switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Double:
    case QMetaType::QString:
    case QMetaType::QByteArray:
      return value;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
      return QVariant::fromValue(value.toLongLong());
    case QMetaType::ULong:
    case QMetaType::ULongLong: {
      bool ok = false;
      const qulonglong u = value.toULongLong(&ok);
      if (!ok || u > qulonglong(std::numeric_limits<qint64>::max())) return {};
      return QVariant::fromValue(qint64(u));
    }
    case QMetaType::Float:
      return QVariant::fromValue(value.toDouble());
    case QMetaType::QDateTime: {
      const QDateTime d = value.toDateTime();
      if (!d.isValid()) return {};
      const QDateTime stored = dateFromReferenceSeconds(secondsSinceReferenceDate(d));
      return stored.isValid() ? QVariant(stored) : QVariant();
    }
    case QMetaType::QStringList: {
      QVariantList list;
      for (const QString& s : value.toStringList()) list.append(s);
      return list;
    }
    case QMetaType::QVariantList: {
      QVariantList list;
      for (const QVariant& element : value.toList()) {
        QVariant n = normalizedDefaultsValue(element);
        if (!n.isValid()) return {};
        list.append(n);
      }
      return list;
    }
    case QMetaType::QVariantMap: {
      QVariantMap map;
      const QVariantMap in = value.toMap();
      for (auto it = in.begin(); it != in.end(); ++it) {
        QVariant n = normalizedDefaultsValue(it.value());
        if (!n.isValid()) return {};
        map.insert(it.key(), n);
      }
      return map;
    }
    default:
      return {};
  }
}

namespace {

// Each stored value is an object with one key naming its type, so a reader can tell a Bool from the
// string "true" and a date from a number.
QJsonValue encodeValue(const QVariant& value) {
  switch (value.typeId()) {
    case QMetaType::Bool:
      return QJsonObject{{QStringLiteral("bool"), value.toBool()}};
    case QMetaType::LongLong:
      return QJsonObject{{QStringLiteral("integer"), value.toLongLong()}};
    case QMetaType::Double:
      return QJsonObject{{QStringLiteral("double"), value.toDouble()}};
    case QMetaType::QString:
      return QJsonObject{{QStringLiteral("string"), value.toString()}};
    case QMetaType::QByteArray:
      return QJsonObject{{QStringLiteral("data"), QString::fromLatin1(value.toByteArray().toBase64())}};
    case QMetaType::QDateTime:
      // A number, not ISO text: ISO text has no form for years before 0 or after 9999, and the model's
      // "distant past" is year 1 of another calendar.
      return QJsonObject{{QStringLiteral("date"), secondsSinceReferenceDate(value.toDateTime())}};
    case QMetaType::QVariantList: {
      QJsonArray array;
      for (const QVariant& element : value.toList()) array.append(encodeValue(element));
      return QJsonObject{{QStringLiteral("array"), array}};
    }
    case QMetaType::QVariantMap: {
      QJsonObject object;
      const QVariantMap map = value.toMap();
      for (auto it = map.begin(); it != map.end(); ++it) object.insert(it.key(), encodeValue(it.value()));
      return QJsonObject{{QStringLiteral("dictionary"), object}};
    }
    default:
      return QJsonValue::Undefined;
  }
}

QVariant decodeValue(const QJsonValue& stored) {
  if (!stored.isObject()) return {};
  const QJsonObject object = stored.toObject();
  if (object.size() != 1) return {};
  const QString tag = object.begin().key();
  const QJsonValue v = object.begin().value();
  if (tag == QLatin1String("bool")) return v.isBool() ? QVariant(v.toBool()) : QVariant();
  if (tag == QLatin1String("integer")) {
    const auto n = exactInteger(v);
    return n ? QVariant::fromValue(*n) : QVariant();
  }
  if (tag == QLatin1String("double")) return v.isDouble() ? QVariant(v.toDouble()) : QVariant();
  if (tag == QLatin1String("string")) return v.isString() ? QVariant(v.toString()) : QVariant();
  if (tag == QLatin1String("data")) {
    if (!v.isString()) return {};
    auto decoded = QByteArray::fromBase64Encoding(v.toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    return decoded ? QVariant(*decoded) : QVariant();
  }
  if (tag == QLatin1String("date")) {
    if (v.isDouble()) {
      const QDateTime d = dateFromReferenceSeconds(v.toDouble());
      return d.isValid() ? QVariant(d) : QVariant();
    }
    // Files written before dates were numbers hold ISO text.
    if (!v.isString()) return {};
    const QDateTime d = QDateTime::fromString(v.toString(), Qt::ISODateWithMs);
    return d.isValid() ? normalizedDefaultsValue(d) : QVariant();
  }
  if (tag == QLatin1String("array")) {
    if (!v.isArray()) return {};
    QVariantList list;
    for (const QJsonValue& element : v.toArray()) {
      QVariant decoded = decodeValue(element);
      if (!decoded.isValid()) return {};
      list.append(decoded);
    }
    return list;
  }
  if (tag == QLatin1String("dictionary")) {
    if (!v.isObject()) return {};
    QVariantMap map;
    const QJsonObject dict = v.toObject();
    for (auto it = dict.begin(); it != dict.end(); ++it) {
      QVariant decoded = decodeValue(it.value());
      if (!decoded.isValid()) return {};
      map.insert(it.key(), decoded);
    }
    return map;
  }
  return {};
}

// A file that is not a JSON object reads as empty; the next write moves it aside before replacing it.
std::optional<QJsonObject> parseObject(const QByteArray& bytes) {
  QJsonParseError error{};
  const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
  if (error.error != QJsonParseError::NoError || !document.isObject()) return std::nullopt;
  return document.object();
}

enum class FileRead {
  read,
  absent,
  unusable,  // there, but never readable (no permission, a folder in its place): treated like bad content
  failed,    // a readable file that did not read this time (I/O error, no descriptor left)
};

FileRead readFile(const QString& path, QByteArray* bytes) {
  bytes->clear();
  QFile file(path);
  if (file.open(QIODevice::ReadOnly)) {
    *bytes = file.readAll();
    if (file.error() == QFileDevice::NoError) return FileRead::read;
    bytes->clear();
    return FileRead::failed;
  }
  const QFileInfo info(path);
  if (!info.exists()) return FileRead::absent;
  return info.isFile() && info.isReadable() ? FileRead::failed : FileRead::unusable;
}

}  // namespace

// ---- FileSharedDefaults ---------------------------------------------------------------------------------

struct FileSharedDefaults::Snapshot {
  FileRead outcome = FileRead::absent;
  QByteArray bytes;
  QJsonObject values;
};

FileSharedDefaults::FileSharedDefaults(QString filePath) : path_(std::move(filePath)) {}

std::shared_ptr<const FileSharedDefaults::Snapshot> FileSharedDefaults::snapshot() const {
  QByteArray bytes;
  const FileRead outcome = readFile(path_, &bytes);
  if (outcome == FileRead::failed) {
    qCWarning(lcDefaults) << "Cannot read the preferences file" << privateValue(path_);
    return nullptr;
  }
  // Reading the bytes is cheap; parsing them is what a read must not repeat when nothing changed.
  QMutexLocker lock(&cacheMutex_);
  if (cache_ && cache_->outcome == outcome && cache_->bytes == bytes) return cache_;
  auto fresh = std::make_shared<Snapshot>();
  fresh->outcome = outcome;
  if (outcome == FileRead::read) fresh->values = parseObject(bytes).value_or(QJsonObject());
  fresh->bytes = std::move(bytes);
  cache_ = fresh;
  return fresh;
}

std::optional<QVariant> FileSharedDefaults::read(const QString& key) const {
  const auto snap = snapshot();
  if (!snap) return std::nullopt;
  const auto it = snap->values.constFind(key);
  if (it == snap->values.constEnd()) return QVariant();
  return decodeValue(it.value());
}

bool FileSharedDefaults::set(const QString& key, const QVariant& value) {
  if (value.isValid() && !normalizedDefaultsValue(value).isValid()) {
    qCWarning(lcDefaults) << "Not storing" << key << "- unsupported value type" << value.typeName();
    return false;
  }
  bool ok = false;
  update(key, [&value](const QVariant&) { return value; }, &ok);
  return ok;
}

QVariant FileSharedDefaults::update(const QString& key, const Change& change, bool* ok) {
  if (ok) *ok = false;

  const QFileInfo info(path_);
  if (!ensurePrivateDirectory(info.absolutePath())) {
    qCWarning(lcDefaults) << "Cannot create the preferences folder" << privateValue(info.absolutePath());
    return {};
  }
  // Held for the read, the change and the rename only; every other writer waits in the kernel meanwhile.
  const FileLock lock(path_ + QLatin1String(".lock"));
  if (!lock.isLocked()) {
    qCWarning(lcDefaults) << "Cannot lock the preferences file" << privateValue(path_) << lock.errorString();
    return {};
  }

  QByteArray bytes;
  const FileRead outcome = readFile(path_, &bytes);
  if (outcome == FileRead::failed) {
    // Writing now would replace a good file with only this key.
    qCWarning(lcDefaults) << "Not writing" << key << "- the preferences file cannot be read";
    return {};
  }
  std::optional<QJsonObject> parsed;
  if (outcome == FileRead::read) parsed = parseObject(bytes);
  if (outcome == FileRead::absent) parsed.emplace();
  if (!parsed) {
    const QString aside = path_ + QLatin1String(".unreadable-") +
                          QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss.zzz'Z'"));
    if (!QFile::rename(path_, aside)) {
      qCWarning(lcDefaults) << "Not writing" << key << "- cannot move the unreadable preferences file aside";
      return {};
    }
    qCWarning(lcDefaults) << "Moved an unreadable preferences file aside to" << privateValue(aside);
    parsed.emplace();
  }
  QJsonObject& values = *parsed;

  const auto current = values.constFind(key);
  const QVariant previous = current == values.constEnd() ? QVariant() : decodeValue(current.value());
  const QVariant next = change(previous);
  if (next.isValid()) {
    const QVariant normalized = normalizedDefaultsValue(next);
    if (!normalized.isValid()) {
      qCWarning(lcDefaults) << "Not storing" << key << "- unsupported value type" << next.typeName();
      return previous;
    }
    values.insert(key, encodeValue(normalized));
  } else {
    values.remove(key);
  }

  QString error;
  if (!writeFileAtomically(path_, QJsonDocument(values).toJson(QJsonDocument::Compact),
                           QFileDevice::ReadOwner | QFileDevice::WriteOwner, &error)) {
    qCWarning(lcDefaults) << "Cannot write the preferences file" << privateValue(path_) << error;
    return previous;
  }
  if (ok) *ok = true;
  return previous;
}

// ---- MemorySharedDefaults -------------------------------------------------------------------------------

std::optional<QVariant> MemorySharedDefaults::read(const QString& key) const {
  QMutexLocker lock(&mutex_);
  if (readsFail_) return std::nullopt;
  return values_.value(key);
}

void MemorySharedDefaults::setReadsFail(bool fail) {
  QMutexLocker lock(&mutex_);
  readsFail_ = fail;
}

bool MemorySharedDefaults::set(const QString& key, const QVariant& value) {
  bool ok = false;
  update(key, [&value](const QVariant&) { return value; }, &ok);
  return ok;
}

QVariant MemorySharedDefaults::update(const QString& key, const Change& change, bool* ok) {
  QMutexLocker lock(&mutex_);
  if (readsFail_) {
    if (ok) *ok = false;
    return {};
  }
  const QVariant previous = values_.value(key);
  const QVariant next = change(previous);
  if (!next.isValid()) {
    values_.remove(key);
  } else {
    const QVariant normalized = normalizedDefaultsValue(next);
    if (!normalized.isValid()) {
      if (ok) *ok = false;
      return previous;
    }
    values_.insert(key, normalized);
  }
  if (ok) *ok = true;
  return previous;
}

QStringList MemorySharedDefaults::keys() const {
  QMutexLocker lock(&mutex_);
  return values_.keys();
}

// ---- the accessor ---------------------------------------------------------------------------------------

std::optional<QString> testSuiteOverride() {
  static const std::optional<QString> value = []() -> std::optional<QString> {
    if (!qEnvironmentVariableIsSet(names::kTestSuiteVariable)) return std::nullopt;
    return qEnvironmentVariable(names::kTestSuiteVariable);
  }();
  return value;
}

namespace {
bool isUsableSuiteName(const QString& name) {
  return !name.isEmpty() && !name.contains(QLatin1Char('/')) && !name.startsWith(QLatin1Char('.'));
}
}  // namespace

QString sharedSuiteName(const QString& standardSuite) {
  if (const auto test = testSuiteOverride()) return isUsableSuiteName(*test) ? *test : standardSuite;
  return QString::fromLatin1(names::kSuiteName);
}

std::unique_ptr<SharedDefaults> openSharedDefaults(const Paths& paths, const QString& standardSuite) {
  return std::make_unique<FileSharedDefaults>(paths.suiteFile(sharedSuiteName(standardSuite)));
}

}  // namespace pm
