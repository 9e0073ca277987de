#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QUrl>

#include <cmath>

#include <gtest/gtest.h>

#include "panel/ThumbnailLoader.h"
#include "platform/DesktopThumbnailer.h"
#include "tests/panel/PdfFixture.h"
#include "tests/panel/RunningDesktopThumbnailer.h"
#include "tests/panel/TileTesting.h"

namespace pm {
namespace {

// A JPEG stored lying on its side: left half red, right half blue, with the EXIF orientation 6 ("turn a
// quarter clockwise to view"), so the upright picture is red on top and blue below.
QByteArray sidewaysJpeg(QSize stored) {
  QImage image(stored, QImage::Format_RGB32);
  image.fill(Qt::blue);
  for (int y = 0; y < stored.height(); ++y) {
    for (int x = 0; x < stored.width() / 2; ++x) image.setPixelColor(x, y, Qt::red);
  }
  QByteArray jpeg;
  QBuffer buffer(&jpeg);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "JPEG", 95);
  const QByteArray exif = QByteArray("Exif", 4) + QByteArray(2, '\0') +
                          QByteArray::fromHex("4d4d002a00000008"      // big-endian TIFF header, IFD at 8
                                              "0001"                  // one entry
                                              "011200030000000100060000"  // orientation = 6
                                              "00000000");            // no next IFD
  const int length = int(exif.size()) + 2;
  QByteArray segment = QByteArray::fromHex("ffe1");
  segment.append(char(length >> 8)).append(char(length & 0xff)).append(exif);
  return jpeg.insert(2, segment);
}

// The headers of pictures whose sizes their formats allow but whose pixels are more than the decoder may
// allocate (30,000 and 16,000 pixels square).
QByteArray oversizedPpm() {
  return QByteArray("P6\n30000 30000\n255\n") + QByteArray(64, '\0');
}

QByteArray oversizedBmp() {
  const auto le32 = [](quint32 value) {
    QByteArray bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[i] = char((value >> (8 * i)) & 0xff);
    return bytes;
  };
  QByteArray bmp = QByteArray("BM") + le32(54) + le32(0) + le32(54);  // file header, pixels at 54
  bmp += le32(40) + le32(16000) + le32(16000);                        // info header: width, height
  bmp += QByteArray::fromHex("01001800") + le32(0) + le32(0) + le32(2835) + le32(2835) + le32(0) + le32(0);
  return bmp + QByteArray(64, '\0');
}

class ThumbnailLoaderTest : public ::testing::Test {
 protected:
  test::TempRoot root;
};

TEST_F(ThumbnailLoaderTest, APictureComesOutUprightWithinTheAskedSize) {
  const QString path = root.write(QStringLiteral("sideways.jpg"), sidewaysJpeg(QSize(400, 200)));
  const LoadedThumbnail loaded = test::wait(loadThumbnail(path, 60));
  const double scale = thumbnailScale(QGuiApplication::primaryScreen());
  const int limit = int(scale * 60);
  EXPECT_FALSE(loaded.isIcon);
  EXPECT_EQ(loaded.image.height(), limit) << "the longer side, now upright";
  EXPECT_EQ(loaded.image.width(), limit / 2);
  const QColor top = loaded.image.pixelColor(loaded.image.width() / 2, 2);
  const QColor bottom = loaded.image.pixelColor(loaded.image.width() / 2, loaded.image.height() - 3);
  EXPECT_GT(top.red(), 200);
  EXPECT_LT(top.blue(), 60);
  EXPECT_GT(bottom.blue(), 200);
  EXPECT_LT(bottom.red(), 60);
}

TEST_F(ThumbnailLoaderTest, PicturesKeepTheirColoursWhateverTheirPixelFormat) {
  // Left half one colour, right half another, stored in the pixel formats files come in: colour-mapped
  // (as image tools write flat-colour pictures, screenshots and icons), grey, and full colour.
  const QColor left(200, 30, 40), right(30, 60, 210);
  const auto halves = [&](QImage::Format format) {
    QImage image(QSize(400, 300), QImage::Format_RGB32);
    image.fill(right);
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width() / 2; ++x) image.setPixelColor(x, y, left);
    }
    return format == QImage::Format_RGB32 ? image : image.convertToFormat(format, Qt::ThresholdDither);
  };
  const auto monoMapped = [&] {
    QImage image(QSize(400, 300), QImage::Format_Mono);
    image.setColorTable({right.rgb(), left.rgb()});
    image.fill(0);
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width() / 2; ++x) image.setPixel(x, y, 1);
    }
    return image;
  };
  struct Case {
    const char* what;
    QImage image;
    const char* format;
  };
  const Case cases[] = {
      {"1-bit colour-mapped PNG", monoMapped(), "PNG"},
      {"8-bit colour-mapped PNG", halves(QImage::Format_Indexed8), "PNG"},
      {"full-colour PNG", halves(QImage::Format_RGB32), "PNG"},
      {"JPEG", halves(QImage::Format_RGB32), "JPEG"},
      {"grey PNG", halves(QImage::Format_Grayscale8), "PNG"},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const QString path = root.file(QStringLiteral("colours-%1.%2").arg(index++).arg(QString::fromLatin1(c.format).toLower()));
    ASSERT_TRUE(c.image.save(path, c.format));
    const LoadedThumbnail loaded = test::wait(loadThumbnail(path, 60));
    ASSERT_FALSE(loaded.isIcon);
    const QImage& image = loaded.image;
    const QColor seenLeft = image.pixelColor(image.width() / 4, image.height() / 2);
    const QColor seenRight = image.pixelColor(image.width() * 3 / 4, image.height() / 2);
    // The stored picture's own colours (a grey one has grey ones).
    const QColor wantLeft = c.image.pixelColor(100, 150);
    const QColor wantRight = c.image.pixelColor(300, 150);
    for (const auto& [seen, want] : {std::pair{seenLeft, wantLeft}, std::pair{seenRight, wantRight}}) {
      EXPECT_NEAR(seen.red(), want.red(), 12) << seen.name().toStdString() << " for " << want.name().toStdString();
      EXPECT_NEAR(seen.green(), want.green(), 12) << seen.name().toStdString() << " for " << want.name().toStdString();
      EXPECT_NEAR(seen.blue(), want.blue(), 12) << seen.name().toStdString() << " for " << want.name().toStdString();
    }
  }
}

