#include "BucketHistory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <utility>

#include "core/Bucket.h"
#include "core/BucketHistoryDecoding.h"
#include "core/BucketRecordCoding.h"
#include "platform/AtomicFile.h"
#include "platform/Clock.h"
#include "platform/CoalescingWorker.h"
#include "platform/Log.h"
#include "platform/Paths.h"

namespace pm {
namespace {

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

// Everything here but the constructor runs on the writing thread, one write at a time.
struct BucketHistory::Writing {
  Writing(QString filePath, FileWriter writeFile)
      : filePath(std::move(filePath)), writeFile(std::move(writeFile)) {}

  void write(const QByteArrayList& records, const QDateTime& now) {
    if (!keepUnreadableFile(now)) return;
    const QString folder = QFileInfo(filePath).absolutePath();
    if (!ensurePrivateDirectory(folder)) {
      qCWarning(lcApp) << "Cannot create the bucket history's folder" << privateValue(folder);
      return;
    }
    QString error;
    if (!writeFile(filePath, '[' + records.join(',') + ']', kPrivateFile, &error))
      qCWarning(lcApp) << "Cannot write the bucket history" << privateValue(filePath) << error;
  }

  // Moves a file that held more than was loaded out of the way; false when it is still in the way.
  bool keepUnreadableFile(const QDateTime& now) {
    if (!fileNeedsKeeping) return true;
    if (!QFileInfo::exists(filePath)) {
      fileNeedsKeeping = false;
      return true;
    }
    const QString aside = unusedAsideName(filePath, now);
    if (!QDir().rename(filePath, aside)) {
      qCWarning(lcApp) << "Cannot move the unreadable bucket history aside; not overwriting it:"
                       << privateValue(filePath);
      return false;
    }
    qCWarning(lcApp) << "Kept the unreadable bucket history as" << privateValue(aside);
    fileNeedsKeeping = false;
    return true;
  }

  const QString filePath;
  const FileWriter writeFile;
  // Set while loading, before the first write; from then on only the writing thread reads and changes it.
  bool fileNeedsKeeping = false;
  // Last, so it stops (finishing its waiting write) before what that write uses goes.
  CoalescingWorker worker;
};

BucketHistory::BucketHistory(QString filePath, const Clock& clock, QObject* parent)
    : BucketHistory(std::move(filePath), clock, FileWriter(&writeFileAtomically), parent) {}

BucketHistory::BucketHistory(QString filePath, const Clock& clock, FileWriter writeFile, QObject* parent)
    : QObject(parent),
      filePath_(std::move(filePath)),
      clock_(clock),
      writing_(std::make_unique<Writing>(filePath_, std::move(writeFile))) {
  load();
}

BucketHistory::~BucketHistory() = default;

void BucketHistory::load() {
  if (!QFileInfo::exists(filePath_)) return;
  // A history written before it was kept private is tightened at once, not only at the next save.
  if (QFileInfo(filePath_).isFile() &&
      (!ensurePrivateDirectory(QFileInfo(filePath_).absolutePath()) ||
       !QFile::setPermissions(filePath_, kPrivateFile)))
    qCWarning(lcApp) << "Cannot make the bucket history private" << privateValue(filePath_);
  QFile file(filePath_);
  if (!file.open(QIODevice::ReadOnly)) {
    writing_->fileNeedsKeeping = true;
    return;
  }
  const QByteArray data = file.readAll();
  if (file.error() != QFileDevice::NoError) {
    writing_->fileNeedsKeeping = true;
    return;
  }
  if (data.isEmpty()) return;
  std::optional<DecodedBucketHistory> decoded = decodeBucketHistory(data);
  if (!decoded) {
    writing_->fileNeedsKeeping = true;
    return;
  }
  records_ = std::move(decoded->records);
  encoded_ = std::move(decoded->encoded);
  // The file still holds something we could not take in: keep it on the next write.
  if (decoded->leftSomethingOut) writing_->fileNeedsKeeping = true;
}

void BucketHistory::record(const Bucket& bucket, const std::optional<QUrl>& shareURL) {
  records_.append(
      BucketRecord{bucket.id(), bucket.createdAt(), clock_.now(), bucket.items().size(), shareURL, false});
  encoded_.append(encodeBucketRecord(records_.constLast()));
  Q_EMIT recordsChanged();
  save();
}

void BucketHistory::save() {
  // The job holds its own copy of the list (shared until the next record), so the history may change
  // while the file is written.
  writing_->worker.submit(
      [writing = writing_.get(), records = encoded_, now = clock_.now()] { writing->write(records, now); });
}

void BucketHistory::flush() { writing_->worker.waitUntilIdle(); }

}  // namespace pm
