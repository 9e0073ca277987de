#include <QNetworkAccessManager>

#include <gtest/gtest.h>

#include "panel/UploadSoundPlayer.h"
#include "platform/SharedDefaults.h"
#include "platform/SoundPlayer.h"
#include "support/ScriptedUploader.h"
#include "support/TestSupport.h"
#include "upload/BucketStore.h"
#include "upload/UploadSession.h"

namespace pm {
namespace {

class UploadSoundPlayerTest : public ::testing::Test {
 protected:
  UploadSoundPlayerTest() {
    auto made = std::make_unique<test::ScriptedUploader>(network);
    uploader = made.get();
    session = UploadSession::create(std::make_shared<Bucket>(clock),
                                    UploaderConfig(UploaderConfig::Kind::customS3), std::move(made));
  }

  // Adds a file and waits until its item has settled.
  void addSettled(const QString& name) {
    session->enqueue({root.write(name, "x")});
    ASSERT_TRUE(test::runUntil([&] {
      const auto& items = session->bucket().items();
      return !items.isEmpty() && items.last()->name() == name &&
             (items.last()->state().kind() == BucketItem::State::Case::uploaded ||
              items.last()->state().kind() == BucketItem::State::Case::failed ||
              (items.last()->isSensitive() && !items.last()->consented()));
    }));
  }

  test::TempRoot root;
  test::ManualClock clock;
  QNetworkAccessManager network;
  MemorySharedDefaults defaults;
  RecordingSoundPlayer sounds;
  test::ScriptedUploader* uploader = nullptr;
  std::shared_ptr<UploadSession> session;
  UploadSoundPlayer player{defaults, sounds};
};

TEST_F(UploadSoundPlayerTest, ANeverWrittenKeyPlaysWhenEverythingIsThrough) {
  player.setSession(session);
  EXPECT_TRUE(sounds.played.isEmpty()) << "an empty session is not finishable";
  addSettled(QStringLiteral("a.txt"));
  EXPECT_EQ(sounds.played, QStringList{QStringLiteral("complete")});
}

TEST_F(UploadSoundPlayerTest, FalseSilencesOnlyItsOwnOutcome) {
  defaults.set(QStringLiteral("uploadFailedSound"), false);
  uploader->failing.insert(QStringLiteral("bad.txt"), UploadError::rejected(QStringLiteral("no")));
  player.setSession(session);
  addSettled(QStringLiteral("bad.txt"));
  addSettled(QStringLiteral("good.txt"));
  EXPECT_EQ(sounds.played, QStringList{QStringLiteral("complete")});
}

TEST_F(UploadSoundPlayerTest, AnythingButAStoredFalsePlays) {
  defaults.set(QStringLiteral("uploadFailedSound"), QStringLiteral("no"));
  defaults.set(QStringLiteral("uploadWarningSound"), true);
  uploader->failing.insert(QStringLiteral("bad.txt"), UploadError::rejected(QStringLiteral("no")));
  player.setSession(session);
  addSettled(QStringLiteral("bad.txt"));
  addSettled(QStringLiteral(".env"));
  EXPECT_EQ(sounds.played, (QStringList{QStringLiteral("dialog-error"), QStringLiteral("dialog-warning")}));
}

TEST_F(UploadSoundPlayerTest, TwoFailuresInARowPlayOnce) {
  uploader->failing.insert(QStringLiteral("one.txt"), UploadError::rejected(QStringLiteral("no")));
  uploader->failing.insert(QStringLiteral("two.txt"), UploadError::rejected(QStringLiteral("no")));
  player.setSession(session);
  addSettled(QStringLiteral("one.txt"));
  addSettled(QStringLiteral("two.txt"));
  EXPECT_EQ(sounds.played, QStringList{QStringLiteral("dialog-error")});
}

TEST_F(UploadSoundPlayerTest, AWarningThatClearedPlaysAgainForTheNextSensitiveFile) {
  player.setSession(session);
  addSettled(QStringLiteral(".env"));
  session->approve(session->bucket().items().last()->id());
  ASSERT_TRUE(test::runUntil([&] { return session->canFinish(); }));
  addSettled(QStringLiteral("id_rsa"));
  EXPECT_EQ(sounds.played, (QStringList{QStringLiteral("dialog-warning"), QStringLiteral("complete"),
                                        QStringLiteral("dialog-warning")}));
}

TEST_F(UploadSoundPlayerTest, AttachingToAFinishableSessionPlaysAtOnceAndASessionChangeRearms) {
  addSettled(QStringLiteral("a.txt"));
  ASSERT_TRUE(session->canFinish());
  player.setSession(session);
  EXPECT_EQ(sounds.played, QStringList{QStringLiteral("complete")});
  player.setSession(session);
  EXPECT_EQ(sounds.played.size(), 1) << "the same session again is no change";
  player.setSession(nullptr);
  player.setSession(session);
  EXPECT_EQ(sounds.played.size(), 2) << "shown anew with the condition true";
}

TEST_F(UploadSoundPlayerTest, ARemovedItemTakesBackItsPartAndAFileWaitingInALargeBatchCounts) {
  uploader->failing.insert(QStringLiteral("one.txt"), UploadError::rejected(QStringLiteral("no")));
  uploader->failing.insert(QStringLiteral("two.txt"), UploadError::rejected(QStringLiteral("no")));
  player.setSession(session);
  addSettled(QStringLiteral("one.txt"));
  ASSERT_EQ(sounds.played, QStringList{QStringLiteral("dialog-error")});
  session->remove(session->bucket().items().last()->id());
  addSettled(QStringLiteral("two.txt"));
  EXPECT_EQ(sounds.played, (QStringList{QStringLiteral("dialog-error"), QStringLiteral("dialog-error")}))
      << "the failure that went took its part with it: the next one is heard";

  // More files than enter in one turn, the one waiting for consent among the last to enter.
  QStringList batch;
  for (qsizetype i = 0; i < UploadSession::kItemsAddedPerTurn + 10; ++i)
    batch << root.write(QStringLiteral("batch %1.txt").arg(i), "x");
  batch.insert(batch.size() - 5, root.write(QStringLiteral(".env"), "x"));
  session->enqueue(batch);
  ASSERT_TRUE(test::runUntil([&] { return sounds.played.contains(QStringLiteral("dialog-warning")); }));
}

TEST_F(UploadSoundPlayerTest, NoSessionPlaysNothing) {
  player.setSession(nullptr);
  EXPECT_TRUE(sounds.played.isEmpty());
}

}  // namespace
}  // namespace pm
