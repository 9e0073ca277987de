#include "LocalHttpServer.h"

#include <httplib.h>

#include <QtGlobal>

namespace pm::test {

LocalHttpServer::LocalHttpServer(Handler handler) : server_(std::make_unique<httplib::Server>()) {
  const std::string anyPath = ".*";
  server_->Get(anyPath, handler);
  server_->Post(anyPath, handler);
  server_->Put(anyPath, handler);
  server_->Patch(anyPath, handler);
  server_->Delete(anyPath, handler);
  server_->Options(anyPath, handler);
  // A client that keeps a connection open must not hold up the destructor for long.
  server_->set_keep_alive_timeout(1);
  // The head and the body of an answer go out in two writes; without this the second waits for an ACK.
  server_->set_tcp_nodelay(true);

  port_ = server_->bind_to_any_port("127.0.0.1");
  if (port_ <= 0) qFatal("a local HTTP server cannot bind a port");
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  // stop() does nothing before the loop runs, so the destructor could otherwise wait forever.
  while (!server_->is_running()) std::this_thread::yield();
}

LocalHttpServer::~LocalHttpServer() {
  {
    std::lock_guard guard(mutex_);
    stopped_ = true;
  }
  stopping_.notify_all();
  server_->stop();
  thread_.join();
}

QUrl LocalHttpServer::url(const QString& path) const {
  return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port_).arg(path));
}

void LocalHttpServer::pause(std::chrono::milliseconds duration) {
  std::unique_lock wait(mutex_);
  stopping_.wait_for(wait, duration, [this] { return stopped_; });
}

}  // namespace pm::test
