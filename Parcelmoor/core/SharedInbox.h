#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QUuid>

#include <chrono>
#include <optional>

#include "platform/Paths.h"

namespace pm {

class Clock;
class SharedDefaults;

// The formats and files through which other programs of the group hand files to the agent: batches in
// the container's Inbox folder, the wake marker beside it, and the open bucket published in the suite.
//
// How a sender leaves a batch: it writes the JSON under another name that does not end in ".json" (for
// example "<ID>.json.part" in the Inbox folder), closes the file, and renames it to "<ID>.json", its
// batch's id in upper-case text. The rename makes the whole batch appear at once, so the agent never meets
// half of one. A batch written in place under its final name is taken too, once its writer closes it,
// but a drain that runs between the creation and the last write finds it incomplete and skips it.
class SharedInbox {
 public:
  // One batch as a sender left it: {"id": UUID, "uploaderID": UUID (optional), "paths": [text]}.
  struct Batch {
    QUuid id;
    std::optional<QUuid> uploaderID;  // none lets the drain choose the connection
    QStringList paths;
    // The file the batch was read from; empty for a batch that did not come from the inbox.
    QString file;

    // The absolute paths as file URLs, in order. A relative path would resolve against whatever the
    // agent's working directory happens to be, so it is left out (logged).
    QList<QUrl> urls() const;

    QByteArray toJson() const;
    // Nothing unless "id" is UUID text and "paths" an array of texts; "uploaderID" may be absent or null.
    static std::optional<Batch> fromJson(const QByteArray& json);
  };

  // The bucket the agent has open, for senders to show: {"uploaderID", "displayName", "startedAt"}.
  struct OpenBucket {
    QUuid uploaderID;
    QString displayName;
    QDateTime startedAt;  // stored as seconds since 2001-01-01 with a fraction

    bool operator==(const OpenBucket&) const = default;

    // Nothing when `startedAt` is not a valid date.
    std::optional<QByteArray> toJson() const;
    // All three keys required.
    static std::optional<OpenBucket> fromJson(const QByteArray& json);
  };

  static constexpr std::chrono::milliseconds kWakeFreshness{10'000};
  // Batches are lists of paths; a file larger than this is no batch and is not read.
  static constexpr qint64 kMaximumBatchSize = qint64(16) << 20;

  SharedInbox(Paths paths, SharedDefaults& defaults, const Clock& clock,
              std::chrono::milliseconds wakeFreshness = kWakeFreshness);

  // The Inbox folder, created when missing. The container and the folder are made private to the user
  // (0700): a batch names local files to upload, so nobody else may leave one. Nothing (logged) when
  // the folder cannot be created or made private; there is no inbox then.
  std::optional<QString> inboxFolder() const;

  // Every "*.json" file of the inbox that decodes as a batch, in listing order. Only a regular file (or a
  // link to one) of at most kMaximumBatchSize bytes is read. Files stay where they are; a file that cannot
  // be read or decoded is skipped and met again on the next call. A batch whose id this inbox removed
  // before (a sender that wrote it again) is not returned a second time: its file is deleted.
  QList<Batch> loadBatches();

  // Deletes the file the batch was read from (for a batch not read from the inbox, the file named after
  // its id) and remembers the batch as taken. Reads true when the file is gone afterwards; false (logged)
  // when it is still there, so handing the batch over now would hand it over again on the next drain.
  bool removeBatch(const Batch& batch);

  // Stores the entry under "openBucket", or removes the key for none or an entry that cannot be encoded.
  void publish(const std::optional<OpenBucket>& openBucket) const;

  // True when the wake marker exists and was modified less than `wakeFreshness` ago (a date in the future
  // counts as fresh). A marker that is there is deleted, fresh or stale.
  bool consumeUploadWake() const;

 private:
  Paths paths_;
  SharedDefaults& defaults_;
  const Clock& clock_;
  std::chrono::milliseconds wakeFreshness_;
  // The batches handed over in this run.
  QSet<QUuid> taken_;
};

}  // namespace pm
