#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

#include "support/LocalHttpServer.h"

namespace pm::test {

// The product's service, faked on 127.0.0.1 (a free port) for the client's tests. It routes requests
// under "/api/" to handlers, checks Bearer tokens against the sessions it handed out, logs every request,
// and lets a test script one-shot answers and delays per route.
//
// It knows the account side (device-code sign-in, session, me, sign-out, billing) and the withdrawal of
// connectors. Other areas of the service (buckets, boxes, sync, ...) are added from their own files with
// route(); their handlers run one at a time under the service's lock, like the built-in ones, and state
// they share with a test is read under lock().
class FakeService {
 public:
  struct Request {
    QByteArray method;
    QString target;  // the whole path, "/api/buckets"
    QString path;    // below "/api/" ("buckets"); empty for a target outside it
    QMap<QByteArray, QByteArray> headers;  // names lower-cased
    QByteArray body;
    QStringList captures;         // the groups of the route's pattern
    std::optional<QString> email;  // the session's user, on routes that require one

    QByteArray header(const QByteArray& name) const { return headers.value(name.toLower()); }
    std::optional<QString> bearerToken() const;
    // The body as a JSON object; empty when it is none.
    QJsonObject json() const;
  };

  struct Reply {
    int status = 200;
    QByteArray body;
    QByteArray contentType = "application/json";
    QMap<QByteArray, QByteArray> headers;

    static Reply json(int status, const QJsonObject& object);
    static Reply json(const QJsonObject& object) { return json(200, object); }
    // The service's error answer: {"error": code, "message": message}, each only when given.
    static Reply error(int status, const QString& code = {}, const QString& message = {});
    static Reply raw(int status, QByteArray body, QByteArray contentType = "text/plain");
  };

  using Handler = std::function<Reply(const Request&)>;
  // `signedIn` routes answer 401 unless the request carries the Bearer token of a live session.
  enum class Access { open, signedIn };

  // What the token endpoint answers for every code it handed out.
  enum class Approval { pending, approved, denied, expired };

  FakeService();
  FakeService(const FakeService&) = delete;
  FakeService& operator=(const FakeService&) = delete;

  // "http://127.0.0.1:<port>": what PARCELMOOR_API would hold.
  QUrl baseUrl() const;

  // Adds a route: `pattern` is a regular expression matched against the whole path below "/api/".
  // Later routes win over earlier ones, so a test can replace a built-in route.
  void route(const QByteArray& method, const QString& pattern, Access access, Handler handler);

  // The next request for `method` and `path` (below "/api/") gets `reply`, whatever its route and token
  // would say. Several scripted replies for one route are used in order.
  void script(const QByteArray& method, const QString& path, Reply reply);
  // The next request for `method` and `path` waits `delay` before it is handled (cut short when the
  // service stops). Several delays for one route apply to successive requests.
  void delayNext(const QByteArray& method, const QString& path, std::chrono::milliseconds delay);

  QList<Request> requests() const;
  QList<Request> requests(const QByteArray& method, const QString& path) const;
  int count(const QByteArray& method, const QString& path) const;
  void clearLog();

  // Sessions: a fresh Bearer token for `email`.
  QString createSession(const QString& email, bool subscribed = false);
  bool hasSession(const QString& token) const;
  void endSession(const QString& token);
  void setSubscribed(const QString& email, bool subscribed);
  // The user of a live session.
  std::optional<QString> sessionEmail(const QString& token) const;

  // Device-code sign-in. Approval makes a session for `email` when a code is redeemed.
  void setApproval(Approval approval, const QString& email = QStringLiteral("ada@example.com"),
                   bool subscribed = true);
  void setCodeTiming(qint64 expiresIn, qint64 interval);
  // The access token of the last approved poll; empty before one.
  QString lastIssuedToken() const;

  // Storage connectors the service holds, by identifier text.
  void addConnector(const QString& id);
  bool hasConnector(const QString& id) const;

  std::unique_lock<std::recursive_mutex> lock() const { return std::unique_lock(mutex_); }

 private:
  struct Route {
    QByteArray method;
    QRegularExpression pattern;
    Access access;
    Handler handler;
  };
  struct Account {
    QString email;
    bool subscribed = false;
  };

  void installAccountRoutes();
  void installConnectorRoutes();
  void handle(const httplib::Request& in, httplib::Response& out);
  void waitIfDelayed(const QString& key);
  Reply dispatch(Request& request);
  Reply deviceCode(const Request& request);
  Reply deviceToken(const Request& request);

  static QString routeKey(const QByteArray& method, const QString& path);

  mutable std::recursive_mutex mutex_;
  QList<Route> routes_;
  QMap<QString, std::deque<Reply>> scripts_;
  QMap<QString, std::deque<std::chrono::milliseconds>> delays_;
  QList<Request> log_;

  QMap<QString, QString> sessions_;  // token → e-mail
  QMap<QString, bool> subscriptions_;  // email → subscribed
  QSet<QString> deviceCodes_;
  Approval approval_ = Approval::pending;
  Account approvedAccount_{QStringLiteral("ada@example.com"), true};
  qint64 expiresIn_ = 900;
  qint64 interval_ = 5;
  int issued_ = 0;
  QString lastIssuedToken_;
  QSet<QString> connectors_;

  // Last, so it stops before the state its handlers touch goes away.
  LocalHttpServer server_;
};

}  // namespace pm::test
