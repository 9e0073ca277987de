#pragma once

#include <QHash>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QUuid>

#include <optional>

#include "core/UploadError.h"

namespace pm {

// One file to transfer: a dropped file, or one regular file inside a dropped folder.
struct UploadUnit {
  QUuid id;
  QUuid itemID;
  QString url;           // local file path the bytes are read from
  QString relativePath;  // the name in the share, "/"-joined; starts with the folder's name for folder files
  qint64 size = 0;       // as the file system reported it when the unit was made

  bool operator==(const UploadUnit&) const = default;
};

// Where one unit goes.
struct UploadDestination {
  QUuid unitID;
  QUrl url;
  QString method = QStringLiteral("PUT");
  QMap<QString, QString> headers;

  bool operator==(const UploadDestination&) const = default;
};

// What register(units:) yields: a destination per accepted unit and an error per refused unit.
struct Registration {
  QList<UploadDestination> destinations;
  QHash<QUuid, UploadError> refused;
};

// The result of finishing a bucket.
struct ResponseItem {
  enum class Kind { copied, copiedBox, done };

  Kind type = Kind::done;
  QUrl url;          // copied, copiedBox
  QString password;  // copiedBox
  // What arrived is shared, but the share may lack files. The session names those that failed in the
  // bucket (by their path in it); the uploader counts those the connection says it does not hold beyond
  // the ones it saw fail, which nobody can name.
  QStringList missingFiles;
  qint64 unnamedMissingFiles = 0;

  static ResponseItem copied(QUrl link) { return {Kind::copied, std::move(link), {}, {}, 0}; }
  static ResponseItem copiedBox(QUrl link, QString password) {
    return {Kind::copiedBox, std::move(link), std::move(password), {}, 0};
  }
  static ResponseItem done() { return {}; }

  // How many of the bucket's files the share lacks.
  qint64 missingCount() const { return qint64(missingFiles.size()) + unnamedMissingFiles; }

  bool operator==(const ResponseItem&) const = default;
};

}  // namespace pm
