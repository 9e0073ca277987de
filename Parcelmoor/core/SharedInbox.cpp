#include "SharedInbox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>

#include "core/Identifiers.h"
#include "platform/Clock.h"
#include "platform/FileDescriptor.h"
#include "platform/Log.h"
#include "platform/SharedDefaults.h"
#include "platform/SharedNames.h"

namespace pm {

namespace {

const QString kId = QStringLiteral("id");
const QString kUploaderID = QStringLiteral("uploaderID");
const QString kPaths = QStringLiteral("paths");
const QString kDisplayName = QStringLiteral("displayName");
const QString kStartedAt = QStringLiteral("startedAt");

std::optional<QUuid> uuidFromText(const QJsonValue& value) {
  return value.isString() ? pm::uuidFromText(value.toString()) : std::nullopt;
}

std::optional<QStringList> stringArray(const QJsonValue& value) {
  if (!value.isArray()) return std::nullopt;
  QStringList strings;
  for (const QJsonValue& element : value.toArray()) {
    if (!element.isString()) return std::nullopt;
    strings.append(element.toString());
  }
  return strings;
}

std::optional<QJsonObject> jsonObject(const QByteArray& json) {
  const QJsonDocument document = QJsonDocument::fromJson(json);
  if (!document.isObject()) return std::nullopt;
  return document.object();
}

// The extension compared as it stands: "batch.JSON" is not a batch, and neither is a file named ".json".
bool isBatchFileName(const QString& name) {
  static const QString kExtension = QStringLiteral(".json");
  return name.size() > kExtension.size() && name.endsWith(kExtension, Qt::CaseSensitive);
}

bool isRegularFile(const struct stat& info) {
  return S_ISREG(info.st_mode);
}

// The bytes of a batch file: a regular file, or a link to one, of at most kMaximumBatchSize bytes. Nothing
// else is read: a link to a device would never end, and one to a FIFO would block the agent until somebody
// writes to it. A device is not even opened (opening some has effects); the descriptor is checked again
// in case the name was swapped meanwhile, and it is opened without blocking so a FIFO swapped in cannot
// hold the open.
std::optional<QByteArray> readBatchBytes(const QString& path) {
  const QByteArray name = QFile::encodeName(path);
  struct stat info {};
  if (::stat(name.constData(), &info) != 0 || !isRegularFile(info)) return std::nullopt;
  const FileDescriptor fd(::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!fd.isValid() || ::fstat(fd.get(), &info) != 0 || !isRegularFile(info)) return std::nullopt;
  if (info.st_size > SharedInbox::kMaximumBatchSize) {
    qCWarning(lcApp) << "Skipping inbox file" << privateValue(path) << "of" << qint64(info.st_size)
                     << "bytes: no batch is that large";
    return std::nullopt;
  }
  QFile file;
  if (!file.open(fd.get(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) return std::nullopt;
  // In steps, so a small batch costs little, and bounded even when the file grows while it is read.
  constexpr qint64 kStep = 64 * 1024;
  QByteArray bytes;
  bytes.reserve(qsizetype(info.st_size));
  for (;;) {
    const QByteArray chunk = file.read(std::min(kStep, SharedInbox::kMaximumBatchSize + 1 - bytes.size()));
    if (chunk.isEmpty()) break;
    bytes += chunk;
    if (bytes.size() > SharedInbox::kMaximumBatchSize) return std::nullopt;
  }
  return bytes;
}

std::optional<SharedInbox::Batch> readBatchFile(const QString& path) {
  const auto bytes = readBatchBytes(path);
  if (!bytes) return std::nullopt;
  auto batch = SharedInbox::Batch::fromJson(*bytes);
  if (batch) batch->file = path;
  return batch;
}

}  // namespace

// ---- Batch ----------------------------------------------------------------------------------------------

QList<QUrl> SharedInbox::Batch::urls() const {
  QList<QUrl> result;
  result.reserve(paths.size());
  for (const QString& path : paths) {
    if (!QDir::isAbsolutePath(path)) {
      qCWarning(lcApp) << "Skipping a path of inbox batch" << uuidText(id)
                          << "that is not absolute:" << privateValue(path);
      continue;
    }
    // A path beginning with "//" is read as a host by the URL; one that names no valid host ("//[x") makes
    // no file URL at all, and one that does not come back as the same path would name another file.
    QUrl url = QUrl::fromLocalFile(path);
    if (!url.isValid() || url.toLocalFile() != path) {
      qCWarning(lcApp) << "Skipping a path of inbox batch" << uuidText(id)
                          << "that cannot be named as a file:" << privateValue(path);
      continue;
    }
    result.append(std::move(url));
  }
  return result;
}

QByteArray SharedInbox::Batch::toJson() const {
  QJsonObject object{{kId, uuidText(id)}, {kPaths, QJsonArray::fromStringList(paths)}};
  if (uploaderID) object.insert(kUploaderID, uuidText(*uploaderID));
  return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<SharedInbox::Batch> SharedInbox::Batch::fromJson(const QByteArray& json) {
  const auto object = jsonObject(json);
  if (!object) return std::nullopt;
  const auto id = uuidFromText(object->value(kId));
  const auto paths = stringArray(object->value(kPaths));
  if (!id || !paths) return std::nullopt;

  Batch batch{*id, std::nullopt, *paths, {}};
  const QJsonValue uploader = object->value(kUploaderID);
  if (!uploader.isUndefined() && !uploader.isNull()) {
    batch.uploaderID = uuidFromText(uploader);
    if (!batch.uploaderID) return std::nullopt;
  }
  return batch;
}

// ---- OpenBucket -----------------------------------------------------------------------------------------

std::optional<QByteArray> SharedInbox::OpenBucket::toJson() const {
  if (!startedAt.isValid()) return std::nullopt;
  const QJsonObject object{{kUploaderID, uuidText(uploaderID)},
                           {kDisplayName, displayName},
                           {kStartedAt, secondsSinceReferenceDate(startedAt)}};
  return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<SharedInbox::OpenBucket> SharedInbox::OpenBucket::fromJson(const QByteArray& json) {
  const auto object = jsonObject(json);
  if (!object) return std::nullopt;
  const auto uploaderID = uuidFromText(object->value(kUploaderID));
  const QJsonValue displayName = object->value(kDisplayName);
  const QJsonValue startedAt = object->value(kStartedAt);
  if (!uploaderID || !displayName.isString() || !startedAt.isDouble()) return std::nullopt;
  const QDateTime started = dateFromReferenceSeconds(startedAt.toDouble());
  if (!started.isValid()) return std::nullopt;
  return OpenBucket{*uploaderID, displayName.toString(), started};
}

// ---- SharedInbox ----------------------------------------------------------------------------------------

SharedInbox::SharedInbox(Paths paths, SharedDefaults& defaults, const Clock& clock,
                         std::chrono::milliseconds wakeFreshness)
    : paths_(std::move(paths)), defaults_(defaults), clock_(clock), wakeFreshness_(wakeFreshness) {}

std::optional<QString> SharedInbox::inboxFolder() const {
  const QString folder = paths_.inbox();
  if (!ensurePrivateDirectory(paths_.groupContainer) || !ensurePrivateDirectory(folder)) {
    qCCritical(lcApp) << "The inbox folder" << privateValue(folder)
                         << "cannot be created or made private; batches from other programs are not taken";
    return std::nullopt;
  }
  return folder;
}

QList<SharedInbox::Batch> SharedInbox::loadBatches() {
  const auto folder = inboxFolder();
  if (!folder) return {};
  const QDir dir(*folder);
  // Regular files only: opening a FIFO left under a batch name would block the agent until something
  // writes to it, and a device file would never end.
  const QStringList names = dir.entryList(QDir::Files | QDir::Hidden, QDir::Unsorted);
  QList<Batch> batches;
  for (const QString& name : names) {
    if (!isBatchFileName(name)) continue;
    auto batch = readBatchFile(dir.filePath(name));
    if (!batch) continue;
    if (taken_.contains(batch->id)) {
      // Handed over already: the sender wrote it again, or wrote it in place after it was taken.
      qCInfo(lcApp) << "Inbox batch" << uuidText(batch->id) << "was taken already; removing its copy";
      QFile::remove(batch->file);
      continue;
    }
    batches.append(std::move(*batch));
  }
  return batches;
}

bool SharedInbox::removeBatch(const Batch& batch) {
  const QString path =
      batch.file.isEmpty() ? paths_.inbox() + QLatin1Char('/') + uuidText(batch.id) + QLatin1String(".json") : batch.file;
  QFile file(path);
  if (file.remove() || !QFileInfo::exists(path)) {
    taken_.insert(batch.id);
    return true;
  }
  qCWarning(lcApp) << "Cannot delete inbox batch" << uuidText(batch.id) << privateValue(path)
                      << file.errorString();
  return false;
}

void SharedInbox::publish(const std::optional<OpenBucket>& openBucket) const {
  const QString key = QString::fromLatin1(names::key::kOpenBucket);
  const auto json = openBucket ? openBucket->toJson() : std::nullopt;
  if (json) {
    defaults_.set(key, *json);
  } else if (defaults_.contains(key)) {
    defaults_.remove(key);
  }
}

bool SharedInbox::consumeUploadWake() const {
  const QString marker = paths_.uploadWake();
  const QFileInfo info(marker);
  if (!info.exists()) return false;
  const QDateTime modified = info.fileTime(QFileDevice::FileModificationTime);
  if (!modified.isValid()) return false;
  QFile::remove(marker);
  return modified.msecsTo(clock_.now()) < wakeFreshness_.count();
}

}  // namespace pm
