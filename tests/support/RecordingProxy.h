#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <functional>
#include <mutex>

#include "support/LocalHttpServer.h"

namespace pm::test {

// Stands between a client and a local HTTP server (a real peer such as s3rver): passes every request on
// unchanged, logs it on arrival, and lets a test change an answer on its way back, for failures the
// peer would never produce by itself.
class RecordingProxy {
 public:
  struct Request {
    QByteArray method;
    QString path;                  // decoded, without the query
    QMap<QString, QString> query;  // decoded names and values
    int status = 0;                // what the client was answered; 0 while under way
  };

  struct Answer {
    int status = 0;
    QMap<QByteArray, QByteArray> headers;  // names as the peer wrote them
    QByteArray body;
  };

  // Runs on a server thread, once per request, before the answer goes back.
  using Rewrite = std::function<void(const Request& request, Answer& answer)>;

  explicit RecordingProxy(int targetPort);

  // "http://127.0.0.1:<port>"
  QString endpoint() const;
  void setRewrite(Rewrite rewrite);

  QList<Request> requests() const;
  // "METHOD path ?query-names" of each request, in arrival order: a compact form to compare in tests.
  QStringList summary() const;

 private:
  void handle(const httplib::Request& in, httplib::Response& out);

  const int targetPort_;
  mutable std::mutex mutex_;
  Rewrite rewrite_;
  QList<Request> requests_;
  LocalHttpServer server_;  // last: it stops before the state its handler touches goes away
};

}  // namespace pm::test
