#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>
#include <utility>

#include "support/FakeService.h"

namespace pm::test {

// The bucket side of the product's service, added to a FakeService: it opens buckets under the key the
// client sends, plans announced files (one upload URL, or one URL per part when the sealed file is larger
// than the part size; "INVALID_PATH" for a bad or repeated path, "INVALID_SIZE" below 36 bytes), stores what
// its upload URLs receive and answers every upload with an "ETag", checks part confirmations against the tags
// it gave, withdraws files and seals a bucket into a share link. The upload URLs live under the same server
// ("/api/uploads/..."), outside the signed-in routes, as presigned URLs would.
//
// State is read through copies; the routes change it under the service's lock.
class FakeServiceBuckets {
 public:
  struct File {
    QString id;
    QString path;
    qint64 size = 0;  // as announced: the sealed length
    QString contentType;
    std::optional<qint64> partSize;  // present for a multi-part plan
    qsizetype partCount = 1;
    QMap<int, QByteArray> received;               // body by part number (1 for a single-request plan)
    QMap<int, QByteArray> etags;                  // the tag each upload was answered with
    QByteArray uploadMethod;                      // of the last upload
    QMap<QByteArray, QByteArray> uploadHeaders;   // of the last upload, names lower-cased
    QList<std::pair<qint64, QString>> confirmed;  // part number and tag, as the client confirmed them
    bool withdrawn = false;

    // Every part arrived (and, for a multi-part plan, was confirmed).
    bool isComplete() const;
    // The stored parts joined in part order.
    QByteArray stream() const;
  };

  struct Bucket {
    QString id;
    QString owner;   // the e-mail of the session that opened it
    QByteArray key;  // as decoded from the client's Base64
    QList<File> files;
    bool sealed = false;

    std::optional<File> file(const QString& path) const;
  };

  explicit FakeServiceBuckets(FakeService& service);
  FakeServiceBuckets(const FakeServiceBuckets&) = delete;
  FakeServiceBuckets& operator=(const FakeServiceBuckets&) = delete;

  // A file whose announced size is larger than `bytes` gets parts of this size (5 MiB unless set).
  void setPartSize(qint64 bytes);
  // Whether uploads keep their bodies (the default) or only their tags, for runs of many gigabytes.
  void setKeepsBodies(bool keeps);
  // Lists the part URLs of a plan last part first, which the client must put back in order.
  void setPartsListedInReverse(bool reversed);

  QList<Bucket> buckets() const;
  std::optional<Bucket> bucket(const QString& id) const;
  // The share link a sealed bucket gets.
  QUrl shareUrl(const QString& bucketID) const;

 private:
  struct State;

  FakeService& service_;
  // Shared with the routes, which the service may still run after this handle is gone.
  std::shared_ptr<State> state_;
};

}  // namespace pm::test
