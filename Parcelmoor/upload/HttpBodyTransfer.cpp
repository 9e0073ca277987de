#include "HttpBodyTransfer.h"

#include <QCoreApplication>
#include <QIODevice>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkProxyQuery>
#include <QThreadPool>

#include <array>
#include <atomic>
#include <chrono>
#include <vector>

#include "curl/HTTPCalls.h"
#include "platform/NetworkRequest.h"

namespace pm {

namespace {

// Transfers block their thread for as long as a body travels; the pool is large enough that one upload
// never waits for a thread behind the others of a session.
constexpr int kTransfersAtOnce = 16;
// The shortest time between two progress reports of one body but the last.
constexpr std::chrono::milliseconds kProgressInterval{8};
// How long a read waits for a body that makes its bytes as it goes before it checks for a stop again.
constexpr int kBodyWaitMilliseconds = 20;

// The threads that carry request bodies, apart from the shared pool (short CPU work) and the sealing pool
// (which must keep ahead of these). When the program ends, transfers still under way stop at once instead
// of holding the exit for their idle time-out.
class TransferPool {
 public:
  TransferPool() {
    pool_.setMaxThreadCount(kTransfersAtOnce);
    addWorkerPoolEnd([this] { close(); });
  }
  ~TransferPool() { close(); }

  void close() {
    closing_ = true;
    pool_.waitForDone();
  }

  QThreadPool& pool() { return pool_; }
  bool closing() const { return closing_; }

 private:
  std::atomic<bool> closing_{false};
  QThreadPool pool_;
};

TransferPool& transferPool() {
  static TransferPool pool;
  return pool;
}

QString translated(const char* text) { return QCoreApplication::translate("HttpBodyTransfer", text); }

QByteArray proxyText(const QNetworkProxy& proxy) {
  QByteArray scheme;
  switch (proxy.type()) {
    case QNetworkProxy::HttpProxy:
    case QNetworkProxy::HttpCachingProxy:
      scheme = "http";
      break;
    case QNetworkProxy::Socks5Proxy:
      scheme = "socks5h";
      break;
    default:
      return {};
  }
  QUrl url;
  url.setScheme(QString::fromLatin1(scheme));
  url.setHost(proxy.hostName());
  url.setPort(proxy.port());
  url.setUserName(proxy.user());
  url.setPassword(proxy.password());
  return url.toEncoded();
}

// The transfer thread's side: everything libcurl's callbacks reach. Lives on the transfer thread's stack.
struct Transfer {
  Transfer(QIODevice& device, const std::atomic<bool>& stopFlag, std::function<void(qint64, qint64)> post)
      : body(device), length(device.size()), stop(stopFlag), posted(std::move(post)) {}

  QIODevice& body;
  const qint64 length;
  const std::atomic<bool>& stop;
  const std::function<void(qint64, qint64)> posted;  // hands (sent, total) to the caller's thread
  qint64 lastPosted = -1;
  std::chrono::steady_clock::time_point lastPostedAt;
  QString readFailure;
  bool answerTooLarge = false;
  int interimStatus = 0;  // the last 1xx answer other than 100 Continue
  HttpBodyOutcome answer;

  bool stopping() const { return stop.load(std::memory_order_relaxed) || transferPool().closing(); }
  // Whether to stop now, `sent` bytes of the body being out. A body that went out whole is the service's
  // to store: its answer is read to its end (the caller must learn what was made of it), unless the
  // program is closing.
  bool stopsAt(qint64 sent) const { return transferPool().closing() || (stopping() && sent < length); }

