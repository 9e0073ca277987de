// The preview window and the popovers as a user sees them: on an X server (run under xvfb-run) with a
// window manager that frames them, a compositing manager and a wallpaper, each judged on the screen's
// pixels as the server composes them. The program registers this test once per kind of screen (size and
// scale); the screenshots go to the test artifacts, named after the screen.
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>

#include "DesktopOnX11.h"
#include "DesktopWallpaper.h"
#include "PdfFixture.h"
#include "RunningDesktopThumbnailer.h"
#include "core/Bucket.h"
#include "core/UploadError.h"
#include "panel/PopoverStyle.h"
#include "panel/PopoverWindow.h"
#include "panel/PreviewWindow.h"
#include "panel/QuickLookPreview.h"
#include "panel/SensitiveFilePopover.h"
#include "panel/ThumbnailLoader.h"
#include "panel/UploadErrorPopover.h"
#include "support/TestSupport.h"

namespace pm::test {
namespace {

auto* const kDesktop =
    static_cast<DesktopOnX11*>(::testing::AddGlobalTestEnvironment(new DesktopOnX11(true, &wallpaperPicture)));

// Flat colours that neither the wallpaper nor a window's frame has, so a picture is found by its colour.
const QColor kPicture(40, 170, 150);
const QColor kPage(210, 90, 40);

bool near(QRgb pixel, const QColor& colour, int tolerance = 12) {
  return std::abs(qRed(pixel) - colour.red()) <= tolerance && std::abs(qGreen(pixel) - colour.green()) <= tolerance &&
         std::abs(qBlue(pixel) - colour.blue()) <= tolerance;
}

QScreen& screen() { return *QGuiApplication::primaryScreen(); }
double scale() { return screen().devicePixelRatio(); }

// The whole screen as the server composes it, in device pixels.
QImage grabScreen() {
  QImage shot = screen().grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32);
  shot.setDevicePixelRatio(1);
  return shot;
}

// The screen's kind, for the screenshots' names: "1920x1080-1x".
QString screenName() {
  const QSize pixels = (QSizeF(screen().geometry().size()) * scale()).toSize();
  return QStringLiteral("%1x%2-%3x").arg(pixels.width()).arg(pixels.height()).arg(scale());
}

QString saveShot(const QImage& shot, const QString& what) {
  QDir().mkpath(artifactsDirectory());
  const QString path = artifactsDirectory() + QStringLiteral("/screen-") + what + QLatin1Char('-') + screenName() +
                       QStringLiteral(".png");
  shot.save(path);
  return path;
}

// The box around every pixel of `colour`, and how many there are.
struct Patch {
  QRect box;
  qint64 pixels = 0;
  bool solid() const { return pixels > 0 && pixels >= qint64(box.width()) * box.height() * 97 / 100; }
};

Patch findPatch(const QImage& shot, const QColor& colour) {
  Patch patch;
  for (int y = 0; y < shot.height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(shot.constScanLine(y));
    for (int x = 0; x < shot.width(); ++x) {
      if (!near(line[x], colour)) continue;
      patch.box |= QRect(x, y, 1, 1);
      ++patch.pixels;
    }
  }
  return patch;
}

QRect devicePixels(const QRect& logical) {
  return {QPoint(int(std::lround(logical.x() * scale())), int(std::lround(logical.y() * scale()))),
          (QSizeF(logical.size()) * scale()).toSize()};
}

std::string describe(const QRect& rect) {
  return QStringLiteral("%1×%2 at %3,%4").arg(rect.width()).arg(rect.height()).arg(rect.x()).arg(rect.y()).toStdString();
}

class PreviewOnScreen : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const QImage& wallpaper = kDesktop->wallpaper();
    // The screen shows the wallpaper whole once the compositing manager drew it and the window manager's
    // note of the desktop switch its start-up made has gone.
    const auto bare = [&] {
      const QImage shot = grabScreen();
      if (shot.size() != wallpaper.size()) return false;
      for (int y = 0; y < shot.height(); y += 8) {
        for (int x = 0; x < shot.width(); x += 8) {
          if (!near(shot.pixel(x, y), wallpaper.pixelColor(x, y), 4)) return false;
        }
      }
      return true;
    };
    ASSERT_TRUE(runUntil(bare)) << "the desktop shows its wallpaper";
  }

  void TearDown() override {
    if (preview.window()) preview.window()->close();
  }

  TempRoot root;
  QuickLookPreview preview;
};

