#pragma once

#include <QSet>
#include <QString>

#include <atomic>
#include <functional>

namespace pm {

// Copies one file into the synced folder without ever replacing anything there: the copy is created
// exclusively, and when a file of the planned name appeared in the meantime (from another computer, or
// another bucket of the same second) the next numbered name is taken instead. Runs on a worker thread.
struct SyncedFolderCopy {
  static constexpr qint64 kStep = 4'194'304;  // bytes per step: the copy checks for a stop and reports per step

  QString source;
  QString target;      // the planned name
  QString unnumbered;  // the name the planned one was numbered from, which a fallback counts on from
  qint64 size = 0;  // as planned; progress is reported only when it is at least 1
  QSet<QString> taken;  // names already given to other units, which a fallback name must avoid
  std::function<void(double)> progress;  // called on the worker thread, once per step
  const std::atomic_bool* stop = nullptr;

  // Returns the path written. Throws UploadError: `fileUnreadable` when the source cannot be read,
  // `rejected` when the folder cannot be written, `transport` with the system's text when a folder cannot
  // be made or a write fails, `cancelled` when `stop` was set or the worker pools close (the program
  // quits). A failed or cancelled copy leaves no file.
  QString run() const;
};

}  // namespace pm
