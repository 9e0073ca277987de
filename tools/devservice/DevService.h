#pragma once

#include <QString>
#include <QUrl>

#include <memory>
#include <thread>

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace pm::dev {

class AccountRoutes;
class BoxRoutes;
class BucketRoutes;
class DevStore;
class Router;
class SharePage;
class SyncRoutes;

// A stand-in for the product's service on 127.0.0.1, for running the agent on a machine without one:
// sign-in approved in the browser, buckets whose sealed parts are kept on disk, share links to pages that
// serve the files decrypted, connectors and boxes, and the sealed copy of synced settings with pairing.
// Everything lives under `stateDirectory` and survives a restart (sign-in codes excepted). Requests are
// served on several threads at once, each one transaction of the store.
class DevService {
 public:
  struct Options {
    QString stateDirectory;
    quint16 port = 0;  // 0: any free port
    qint64 partSize = 8 * 1024 * 1024;
  };

  explicit DevService(Options options);
  ~DevService();
  DevService(const DevService&) = delete;
  DevService& operator=(const DevService&) = delete;

  // Binds 127.0.0.1 and serves on a thread of its own. False (see failure()) when the state folder cannot
  // be used or the port cannot be bound, also when another program listens on it already.
  bool start();
  // Why start() failed, in a sentence.
  const QString& failure() const { return failure_; }
  void stop();
  // "http://127.0.0.1:<port>": what PARCELMOOR_API holds for the agent.
  QUrl baseUrl() const;

 private:
  void handle(const httplib::Request& in, httplib::Response& out);

  Options options_;
  std::unique_ptr<DevStore> store_;
  std::unique_ptr<Router> router_;
  std::unique_ptr<AccountRoutes> accounts_;
  std::unique_ptr<BucketRoutes> buckets_;
  std::unique_ptr<BoxRoutes> boxes_;
  std::unique_ptr<SharePage> shares_;
  std::unique_ptr<SyncRoutes> sync_;
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  int port_ = 0;
  QString failure_;
};

}  // namespace pm::dev
