#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

#include "support/NodePeer.h"

namespace pm::test {

// s3rver (tests/peers, installed by `scripts/peers install`) on 127.0.0.1 at a port of the system's
// choosing, with the given buckets, for the lifetime of the object. It stores objects and multipart
// uploads but does not check signatures; what was stored is read back with plain unsigned requests.
class S3rverPeer {
 public:
  explicit S3rverPeer(const QStringList& buckets);

  // Empty when the server runs; otherwise why it does not.
  const QString& failure() const { return node_.failure(); }
  int port() const { return node_.port(); }
  // "http://127.0.0.1:<port>"
  QString endpoint() const { return node_.endpoint(); }

  // The stored object's bytes; nothing when there is no such object.
  std::optional<QByteArray> object(const QString& bucket, const QString& key) const;
  // Every key in the bucket that begins with `prefix`, in S3's (byte) order.
  QStringList keys(const QString& bucket, const QString& prefix = {}) const;

 private:
  NodePeer node_;
};

}  // namespace pm::test
