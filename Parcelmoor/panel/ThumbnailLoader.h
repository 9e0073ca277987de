#pragma once

#include <QImage>
#include <QString>

#include <QCoroTask>

#include <optional>

#include "panel/LoadedThumbnail.h"

class QScreen;

namespace pm {

// How many pictures the process keeps. A long-running agent sees thousands of files over its life; a few
// hundred pictures of about 60 KB each cover every tile that can be on screen and stay small.
inline constexpr int kThumbnailCacheCapacity = 300;

// The picture loaded before for this file, if the cache still holds it. Main thread only.
std::optional<LoadedThumbnail> cachedThumbnail(const QString& path);

// The picture of a file or folder for a square of `size` points: a picture file decoded at the size the
// screen needs, a folder's icon, the desktop's stored thumbnail of the file, else the file's icon. Never
// fails. File access and decoding run on a worker; the result is cached on the main thread, where this
// must be called. Two overlapping loads of one file both do the work; the later one is kept.
QCoro::Task<LoadedThumbnail> loadThumbnail(QString path, double size);

// Pixels per point for thumbnails: the screen's device pixel ratio, or 2 without a screen.
double thumbnailScale(const QScreen* screen);

// The file decoded as a picture whose longer side is at most `maxPixelSize`, turned upright as its EXIF
// orientation says; nothing when it is no picture this program can read. Safe on any thread.
std::optional<QImage> decodeImageThumbnail(const QString& path, int maxPixelSize);

// The thumbnail another program stored for the file in the desktop's shared thumbnail cache
// ($XDG_CACHE_HOME/thumbnails), if one is there and still matches the file's modification time; reduced to
// at most `maxPixelSize`. Safe on any thread.
std::optional<QImage> desktopCachedThumbnail(const QString& path, int maxPixelSize);

}  // namespace pm
