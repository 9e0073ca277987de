#include "UploadUnits.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include "platform/Async.h"
#include "upload/PathPieces.h"

namespace pm {

namespace {

// What the walk needs of an item, copied on the main thread where items live.
struct ItemSource {
  QUuid id;
  QString url;
  QString name;
  bool isDirectory = false;
};

// The one place relative paths are made: whatever an item's path held, no "." or ".." piece gets past here.
UploadUnit makeUnit(const QUuid& itemID, QString url, const QString& relativePath, qint64 size) {
  return UploadUnit{QUuid::createUuid(), itemID, std::move(url), cleanPath(relativePath), size};
}

// The path without trailing slashes, so its children are "<path>/<name>"; "/" stays "/".
QString withoutTrailingSlashes(const QString& path) {
  qsizetype end = path.size();
  while (end > 1 && path.at(end - 1) == QLatin1Char('/')) --end;
  return path.left(end);
}

UnitExpansion expand(const QList<ItemSource>& items) {
  UnitExpansion result;
  for (const ItemSource& item : items) {
    if (item.isDirectory) {
      QList<UploadUnit> units = folderUnits(item.url, item.id);
      if (units.isEmpty()) {
        result.errors.insert(item.id, UploadError::emptyFolder());
      } else {
        result.units.append(std::move(units));
      }
      continue;
    }
    // A dropped link counts as the file it points at: that is what the upload reads. A pipe or a device
    // has no size to announce and may never end (or never open), so only regular files are taken.
    const QFileInfo file(item.url);
    if (!file.isFile()) {
      result.errors.insert(item.id, UploadError::fileUnreadable());
    } else {
      result.units.append(makeUnit(item.id, item.url, item.name, file.size()));
    }
  }
  return result;
}

}  // namespace

QList<UploadUnit> folderUnits(const QString& folder, const QUuid& itemID) {
  // A folder given as "…/x/.." or "…/x/." goes by the name of the folder it is.
  const QString rootName = QFileInfo(QDir::cleanPath(folder)).fileName();
  const QString base = withoutTrailingSlashes(folder);
  const QString prefix = base.endsWith(QLatin1Char('/')) ? base : base + QLatin1Char('/');

  // Without QDir::Hidden the iterator neither lists hidden entries nor enters hidden folders, and without
  // FollowSymlinks it never enters a linked folder; NoSymLinks drops links to files as well.
  QDirIterator entries(base, QDir::Files | QDir::NoSymLinks, QDirIterator::Subdirectories);
  QList<UploadUnit> units;
  while (entries.hasNext()) {
    entries.next();
    const QFileInfo entry = entries.fileInfo();
    // Gone since it was listed, or a device, pipe or socket.
    if (entry.isSymLink() || !entry.isFile()) continue;
    // Entries come as "<folder>/<path below>" in the form the folder was given, so the path below needs
    // no resolving of links even when the folder was reached through a linked parent.
    const QString path = entry.filePath();
    const QString below = path.startsWith(prefix) ? path.mid(prefix.size()) : QDir(base).relativeFilePath(path);
    units.append(makeUnit(itemID, path, rootName + QLatin1Char('/') + below, entry.size()));
  }
  return units;
}

QCoro::Task<UnitExpansion> makeUploadUnits(QList<Bucket::ItemPointer> items) {
  QList<ItemSource> sources;
  sources.reserve(items.size());
  for (const Bucket::ItemPointer& item : items)
    sources.append(ItemSource{item->id(), item->url(), item->name(), item->isDirectory()});
  auto expansion = [sources = std::move(sources)] { return expand(sources); };
  co_return co_await runOnWorker(std::move(expansion));
}

}  // namespace pm