TEST_F(ThumbnailLoaderTest, DecodingLeavesTheMainThreadFree) {
  QImage photo(4000, 3000, QImage::Format_RGB32);
  for (int y = 0; y < photo.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(photo.scanLine(y));
    for (int x = 0; x < photo.width(); ++x) line[x] = qRgb(x & 0xff, y & 0xff, (x ^ y) & 0xff);
  }
  const QString path = root.file(QStringLiteral("big.jpg"));
  ASSERT_TRUE(photo.save(path, "JPEG", 90));

  bool finished = false;
  int ticksWhileLoading = 0;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    if (!finished) ++ticksWhileLoading;
  });
  ticker.start(0);
  auto load = [&]() -> QCoro::Task<LoadedThumbnail> {
    LoadedThumbnail loaded = co_await loadThumbnail(path, 60);
    finished = true;
    co_return loaded;
  };
  const LoadedThumbnail loaded = test::wait(load());
  EXPECT_FALSE(loaded.isIcon);
  EXPECT_GT(ticksWhileLoading, 0) << "the event loop kept running while the picture was decoded";
}

TEST_F(ThumbnailLoaderTest, FoldersAndUnreadablePicturesGetIcons) {
  root.write(QStringLiteral("Folder.png/inside.txt"), "a folder named like a picture");
  const std::pair<QString, const char*> cases[] = {
      {root.file(QStringLiteral("Folder.png")), "folder"},
      {root.write(QStringLiteral("garbage.png"), QByteArray(5000, '\x07')), "garbage named .png"},
      {root.write(QStringLiteral("huge.ppm"), oversizedPpm()), "huge"},
      {root.write(QStringLiteral("notes.txt"), "plain text"), "text"},
  };
  for (const auto& [path, what] : cases) {
    const LoadedThumbnail loaded = test::wait(loadThumbnail(path, 60));
    EXPECT_TRUE(loaded.isIcon) << what;
    EXPECT_FALSE(loaded.image.isNull()) << what;
  }
}

