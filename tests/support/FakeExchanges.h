#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <chrono>
#include <optional>

namespace httplib {
struct Request;
struct Response;
}  // namespace httplib

namespace pm::test {

// One request as a fake service received it.
struct FakeRequest {
  QByteArray method;
  QString target;                        // as sent: path and still-encoded query
  QString path;                          // decoded, without the query
  QMap<QByteArray, QByteArray> headers;  // names lower-cased
  QByteArray body;

  QByteArray header(const QByteArray& name) const { return headers.value(name.toLower()); }

  static FakeRequest from(const httplib::Request& raw);
};

// What a fake service answers.
struct FakeAnswer {
  int status = 200;
  QByteArray body;
  QMap<QByteArray, QByteArray> headers;
  // Held back this long before answering (cut short when the server stops); the server applies it.
  std::chrono::milliseconds delay{0};

  // Status, headers and body (as "application/json" unless a Content-Type says otherwise).
  void writeTo(httplib::Response& response) const;
};

// The request log of a fake service and the one-shot answers a test scripts in front of its built-in
// behaviour. Not locked: the fake that owns it guards it with its own lock.
class FakeExchanges {
 public:
  // Answers the next request with `method` whose path starts with `pathPrefix` (and, when given, whose
  // body contains `bodyContains`) with `answer`. Scripts are used in order.
  void script(QByteArray method, QString pathPrefix, FakeAnswer answer, QByteArray bodyContains = {});
  // Logs the request and takes the first script it matches out of the queue.
  std::optional<FakeAnswer> record(const FakeRequest& request);

  const QList<FakeRequest>& requests() const { return requests_; }
  // The requests whose path starts with `prefix`.
  QList<FakeRequest> requests(const QString& prefix) const;

 private:
  struct Script {
    QByteArray method;
    QString pathPrefix;
    QByteArray bodyContains;
    FakeAnswer answer;
  };

  QList<FakeRequest> requests_;
  QList<Script> scripts_;
};

}  // namespace pm::test
