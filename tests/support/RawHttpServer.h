#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QUrl>

#include <memory>
#include <vector>

class QTcpSocket;

namespace pm::test {

// A server on 127.0.0.1 (a free port) that answers every request with bytes a test wrote by hand, for
// answers a well-behaved HTTP library will not send: a body shorter than its Content-Length, an answer
// that never ends. It runs on the thread that made it, so a test's event loop drives it and the client
// alike.
class RawHttpServer final : public QObject {
  Q_OBJECT

 public:
  struct Answer {
    // Sent as they stand once the request is in: status line, headers, blank line and any body.
    QByteArray bytes;
    // Then filler bytes for as long as the client reads; when false the connection closes after `bytes`.
    bool endless = false;
    // Without filler: the connection stays open after `bytes` until closeConnections(), so a test can cut
    // it once the client has taken in what it was sent. Connections answered after that close at once.
    bool heldOpen = false;
  };

  explicit RawHttpServer(Answer answer, QObject* parent = nullptr);
  ~RawHttpServer() override;

  // "http://127.0.0.1:<port><path>".
  QUrl url(const QString& path = QStringLiteral("/")) const;

  // Closes every client connection the way a server that stops in the middle of an answer does.
  void closeConnections();

  // Requests whose head arrived.
  int requestCount() const { return requests_; }
  // Bytes written to clients so far, `bytes` and filler together.
  qint64 bytesSent() const { return sent_; }
  // Whether every client connection has ended.
  bool allClosed() const { return open_ == 0; }

 private:
  struct Connection;

  void accept();
  void readRequest(Connection& connection);
  void feed(Connection& connection);

  Answer answer_;
  QTcpServer server_;
  std::vector<std::unique_ptr<Connection>> connections_;
  int requests_ = 0;
  int open_ = 0;
  bool cutting_ = false;
  qint64 sent_ = 0;
};

}  // namespace pm::test
