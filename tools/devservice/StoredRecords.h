#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QMap>
#include <QString>

#include <optional>

namespace pm::dev {

// One announced file of a bucket and what its upload URLs received.
struct StoredFile {
  QString id;
  QString path;
  QString contentType;
  qint64 size = 0;                 // as announced: the sealed length
  std::optional<qint64> partSize;  // present for a multi-part plan
  int partCount = 1;
  QMap<int, QString> etags;  // the tag each stored part was answered with
  bool confirmed = false;    // a multi-part plan whose tags came back in order
  bool withdrawn = false;

  bool isComplete() const;
  // The length of the file before sealing, from the sealed length.
  qint64 plainSize() const;
};

// A bucket without its files, which are read on their own.
struct StoredBucket {
  QString id;
  QString owner;   // the e-mail of the session that opened it
  QByteArray key;  // the bucket key the client sent
  bool sealed = false;
  QDateTime created;
};

struct StoredBox {
  QString id;
  QString idempotencyKey;
  QJsonObject registration;  // as received
};

}  // namespace pm::dev
