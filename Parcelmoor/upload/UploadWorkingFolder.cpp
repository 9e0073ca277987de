#include "UploadWorkingFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>

#include "core/UploadError.h"

namespace pm {

namespace {

QString translated(const char* text) {
  return QCoreApplication::translate("UploadWorkingFolder", text);
}

UploadError folderFailure(const QString& path, int cause) {
  return UploadError::transport(translated("The folder for upload working files (%1) could not be made: %2.")
                                    .arg(path, qt_error_string(cause)));
}

// Takes away whatever of the owner's stands at `path`: a folder with its contents (links in it are
// removed, never followed), or a link or file itself.
bool removeEntry(const QString& path) {
  struct stat status {};
  if (::lstat(QFile::encodeName(path).constData(), &status) != 0) return errno == ENOENT;
  if (S_ISDIR(status.st_mode)) return QDir(path).removeRecursively();
  return QFile::remove(path);
}

}  // namespace

QString UploadWorkingFolder::userFolder(const QString& temporaryRoot, uid_t owner) {
  return QDir(temporaryRoot).filePath(QStringLiteral("parcelmoor-%1").arg(owner));
}

bool UploadWorkingFolder::isPrivateFolder(const QString& path, uid_t owner) {
  struct stat status {};
  return ::lstat(QFile::encodeName(path).constData(), &status) == 0 && S_ISDIR(status.st_mode) &&
         status.st_uid == owner && (status.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

UploadWorkingFolder::UploadWorkingFolder(const QString& temporaryRoot, uid_t owner) {
  const QString user = userFolder(temporaryRoot, owner);
  const QByteArray userPath = QFile::encodeName(user);
  for (int attempt = 0;; ++attempt) {
    if (::mkdir(userPath.constData(), 0700) == 0) break;
    const int cause = errno;
    if (cause != EEXIST) throw folderFailure(user, cause);
    if (isPrivateFolder(user, owner)) break;
    struct stat status {};
    if (::lstat(userPath.constData(), &status) == 0 && status.st_uid != owner)
      throw UploadError::transport(
          translated("The folder for upload working files (%1) belongs to another user.").arg(user));
    if (attempt > 0 || !removeEntry(user)) throw folderFailure(user, EEXIST);
  }

  QByteArray run = QFile::encodeName(QDir(user).filePath(QStringLiteral("run-XXXXXX")));
  if (!::mkdtemp(run.data())) throw folderFailure(user, errno);
  path_ = QFile::decodeName(run);
  lock_ = ::open(run.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (lock_ < 0 || ::flock(lock_, LOCK_EX | LOCK_NB) != 0) {
    const int cause = errno;
    if (lock_ >= 0) ::close(lock_);
    QDir(path_).removeRecursively();
    throw folderFailure(path_, cause);
  }
}

UploadWorkingFolder::~UploadWorkingFolder() {
  QDir(path_).removeRecursively();
  ::close(lock_);
}

}  // namespace pm
