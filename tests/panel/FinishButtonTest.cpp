#include <QNetworkAccessManager>

#include <gtest/gtest.h>

#include "panel/FinishButton.h"
#include "support/ScriptedUploader.h"
#include "tests/panel/TileTesting.h"
#include "upload/BucketStore.h"
#include "upload/UploadSession.h"

namespace pm {
namespace {

using namespace std::chrono_literals;

// Lets a test hold the bar's finish operation open until it says so.
class Gate final : public QObject {
  Q_OBJECT
 Q_SIGNALS:
  void opened();
};

class FinishButtonTest : public ::testing::Test {
 protected:
  FinishButtonTest() {
    auto uploader = std::make_unique<test::ScriptedUploader>(network);
    session = UploadSession::create(std::make_shared<Bucket>(clock), UploaderConfig(UploaderConfig::Kind::customS3),
                                    std::move(uploader));
    button.setAnimationScale(0);
  }

  // A session whose one file has gone up, so it can finish.
  void uploadOneFile() {
    session->enqueue({root.write(QStringLiteral("a.txt"), "a")});
    ASSERT_TRUE(test::runUntil([&] { return session->canFinish(); }));
  }

  QCoro::Task<> heldFinish() {
    ++finishCalls;
    co_await qCoro(&gate, &Gate::opened);
  }

  test::TempRoot root;
  test::ManualClock clock;
  QNetworkAccessManager network;
  std::shared_ptr<UploadSession> session;
  Gate gate;
  int finishCalls = 0;
  FinishButton button{[this] { return heldFinish(); }};
};

TEST_F(FinishButtonTest, ShowsOnlyWhenTheSessionCanFinish) {
  EXPECT_FALSE(button.isShown()) << "no session";
  button.setSession(session);
  EXPECT_FALSE(button.isShown()) << "an empty session cannot finish";
  uploadOneFile();
  EXPECT_TRUE(button.isShown()) << "follows the session without being told";
  EXPECT_TRUE(button.isVisibleTo(nullptr));
  button.setSession(nullptr);
  EXPECT_FALSE(button.isShown());
  EXPECT_FALSE(button.isVisibleTo(nullptr));
}

TEST_F(FinishButtonTest, StaysWithASpinnerWhileFinishingAndIgnoresASecondPress) {
  button.setSession(session);
  uploadOneFile();
  button.click();
  EXPECT_TRUE(button.isFinishing()) << "the press does not wait for the operation";
  EXPECT_FALSE(button.isEnabled());
  EXPECT_EQ(finishCalls, 1);

  // The bucket empties while the operation runs: the session can no longer finish, the button stays.
  session->remove(session->bucket().items().first()->id());
  ASSERT_FALSE(session->canFinish());
  EXPECT_TRUE(button.isShown());

  button.click();
  button.finish();
  EXPECT_EQ(finishCalls, 1);

  Q_EMIT gate.opened();
  ASSERT_TRUE(test::runUntil([&] { return !button.isFinishing(); }));
  EXPECT_TRUE(button.isEnabled());
  EXPECT_FALSE(button.isShown());
}

TEST_F(FinishButtonTest, AFailingOperationDoesNotLeaveTheButtonSpinning) {
  FinishButton failing([]() -> QCoro::Task<> {
    throw std::runtime_error("broken");
    co_return;
  });
  failing.finish();
  ASSERT_TRUE(test::runUntil([&] { return !failing.isFinishing(); }));
  EXPECT_TRUE(failing.isEnabled());
}

TEST_F(FinishButtonTest, TurnsLightGreyUnderThePointer) {
  QWidget ground;
  ground.setPalette(test::barPalette());
  ground.setAutoFillBackground(true);
  ground.resize(80, 60);
  // Owned by the ground, as the bar owns it.
  auto& button = *new FinishButton([this] { return heldFinish(); }, &ground);
  button.setAnimationScale(0);
  button.placeAt(QPoint(10, 10));
  button.setOffset(QSizeF(4, 2));
  EXPECT_EQ(button.pos(), QPoint(14, 12));
  button.setSession(session);
  uploadOneFile();
  ground.show();

  const QPoint sample = button.geometry().center() + QPoint(-8, 6);  // on the circle, clear of the check mark
  const QImage plain = QImage(test::saveScreenshot(ground, QStringLiteral("finish-button")));
  EXPECT_EQ(plain.pixelColor(sample), QColor(Qt::white));
  test::sendEnter(button);
  const QImage hovered = QImage(test::saveScreenshot(ground, QStringLiteral("finish-button-hovered")));
  const QColor grey = hovered.pixelColor(sample);
  EXPECT_NEAR(grey.redF(), 0.82, 0.01);
  EXPECT_EQ(grey.red(), grey.green());
  EXPECT_EQ(grey.green(), grey.blue());

  button.click();
  test::saveScreenshot(ground, QStringLiteral("finish-button-finishing"));
  Q_EMIT gate.opened();
  ASSERT_TRUE(test::runUntil([&] { return !button.isFinishing(); }));
}

}  // namespace
}  // namespace pm

#include "FinishButtonTest.moc"
