#include "SharedDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSaveFile>

#include <mutex>

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
      return d.isValid() ? QVariant(d.toUTC()) : QVariant();
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
      return QJsonObject{
          {QStringLiteral("date"), value.toDateTime().toUTC().toString(Qt::ISODateWithMs)}};
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
    if (!v.isDouble()) return {};
    const QVariant n = v.toVariant();
    if (n.typeId() == QMetaType::LongLong) return n;
    const double d = v.toDouble();
    if (d != double(qint64(d))) return {};
    return QVariant::fromValue(qint64(d));
  }
  if (tag == QLatin1String("double")) return v.isDouble() ? QVariant(v.toDouble()) : QVariant();
  if (tag == QLatin1String("string")) return v.isString() ? QVariant(v.toString()) : QVariant();
  if (tag == QLatin1String("data")) {
    if (!v.isString()) return {};
    auto decoded = QByteArray::fromBase64Encoding(v.toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    return decoded ? QVariant(*decoded) : QVariant();
  }
  if (tag == QLatin1String("date")) {
    if (!v.isString()) return {};
    const QDateTime d = QDateTime::fromString(v.toString(), Qt::ISODateWithMs);
    return d.isValid() ? QVariant(d.toUTC()) : QVariant();
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

struct ParsedFile {
  QJsonObject values;
  bool exists = false;
  bool readable = true;  // false: the file exists but is not a JSON object
};

ParsedFile parse(const QByteArray& bytes, bool exists) {
  ParsedFile parsed;
  parsed.exists = exists;
  if (!exists) return parsed;
  QJsonParseError error{};
  const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
  if (error.error != QJsonParseError::NoError || !document.isObject()) {
    parsed.readable = false;
    return parsed;
  }
  parsed.values = document.object();
  return parsed;
}

bool readFile(const QString& path, QByteArray* bytes, bool* exists) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    *exists = file.exists();
    bytes->clear();
    return !*exists;  // absent is fine; present but unreadable is not
  }
  *exists = true;
  *bytes = file.readAll();
  return file.error() == QFileDevice::NoError;
}

// Writes from two threads of one process must not meet in the lock file: QLockFile guards processes.
QMutex& processWriteMutex() {
  static QMutex mutex;
  return mutex;
}

}  // namespace

// ---- FileSharedDefaults ---------------------------------------------------------------------------------

struct FileSharedDefaults::Snapshot {
  QByteArray bytes;
  ParsedFile parsed;
};

FileSharedDefaults::FileSharedDefaults(QString filePath) : path_(std::move(filePath)) {}

std::shared_ptr<const FileSharedDefaults::Snapshot> FileSharedDefaults::snapshot() const {
  QByteArray bytes;
  bool exists = false;
  if (!readFile(path_, &bytes, &exists)) {
    qCWarning(lcDefaults) << "Cannot read the preferences file" << privateValue(path_);
  }
  // Reading the bytes is cheap; parsing them is what a read must not repeat when nothing changed.
  QMutexLocker lock(&cacheMutex_);
  if (cache_ && cache_->parsed.exists == exists && cache_->bytes == bytes) return cache_;
  auto fresh = std::make_shared<Snapshot>();
  fresh->parsed = parse(bytes, exists);
  fresh->bytes = std::move(bytes);
  cache_ = fresh;
  return fresh;
}

QVariant FileSharedDefaults::object(const QString& key) const {
  const auto snap = snapshot();
  const auto it = snap->parsed.values.constFind(key);
  if (it == snap->parsed.values.constEnd()) return {};
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
  QMutexLocker processLock(&processWriteMutex());

  const QFileInfo info(path_);
  if (!ensurePrivateDirectory(info.absolutePath())) {
    qCWarning(lcDefaults) << "Cannot create the preferences folder" << privateValue(info.absolutePath());
    return {};
  }
  QLockFile lock(path_ + QLatin1String(".lock"));
  lock.setStaleLockTime(10'000);
  if (!lock.tryLock(10'000)) {
    qCWarning(lcDefaults) << "Cannot lock the preferences file" << privateValue(path_) << "error" << lock.error();
    return {};
  }

  QByteArray bytes;
  bool exists = false;
  if (!readFile(path_, &bytes, &exists)) {
    const QFileInfo unopened(path_);
    if (unopened.isFile() && unopened.isReadable()) {
      // A passing failure (descriptors, I/O): writing now would replace a good file with only this key.
      qCWarning(lcDefaults) << "Not writing" << key << "- the preferences file cannot be read";
      return {};
    }
    // No permission or not a file: nothing will ever read it, so it is set aside like a corrupt one.
    bytes.clear();
  }
  ParsedFile parsed = parse(bytes, exists);
  if (!parsed.readable) {
    const QString aside = path_ + QLatin1String(".unreadable-") +
                          QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss.zzz'Z'"));
    if (!QFile::rename(path_, aside)) {
      qCWarning(lcDefaults) << "Not writing" << key << "- cannot move the unreadable preferences file aside";
      return {};
    }
    qCWarning(lcDefaults) << "Moved an unreadable preferences file aside to" << privateValue(aside);
  }

  const auto current = parsed.values.constFind(key);
  const QVariant previous = current == parsed.values.constEnd() ? QVariant() : decodeValue(current.value());
  const QVariant next = change(previous);
  if (next.isValid()) {
    const QVariant normalized = normalizedDefaultsValue(next);
    if (!normalized.isValid()) {
      qCWarning(lcDefaults) << "Not storing" << key << "- unsupported value type" << next.typeName();
      return previous;
    }
    parsed.values.insert(key, encodeValue(normalized));
  } else {
    parsed.values.remove(key);
  }

  QSaveFile out(path_);
  if (!out.open(QIODevice::WriteOnly)) {
    qCWarning(lcDefaults) << "Cannot write the preferences file" << privateValue(path_) << out.errorString();
    return previous;
  }
  out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  out.write(QJsonDocument(parsed.values).toJson(QJsonDocument::Compact));
  if (!out.commit()) {
    qCWarning(lcDefaults) << "Cannot write the preferences file" << privateValue(path_) << out.errorString();
    return previous;
  }
  if (ok) *ok = true;
  return previous;
}

// ---- MemorySharedDefaults -------------------------------------------------------------------------------

QVariant MemorySharedDefaults::object(const QString& key) const {
  QMutexLocker lock(&mutex_);
  return values_.value(key);
}

bool MemorySharedDefaults::set(const QString& key, const QVariant& value) {
  bool ok = false;
  update(key, [&value](const QVariant&) { return value; }, &ok);
  return ok;
}

QVariant MemorySharedDefaults::update(const QString& key, const Change& change, bool* ok) {
  QMutexLocker lock(&mutex_);
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
