#pragma once

#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>

#include "core/SharedInbox.h"
#include "platform/Paths.h"

namespace pm {

// The sending side of the shared inbox: leaves one batch for the agent and the wake marker beside it.
// The batch is complete before the agent can see it: it is written under a temporary name in the Inbox
// folder and renamed to "<ID>.json" in one step, so a drain never meets half a batch.
class InboxBatchWriter {
 public:
  struct Outcome {
    std::optional<SharedInbox::Batch> batch;  // as written; none when nothing was written
    QStringList problems;                     // one user-facing line per reason, when nothing was written

    bool ok() const { return batch.has_value(); }
  };

  explicit InboxBatchWriter(Paths paths);

  // Makes every path absolute (against the current directory) and checks it names a readable regular file
  // or folder; when any does not, or there are none, writes nothing and lists every problem. Otherwise
  // writes the batch, then the wake marker.
  Outcome write(const QStringList& paths, std::optional<QUuid> uploaderID = std::nullopt) const;

 private:
  Paths paths_;
};

}  // namespace pm