// A folder's small page, then a tall picture: the window grows about its centre and stays whole within the
// screen's area, title bar and all; a picture taller than the area is shown reduced.
TEST_F(PreviewOnScreen, PagingFromAFolderToAPortraitPictureKeepsTheWindowWholeAndCentred) {
  const QString folder = root.file(QStringLiteral("Receipts"));
  ASSERT_TRUE(QDir().mkpath(folder));
  QImage portrait(QSize(1200, 1800), QImage::Format_RGB32);
  portrait.fill(kPicture);
  const QString picture = root.file(QStringLiteral("portrait.png"));
  ASSERT_TRUE(portrait.save(picture));

  preview.show(folder, {folder, picture});
  PreviewWindow& window = *preview.window();
  // The folder's page is on the screen once its ground shows below its icon and name.
  const QColor ground = window.palette().color(QPalette::Window);
  EXPECT_TRUE(runUntil([&] {
    if (!window.windowHandle()->isExposed()) return false;
    const QRect page = devicePixels(window.geometry());
    return near(grabScreen().pixel(page.center().x(), page.bottom() - 4), ground, 4);
  })) << "the folder's page showed";
  saveShot(grabScreen(), QStringLiteral("preview-folder"));
  QTest::keyClick(&window, Qt::Key_Right);
  ASSERT_EQ(window.currentKind(), PreviewWindow::Kind::image);

  // The page the window shows, as the server composes it once the window has its size and place.
  const QRect area = screen().availableGeometry();
  Patch shown;
  const auto settled = [&] {
    const Patch before = shown;
    shown = findPatch(grabScreen(), kPicture);
    return shown.solid() && shown.box == before.box && area.contains(window.frameGeometry());
  };
  EXPECT_TRUE(runUntil(settled)) << "the picture shows " << describe(shown.box) << " in a frame at "
                                 << describe(window.frameGeometry());
  const QImage shot = grabScreen();
  saveShot(shot, QStringLiteral("preview-portrait"));

  const QRect frame = devicePixels(window.frameGeometry());
  const QRect screenArea = devicePixels(area);
  EXPECT_TRUE(screenArea.contains(frame)) << describe(frame) << " on " << describe(screenArea);
  EXPECT_TRUE(screenArea.contains(shown.box)) << describe(shown.box);
  EXPECT_GT(shown.box.top(), frame.top()) << "the title bar is above the picture, on the screen";
  EXPECT_LE(std::abs(frame.center().x() - screenArea.center().x()), 2) << describe(frame);
  EXPECT_LE(std::abs(frame.center().y() - screenArea.center().y()), 2) << describe(frame);
  EXPECT_NEAR(double(shown.box.width()) / shown.box.height(), 2.0 / 3.0, 0.02) << describe(shown.box);
}

// The tile made the document's small picture first; the preview shows the page in its own, larger size.
TEST_F(PreviewOnScreen, ADocumentsPreviewShowsItsPageLargeThoughTheTilesPictureIsCached) {
  const QString document = root.file(QStringLiteral("brochure.pdf"));
  writePdf(document, kPage);
  ASSERT_TRUE(desktopThumbnailerAnswers());
  ASSERT_FALSE(wait(loadThumbnail(document, 60)).isIcon) << "the tile's picture was made";

  preview.show(document, {document});
  PreviewWindow& window = *preview.window();
  ASSERT_TRUE(runUntil([&] { return window.currentKind() == PreviewWindow::Kind::image; }))
      << "the desktop's thumbnailer rendered the page";
  // A portrait page as tall as the preview's pictures of documents, 256 points; its coloured part is
  // the page within the writer's margins, a little less.
  const int tall = int(std::lround(256 * scale()));
  Patch page;
  EXPECT_TRUE(runUntil([&] {
    page = findPatch(grabScreen(), kPage);
    return page.solid() && page.box.height() >= tall * 9 / 10 && page.box.height() <= tall;
  })) << "the page shows " << describe(page.box) << " in a picture that should be " << tall << " pixels tall; "
       << [&] {
            std::string sizes;
            for (QLabel* label : window.findChildren<QLabel*>()) {
              if (!label->pixmap().isNull())
                sizes += describe(label->pixmap().rect()) + " at " + std::to_string(label->pixmap().devicePixelRatio()) + "; ";
            }
            return sizes;
          }();
  saveShot(grabScreen(), QStringLiteral("preview-document"));
  EXPECT_TRUE(devicePixels(screen().availableGeometry()).contains(devicePixels(window.frameGeometry())));
}