TEST_F(ThumbnailLoaderTest, APictureTooLargeToDecodeIsKnownByItsHeader) {
  const struct {
    QString path;
    bool oversized;
  } cases[] = {
      {root.write(QStringLiteral("huge.ppm"), oversizedPpm()), true},
      {root.write(QStringLiteral("huge.bmp"), oversizedBmp()), true},
      {test::writePicture(root, QStringLiteral("photo.png"), QSize(90, 90)), false},
      {root.write(QStringLiteral("garbage.png"), QByteArray(5000, '\x07')), false},
      {root.write(QStringLiteral("notes.txt"), "plain text"), false},
  };
  for (const auto& [path, oversized] : cases)
    EXPECT_EQ(isOversizedPicture(path), oversized) << path.toStdString();
}

// Asked, the thumbnailer service spends seconds of a core on such a picture, while every other file's
// thumbnail waits behind it, and may even hand back a picture of it: only a load that never asks it comes
// back quickly with the icon.
TEST_F(ThumbnailLoaderTest, APictureTooLargeToDecodeGetsItsIconWithoutAskingTheThumbnailer) {
  const QString path = root.write(QStringLiteral("bomb.ppm"), oversizedPpm());
  QElapsedTimer clock;
  clock.start();
  const LoadedThumbnail loaded = test::wait(loadThumbnail(path, 60));
  EXPECT_TRUE(loaded.isIcon) << "the thumbnailer service was asked";
  EXPECT_FALSE(loaded.image.isNull());
  EXPECT_LT(clock.elapsed(), 5000) << "the thumbnailer service was asked";
}

TEST_F(ThumbnailLoaderTest, ASecondLoadComesFromTheCacheEvenAfterTheFileWentAway) {
  const QString path = test::writePicture(root, QStringLiteral("photo.png"), QSize(90, 90));
  EXPECT_FALSE(cachedThumbnail(path).has_value());
  const LoadedThumbnail first = test::wait(loadThumbnail(path, 60));
  ASSERT_TRUE(QFile::remove(path));
  const LoadedThumbnail second = test::wait(loadThumbnail(path, 60));
  EXPECT_FALSE(second.isIcon);
  EXPECT_EQ(second.image, first.image);
  ASSERT_TRUE(cachedThumbnail(path).has_value());
  EXPECT_EQ(cachedThumbnail(path)->image, first.image);
}

// The tile that wanted the picture went before its load ended: nothing is made, nothing cached. (The token
// is cancelled before the load starts: cancelled after, a worker quick enough may have ended the load
// before the cancel comes, and then there is nothing left to stop.)
TEST_F(ThumbnailLoaderTest, ALoadCancelledBeforeItEndsHandsBackNothingAndCachesNothing) {
  for (const QString& path : {test::writePicture(root, QStringLiteral("gone.png"), QSize(90, 90)),
                              root.write(QStringLiteral("gone.txt"), "words")}) {
    const CancelTokenPtr cancel = makeCancelToken();
    cancel->cancel();
    const LoadedThumbnail loaded = test::wait(loadThumbnail(path, 60, cancel));
    EXPECT_TRUE(loaded.image.isNull()) << qPrintable(path);
    EXPECT_FALSE(cachedThumbnail(path).has_value()) << qPrintable(path);
    EXPECT_FALSE(test::wait(loadThumbnail(path, 60, makeCancelToken())).image.isNull()) << qPrintable(path);
    EXPECT_TRUE(cachedThumbnail(path).has_value()) << qPrintable(path);
  }
}

TEST_F(ThumbnailLoaderTest, TheCacheKeepsALimitedNumberOfPictures) {
  const QString first = root.write(QStringLiteral("many/first.txt"), "x");
  test::wait(loadThumbnail(first, 60));
  ASSERT_TRUE(cachedThumbnail(first).has_value());
  for (int n = 0; n < kThumbnailCacheCapacity; ++n) {
    test::wait(loadThumbnail(root.write(QStringLiteral("many/%1.txt").arg(n), "x"), 60));
  }
  EXPECT_FALSE(cachedThumbnail(first).has_value()) << "the oldest picture made room";
}

