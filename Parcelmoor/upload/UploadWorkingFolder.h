#pragma once

#include <QString>

#include <sys/types.h>
#include <unistd.h>

namespace pm {

// Where the upload engine keeps its working files (copies of parts and the like): a folder of this run,
// "run-XXXXXX", inside one folder private to the user, "parcelmoor-<uid>" in the temporary folder.
//
// The user's folder is made exclusively with mode 0700. One that is there already is used only when it
// is a real folder of the user, closed to everyone else; one of the user's that is not (a link, a file,
// a folder others may enter) is replaced, since anything in it may have been planted, and one that
// belongs to someone else is refused. The run's folder stays locked while this object lives, so that
// removeUploadLeftovers() can tell it from what a run that ended without cleaning up left behind.
//
// The programs make one at start and hand path() to every uploader that writes working files.
class UploadWorkingFolder {
 public:
  // Throws UploadError (`transport`, naming the folder) when no private folder can be had.
  explicit UploadWorkingFolder(const QString& temporaryRoot, uid_t owner = ::geteuid());
  // Removes the run's folder with everything in it.
  ~UploadWorkingFolder();
  UploadWorkingFolder(const UploadWorkingFolder&) = delete;
  UploadWorkingFolder& operator=(const UploadWorkingFolder&) = delete;

  // The run's folder: every working file goes in here.
  const QString& path() const { return path_; }

  // "<temporaryRoot>/parcelmoor-<owner>".
  static QString userFolder(const QString& temporaryRoot, uid_t owner = ::geteuid());
  // Whether `path` is a folder (not a link to one) of `owner` that nobody else may enter.
  static bool isPrivateFolder(const QString& path, uid_t owner = ::geteuid());

 private:
  QString path_;
  int lock_ = -1;  // the run folder, open and locked
};

}  // namespace pm
