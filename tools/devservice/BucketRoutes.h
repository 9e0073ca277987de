#pragma once

#include <QUrl>

#include <optional>

#include "Router.h"
#include "StoredRecords.h"

namespace pm::dev {

class DevStore;
class StoreTransaction;

// The bucket side of the service: opens a bucket under the key the agent sends, plans announced files
// (one upload URL, or one URL per part when the sealed file is larger than the part size), stores what the
// upload URLs receive as part files and answers each with an "ETag", takes the confirmation of multi-part
// files, withdraws files, and seals a bucket into a share link to the service's own share page. The upload
// URLs lie outside the signed-in routes, as presigned URLs would.
class BucketRoutes {
 public:
  static constexpr qint64 kDefaultPartSize = 8 * 1024 * 1024;

  BucketRoutes(DevStore& store, QUrl baseUrl, qint64 partSize = kDefaultPartSize);
  void install(Router& router);

  QUrl shareUrl(const QString& bucketID) const;

 private:
  Reply create(const Request& request);
  Reply announce(const Request& request);
  Reply store(const Request& request);
  Reply confirm(const Request& request);
  Reply withdraw(const Request& request);
  Reply seal(const Request& request);

  // The bucket the request names, when the session owns it.
  static std::optional<StoredBucket> ownBucket(StoreTransaction& transaction, const Request& request);
  QJsonObject plan(const StoredBucket& bucket, const StoredFile& file) const;
  QString uploadUrl(const StoredBucket& bucket, const StoredFile& file, int partNumber) const;
  qint64 expectedPartSize(const StoredFile& file, int partNumber) const;

  DevStore& store_;
  QUrl baseUrl_;
  qint64 partSize_;
};

}  // namespace pm::dev
