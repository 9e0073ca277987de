#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QUuid>

#include <algorithm>

#include "support/TestSupport.h"
#include "upload/BucketUploader.h"
#include "upload/UploadTypes.h"

namespace pm::test {

// A unit for a new local file in `dir` holding `bytes`, named in the bucket by `relativePath`.
inline UploadUnit localUnit(const QTemporaryDir& dir, const QString& relativePath, const QByteArray& bytes) {
  const QString path = dir.filePath(QUuid::createUuid().toString(QUuid::WithoutBraces));
  QFile file(path);
  if (file.open(QIODevice::WriteOnly)) file.write(bytes);
  return UploadUnit{QUuid::createUuid(), QUuid::createUuid(), path, relativePath, bytes.size()};
}

// A file's bytes; empty when it cannot be read.
inline QByteArray fileContents(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll();
}

// Registers the units and uploads every one that got a destination.
inline Registration registerAndUpload(BucketUploader& uploader, const QList<UploadUnit>& units) {
  Registration registration = wait(uploader.registerUnits(units));
  for (const UploadDestination& destination : registration.destinations) {
    const auto sent =
        std::find_if(units.begin(), units.end(), [&](const UploadUnit& unit) { return unit.id == destination.unitID; });
    wait(uploader.upload(*sent, destination, {}, {}));
  }
  return registration;
}

}  // namespace pm::test
