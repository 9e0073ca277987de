#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <optional>

#include "core/UploadError.h"
#include "support/TestSupport.h"
#include "upload/UploadLeftovers.h"
#include "upload/UploadWorkingFolder.h"

namespace pm {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

mode_t permissionsOf(const QString& path) {
  struct stat status {};
  if (::lstat(QFile::encodeName(path).constData(), &status) != 0) return 0;
  return status.st_mode & 07777;
}

QStringList entriesOf(const QString& path) {
  return QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

class UploadWorkingFolderTest : public ::testing::Test {
 protected:
  QString userFolder() const { return UploadWorkingFolder::userFolder(root.path()); }

  static std::optional<UploadError> failureOfMaking(const QString& temporaryRoot, uid_t owner = ::geteuid()) {
    try {
      UploadWorkingFolder folder(temporaryRoot, owner);
    } catch (const UploadError& error) {
      return error;
    }
    return std::nullopt;
  }

  test::TempRoot root;
};

TEST_F(UploadWorkingFolderTest, RunWorksInAPrivateFolderOfTheUserThatItRemovesAtItsEnd) {
  QString run;
  {
    const UploadWorkingFolder folder(root.path());
    run = folder.path();
    EXPECT_EQ(userFolder(), root.file(QStringLiteral("parcelmoor-%1").arg(::geteuid())));
    EXPECT_EQ(QFileInfo(run).absolutePath(), userFolder());
    EXPECT_TRUE(QFileInfo(run).fileName().startsWith(QLatin1String("run-")));
    EXPECT_EQ(permissionsOf(userFolder()), mode_t(0700));
    EXPECT_EQ(permissionsOf(run), mode_t(0700));
    root.write(QStringLiteral("parcelmoor-%1/%2/s3-part").arg(::geteuid()).arg(QFileInfo(run).fileName()),
               "x");

    const UploadWorkingFolder second(root.path());
    EXPECT_NE(second.path(), run) << "two runs never share a folder";
  }
  EXPECT_FALSE(QFileInfo::exists(run));
  EXPECT_THAT(entriesOf(userFolder()), IsEmpty());
}

TEST_F(UploadWorkingFolderTest, WhatStandsInTheWayOfTheUsersFolderIsReplaced) {
  const QString elsewhere = root.file(QStringLiteral("elsewhere"));
  const struct {
    const char* name;
    std::function<void(const QString& path)> plant;
  } cases[] = {
      {"a link to another folder", [&](const QString& path) { QFile::link(elsewhere, path); }},
      {"a file", [&](const QString& path) { root.write(QFileInfo(path).fileName(), "planted"); }},
      {"a folder others may enter",
       [&](const QString& path) {
         QDir().mkpath(path);
         QFile::link(elsewhere, path + QStringLiteral("/run-planted"));
         ::chmod(QFile::encodeName(path).constData(), 0777);
       }},
      {"a folder others may read",
       [&](const QString& path) {
         QDir().mkpath(path);
         ::chmod(QFile::encodeName(path).constData(), 0750);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    root.write(QStringLiteral("elsewhere/keep.txt"), "kept");
    c.plant(userFolder());
    {
      const UploadWorkingFolder folder(root.path());
      EXPECT_TRUE(UploadWorkingFolder::isPrivateFolder(userFolder()));
      EXPECT_FALSE(QFileInfo(userFolder()).isSymLink());
      EXPECT_THAT(entriesOf(userFolder()), ElementsAre(QFileInfo(folder.path()).fileName()))
          << "nothing planted survives";
    }
    EXPECT_THAT(entriesOf(elsewhere), ElementsAre(QStringLiteral("keep.txt"))) << "a link is never followed";
    ASSERT_TRUE(QDir(userFolder()).removeRecursively());
  }
}

TEST_F(UploadWorkingFolderTest, FolderOfAnotherUserIsRefusedAndLeftAlone) {
  // The folder where a user with another id would work, already taken by us: to that user it is someone
  // else's.
  const uid_t other = ::geteuid() + 1;
  const QString theirs = UploadWorkingFolder::userFolder(root.path(), other);
  ASSERT_TRUE(QDir().mkpath(theirs + QStringLiteral("/run-abc")));
  ::chmod(QFile::encodeName(theirs).constData(), 0700);

  const std::optional<UploadError> failure = failureOfMaking(root.path(), other);
  ASSERT_TRUE(failure);
  EXPECT_EQ(
      *failure,
      UploadError::transport(
          QStringLiteral("The folder for upload working files (%1) belongs to another user.").arg(theirs)));
  EXPECT_THAT(entriesOf(theirs), ElementsAre(QStringLiteral("run-abc")));

  const QString notAFolder = root.write(QStringLiteral("a-file"), "x");
  EXPECT_EQ(failureOfMaking(notAFolder).value_or(UploadError::notImplemented()).kind(),
            UploadError::Kind::transport)
      << "a temporary folder that is a file";
}

TEST_F(UploadWorkingFolderTest, LeftoversOfEndedRunsAreRemovedAndLiveRunsKept) {
  EXPECT_EQ(removeUploadLeftovers(root.path()), 0) << "no folder yet";

  const auto live = std::make_unique<UploadWorkingFolder>(root.path());
  root.write(QDir(root.path()).relativeFilePath(live->path()) + QStringLiteral("/s3-copy"), "in use");
  // What a run that was killed leaves: its folder, unlocked, with a part copy in it, and a stray file.
  const QString user = QStringLiteral("parcelmoor-%1/").arg(::geteuid());
  root.write(user + QStringLiteral("run-Killed/s3-copy"), QByteArray(1000, 'x'));
  root.write(user + QStringLiteral("run-Killed/nested/part"), "x");
  root.write(user + QStringLiteral("stray"), "x");

  EXPECT_EQ(removeUploadLeftovers(root.path()), 2);
  EXPECT_THAT(entriesOf(userFolder()), ElementsAre(QFileInfo(live->path()).fileName()));
  EXPECT_THAT(entriesOf(live->path()), ElementsAre(QStringLiteral("s3-copy")));
  EXPECT_EQ(removeUploadLeftovers(root.path()), 0);
}

TEST_F(UploadWorkingFolderTest, LeftoversAreNotLookedForInAFolderThatIsNotPrivate) {
  const QString user = QStringLiteral("parcelmoor-%1/").arg(::geteuid());
  root.write(user + QStringLiteral("run-Someone/file"), "x");
  ::chmod(QFile::encodeName(userFolder()).constData(), 0777);
  EXPECT_EQ(removeUploadLeftovers(root.path()), 0);
  EXPECT_TRUE(QFileInfo::exists(root.file(user + QStringLiteral("run-Someone/file"))));
}

}  // namespace
}  // namespace pm
