#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkProxy>
#include <QPair>
#include <QString>
#include <QUrl>

#include <QCoroTask>

#include <chrono>
#include <functional>
#include <memory>

#include "platform/Async.h"

class QIODevice;
class QNetworkAccessManager;

namespace pm {

// One request whose body is a file's bytes (or a part of them).
struct HttpBodyRequest {
  QByteArray method = "PUT";
  QUrl url;  // http or https
  QList<QPair<QByteArray, QByteArray>> headers;
  QNetworkProxy proxy{QNetworkProxy::NoProxy};
  // Nothing sent or received for this long ends the transfer; zero or less: no limit.
  std::chrono::milliseconds idleTimeout{0};

  // The proxy `network` would use for `url`, so bodies take the same way as the program's other requests.
  static QNetworkProxy proxyOf(const QNetworkAccessManager& network, const QUrl& url);
};

// How a body transfer ended.
struct HttpBodyOutcome {
  enum class Ending {
    answered,        // an HTTP answer arrived: see status, headers, body
    cancelled,       // the token fired
    timedOut,        // idle for the request's time-out
    cutOff,          // the connection closed or broke without a whole answer
    bodyUnreadable,  // the body device failed; text holds its reason
    answerTooLarge,  // the answer's body passed kAnswerLimit
    failed,          // anything else; text holds libcurl's description
  };

  Ending ending = Ending::failed;
  int status = 0;
  // The server answered before it had the whole body, as a server refusing an upload early does.
  bool answeredEarly = false;
  QList<QPair<QByteArray, QByteArray>> headers;  // the final answer's; repeated fields joined by ", "
  QByteArray body;
  QString text;
};

// What an answer's body may hold: a storage service says a few lines about the stored file.
inline constexpr qsizetype kAnswerLimit = 8 * 1024 * 1024;

// Sends `body` (open, random-access, its size the body's length) as the body of `request` through
// libcurl on a thread of the transfer pool, and resumes the caller on its own thread with the outcome.
// `sent` receives (bytes sent, body length) on the caller's thread as the body goes out, in steps of at
// least a thousandth; cancelling `cancel` stops the transfer within a few milliseconds, unless the whole
// body has gone out already: then the service may have stored it, and its answer is awaited as usual (within
// the idle time-out) so that the caller learns what it made of the body. The device is read
// on the transfer thread meanwhile, so the caller leaves it alone until the outcome is in; it is destroyed
// on the caller's thread. A device that produces its bytes as it goes (read gives 0 before its end) is
// waited for with waitForReadyRead().
QCoro::Task<HttpBodyOutcome> sendHttpBody(HttpBodyRequest request, std::unique_ptr<QIODevice> body,
                                          std::function<void(qint64 sent, qint64 total)> sent,
                                          CancelTokenPtr cancel);

}  // namespace pm
