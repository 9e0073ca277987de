#include "FakeMicrosoft.h"

#include <httplib.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace pm::test {

namespace {

FakeMicrosoft::Answer json(int status, const QJsonObject& object) {
  return {status,
          QJsonDocument(object).toJson(QJsonDocument::Compact),
          {{"Content-Type", "application/json"}},
          {}};
}

FakeMicrosoft::Answer graphError(int status, const char* code, const QString& message) {
  return json(status, {{QStringLiteral("error"), QJsonObject{{QStringLiteral("code"), QLatin1String(code)},
                                                             {QStringLiteral("message"), message}}}});
}

QMap<QString, QString> decodedForm(const QByteArray& body) {
  QMap<QString, QString> pairs;
  for (const QString& piece : QString::fromUtf8(body).split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
    QString value = piece.section(QLatin1Char('='), 1);
    value.replace(QLatin1Char('+'), QLatin1Char(' '));
    pairs.insert(QUrl::fromPercentEncoding(piece.section(QLatin1Char('='), 0, 0).toUtf8()),
                 QUrl::fromPercentEncoding(value.toUtf8()));
  }
  return pairs;
}

QByteArray base64url(const QByteArray& data) {
  return data.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

// "name 1.ext" for n = 1: the way OneDrive renames on a conflict.
QString renamed(const QString& name, int n) {
  const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
  const QString number = QStringLiteral(" %1").arg(n);
  return dot > 0 ? name.left(dot) + number + name.mid(dot) : name + number;
}

}  // namespace

FakeMicrosoft::FakeMicrosoft()
    : server_([this](const httplib::Request& raw, httplib::Response& response) {
        const Answer answer = handle(FakeRequest::from(raw));
        server_.pause(answer.delay);
        answer.writeTo(response);
      }) {
  items_.insert(appRootID(), Item{appRootID(), QStringLiteral("Parcelmoor"), {}, true, 0, {}, {}, {}});
}

void FakeMicrosoft::script(QByteArray method, QString pathPrefix, Answer answer, QByteArray bodyContains) {
  std::lock_guard lock(mutex_);
  exchanges_.script(std::move(method), std::move(pathPrefix), std::move(answer), std::move(bodyContains));
}

void FakeMicrosoft::setIDTokenClaims(std::optional<QByteArray> claims) {
  std::lock_guard lock(mutex_);
  claims_ = std::move(claims);
}

void FakeMicrosoft::holdUploads(std::chrono::milliseconds delay) {
  std::lock_guard lock(mutex_);
  uploadDelay_ = delay;
}

QString FakeMicrosoft::addItem(const QString& name, const QString& parent, bool folder, qint64 size) {
  std::lock_guard lock(mutex_);
  const QString id = newID(folder ? "folder" : "file");
  items_.insert(id, Item{id, name, parent, folder, size, {}, now(), {}});
  return id;
}

QString FakeMicrosoft::addFile(const QString& name, const QString& parent, const QByteArray& bytes) {
  std::lock_guard lock(mutex_);
  const QString id = newID("file");
  QuickXorHash hash;
  hash.addData(bytes);
  items_.insert(id, Item{id, name, parent, false, bytes.size(),
                         QCryptographicHash::hash(bytes, QCryptographicHash::Sha256), now(), hash.base64()});
  return id;
}

void FakeMicrosoft::setNow(QDateTime now) {
  std::lock_guard lock(mutex_);
  now_ = std::move(now);
}

void FakeMicrosoft::nameStoredFiles(bool name) {
  std::lock_guard lock(mutex_);
  nameStoredFiles_ = name;
}

QDateTime FakeMicrosoft::now() const { return now_.value_or(QDateTime::currentDateTimeUtc()); }

QList<FakeMicrosoft::Request> FakeMicrosoft::requests() const {
  std::lock_guard lock(mutex_);
  return exchanges_.requests();
}

QList<FakeMicrosoft::Request> FakeMicrosoft::requests(const QString& prefix) const {
  std::lock_guard lock(mutex_);
  return exchanges_.requests(prefix);
}

QList<QMap<QString, QString>> FakeMicrosoft::tokenForms() const {
  std::lock_guard lock(mutex_);
  return tokenForms_;
}

QList<FakeMicrosoft::Item> FakeMicrosoft::items() const {
  std::lock_guard lock(mutex_);
  return items_.values();
}

std::optional<FakeMicrosoft::Item> FakeMicrosoft::item(const QString& id) const {
  std::lock_guard lock(mutex_);
  if (!items_.contains(id)) return std::nullopt;
  return items_.value(id);
}

QString FakeMicrosoft::pathOf(const QString& id) const {
  std::lock_guard lock(mutex_);
  QStringList pieces;
  for (QString current = id; current != appRootID() && items_.contains(current);
       current = items_.value(current).parent)
    pieces.prepend(items_.value(current).name);
  return pieces.join(QLatin1Char('/'));
}

QStringList FakeMicrosoft::filePaths() const {
  QStringList paths;
  for (const Item& stored : items())
    if (!stored.folder) paths.append(pathOf(stored.id));
  paths.sort();
  return paths;
}

int FakeMicrosoft::openSessions() const {
  std::lock_guard lock(mutex_);
  return int(sessions_.size());
}

QString FakeMicrosoft::newID(const char* kind) {
  return QStringLiteral("%1-%2").arg(QLatin1String(kind)).arg(nextID_++);
}

std::optional<QString> FakeMicrosoft::child(const QString& parent, const QString& name) const {
  for (const Item& stored : items_)
    if (stored.parent == parent && stored.name.compare(name, Qt::CaseInsensitive) == 0) return stored.id;
  return std::nullopt;
}

std::optional<QString> FakeMicrosoft::resolve(const QString& from, const QString& path) const {
  QString current = from;
  for (const QString& name : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
    const std::optional<QString> next = child(current, name);
    if (!next) return std::nullopt;
    current = *next;
  }
  return current;
}

FakeMicrosoft::Answer FakeMicrosoft::handle(const Request& request) {
  std::lock_guard lock(mutex_);
  if (std::optional<Answer> scripted = exchanges_.record(request)) return *std::move(scripted);
  if (request.method == "POST" && request.path == QLatin1String("/common/oauth2/v2.0/token"))
    return token(request);
  if (request.path.startsWith(QLatin1String("/v1.0/"))) return graph(request, request.path.mid(6));
  static const QRegularExpression uploadRoute(QStringLiteral("^/upload/([^/]+)$"));
  if (const auto match = uploadRoute.match(request.path); match.hasMatch()) {
    Answer answer = upload(request, match.captured(1));
    answer.delay = uploadDelay_;
    return answer;
  }
  return graphError(404, "itemNotFound", QStringLiteral("no such route"));
}

FakeMicrosoft::Answer FakeMicrosoft::token(const Request& request) {
  const QMap<QString, QString> form = decodedForm(request.body);
  tokenForms_.append(form);
  const QString grant = form.value(QStringLiteral("grant_type"));
  const int issued = int(tokenForms_.size());
  QJsonObject answer{{QStringLiteral("token_type"), QStringLiteral("Bearer")},
                     {QStringLiteral("expires_in"), 3599}};
  if (grant == QLatin1String("authorization_code")) {
    answer.insert(QStringLiteral("access_token"), QStringLiteral("access-%1").arg(issued));
    answer.insert(QStringLiteral("refresh_token"),
                  QStringLiteral("refresh-for-") + form.value(QStringLiteral("code")));
    if (claims_)
      answer.insert(QStringLiteral("id_token"), QString::fromLatin1(base64url(R"({"alg":"RS256"})") + '.' +
                                                                    base64url(*claims_) + ".c2lnbmF0dXJl"));
    return json(200, answer);
  }
  if (grant == QLatin1String("refresh_token")) {
    answer.insert(QStringLiteral("access_token"), QStringLiteral("renewed-%1").arg(issued));
    return json(200, answer);
  }
  return json(400, {{QStringLiteral("error"), QStringLiteral("unsupported_grant_type")}});
}

FakeMicrosoft::Answer FakeMicrosoft::graph(const Request& request, const QString& route) {
  if (!request.header("Authorization").startsWith("Bearer "))
    return graphError(401, "InvalidAuthenticationToken", QStringLiteral("Access token is empty."));
  const QJsonObject body = QJsonDocument::fromJson(request.body).object();

  if (request.method == "GET" && route == QLatin1String("me/drive/special/approot"))
    return json(200, {{QStringLiteral("id"), appRootID()}});

  // me/drive/items/{id}[:/{path}:][/{action}]
  static const QRegularExpression itemRoute(
      QStringLiteral("^me/drive/items/([^/:]+)(?::/(.*):)?(?:/(children|createUploadSession))?$"));
  const QRegularExpressionMatch match = itemRoute.match(route);
  if (!match.hasMatch()) return graphError(400, "invalidRequest", QStringLiteral("Invalid request"));
  const QString base = match.captured(1);
  const QString path = match.captured(2);
  const QString action = match.captured(3);
  if (!items_.contains(base)) return graphError(404, "itemNotFound", QStringLiteral("Item not found"));

  if (request.method == "GET" && action.isEmpty()) {
    const std::optional<QString> target = resolve(base, path);
    if (!target) return graphError(404, "itemNotFound", QStringLiteral("Item not found"));
    const Item& found = items_[*target];
    QJsonObject answer{{QStringLiteral("id"), found.id},
                       {QStringLiteral("name"), found.name},
                       {QStringLiteral("size"), double(found.size)},
                       {QStringLiteral("createdDateTime"), found.created.toString(Qt::ISODateWithMs)}};
    if (!found.folder) {
      QJsonObject hashes;
      if (!found.quickXorHash.isEmpty()) hashes.insert(QStringLiteral("quickXorHash"), found.quickXorHash);
      answer.insert(QStringLiteral("file"), QJsonObject{{QStringLiteral("hashes"), hashes}});
    }
    return json(200, answer);
  }
  if (request.method == "DELETE" && action.isEmpty()) {
    const std::optional<QString> target = resolve(base, path);
    if (!target || *target == appRootID())
      return graphError(404, "itemNotFound", QStringLiteral("Item not found"));
    items_.remove(*target);
    return {204, {}, {}, {}};
  }
  if (request.method == "POST" && action == QLatin1String("children")) {
    const std::optional<QString> parent = resolve(base, path);
    if (!parent) return graphError(404, "itemNotFound", QStringLiteral("Parent not found"));
    const QString wanted = body.value(QStringLiteral("name")).toString();
    QString name = wanted;
    if (child(*parent, name)) {
      if (body.value(QStringLiteral("@microsoft.graph.conflictBehavior")) != QJsonValue(QStringLiteral("rename")))
        return graphError(409, "nameAlreadyExists", QStringLiteral("Name already exists"));
      for (int n = 1; child(*parent, name); ++n) name = renamed(wanted, n);
    }
    const QString id = newID("folder");
    items_.insert(id, Item{id, name, *parent, true, 0, {}, now(), {}});
    return json(201, {{QStringLiteral("id"), id}, {QStringLiteral("name"), name}});
  }
  if (request.method == "POST" && action == QLatin1String("createUploadSession")) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const std::optional<QString> parent = resolve(base, slash < 0 ? QString() : path.left(slash));
    if (!parent) return graphError(404, "itemNotFound", QStringLiteral("Parent not found"));
    const QJsonValue behavior = body.value(QStringLiteral("item"))
                                    .toObject()
                                    .value(QStringLiteral("@microsoft.graph.conflictBehavior"));
    if (behavior != QJsonValue(QStringLiteral("rename")))
      return graphError(400, "invalidRequest", QStringLiteral("Conflict behavior must be rename here"));
    const QString id = newID("session");
    sessions_.insert(id, Session{path.mid(slash + 1), *parent, 0,
                                 std::make_shared<QCryptographicHash>(QCryptographicHash::Sha256),
                                 std::make_shared<QuickXorHash>()});
    return json(200, {{QStringLiteral("uploadUrl"), server_.url(QStringLiteral("/upload/") + id).toString()},
                      {QStringLiteral("expirationDateTime"), QStringLiteral("2030-01-01T00:00:00Z")}});
  }
  return graphError(400, "invalidRequest", QStringLiteral("Invalid request"));
}

