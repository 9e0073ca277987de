#pragma once

#include <QByteArrayList>
#include <QDateTime>
#include <QFileDevice>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

namespace pm {

class Bucket;
class Clock;

// What is kept of one finished bucket.
struct BucketRecord {
  QUuid id;
  QDateTime createdAt;
  QDateTime completedAt;
  qint64 itemCount = 0;
  std::optional<QUrl> shareURL;
  bool isClosed = false;

  bool operator==(const BucketRecord&) const = default;
};

// The agent's list of finished buckets, oldest first, kept in one JSON file that only the agent reads.
// The file and its folder are private to the user (0600/0700): the records hold share links.
// Loaded once at construction; from then on memory is the truth and every change rewrites the file whole,
// on a thread of its own: a long history costs the caller one encoded record per change, never the disk,
// and records that arrive while a write runs go out together in the next one.
// Never throws: a file that cannot be used reads as an empty history and is kept aside, not overwritten.
class BucketHistory final : public QObject {
  Q_OBJECT

 public:
  // `filePath` is normally Paths::historyFile(). Nothing is created on disk until the first record. The
  // clock must outlive the history.
  BucketHistory(QString filePath, const Clock& clock, QObject* parent = nullptr);
  // Writes what is still waiting to be written before it goes.
  ~BucketHistory() override;

  const QList<BucketRecord>& records() const { return records_; }
  const QString& filePath() const { return filePath_; }

  // Appends a record of the bucket as it is now (its items counted at this moment) and saves.
  void record(const Bucket& bucket, const std::optional<QUrl>& shareURL);
  // Writes every record to the file atomically, in the background. A failure (a full disk included) is
  // logged, leaves the old file as it was, and the records stay in memory.
  void save();
  // Blocks until every save asked for so far is on disk (or has failed).
  void flush();

  // How the file is replaced; tests hand in one that can be held back or fail. It runs on the history's
  // writing thread and has the signature of writeFileAtomically.
  using FileWriter = std::function<bool(const QString& path, const QByteArray& bytes,
                                        QFileDevice::Permissions permissions, QString* error)>;
  BucketHistory(QString filePath, const Clock& clock, FileWriter writeFile, QObject* parent = nullptr);

 Q_SIGNALS:
  void recordsChanged();

 private:
  struct Writing;

  void load();

  const QString filePath_;
  const Clock& clock_;
  QList<BucketRecord> records_;
  // Each record as the file holds it, in the same order: a save joins them instead of encoding them all.
  QByteArrayList encoded_;
  // The file's writing thread and what it alone touches; going, it finishes the write still waiting.
  std::unique_ptr<Writing> writing_;
};

}  // namespace pm
