#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>

#include <optional>

#include "SyncRecords.h"

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

struct StoredBucket {
  QString id;
  QString owner;   // the e-mail of the session that opened it
  QByteArray key;  // the bucket key the client sent
  bool sealed = false;
  QDateTime created;
  QList<StoredFile> files;

  StoredFile* file(const QString& fileID);
  const StoredFile* file(const QString& fileID) const;
  bool hasLivePath(const QString& path) const;
};

struct StoredBox {
  QString id;
  QString idempotencyKey;
  QJsonObject registration;  // as received
};

// Everything the development service keeps, in one JSON file under its state folder (private to the user:
// it holds the access keys of connectors, and the hashes of session tokens), with the stored parts beside it
// in "parts/<bucket>/<file>/part-<n>". Sign-in codes live only in memory: a restart asks for a new one.
class DevStore {
 public:
  // Reads "state.json" from `directory` (made private when missing). A file that cannot be read is set
  // aside as "state.json.unreadable-<time>" rather than overwritten.
  explicit DevStore(QString directory);

  // False when the state folder could not be made: nothing could be kept.
  bool isUsable() const { return usable_; }

  const QString& directory() const { return directory_; }
  QString partFile(const QString& bucketID, const QString& fileID, int partNumber) const;
  QString bucketFolder(const QString& bucketID) const;

  // Writes the state in one step. False (and logged) when it could not be written.
  bool save() const;

  // A new session's token, handed out once: only its hash is kept, so the state file opens no account.
  QString createSession(const QString& email);
  std::optional<QString> sessionEmail(const QString& token) const;
  void endSession(const QString& token);

  // A fresh identifier of `kind` ("bucket", "file", "box"): random, so links cannot be guessed.
  static QString newIdentifier(const QString& kind);

  QMap<QString, QString> sessionHashes;   // SHA-256 of the token, in hex → e-mail
  QMap<QString, bool> subscriptions;      // e-mail → subscribed (new accounts are)
  QMap<QString, StoredBucket> buckets;    // by id
  QMap<QString, QJsonObject> connectors;  // by connector id, the body as received
  QMap<QString, StoredBox> boxes;         // by id
  SyncRecords sync;

 private:
  QJsonObject toJson() const;
  void load(const QJsonObject& object);

  QString directory_;
  bool usable_ = false;
};

}  // namespace pm::dev
