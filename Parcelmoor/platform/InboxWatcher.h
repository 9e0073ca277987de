#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

#include "platform/FileDescriptor.h"

class QSocketNotifier;

namespace pm {

// Tells its owner, on the owner's thread, each time an entry of one folder is created, deleted or moved in
// or out, and each time a file in it that was open for writing is closed (inotify). Other writes are not
// changes. The watch is made once and never re-armed: a folder deleted or replaced later is no longer
// followed.
class InboxWatcher final : public QObject {
  Q_OBJECT

 public:
  // Starts watching at once. When `folder` cannot be watched (empty, missing, not a folder) the watcher
  // exists without a watch and never calls `onChange`. `onChange` runs once per change, without
  // coalescing; it may destroy the watcher (the remaining calls of that round are then dropped).
  InboxWatcher(const QString& folder, std::function<void()> onChange, QObject* parent = nullptr);
  ~InboxWatcher() override;

  InboxWatcher(const InboxWatcher&) = delete;
  InboxWatcher& operator=(const InboxWatcher&) = delete;

  bool isWatching() const;
  // Stops watching and closes the descriptor; idempotent.
  void cancel();

 private:
  void readEvents();

  std::function<void()> onChange_;
  FileDescriptor inotify_;
  // Declared after the descriptor so it is destroyed, and so stops polling, before the descriptor closes.
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace pm
