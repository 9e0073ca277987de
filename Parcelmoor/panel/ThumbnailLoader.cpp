#include "panel/ThumbnailLoader.h"

#include <QCache>
#include <QCryptographicHash>
#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QImageReader>
#include <QMimeDatabase>
#include <QScreen>
#include <QStandardPaths>
#include <QThread>
#include <QUrl>

#include <array>

#include "platform/Async.h"
#include "platform/DesktopThumbnailer.h"

namespace pm {

namespace {

bool onMainThread() { return QThread::currentThread() == QCoreApplication::instance()->thread(); }

bool isCancelled(const CancelTokenPtr& cancel) { return cancel && cancel->isCancelled(); }

QCache<QString, LoadedThumbnail>& cache() {
  static QCache<QString, LoadedThumbnail> pictures(kThumbnailCacheCapacity);
  return pictures;
}

void store(const QString& path, const LoadedThumbnail& thumbnail) {
  Q_ASSERT(onMainThread());
  cache().insert(path, new LoadedThumbnail(thumbnail));
}

// Decided by the name alone, as the file's content type is everywhere else in the program.
bool namesPicture(const QString& path) {
  // One database per call: instances share the loaded data, and no instance is shared across threads.
  const QMimeDatabase database;
  return database.mimeTypeForFile(path, QMimeDatabase::MatchExtension).name().startsWith(QLatin1String("image/"));
}

QImage reducedTo(QImage image, int maxPixelSize) {
  if (maxPixelSize > 0 && std::max(image.width(), image.height()) > maxPixelSize) {
    image = image.scaled(maxPixelSize, maxPixelSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  }
  return image;
}

// What the worker found out about a file: whether it is a folder, a picture of its content if any, and
// whether it is a picture too large for anyone to decode.
struct Probe {
  bool isDirectory = false;
  std::optional<QImage> picture;
  bool oversized = false;
};

Probe probe(const QString& path, int pixelSize) {
  Probe result;
  const QFileInfo info(path);
  result.isDirectory = info.isDir();
  if (!result.isDirectory && namesPicture(path)) {
    result.picture = decodeImageThumbnail(path, pixelSize);
    if (!result.picture) result.oversized = isOversizedPicture(path);
  }
  return result;
}

// The file's content type, read from its content as the thumbnailer service expects.
QString contentType(const QString& path) {
  const QMimeDatabase database;
  return database.mimeTypeForFile(path).name();
}

// Icons come from the icon theme and the style, both of which belong to the main thread.
QImage iconImage(const QString& path, bool isDirectory, int pixelSize) {
  Q_ASSERT(onMainThread());
  static const QFileIconProvider provider;
  QIcon icon = provider.icon(QFileInfo(path));
  if (icon.isNull()) icon = provider.icon(isDirectory ? QAbstractFileIconProvider::Folder : QAbstractFileIconProvider::File);
  return icon.pixmap(QSize(pixelSize, pixelSize)).toImage();
}

}  // namespace

std::optional<LoadedThumbnail> cachedThumbnail(const QString& path) {
  Q_ASSERT(onMainThread());
  if (const LoadedThumbnail* hit = cache().object(path)) return *hit;
  return std::nullopt;
}

double thumbnailScale(const QScreen* screen) { return screen ? screen->devicePixelRatio() : 2.0; }

QCoro::Task<LoadedThumbnail> loadThumbnail(QString path, double size, CancelTokenPtr cancel) {
  if (auto hit = cachedThumbnail(path)) co_return *hit;
  const double scale = thumbnailScale(QGuiApplication::primaryScreen());
  const int pixelSize = int(scale * size);

  auto work = [path, pixelSize] { return probe(path, pixelSize); };
  Probe found = co_await runOnWorker(std::move(work));
  if (isCancelled(cancel)) co_return LoadedThumbnail{};
  if (!found.picture && !found.isDirectory && !found.oversized)
    found.picture = co_await renderedThumbnail(path, pixelSize, cancel);
  if (isCancelled(cancel)) co_return LoadedThumbnail{};

  LoadedThumbnail thumbnail;
  if (found.picture) {
    thumbnail.image = std::move(*found.picture);
  } else {
    thumbnail.image = iconImage(path, found.isDirectory, pixelSize);
    thumbnail.isIcon = true;
  }
  thumbnail.image.setDevicePixelRatio(scale);
  store(path, thumbnail);
  co_return thumbnail;
}

QCoro::Task<std::optional<QImage>> renderedThumbnail(QString path, int maxPixelSize, CancelTokenPtr cancel) {
  const DesktopThumbnailer::Flavor flavor = DesktopThumbnailer::flavorFor(maxPixelSize);
  // A smaller picture another view made (the tile's, for the preview) is no answer while the service can
  // make one of the size asked for; it stands in only when the service makes none.
  const int wanted = DesktopThumbnailer::pixelsOf(flavor);
  auto stored = [path, maxPixelSize](int smallestFolder) {
    return [path, maxPixelSize, smallestFolder] { return desktopCachedThumbnail(path, maxPixelSize, smallestFolder); };
  };
  std::optional<QImage> picture = co_await runOnWorker(stored(wanted));
  if (picture || isCancelled(cancel)) co_return picture;
  auto typing = [path] { return contentType(path); };
  const QString type = co_await runOnWorker(std::move(typing));
  if (isCancelled(cancel)) co_return std::nullopt;
  co_await DesktopThumbnailer::shared().make(path, type, flavor, kThumbnailerWait, cancel);
  if (isCancelled(cancel)) co_return std::nullopt;
  co_return co_await runOnWorker(stored(0));
}

std::optional<QImage> decodeImageThumbnail(const QString& path, int maxPixelSize) {
  QImageReader reader(path);
  reader.setAutoTransform(true);
  // The reader turns the picture upright after scaling, so the scaled size is in the stored orientation.
  const QSize stored = reader.size();
  // A colour-mapped picture scaled while decoding loses its colour table (a 1-bit one comes out black and
  // white): it is decoded whole and turned into full colour before it is reduced.
  const QImage::Format format = reader.imageFormat();
  const bool mapped = format == QImage::Format_Mono || format == QImage::Format_MonoLSB || format == QImage::Format_Indexed8;
  if (!mapped && stored.isValid() && maxPixelSize > 0 && std::max(stored.width(), stored.height()) > maxPixelSize) {
    reader.setScaledSize(stored.scaled(maxPixelSize, maxPixelSize, Qt::KeepAspectRatio));
  }
  QImage image = reader.read();
  if (image.isNull()) return std::nullopt;
  if (image.colorCount() > 0) {
    image = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  }
  // A format that cannot scale while decoding hands back the full picture.
  return reducedTo(std::move(image), maxPixelSize);
}

bool isOversizedPicture(const QString& path) {
  const QSize stated = QImageReader(path).size();
  const qint64 limitMiB = QImageReader::allocationLimit();
  if (!stated.isValid() || limitMiB <= 0) return false;
  // Four bytes a pixel: the full-colour image the decoder makes of most pictures.
  return qint64(stated.width()) * stated.height() * 4 > limitMiB * 1024 * 1024;
}

std::optional<QImage> desktopCachedThumbnail(const QString& path, int maxPixelSize, int smallestFolder) {
  const QFileInfo info(path);
  if (!info.exists()) return std::nullopt;
  const QByteArray uri = QUrl::fromLocalFile(info.absoluteFilePath()).toEncoded();
  const QString name =
      QString::fromLatin1(QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex()) + QLatin1String(".png");
  const QString root = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QLatin1String("/thumbnails/");
  const QString modified = QString::number(info.lastModified().toSecsSinceEpoch());

  // The smallest stored size that is big enough first, then larger ones, then the small one.
  static constexpr std::array<std::pair<const char*, int>, 4> kFolders{
      {{"normal", 128}, {"large", 256}, {"x-large", 512}, {"xx-large", 1024}}};
  QList<std::pair<const char*, int>> order;
  for (const auto& entry : kFolders) {
    if (entry.second >= maxPixelSize) order.append(entry);
  }
  for (auto it = kFolders.rbegin(); it != kFolders.rend(); ++it) {
    if (!order.contains(*it)) order.append(*it);
  }
  for (const auto& [folder, side] : order) {
    if (side < smallestFolder) continue;
    QImage image(root + QLatin1String(folder) + QLatin1Char('/') + name);
    if (image.isNull()) continue;
    // Read from the picture itself: the reader's own text lookup cannot take keys that hold "::".
    // A thumbnail of an older version of the file is stale; the desktop's rule is to ignore it.
    // Some thumbnailers add the fraction of the second ("1700000000.25"); the whole seconds must match.
    if (image.text(QStringLiteral("Thumb::MTime")).section(QLatin1Char('.'), 0, 0) != modified) continue;
    const QString storedUri = image.text(QStringLiteral("Thumb::URI"));
    if (!storedUri.isEmpty() && storedUri.toUtf8() != uri) continue;
    return reducedTo(std::move(image), maxPixelSize);
  }
  return std::nullopt;
}

}  // namespace pm
