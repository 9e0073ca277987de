#include "UploadLeftovers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/Log.h"
#include "upload/UploadWorkingFolder.h"

namespace pm {

namespace {

// A run's folder is left over when nobody holds its lock any more: the run that held it has ended.
bool isAbandonedRun(const QString& path) {
  const int folder =
      ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (folder < 0) return true;  // not a folder at all: nothing a run would have made
  const bool free = ::flock(folder, LOCK_EX | LOCK_NB) == 0;
  ::close(folder);
  return free;
}

}  // namespace

int removeUploadLeftovers(const QString& temporaryRoot) {
  const QString user = UploadWorkingFolder::userFolder(temporaryRoot);
  if (!UploadWorkingFolder::isPrivateFolder(user)) return 0;
  int removed = 0;
  const QDir folder(user);
  for (const QString& name :
       folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
    const QString path = folder.filePath(name);
    if (!isAbandonedRun(path)) continue;
    const QFileInfo entry(path);
    const bool gone =
        entry.isDir() && !entry.isSymLink() ? QDir(path).removeRecursively() : QFile::remove(path);
    if (gone) ++removed;
  }
  if (removed > 0) qCInfo(lcUpload, "removed %d working files and folders of earlier runs", removed);
  return removed;
}

}  // namespace pm
