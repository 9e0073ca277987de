#include "DevService.h"

#include <httplib.h>

#include <cerrno>
#include <cstring>

#include "AccountRoutes.h"
#include "BoxRoutes.h"
#include "BucketRoutes.h"
#include "ConnectionThreads.h"
#include "DevStore.h"
#include "Router.h"
#include "SharePage.h"
#include "SyncRoutes.h"

namespace pm::dev {

namespace {

constexpr qint64 kLargestJsonBody = 4 * 1024 * 1024;
// Open connections served at once; each idle one is dropped after the keep-alive or read time-out.
constexpr std::size_t kConnectionLimit = 256;

QByteArray bytes(const std::string& text) {
  return QByteArray(text.data(), qsizetype(text.size()));
}

}  // namespace

DevService::DevService(Options options)
    : options_(std::move(options)), store_(std::make_unique<DevStore>(options_.stateDirectory)) {}

DevService::~DevService() {
  stop();
}

bool DevService::start() {
  if (!store_->isUsable()) {
    failure_ = QStringLiteral("cannot keep state in %1").arg(options_.stateDirectory);
    return false;
  }
  server_ = std::make_unique<httplib::Server>();
  // Set on the listening socket, which every accepted connection inherits it from, so it must come before
  // the bind: without it a small reply on a kept-alive connection waits out the client's delayed ACK.
  server_->set_tcp_nodelay(true);
  // The library's default also sets SO_REUSEPORT, which lets a second service bind a port the first one
  // listens on and take half of its connections. SO_REUSEADDR alone still lets a restart take the port
  // back from connections of the last run that linger in TIME_WAIT.
  server_->set_socket_options([](socket_t socket) {
    const int yes = 1;
    ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
  });
  errno = 0;
  port_ = options_.port == 0 ? server_->bind_to_any_port("127.0.0.1")
                             : (server_->bind_to_port("127.0.0.1", options_.port) ? options_.port : -1);
  if (port_ <= 0) {
    // The failed bind's reason: "Address already in use" when another program has the port.
    const int reason = errno;
    failure_ = QStringLiteral("cannot listen on 127.0.0.1:%1: %2")
                   .arg(options_.port)
                   .arg(QString::fromLocal8Bit(std::strerror(reason ? reason : EADDRNOTAVAIL)));
    return false;
  }

  router_ = std::make_unique<Router>([this](const QString& token) { return store_->sessionEmail(token); });
  accounts_ = std::make_unique<AccountRoutes>(*store_, baseUrl());
  buckets_ = std::make_unique<BucketRoutes>(*store_, baseUrl(), options_.partSize);
  boxes_ = std::make_unique<BoxRoutes>(*store_, baseUrl());
  shares_ = std::make_unique<SharePage>(*store_);
  sync_ = std::make_unique<SyncRoutes>(*store_);
  accounts_->install(*router_);
  buckets_->install(*router_);
  boxes_->install(*router_);
  shares_->install(*router_);
  sync_->install(*router_);
  router_->route("GET", QStringLiteral("/"), Router::Access::open, [](const Request&) {
    return Reply::page(
        200, QStringLiteral("Parcelmoor development service"),
        QStringLiteral("<p>The agent talks to this service under <code>/api/</code>; sign-ins are "
                       "approved at <a href=\"/device\">/device</a>.</p>"));
  });

  const auto handler = [this](const httplib::Request& in, httplib::Response& out) { handle(in, out); };
  server_->Get(".*", handler);
  server_->Post(".*", handler);
  server_->Put(".*", handler);
  server_->Delete(".*", handler);
  // No request of the agent is larger than one part; anything beyond is refused before it is read.
  server_->set_payload_max_length(
      size_t(std::max<qint64>(options_.partSize, kLargestJsonBody) + kLargestJsonBody));
  // A client that keeps a connection open must not hold up stopping for long.
  server_->set_keep_alive_timeout(1);
  server_->new_task_queue = [] { return new ConnectionThreads(kConnectionLimit); };
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  while (!server_->is_running()) std::this_thread::yield();
  return true;
}

void DevService::stop() {
  if (!thread_.joinable()) return;
  server_->stop();
  thread_.join();
}

QUrl DevService::baseUrl() const {
  return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port_));
}

void DevService::handle(const httplib::Request& in, httplib::Response& out) {
  Request request;
  request.method = bytes(in.method);
  request.path = QString::fromStdString(in.path);
  for (const auto& [name, value] : in.params)
    request.query.insert(QString::fromStdString(name), QString::fromStdString(value));
  for (const auto& [name, value] : in.headers) request.headers.insert(bytes(name).toLower(), bytes(value));
  request.body = bytes(in.body);

  Reply reply;
  try {
    reply = router_->dispatch(request);
  } catch (const StoreError& error) {
    // Rolled back: the request changed nothing, and the client may send it again.
    std::fprintf(stderr, "the store failed: %s\n", error.what());
    reply =
        Reply::error(503, QStringLiteral("STORAGE_FAILED"), QStringLiteral("The state could not be kept."));
  }
  std::fprintf(stderr, "%s %s -> %d\n", in.method.c_str(), in.path.c_str(), reply.status);

  out.status = reply.status;
  for (auto it = reply.headers.cbegin(); it != reply.headers.cend(); ++it)
    out.set_header(it.key().toStdString(), it.value().toStdString());
  if (!reply.stream || reply.streamLength == 0) {
    out.set_content(reply.body.toStdString(), reply.contentType.toStdString());
    return;
  }
  // Streamed outside any transaction: it reads only its own copy of the key and the part files.
  out.set_content_provider(
      size_t(reply.streamLength), reply.contentType.toStdString(),
      [stream = reply.stream](size_t, size_t, httplib::DataSink& sink) {
        return stream([&sink](const char* data, qsizetype size) { return sink.write(data, size_t(size)); });
      });
}

}  // namespace pm::dev
