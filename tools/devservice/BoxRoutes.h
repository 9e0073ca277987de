#pragma once

#include <QUrl>

#include "Router.h"

namespace pm::dev {

class DevStore;

// The share side for buckets in the user's own S3 or R2 storage: "PUT connectors" keeps a connector
// (where the bucket is and its key pair), "DELETE connectors/<id>" withdraws it, "POST boxes" registers a
// box over a known connector and answers {"id", "url"}; a repeated idempotency key gets the first box's
// answer. The link leads to a page that describes the box: its files stay in the user's own bucket,
// sealed under a password the service never sees.
class BoxRoutes {
 public:
  BoxRoutes(DevStore& store, QUrl baseUrl);
  void install(Router& router);

 private:
  Reply putConnector(const Request& request);
  Reply deleteConnector(const Request& request);
  Reply registerBox(const Request& request);
  Reply boxPage(const Request& request);
  QString boxUrl(const QString& boxID) const;

  DevStore& store_;
  QUrl baseUrl_;
};

}  // namespace pm::dev
