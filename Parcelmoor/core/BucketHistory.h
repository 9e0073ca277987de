#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QUuid>

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
// Loaded once at construction; from then on memory is the truth and every change rewrites the file whole.
// Never throws: a file that cannot be used reads as an empty history and is kept aside, not overwritten.
class BucketHistory final : public QObject {
  Q_OBJECT

 public:
  // `filePath` is normally Paths::historyFile(). Nothing is created on disk until the first record. The
  // clock must outlive the history.
  BucketHistory(QString filePath, const Clock& clock, QObject* parent = nullptr);

  const QList<BucketRecord>& records() const { return records_; }
  const QString& filePath() const { return filePath_; }

  // Appends a record of the bucket as it is now (its items counted at this moment) and saves.
  void record(const Bucket& bucket, const std::optional<QUrl>& shareURL);
  // Writes every record to the file atomically. A failure (a full disk included) is logged, leaves the old
  // file as it was, and the records stay in memory.
  void save();

 Q_SIGNALS:
  void recordsChanged();

 private:
  void load();
  // Moves a file that held more than was loaded out of the way; false when it is still in the way.
  bool keepUnreadableFile();

  const QString filePath_;
  const Clock& clock_;
  QList<BucketRecord> records_;
  bool fileNeedsKeeping_ = false;
};

}  // namespace pm
