#include <QApplication>
#include <QClipboard>

#include <algorithm>

#include <gtest/gtest.h>

#include "AgentRig.h"
#include "panel/FinishButton.h"
#include "panel/ItemTile.h"
#include "panel/UnconstrainedPanel.h"
#include "panel/UploadPanel.h"
#include "panel/UploadPanelView.h"
#include "platform/SoundPlayer.h"
#include "support/FakeServiceBuckets.h"
#include "upload/BucketStore.h"
#include "upload/ParcelmoorUploader.h"
#include "upload/UploadSession.h"

namespace pm {
namespace {

using namespace std::chrono_literals;

// The agent with the real panel and the own service's uploader against the fake service.
class BarEndToEndTest : public ::testing::Test {
 protected:
  BarEndToEndTest() : buckets(rig.service) {
    panel.setBarServices({&rig.clock, nullptr, nullptr, &rig.notifications, &rig.defaults, &sounds});
    rig.panelControl = &panel;
    rig.makeUploader = [this](const UploaderConfig&) {
      return std::make_unique<ParcelmoorUploader>(rig.network, rig.api);
    };
    rig.signIn();
    rig.storeConnections({UploaderConfig(UploaderConfig::Kind::parcelmoor)});
    rig.launch();
  }

  void sendBatch(const QStringList& names) {
    QStringList paths;
    for (const QString& name : names) paths << rig.writeFile(name, QByteArray(100, 'x') + name.toUtf8());
    rig.writeBatch(paths);
    rig.delegate->drainInbox();
  }
  bool panelShown() {
    return panel.window() && panel.window()->isVisible() && panel.presentation().visible();
  }

  test::AgentRig rig;
  test::FakeServiceBuckets buckets;
  RecordingSoundPlayer sounds;
  UploadPanel panel{UploadPanel::Timings{40ms, 5ms}};
};

TEST_F(BarEndToEndTest, ABatchIsUploadedFinishedToTheClipboardAndTheNextBatchBringsThePanelBack) {
  sendBatch({QStringLiteral("one.txt"), QStringLiteral("two.txt"), QStringLiteral("three.txt")});
  ASSERT_TRUE(test::runUntil([&] { return panelShown(); }));
  UploadPanelView& view = *panel.view();
  view.setAnimationScale(0);
  ASSERT_TRUE(test::runUntil([&] { return view.tiles().size() == 3; }));
  ASSERT_TRUE(test::runUntil([&] { return view.finishButton().isShown(); })) << "all three uploaded";
  for (ItemTile* tile : view.tiles())
    EXPECT_EQ(tile->item()->state().kind(), BucketItem::State::Case::uploaded)
        << tile->item()->name().toStdString();
  EXPECT_EQ(sounds.played, QStringList{QStringLiteral("complete")});

  view.finishButton().click();
  ASSERT_TRUE(test::runUntil([&] { return !panel.window()->isVisible(); })) << "slid out and ordered out";
  ASSERT_EQ(buckets.buckets().size(), 1);
  EXPECT_TRUE(buckets.buckets().first().sealed);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), buckets.shareUrl(buckets.buckets().first().id).toString());
  EXPECT_FALSE(rig.delegate->store().session());
  EXPECT_TRUE(view.tiles().isEmpty());
  EXPECT_FALSE(view.hasKeyMonitor());

  sendBatch({QStringLiteral("four.txt")});
  ASSERT_TRUE(test::runUntil([&] { return panelShown(); })) << "the panel comes back for the new bucket";
  ASSERT_TRUE(test::runUntil([&] { return view.tiles().size() == 1; }));
  EXPECT_TRUE(view.hasKeyMonitor());
  ASSERT_TRUE(test::runUntil([&] { return buckets.buckets().size() == 2; })) << "a new bucket";
}


// Every size the own service handles in its own way: empty, within one sealed chunk, on and past a chunk's
// end, one request and many parts. Each item's tile leaves the in-flight look when the item is uploaded.
TEST_F(BarEndToEndTest, OwnServiceTilesOfEverySizeLeaveTheInFlightLookWhenUploaded) {
  constexpr qint64 kPart = 64 * 1024;
  buckets.setPartSize(kPart);
  const QList<qint64> sizes{0, 1, kPart - 100, kPart + 1, 3 * kPart, 4 * 1024 * 1024, 4 * 1024 * 1024 + 1};
  QStringList names;
  for (qsizetype n = 0; n < sizes.size(); ++n) names << QStringLiteral("file-%1.bin").arg(n);
  QStringList paths;
  for (qsizetype n = 0; n < sizes.size(); ++n) paths << rig.writeFile(names[n], QByteArray(sizes[n], 'x'));
  rig.writeBatch(paths);
  rig.delegate->drainInbox();
  ASSERT_TRUE(test::runUntil([&] { return panelShown(); }));
  UploadPanelView& view = *panel.view();

  const auto allUploaded = [&] {
    const QList<Bucket::ItemPointer>& items = rig.delegate->store().current().items();
    return items.size() == sizes.size() && std::all_of(items.begin(), items.end(), [](const auto& item) {
             return item->state().kind() == BucketItem::State::Case::uploaded;
           });
  };
  ASSERT_TRUE(test::runUntil(allUploaded, 30s));
  ASSERT_TRUE(test::runUntil([&] { return view.tiles().size() == sizes.size(); }));
  for (ItemTile* tile : view.tiles()) {
    EXPECT_TRUE(tile->status().isFinished) << tile->item()->name().toStdString();
    EXPECT_FALSE(tile->rippleActive()) << tile->item()->name().toStdString();
  }
  const test::FakeServiceBuckets::Bucket stored = buckets.buckets().first();
  for (const QString& name : names) {
    const std::optional<test::FakeServiceBuckets::File> file = stored.file(name);
    ASSERT_TRUE(file) << name.toStdString();
    EXPECT_TRUE(file->isComplete()) << name.toStdString();
  }
  EXPECT_GT(stored.file(names.last())->partCount, 1) << "the largest went in parts";
}

}  // namespace
}  // namespace pm