  bool stopped = false;  // this side ended the transfer early
};

std::size_t readBody(void* context, char* buffer, std::size_t capacity) {
  auto& transfer = *static_cast<Transfer*>(context);
  for (;;) {
    const qint64 read = transfer.body.read(buffer, qint64(capacity));
    if (read > 0) return std::size_t(read);
    if (read < 0) {
      transfer.readFailure = transfer.body.errorString();
      return HTTP_READ_FAILURE;
    }
    if (transfer.body.pos() >= transfer.length) return 0;
    if (transfer.body.atEnd()) {
      // The file got shorter than the length announced: what is left can never be sent.
      transfer.readFailure = translated("The file ended before all of it was sent.");
      return HTTP_READ_FAILURE;
    }
    if (transfer.stopping()) {
      transfer.stopped = true;
      return HTTP_READ_FAILURE;
    }
    transfer.body.waitForReadyRead(kBodyWaitMilliseconds);
  }
}

int seekBody(void* context, std::int64_t offset) {
  auto& transfer = *static_cast<Transfer*>(context);
  return transfer.body.seek(offset) ? 0 : 1;
}

int progress(void* context, std::int64_t sent, std::int64_t total) {
  auto& transfer = *static_cast<Transfer*>(context);
  if (transfer.stopsAt(sent)) {
    transfer.stopped = true;
    return 1;
  }
  if (sent == transfer.lastPosted) return 0;
  // A thousandth is finer than any step the caller passes on, and a few milliseconds finer than any screen
  // shows: a fast body wakes the caller's thread no more often than that, a slow one at most a thousand
  // times. The last byte is always told.
  const auto now = std::chrono::steady_clock::now();
  if (sent != total && (sent - transfer.lastPosted < std::max<qint64>(total / 1000, 1) ||
                        now - transfer.lastPostedAt < kProgressInterval))
    return 0;
  transfer.lastPosted = sent;
  transfer.lastPostedAt = now;
  transfer.posted(sent, total);
  return 0;
}

int headerLine(void* context, const char* data, std::size_t length) {
  auto& transfer = *static_cast<Transfer*>(context);
  auto& answer = transfer.answer;
  const QByteArray line = QByteArray(data, qsizetype(length)).trimmed();
  // Each status line starts an answer of its own (a 100 Continue comes before the final one).
  if (line.startsWith("HTTP/")) {
    answer.headers.clear();
    const int status = line.split(' ').value(1).toInt();
    if (status > 100 && status < 200) transfer.interimStatus = status;
    return 0;
  }
  const qsizetype colon = line.indexOf(':');
  if (colon <= 0) return 0;
  const QByteArray name = line.left(colon).trimmed();
  const QByteArray value = line.mid(colon + 1).trimmed();
  for (auto& [known, joined] : answer.headers) {
    if (known.compare(name, Qt::CaseInsensitive) == 0) {
      joined += ", " + value;
      return 0;
    }
  }
  answer.headers.append({name, value});
  return 0;
}

int bodyBytes(void* context, const char* data, std::size_t length) {
  auto& transfer = *static_cast<Transfer*>(context);
  if (transfer.answer.body.size() + qint64(length) > kAnswerLimit) {
    transfer.answerTooLarge = true;
    return 1;
  }
  transfer.answer.body.append(data, qsizetype(length));
  return 0;
}

HttpBodyOutcome::Ending endingOf(int result) {
  switch (result) {
    case HTTP_RESULT_OK:
      return HttpBodyOutcome::Ending::answered;
    case HTTP_RESULT_TIMED_OUT:
      return HttpBodyOutcome::Ending::timedOut;
    case HTTP_RESULT_PARTIAL_ANSWER:
    case HTTP_RESULT_GOT_NOTHING:
    case HTTP_RESULT_SEND_FAILED:
    case HTTP_RESULT_RECEIVE_FAILED:
      return HttpBodyOutcome::Ending::cutOff;
    default:
      return HttpBodyOutcome::Ending::failed;
  }
}

// Runs on a transfer thread to the transfer's end.
HttpBodyOutcome transfer(const HttpBodyRequest& request, QIODevice& body, const std::atomic<bool>& stop,
                         std::function<void(qint64, qint64)> posted) {
  const QByteArray url = request.url.toEncoded();
  const QByteArray proxy = proxyText(request.proxy);
  std::vector<QByteArray> lines;
  bool hostGiven = false;
  for (const auto& [name, value] : request.headers) {
    hostGiven = hostGiven || name.compare("host", Qt::CaseInsensitive) == 0;
    lines.push_back(name + ": " + value);
  }
  // libcurl would leave ":80" and ":443" out, and the S3 signer signs the field with them.
  if (!hostGiven) lines.push_back("Host: " + hostField(request.url));
  std::vector<const char*> linePointers;
  for (const QByteArray& line : lines) linePointers.push_back(line.constData());

  Transfer state(body, stop, std::move(posted));
  const qint64 idle = request.idleTimeout.count();
  const http_body_request call{request.method.constData(),
                               url.constData(),
                               linePointers.data(),
                               linePointers.size(),
                               proxy.constData(),
                               state.length,
                               &readBody,
                               &seekBody,
                               &state,
                               &progress,
                               &state,
                               &headerLine,
                               &bodyBytes,
                               &state,
                               idle > 0 ? long(idle) : 0L,
                               nullptr};
  std::array<char, 512> error{};
  http_outcome outcome{};
  const int result = http_send_body(&call, &outcome, error.data(), error.size());

  HttpBodyOutcome ended = std::move(state.answer);
  ended.status = int(outcome.status);
  ended.answeredEarly = outcome.status > 0 && outcome.body_sent < state.length;
  ended.text = QString::fromUtf8(error.data());
  if (state.stopped) {
    ended.ending = HttpBodyOutcome::Ending::cancelled;
  } else if (state.answerTooLarge) {
    ended.ending = HttpBodyOutcome::Ending::answerTooLarge;
  } else if (!state.readFailure.isEmpty() || result == HTTP_RESULT_READ_FAILED) {
    ended.ending = HttpBodyOutcome::Ending::bodyUnreadable;
    if (!state.readFailure.isEmpty()) ended.text = state.readFailure;
  } else {
    ended.ending = endingOf(result);
  }
  // An interim answer that no final one followed is the only answer the server gave, and is reported as one.
  if (ended.ending != HttpBodyOutcome::Ending::answered && ended.ending != HttpBodyOutcome::Ending::cancelled &&
      state.interimStatus != 0 && outcome.status < 200) {
    ended.ending = HttpBodyOutcome::Ending::answered;
    ended.status = state.interimStatus;
  }
  return ended;
}

// Where the transfer thread posts to: the caller's thread, while the call lasts.
class SentRelay final : public QObject {
 public:
  explicit SentRelay(std::function<void(qint64, qint64)> sent) : sent_(std::move(sent)) {}
  void deliver(qint64 sent, qint64 total) {
    if (sent_) sent_(sent, total);
  }

