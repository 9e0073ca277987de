#include "FakeService.h"

#include <httplib.h>

#include <QJsonDocument>
#include <QUuid>

namespace pm::test {

namespace {

QByteArray bytes(const std::string& text) { return QByteArray(text.data(), qsizetype(text.size())); }

constexpr char kApiPrefix[] = "/api/";
constexpr char kClientId[] = "com.wrenfold.Parcelmoor";
constexpr char kDeviceCodeGrant[] = "urn:ietf:params:oauth:grant-type:device_code";

}  // namespace

// ---- requests and replies -------------------------------------------------------------------------------

std::optional<QString> FakeService::Request::bearerToken() const {
  const QByteArray value = header("authorization");
  if (!value.startsWith("Bearer ")) return std::nullopt;
  return QString::fromUtf8(value.mid(7));
}

QJsonObject FakeService::Request::json() const { return QJsonDocument::fromJson(body).object(); }

FakeService::Reply FakeService::Reply::json(int status, const QJsonObject& object) {
  return Reply{status, QJsonDocument(object).toJson(QJsonDocument::Compact), "application/json", {}};
}

FakeService::Reply FakeService::Reply::error(int status, const QString& code, const QString& message) {
  QJsonObject object;
  if (!code.isEmpty()) object.insert(QStringLiteral("error"), code);
  if (!message.isEmpty()) object.insert(QStringLiteral("message"), message);
  return json(status, object);
}

FakeService::Reply FakeService::Reply::raw(int status, QByteArray body, QByteArray contentType) {
  return Reply{status, std::move(body), std::move(contentType), {}};
}

// ---- the server -----------------------------------------------------------------------------------------

FakeService::FakeService()
    : server_([this](const httplib::Request& in, httplib::Response& out) { handle(in, out); }) {
  installAccountRoutes();
  installConnectorRoutes();
}

QUrl FakeService::baseUrl() const { return server_.url(); }

QString FakeService::routeKey(const QByteArray& method, const QString& path) {
  return QString::fromLatin1(method) + QLatin1Char(' ') + path;
}

void FakeService::route(const QByteArray& method, const QString& pattern, Access access, Handler handler) {
  const auto guard = lock();
  routes_.prepend(Route{method, QRegularExpression(QRegularExpression::anchoredPattern(pattern)), access,
                        std::move(handler)});
}

void FakeService::script(const QByteArray& method, const QString& path, Reply reply) {
  const auto guard = lock();
  scripts_[routeKey(method, path)].push_back(std::move(reply));
}

void FakeService::delayNext(const QByteArray& method, const QString& path, std::chrono::milliseconds delay) {
  const auto guard = lock();
  delays_[routeKey(method, path)].push_back(delay);
}

void FakeService::handle(const httplib::Request& in, httplib::Response& out) {
  Request request;
  request.method = bytes(in.method);
  request.target = QString::fromStdString(in.path);
  if (request.target.startsWith(QLatin1String(kApiPrefix)))
    request.path = request.target.mid(qsizetype(sizeof(kApiPrefix) - 1));
  for (const auto& [name, value] : in.headers) request.headers.insert(bytes(name).toLower(), bytes(value));
  request.body = bytes(in.body);

  {
    // Logged on arrival, so a test sees a request that is still being held back.
    const auto guard = lock();
    log_.append(request);
  }
  waitIfDelayed(routeKey(request.method, request.path));
  const Reply reply = dispatch(request);

  out.status = reply.status;
  for (auto it = reply.headers.cbegin(); it != reply.headers.cend(); ++it)
    out.set_header(it.key().toStdString(), it.value().toStdString());
  out.set_content(reply.body.toStdString(), reply.contentType.toStdString());
}

void FakeService::waitIfDelayed(const QString& key) {
  std::chrono::milliseconds delay{0};
  {
    const auto guard = lock();
    auto found = delays_.find(key);
    if (found == delays_.end() || found->empty()) return;
    delay = found->front();
    found->pop_front();
  }
  server_.pause(delay);
}

FakeService::Reply FakeService::dispatch(Request& request) {
  const auto guard = lock();
  auto scripted = scripts_.find(routeKey(request.method, request.path));
  if (scripted != scripts_.end() && !scripted->empty()) {
    Reply reply = std::move(scripted->front());
    scripted->pop_front();
    return reply;
  }
  if (request.path.isEmpty()) return Reply::error(404, QStringLiteral("NOT_FOUND"));

  for (const Route& route : routes_) {
    if (route.method != request.method) continue;
    const QRegularExpressionMatch match = route.pattern.match(request.path);
    if (!match.hasMatch()) continue;
    request.captures = match.capturedTexts().mid(1);
    if (route.access == Access::signedIn) {
      const auto token = request.bearerToken();
      request.email = token ? sessionEmail(*token) : std::nullopt;
      if (!request.email)
        return Reply::error(401, QStringLiteral("UNAUTHORIZED"), QStringLiteral("Your session has ended."));
    }
    return route.handler(request);
  }
  return Reply::error(404, QStringLiteral("NOT_FOUND"));
}

// ---- the log --------------------------------------------------------------------------------------------

QList<FakeService::Request> FakeService::requests() const {
  const auto guard = lock();
  return log_;
}

QList<FakeService::Request> FakeService::requests(const QByteArray& method, const QString& path) const {
  QList<Request> matching;
  for (const Request& request : requests()) {
    if (request.method == method && request.path == path) matching.append(request);
  }
  return matching;
}

int FakeService::count(const QByteArray& method, const QString& path) const {
  return int(requests(method, path).size());
}

void FakeService::clearLog() {
  const auto guard = lock();
  log_.clear();
}

// ---- sessions -------------------------------------------------------------------------------------------

QString FakeService::createSession(const QString& email, bool subscribed) {
  const auto guard = lock();
  const QString token = QStringLiteral("session-%1-%2").arg(++issued_).arg(QUuid::createUuid().toString(QUuid::Id128));
  sessions_.insert(token, email);
  subscriptions_.insert(email, subscribed);
  return token;
}

bool FakeService::hasSession(const QString& token) const { return sessionEmail(token).has_value(); }

std::optional<QString> FakeService::sessionEmail(const QString& token) const {
  const auto guard = lock();
  const auto found = sessions_.constFind(token);
  if (found == sessions_.cend()) return std::nullopt;
  return *found;
}

void FakeService::endSession(const QString& token) {
  const auto guard = lock();
  sessions_.remove(token);
}

void FakeService::setSubscribed(const QString& email, bool subscribed) {
  const auto guard = lock();
  subscriptions_.insert(email, subscribed);
}

// ---- the account routes ---------------------------------------------------------------------------------

void FakeService::setApproval(Approval approval, const QString& email, bool subscribed) {
  const auto guard = lock();
  approval_ = approval;
  approvedAccount_ = Account{email, subscribed};
}

void FakeService::setCodeTiming(qint64 expiresIn, qint64 interval) {
  const auto guard = lock();
  expiresIn_ = expiresIn;
  interval_ = interval;
}

QString FakeService::lastIssuedToken() const {
  const auto guard = lock();
  return lastIssuedToken_;
}

FakeService::Reply FakeService::deviceCode(const Request& request) {
  if (!request.header("content-type").startsWith("application/json") ||
      request.json().value(QStringLiteral("client_id")).toString() != QLatin1String(kClientId))
    return Reply::error(400, QStringLiteral("invalid_client"));
  const QString userCode = QStringLiteral("WDJB-%1").arg(deviceCodes_.size() + 1, 4, 10, QLatin1Char('0'));
  const QString deviceCode = QStringLiteral("device-") + QUuid::createUuid().toString(QUuid::Id128);
  deviceCodes_.insert(deviceCode);
  const QString page = baseUrl().toString() + QStringLiteral("/device");
  return Reply::json(QJsonObject{{QStringLiteral("device_code"), deviceCode},
                                 {QStringLiteral("user_code"), userCode},
                                 {QStringLiteral("verification_uri"), page},
                                 {QStringLiteral("verification_uri_complete"), page + QStringLiteral("?user_code=") + userCode},
                                 {QStringLiteral("expires_in"), expiresIn_},
                                 {QStringLiteral("interval"), interval_}});
}

FakeService::Reply FakeService::deviceToken(const Request& request) {
  const QJsonObject body = request.json();
  if (!request.header("content-type").startsWith("application/json") ||
      body.value(QStringLiteral("client_id")).toString() != QLatin1String(kClientId))
    return Reply::error(400, QStringLiteral("invalid_client"));
  if (body.value(QStringLiteral("grant_type")).toString() != QLatin1String(kDeviceCodeGrant))
    return Reply::error(400, QStringLiteral("unsupported_grant_type"));
  const QString deviceCode = body.value(QStringLiteral("device_code")).toString();
  if (!deviceCodes_.contains(deviceCode)) return Reply::error(400, QStringLiteral("invalid_grant"));

  switch (approval_) {
    case Approval::pending:
      return Reply::error(400, QStringLiteral("authorization_pending"));
    case Approval::denied:
      return Reply::error(400, QStringLiteral("access_denied"));
    case Approval::expired:
      return Reply::error(400, QStringLiteral("expired_token"));
    case Approval::approved:
      break;
  }
  deviceCodes_.remove(deviceCode);
  lastIssuedToken_ = createSession(approvedAccount_.email, approvedAccount_.subscribed);
  return Reply::json(QJsonObject{{QStringLiteral("access_token"), lastIssuedToken_},
                                 {QStringLiteral("token_type"), QStringLiteral("Bearer")},
                                 {QStringLiteral("expires_in"), 604800}});
}

void FakeService::installAccountRoutes() {
  route("POST", QStringLiteral("auth/device/code"), Access::open, [this](const Request& r) { return deviceCode(r); });
  route("POST", QStringLiteral("auth/device/token"), Access::open, [this](const Request& r) { return deviceToken(r); });
  route("GET", QStringLiteral("auth/get-session"), Access::signedIn, [](const Request& r) {
    return Reply::json(QJsonObject{{QStringLiteral("user"), QJsonObject{{QStringLiteral("email"), *r.email}}}});
  });
  route("GET", QStringLiteral("me"), Access::signedIn, [this](const Request& r) {
    return Reply::json(QJsonObject{{QStringLiteral("email"), *r.email},
                                   {QStringLiteral("subscribed"), subscriptions_.value(*r.email)}});
  });
  route("POST", QStringLiteral("auth/sign-out"), Access::signedIn, [this](const Request& r) {
    sessions_.remove(*r.bearerToken());
    return Reply::json(QJsonObject{{QStringLiteral("success"), true}});
  });
  route("POST", QStringLiteral("billing"), Access::signedIn, [this](const Request& r) {
    if (r.header("content-type") != "application/x-www-form-urlencoded" || r.body != "intent=portal&return=app")
      return Reply::error(400, QStringLiteral("BAD_REQUEST"));
    return Reply::json(
        QJsonObject{{QStringLiteral("url"), baseUrl().toString() + QStringLiteral("/billing/portal")}});
  });
}

// ---- connectors -----------------------------------------------------------------------------------------

void FakeService::addConnector(const QString& id) {
  const auto guard = lock();
  connectors_.insert(id);
}

bool FakeService::hasConnector(const QString& id) const {
  const auto guard = lock();
  return connectors_.contains(id);
}

void FakeService::installConnectorRoutes() {
  route("DELETE", QStringLiteral("connectors/([^/]+)"), Access::signedIn, [this](const Request& r) {
    if (!connectors_.remove(r.captures.value(0)))
      return Reply::error(404, QStringLiteral("NOT_FOUND"), QStringLiteral("No such connector."));
    return Reply::json(QJsonObject{{QStringLiteral("deleted"), true}});
  });
}

}  // namespace pm::test
