#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QUuid>

#include <QCoroTask>

#include "core/Bucket.h"
#include "core/UploadError.h"
#include "upload/UploadTypes.h"

namespace pm {

// What the expansion of bucket items yields: the units in item order, and for each item that gave no unit
// the reason (`fileUnreadable` or `emptyFolder`). An item with an error has no units.
struct UnitExpansion {
  QList<UploadUnit> units;
  QHash<QUuid, UploadError> errors;
};

// Turns dropped files and folders into the files to send: a file is one unit, a folder one unit per
// regular file below it. Reads only the file system and never fails as a whole. Called on the main
// thread; the reading runs on a worker so a folder of many files does not hold up the interface.
QCoro::Task<UnitExpansion> makeUploadUnits(QList<Bucket::ItemPointer> items);

// The units of the regular files below `folder`, to any depth, in the order the file system lists them.
// Hidden entries and everything below a hidden folder are left out, symbolic links are never followed and
// entries that cannot be read are passed over. Each relative path starts with the folder's own name.
// Safe to call on any thread.
QList<UploadUnit> folderUnits(const QString& folder, const QUuid& itemID);

}  // namespace pm
