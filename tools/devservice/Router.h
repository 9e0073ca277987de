#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace pm::dev {

// One request as the routes see it.
struct Request {
  QByteArray method;
  QString path;                          // the whole path, "/api/buckets"
  QMap<QString, QString> query;          // decoded
  QMap<QByteArray, QByteArray> headers;  // names lower-cased
  QByteArray body;
  QStringList captures;          // the groups of the route's pattern
  std::optional<QString> email;  // the session's user, on routes that need one

  QByteArray header(const QByteArray& name) const { return headers.value(name.toLower()); }
  std::optional<QString> bearerToken() const;
  // The body as a JSON object; empty when it is none.
  QJsonObject json() const;
  // The body as form fields, decoded.
  QMap<QString, QString> form() const;
};

// One answer. A streamed answer has `stream` and `streamLength` instead of a body: `stream` is called
// until it has given `streamLength` bytes, each call handing one piece to `write`; it returns false to
// break the answer off.
struct Reply {
  using Write = std::function<bool(const char* data, qsizetype size)>;

  int status = 200;
  QByteArray body;
  QByteArray contentType = "application/json";
  QMap<QByteArray, QByteArray> headers;
  std::function<bool(const Write& write)> stream;
  qint64 streamLength = 0;

  static Reply json(int status, const QJsonObject& object);
  static Reply json(const QJsonObject& object) { return json(200, object); }
  // The service's error answer: {"error": code, "message": message}, each only when given.
  static Reply error(int status, const QString& code, const QString& message = {});
  // A small HTML page; `body` is markup the caller has escaped.
  static Reply page(int status, const QString& title, const QString& body);
};

// Routes by method and whole path (a regular expression). Routes marked `signedIn` answer 401 unless the
// request carries the Bearer token of a live session, as `sessionEmail` tells.
class Router {
 public:
  enum class Access { open, signedIn };
  using Handler = std::function<Reply(const Request&)>;

  explicit Router(std::function<std::optional<QString>(const QString& token)> sessionEmail);

  void route(const QByteArray& method, const QString& pattern, Access access, Handler handler);
  Reply dispatch(Request request) const;

 private:
  struct Route {
    QByteArray method;
    QRegularExpression pattern;
    Access access;
    Handler handler;
  };

  std::function<std::optional<QString>(const QString&)> sessionEmail_;
  QList<Route> routes_;
};

}  // namespace pm::dev
