#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QUrl>

#include <chrono>
#include <mutex>

#include "support/LocalHttpServer.h"

namespace pm::test {

// An HTTP server on 127.0.0.1 that takes uploads: it answers every method on every path with what the
// test scripted for the path (200 and no body by default) and logs each request it received.
class FakeUploadServer {
 public:
  struct Answer {
    int status = 200;
    QMap<QByteArray, QByteArray> headers;
    QByteArray body;
    // How long to wait after reading the request before answering; cut short when the server stops.
    std::chrono::milliseconds delay{0};
  };

  struct Request {
    QByteArray method;
    QString path;  // without the query
    QMap<QByteArray, QByteArray> headers;  // names lower-cased
    QByteArray body;
    int clientPort = 0;  // the client's end of the connection: the same for requests over one connection
  };

  FakeUploadServer();

  int port() const { return server_.port(); }
  // "http://127.0.0.1:<port><path>"; `path` starts with "/".
  QUrl url(const QString& path) const { return server_.url(path); }

  void setAnswer(const QString& path, Answer answer);
  void setStatus(const QString& path, int status);

  QList<Request> requests() const;
  // The body of the last request to `path`; empty when none arrived.
  QByteArray lastBody(const QString& path) const;

 private:
  void handle(const httplib::Request& request, httplib::Response& response);

  mutable std::mutex mutex_;
  QMap<QString, Answer> answers_;
  QList<Request> requests_;
  LocalHttpServer server_;  // last: it stops before the state its handler touches goes away
};

}  // namespace pm::test