TEST_F(ThumbnailLoaderTest, WithoutAScreenThePixelSizeIsTwiceThePointSize) {
  EXPECT_EQ(thumbnailScale(nullptr), 2.0);
  QScreen* screen = QGuiApplication::primaryScreen();
  ASSERT_NE(screen, nullptr);
  EXPECT_EQ(thumbnailScale(screen), screen->devicePixelRatio());
}

TEST_F(ThumbnailLoaderTest, TheDesktopsStoredThumbnailIsUsedOnlyWhileItMatchesTheFile) {
  const QByteArray savedCache = qgetenv("XDG_CACHE_HOME");
  const QString cacheHome = root.file(QStringLiteral("cache"));
  qputenv("XDG_CACHE_HOME", QFile::encodeName(cacheHome));

  const QString document = root.write(QStringLiteral("paper.pdf"), "%PDF-1.4 not really");
  const QFileInfo info(document);
  const QByteArray uri = QUrl::fromLocalFile(info.absoluteFilePath()).toEncoded();
  const QString stored = cacheHome + QStringLiteral("/thumbnails/normal/") +
                         QString::fromLatin1(QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex()) +
                         QStringLiteral(".png");
  QDir().mkpath(QFileInfo(stored).absolutePath());
  auto storeThumbnail = [&](double mtime) {
    QImage page(96, 128, QImage::Format_RGB32);
    page.fill(Qt::darkGreen);
    page.setText(QStringLiteral("Thumb::URI"), QString::fromUtf8(uri));
    page.setText(QStringLiteral("Thumb::MTime"), QString::number(mtime, 'f', mtime == std::floor(mtime) ? 0 : 2));
    ASSERT_TRUE(page.save(stored, "png"));
  };

  storeThumbnail(info.lastModified().toSecsSinceEpoch());
  const auto current = desktopCachedThumbnail(document, 120);
  ASSERT_TRUE(current.has_value());
  EXPECT_EQ(current->height(), 120) << "reduced to the asked size";
  EXPECT_EQ(current->pixelColor(10, 10), QColor(Qt::darkGreen));

  storeThumbnail(info.lastModified().toSecsSinceEpoch() + 0.25);
  EXPECT_TRUE(desktopCachedThumbnail(document, 120).has_value()) << "a time with a fraction of a second matches";

  storeThumbnail(info.lastModified().toSecsSinceEpoch() - 100);
  EXPECT_FALSE(desktopCachedThumbnail(document, 120).has_value()) << "a thumbnail of an older version is stale";

  qputenv("XDG_CACHE_HOME", savedCache);
}

TEST_F(ThumbnailLoaderTest, ADocumentGetsItsContentFromTheDesktopsThumbnailer) {
  const QColor page(230, 120, 20);
  const QString document = root.file(QStringLiteral("flyer.pdf"));
  test::writePdf(document, page);
  ASSERT_TRUE(test::desktopThumbnailerAnswers());
  const LoadedThumbnail loaded = test::wait(loadThumbnail(document, 60));
  ASSERT_FALSE(loaded.isIcon) << "the thumbnailer service rendered the page";
  const QColor seen = loaded.image.pixelColor(loaded.image.width() / 2, loaded.image.height() / 2);
  EXPECT_NEAR(seen.red(), page.red(), 16) << seen.name().toStdString();
  EXPECT_NEAR(seen.green(), page.green(), 16) << seen.name().toStdString();
  EXPECT_NEAR(seen.blue(), page.blue(), 16) << seen.name().toStdString();
}

TEST_F(ThumbnailLoaderTest, WithoutAThumbnailerServiceTheAnswerIsAQuickNo) {
  const QString document = root.file(QStringLiteral("missing-service.pdf"));
  test::writePdf(document, Qt::darkBlue);
  DesktopThumbnailer absent(QDBusConnection::sessionBus(), QStringLiteral("org.example.NoThumbnailer"));
  QElapsedTimer clock;
  clock.start();
  const auto bound = std::chrono::seconds(30);
  EXPECT_FALSE(test::wait(absent.make(document, QStringLiteral("application/pdf"),
                                      DesktopThumbnailer::Flavor::normal, bound)));
  EXPECT_LT(clock.elapsed(), 5000) << "no wait for a service that is not there";
}

}  // namespace
}  // namespace pm
