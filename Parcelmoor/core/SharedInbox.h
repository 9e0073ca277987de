#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
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

  SharedInbox(Paths paths, SharedDefaults& defaults, const Clock& clock,
              std::chrono::milliseconds wakeFreshness = kWakeFreshness);

  // The Inbox folder, created when missing. The container and the folder are made private to the user
  // (0700): a batch names local files to upload, so nobody else may leave one. Nothing (logged) when
  // the folder cannot be created or made private; there is no inbox then.
  std::optional<QString> inboxFolder() const;

  // Every "*.json" file of the inbox that decodes as a batch, in listing order. Files stay where they
  // are; a file that cannot be read or decoded is skipped and met again on the next call.
  QList<Batch> loadBatches() const;

  // Deletes the file the batch was read from (for a batch not read from the inbox, the file named after
  // its id). Reads true when the file is gone afterwards; false (logged) when it is still there, so
  // handing the batch over now would hand it over again on the next drain.
  bool removeBatch(const Batch& batch) const;

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
};

}  // namespace pm
