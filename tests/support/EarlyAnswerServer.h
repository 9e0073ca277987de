#pragma once

#include <QByteArray>
#include <QTcpServer>
#include <QUrl>

namespace pm::test {

// An HTTP server on 127.0.0.1 that answers each request as soon as its header has arrived and then
// closes the connection while the client is still sending the body, as S3 refuses a large upload with a
// bad signature. Lives on the thread that runs the test's event loop.
class EarlyAnswerServer : public QObject {
  Q_OBJECT

 public:
  // `answer`: the whole HTTP response, status line to body.
  explicit EarlyAnswerServer(QByteArray answer);

  // "http://127.0.0.1:<port><path>"
  QUrl url(const QString& path) const;
  int requestCount() const { return requests_; }

 private:
  QTcpServer server_;
  QByteArray answer_;
  int requests_ = 0;
};

}  // namespace pm::test
