#include <QDir>
#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include "PanelRig.h"
#include "PdfFixture.h"
#include "RunningDesktopThumbnailer.h"
#include "panel/PreviewWindow.h"
#include "panel/QuickLookPreview.h"
#include "panel/ThumbnailLoader.h"
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
  EXPECT_EQ(PreviewWindow::centredOrigin(QRect(0, 30, 1920, 1050), QSize(400, 300)), QPoint(760, 405));
  EXPECT_EQ(PreviewWindow::centredOrigin(QRect(1920, 0, 1280, 1024), QSize(641, 480)), QPoint(2239, 272));

  test::pointAt(QStringLiteral("right"));
  preview.show(picture, {picture});
  ASSERT_TRUE(test::runUntil([&] {
    return preview.window()->frameGeometry().center() ==
           test::screenNamed(QStringLiteral("right"))->availableGeometry().center();
  })) << "centred after it took its picture's size";
  test::pointAt(QStringLiteral("left"));
}

TEST_F(QuickLookPreviewTest, TheWindowTakesTheSizeOfEachPage) {
  QImage image(900, 700, QImage::Format_RGB32);
  image.fill(QColor(200, 90, 60));
  const QString poster = root.file(QStringLiteral("poster.png"));
  ASSERT_TRUE(image.save(poster));
  preview.show(poster, {poster, archive, notes});
  PreviewWindow& window = *preview.window();
  ASSERT_EQ(window.currentKind(), PreviewWindow::Kind::image);
  EXPECT_EQ(window.size(), QSize(900, 700));

  QTest::keyClick(&window, Qt::Key_Right);
  ASSERT_EQ(window.currentKind(), PreviewWindow::Kind::file);
  EXPECT_LT(window.width(), 600) << "shrunk to the icon's page";
  EXPECT_LT(window.height(), 500) << "shrunk to the icon's page";

  QTest::keyClick(&window, Qt::Key_Right);
  ASSERT_EQ(window.currentKind(), PreviewWindow::Kind::text);
  auto* text = window.findChild<QPlainTextEdit*>();
  ASSERT_NE(text, nullptr);
  ASSERT_TRUE(test::runUntil([&] { return window.isVisible() && text->isVisible(); }));
  QCoreApplication::processEvents();
  EXPECT_FALSE(text->horizontalScrollBar()->isVisible()) << "a short text fits";
  EXPECT_FALSE(text->verticalScrollBar()->isVisible()) << "a short text fits";
  EXPECT_LT(window.width(), PreviewWindow::kTextSize.width());
  EXPECT_LT(window.height(), PreviewWindow::kTextSize.height());
  screenshot(QStringLiteral("preview-short-text.png"));
}

// Each page resizes the window; one that only grew from its top-left corner walked off the screen, and the
// largest picture is larger than a small screen.
TEST_F(QuickLookPreviewTest, EveryPageStaysWholeOnTheScreenAndCentredOnIt) {
  const QString folder = root.file(QStringLiteral("Receipts"));
  ASSERT_TRUE(QDir().mkpath(folder));
  const struct {
    const char* what;
    QSize picture;
    std::optional<QRect> area;  // the screen's when not given
  } cases[] = {
      {"a portrait picture on a large screen", QSize(700, 1400), std::nullopt},
      {"a square picture on a small screen", QSize(1200, 1200), QRect(0, 0, 1024, 576)},
      {"a landscape picture on a small screen", QSize(2000, 1000), QRect(100, 40, 800, 500)},
  };
  int index = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    QImage image(c.picture, QImage::Format_RGB32);
    image.fill(QColor(120, 60, 160));
    const QString picturePath = root.file(QStringLiteral("picture-%1.png").arg(index++));
    ASSERT_TRUE(image.save(picturePath));
    test::pointAt(QStringLiteral("left"));
    preview.show(folder, {folder, picturePath});
    PreviewWindow& window = *preview.window();
    const QRect area = c.area.value_or(test::screenNamed(QStringLiteral("left"))->availableGeometry());
    if (c.area) window.setArea(area);
    ASSERT_EQ(window.currentKind(), PreviewWindow::Kind::file);
    QTest::keyClick(&window, Qt::Key_Right);
    ASSERT_EQ(window.currentKind(), PreviewWindow::Kind::image);
    const QRect frame = window.frameGeometry();
    EXPECT_TRUE(area.contains(frame)) << "the window at " << frame.x() << "," << frame.y() << " " << frame.width()
                                      << "×" << frame.height();
    EXPECT_LE(std::abs(frame.center().x() - area.center().x()), 1);
    EXPECT_LE(std::abs(frame.center().y() - area.center().y()), 1);
    const QSize shown = window.size();
    EXPECT_NEAR(double(shown.width()) / shown.height(), double(c.picture.width()) / c.picture.height(), 0.02)
        << "the picture keeps its shape";
    QTest::keyClick(&window, Qt::Key_Escape);
  }
}

