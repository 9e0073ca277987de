#include <QImage>
#include <QTest>

#include <gtest/gtest.h>

#include "PanelRig.h"
#include "panel/PreviewWindow.h"
#include "panel/QuickLookPreview.h"
#include "support/TestSupport.h"

namespace pm {
namespace {

class QuickLookPreviewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QImage image(320, 200, QImage::Format_RGB32);
    image.fill(QColor(70, 140, 210));
    picture = root.file(QStringLiteral("sunset.png"));
    ASSERT_TRUE(image.save(picture));
    notes = root.write(QStringLiteral("notes.txt"), "Pick up the parcels at four.\nBring the blue folder.\n");
    archive = root.write(QStringLiteral("backup.bin"), QByteArray(2048, '\x01'));
  }

  void screenshot(const QString& name) {
    EXPECT_TRUE(preview.window()->grab().save(test::artifactsDirectory() + QStringLiteral("/") + name));
  }

  test::TempRoot root;
  QString picture;
  QString notes;
  QString archive;
  QuickLookPreview preview;
};

TEST_F(QuickLookPreviewTest, AFileOutsideTheListIsPreviewedAlone) {
  preview.show(archive, {picture, notes});
  EXPECT_EQ(preview.urls(), QStringList{archive});
  EXPECT_EQ(preview.window()->currentItemIndex(), 0);
  EXPECT_EQ(preview.window()->currentItem(), archive);
  EXPECT_EQ(preview.window()->currentKind(), PreviewWindow::Kind::file);
  screenshot(QStringLiteral("preview-file.png"));
}

TEST_F(QuickLookPreviewTest, OpensOnTheFocusAndPagesThroughTheListInOrder) {
  preview.show(notes, {picture, notes, archive});
  PreviewWindow& window = *preview.window();
  EXPECT_EQ(window.currentItemIndex(), 1);
  EXPECT_EQ(window.currentKind(), PreviewWindow::Kind::text);
  screenshot(QStringLiteral("preview-text.png"));

  QStringList seen;
  QObject::connect(&window, &PreviewWindow::currentItemChanged, &window,
                   [&] { seen.append(window.currentItem().value_or(QString())); });
  QTest::keyClick(&window, Qt::Key_Left);
  EXPECT_EQ(window.currentKind(), PreviewWindow::Kind::image);
  screenshot(QStringLiteral("preview-image.png"));
  QTest::keyClick(&window, Qt::Key_Left);  // nothing before the first
  QTest::keyClick(&window, Qt::Key_Right);
  QTest::keyClick(&window, Qt::Key_Right);
  QTest::keyClick(&window, Qt::Key_Right);  // nothing after the last
  EXPECT_EQ(seen, (QStringList{picture, notes, archive}));

  QTest::keyClick(&window, Qt::Key_Space);
  EXPECT_FALSE(window.isVisible());
}

TEST_F(QuickLookPreviewTest, TheFirstOccurrenceOfTheFocusIsTheStart) {
  preview.show(notes, {picture, notes, archive, notes});
  EXPECT_EQ(preview.window()->currentItemIndex(), 1);
  QTest::keyClick(preview.window(), Qt::Key_Escape);
  EXPECT_FALSE(preview.window()->isVisible());
}

TEST_F(QuickLookPreviewTest, AnswersNothingForAnIndexOutsideTheList) {
  preview.show(notes, {picture, notes, archive});
  EXPECT_EQ(preview.numberOfPreviewItems(), 3);
  EXPECT_EQ(preview.previewItem(2), archive);
  EXPECT_EQ(preview.previewItem(-1), std::nullopt);
  EXPECT_EQ(preview.previewItem(3), std::nullopt);
}

TEST_F(QuickLookPreviewTest, CentresOnTheVisibleFrameOfTheScreenUnderTheMouse) {
  EXPECT_EQ(QuickLookPreview::centredOrigin(QRect(0, 30, 1920, 1050), QSize(400, 300)), QPoint(760, 405));
  EXPECT_EQ(QuickLookPreview::centredOrigin(QRect(1920, 0, 1280, 1024), QSize(641, 480)), QPoint(2239, 272));

  test::pointAt(QStringLiteral("right"));
  preview.show(picture, {picture});
  ASSERT_TRUE(test::runUntil([&] {
    return preview.window()->frameGeometry().center() ==
           test::screenNamed(QStringLiteral("right"))->availableGeometry().center();
  })) << "centred after it took its picture's size";
  test::pointAt(QStringLiteral("left"));
}

}  // namespace
}  // namespace pm
