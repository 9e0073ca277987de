#pragma once

#include <QImage>
#include <QString>

#include <QCoroTask>

#include <chrono>
#include <optional>

#include "panel/LoadedThumbnail.h"
#include "platform/Async.h"

class QScreen;

namespace pm {

// How many pictures the process keeps. A long-running agent sees thousands of files over its life; a few
// hundred pictures of about 60 KB each cover every tile that can be on screen and stay small.
inline constexpr int kThumbnailCacheCapacity = 300;

// How long a picture waits for the desktop's thumbnailer service before the file's icon stands in. Long
// enough for a service that starts on the first request to render a document's first page.
inline constexpr std::chrono::milliseconds kThumbnailerWait{8000};

// The picture loaded before for this file, if the cache still holds it. Main thread only.
std::optional<LoadedThumbnail> cachedThumbnail(const QString& path);

// The picture of a file or folder for a square of `size` points: a picture file decoded at the size the
// screen needs, a folder's icon, the desktop's thumbnail of the file (see renderedThumbnail), else the
// file's icon; a picture too large to decode (see isOversizedPicture) gets its icon at once. Never fails.
// File access and decoding run on a worker; the result is cached on the main thread, where this must be
// called. Two overlapping loads of one file both do the work; the later one is kept. Once `cancel` is
// cancelled (the tile that wanted the picture is gone) the load stops at its next step, caches nothing and
// hands back an empty picture: a strip scrolled fast past thousands of files would otherwise go on making
// pictures no one will see.
QCoro::Task<LoadedThumbnail> loadThumbnail(QString path, double size, CancelTokenPtr cancel = nullptr);

// Pixels per point for thumbnails: the screen's device pixel ratio, or 2 without a screen.
double thumbnailScale(const QScreen* screen);

// The desktop's thumbnail of a file's content, at most `maxPixelSize`: the one stored in the shared cache
// when it is of the size asked for, else the one the desktop's thumbnailer service renders now in that size
// (waiting at most kThumbnailerWait), else a smaller stored one; nothing when there is none, or once
// `cancel` is cancelled. Main thread; the files are read on a worker.
QCoro::Task<std::optional<QImage>> renderedThumbnail(QString path, int maxPixelSize, CancelTokenPtr cancel = nullptr);

// The file decoded as a picture whose longer side is at most `maxPixelSize`, turned upright as its EXIF
// orientation says; nothing when it is no picture this program can read. Safe on any thread.
std::optional<QImage> decodeImageThumbnail(const QString& path, int maxPixelSize);

// Whether the file is a picture whose stated size is more than the decoder may allocate. Such a picture
// is not decoded, and not handed to the desktop's thumbnailer either: that service would spend seconds of
// a core on it while every other file's thumbnail waits behind it. Reads only the picture's header. Safe
// on any thread.
bool isOversizedPicture(const QString& path);

// The thumbnail another program stored for the file in the desktop's shared thumbnail cache
// ($XDG_CACHE_HOME/thumbnails), if one is there and still matches the file's modification time; reduced to
// at most `maxPixelSize`. Only the cache's folders of pictures at least `smallestFolder` pixels are read.
// Safe on any thread.
std::optional<QImage> desktopCachedThumbnail(const QString& path, int maxPixelSize, int smallestFolder = 0);

}  // namespace pm