TEST_F(QuickLookPreviewTest, ALongTextScrollsWithinTheLargestTextPage) {
  QByteArray lines;
  for (int n = 0; n < 200; ++n) lines += QByteArray("line ") + QByteArray::number(n) + QByteArray(300, 'x') + '\n';
  const QString log = root.write(QStringLiteral("long.log.txt"), lines);
  preview.show(log, {log});
  PreviewWindow& window = *preview.window();
  auto* text = window.findChild<QPlainTextEdit*>();
  ASSERT_NE(text, nullptr);
  ASSERT_TRUE(test::runUntil([&] { return text->verticalScrollBar()->isVisible(); }));
  EXPECT_TRUE(text->horizontalScrollBar()->isVisible());
  EXPECT_EQ(window.size(), PreviewWindow::kTextSize);
}

// The preview asks for a larger picture than a tile does; the tile's picture, already in the desktop's
// cache when the user previews from the strip, must not stand in for it.
TEST_F(QuickLookPreviewTest, ADocumentShowsThePictureOfItsContentInThePreviewsSize) {
  const QColor page(40, 160, 90);
  ASSERT_TRUE(test::desktopThumbnailerAnswers());
  for (const bool tileFirst : {false, true}) {
    SCOPED_TRACE(tileFirst ? "the tile's picture cached" : "nothing cached");
    const QString document = root.file(tileFirst ? QStringLiteral("tiled.pdf") : QStringLiteral("brochure.pdf"));
    test::writePdf(document, page);
    if (tileFirst) {
      ASSERT_FALSE(test::wait(loadThumbnail(document, 60)).isIcon) << "the tile's picture was made";
      ASSERT_TRUE(desktopCachedThumbnail(document, 128).has_value());
    }
    preview.show(document, {document});
    PreviewWindow& window = *preview.window();
    ASSERT_TRUE(test::runUntil([&] { return window.currentKind() == PreviewWindow::Kind::image; }))
        << "the desktop's thumbnailer rendered the page";
    QImage shown;
    for (QLabel* label : window.findChildren<QLabel*>()) {
      if (label->isVisible() && !label->pixmap().isNull()) shown = label->pixmap().toImage();
    }
    ASSERT_FALSE(shown.isNull());
    const QColor centre = shown.pixelColor(shown.width() / 2, shown.height() / 2);
    EXPECT_NEAR(centre.red(), page.red(), 16) << centre.name().toStdString();
    EXPECT_NEAR(centre.green(), page.green(), 16) << centre.name().toStdString();
    EXPECT_NEAR(centre.blue(), page.blue(), 16) << centre.name().toStdString();
    // The page is portrait: its height is the large thumbnail's side.
    EXPECT_EQ(shown.height(), int(256 * window.devicePixelRatioF())) << "the picture of the preview's size";
    EXPECT_LE(window.height(), 300) << "the window fits the picture";
    screenshot(tileFirst ? QStringLiteral("preview-document-after-tile.png") : QStringLiteral("preview-document.png"));
    QTest::keyClick(&window, Qt::Key_Escape);
  }
}

}  // namespace
}  // namespace pm