FakeMicrosoft::Answer FakeMicrosoft::upload(const Request& request, const QString& sessionID) {
  if (!sessions_.contains(sessionID))
    return graphError(404, "itemNotFound", QStringLiteral("The upload session was not found"));
  if (request.method == "DELETE") {
    sessions_.remove(sessionID);
    return {204, {}, {}, {}};
  }
  if (request.method != "PUT") return graphError(405, "invalidRequest", QStringLiteral("Method not allowed"));
  Session& session = sessions_[sessionID];
  const qint64 length = request.body.size();
  qint64 first = 0;
  qint64 total = length;
  if (const QByteArray range = request.header("Content-Range"); !range.isEmpty()) {
    static const QRegularExpression pattern(QStringLiteral("^bytes (\\d+)-(\\d+)/(\\d+)$"));
    const QRegularExpressionMatch parts = pattern.match(QString::fromLatin1(range));
    if (!parts.hasMatch()) return graphError(400, "invalidRange", QStringLiteral("Malformed Content-Range"));
    first = parts.captured(1).toLongLong();
    total = parts.captured(3).toLongLong();
    if (parts.captured(2).toLongLong() - first + 1 != length)
      return graphError(400, "invalidRange", QStringLiteral("The range does not match the body"));
  } else if (session.received != 0) {
    return graphError(400, "invalidRange", QStringLiteral("Content-Range is missing"));
  }
  if (first != session.received)
    return graphError(416, "invalidRange",
                      QStringLiteral("The range does not start where the last one ended"));
  const bool final = first + length == total;
  if (!final && length % kRangeUnit != 0)
    return graphError(400, "invalidRange", QStringLiteral("Fragment size must be a multiple of 320 KiB"));
  if (first + length > total)
    return graphError(400, "invalidRange", QStringLiteral("The range lies beyond the total"));

  session.hash->addData(request.body);
  session.quickXor->addData(request.body);
  session.received += length;
  if (!final)
    return json(202, {{QStringLiteral("nextExpectedRanges"),
                       QJsonArray{QStringLiteral("%1-").arg(session.received)}}});

  const Session done = sessions_.take(sessionID);
  QString name = done.name;
  for (int n = 1; child(done.parent, name); ++n) name = renamed(done.name, n);
  const QString id = newID("file");
  items_.insert(id, Item{id, name, done.parent, false, done.received, done.hash->result(), now(),
                         done.quickXor->base64()});
  QJsonObject stored{{QStringLiteral("name"), name}, {QStringLiteral("size"), double(done.received)}};
  if (nameStoredFiles_) stored.insert(QStringLiteral("id"), id);
  return json(201, stored);
}

}  // namespace pm::test
