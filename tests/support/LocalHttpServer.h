#pragma once

#include <QString>
#include <QUrl>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace pm::test {

// The plumbing of every fake HTTP service: a server on 127.0.0.1 at a free port, listening on a thread of
// its own, that hands every request of every method to one handler (which runs on a server thread). It
// stops in its destructor; declare it after the state its handler touches, so it stops first.
class LocalHttpServer {
 public:
  using Handler = std::function<void(const httplib::Request& request, httplib::Response& response)>;

  explicit LocalHttpServer(Handler handler);
  ~LocalHttpServer();
  LocalHttpServer(const LocalHttpServer&) = delete;
  LocalHttpServer& operator=(const LocalHttpServer&) = delete;

  int port() const { return port_; }
  // "http://127.0.0.1:<port><path>"; `path` empty or starting with "/".
  QUrl url(const QString& path = {}) const;

  // Holds a handler back for `duration`, or less when the server stops meanwhile, so an answer held
  // back on purpose never holds up the destructor.
  void pause(std::chrono::milliseconds duration);

 private:
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  int port_ = 0;

  std::mutex mutex_;
  std::condition_variable stopping_;
  bool stopped_ = false;
};

}  // namespace pm::test