// The strongest contrast any pixel of `area` has with the colour most of its pixels have.
double strongestContrast(const QImage& shot, const QRect& area) {
  QHash<QRgb, int> counts;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) ++counts[shot.pixel(x, y)];
  }
  const QColor ground(std::max_element(counts.cbegin(), counts.cend()).key());
  double strongest = 1.0;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x)
      strongest = std::max(strongest, contrastRatio(QColor(shot.pixel(x, y)), ground));
  }
  return strongest;
}

// A dark desktop theme's popovers over the wallpaper: the sensitive file's and a folder's failures. Every
// text, the destructive Remove too, reads at 4.5:1 on the ground the screen shows it on.
TEST_F(PreviewOnScreen, TheDarkPopoversTextsReadWellOnTheScreen) {
  const QPalette saved = QApplication::palette();
  QPalette dark;
  dark.setColor(QPalette::Window, QColor(0x2d, 0x2d, 0x2f));
  dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
  dark.setColor(QPalette::Button, QColor(0x44, 0x44, 0x44));
  dark.setColor(QPalette::ButtonText, QColor(0xee, 0xee, 0xee));
  dark.setColor(QPalette::Mid, QColor(0x55, 0x55, 0x55));
  QApplication::setPalette(dark);

  ManualClock clock;
  const auto secret = std::make_shared<BucketItem>(root.write(QStringLiteral("id_rsa"), "key"), clock.now());
  root.write(QStringLiteral("Photos/inner.txt"), "x");
  const auto photos = std::make_shared<BucketItem>(root.file(QStringLiteral("Photos")), clock.now());
  photos->setErrors({{QStringLiteral("b/y.txt"), {UploadError::http(500)}},
                     {QStringLiteral("a/x.txt"), {UploadError::fileUnreadable(), UploadError::cancelled()}}});

  const QRect area = screen().availableGeometry();
  auto* sensitive = new SensitiveFilePopover(*secret);
  auto* sensitiveWindow = new PopoverWindow(sensitive, PanelEdge::left);
  sensitiveWindow->showBeside(QRect(area.left() + 40, area.center().y() - 120, 36, 36));
  auto* errorsWindow = new PopoverWindow(new UploadErrorPopover(photos), PanelEdge::left);
  errorsWindow->showBeside(QRect(area.left() + 360, area.center().y() - 120, 36, 36));
  ASSERT_TRUE(runUntil([&] {
    return sensitiveWindow->windowHandle()->isExposed() && errorsWindow->windowHandle()->isExposed();
  }));

  QList<QWidget*> texts;
  for (PopoverWindow* window : {sensitiveWindow, errorsWindow}) {
    for (QLabel* label : window->findChildren<QLabel*>()) texts << label;
    for (QPushButton* button : window->findChildren<QPushButton*>()) texts << button;
  }
  // Drawn once the compositing manager shows the popovers' grounds where their texts are.
  const auto shown = [&] {
    const QImage shot = grabScreen();
    return std::all_of(texts.begin(), texts.end(), [&](QWidget* text) {
      const QRect place = devicePixels(QRect(text->mapToGlobal(QPoint(0, 0)), text->size()));
      return shot.rect().contains(place) && strongestContrast(shot, place) > 2.0;
    });
  };
  EXPECT_TRUE(runUntil(shown));
  const QImage shot = grabScreen();
  saveShot(shot, QStringLiteral("popovers-dark"));
  for (QWidget* text : texts) {
    const QString what = text->objectName().isEmpty() ? text->property("text").toString() : text->objectName();
    QRect place = devicePixels(QRect(text->mapToGlobal(QPoint(0, 0)), text->size()));
    // A button's bevel edges are no text: only its middle counts.
    if (qobject_cast<QPushButton*>(text)) place = place.adjusted(4, 4, -4, -4);
    EXPECT_GE(strongestContrast(shot, place), 4.5) << what.toStdString();
  }
  sensitiveWindow->close();
  errorsWindow->close();
  QApplication::setPalette(saved);
}

}  // namespace
}  // namespace pm::test