 private:
  std::function<void(qint64, qint64)> sent_;
};

}  // namespace

QNetworkProxy HttpBodyRequest::proxyOf(const QNetworkAccessManager& network, const QUrl& url) {
  if (network.proxy().type() != QNetworkProxy::DefaultProxy) return network.proxy();
  const QNetworkProxyQuery query(url);
  const QList<QNetworkProxy> proxies =
      network.proxyFactory() ? network.proxyFactory()->queryProxy(query) : QNetworkProxyFactory::proxyForQuery(query);
  return proxies.value(0, QNetworkProxy(QNetworkProxy::NoProxy));
}

QCoro::Task<HttpBodyOutcome> sendHttpBody(HttpBodyRequest request, std::unique_ptr<QIODevice> body,
                                          std::function<void(qint64 sent, qint64 total)> sent,
                                          CancelTokenPtr cancel) {
  auto stop = std::make_shared<std::atomic<bool>>(cancel && cancel->isCancelled());
  SentRelay relay(std::move(sent));
  if (cancel) QObject::connect(cancel.get(), &CancelToken::cancelled, &relay, [stop] { *stop = true; });
  // Events the transfer posts to the relay arrive before the one that resumes this coroutine, and none is
  // posted after the work has returned, so the relay outlives every event meant for it.
  auto posted = [relay = &relay](qint64 bytes, qint64 total) {
    QMetaObject::invokeMethod(relay, [relay, bytes, total] { relay->deliver(bytes, total); }, Qt::QueuedConnection);
  };
  QIODevice* device = body.get();
  auto work = [request = std::move(request), device, stop, posted = std::move(posted)]() mutable {
    return transfer(request, *device, *stop, std::move(posted));
  };
  QCoro::Task<HttpBodyOutcome> running = runOnWorker(transferPool().pool(), std::move(work));
  HttpBodyOutcome outcome = co_await std::move(running);
  co_return outcome;
}

}  // namespace pm
