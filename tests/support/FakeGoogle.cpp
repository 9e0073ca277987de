#include "FakeGoogle.h"

#include <httplib.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QUrlQuery>

namespace pm::test {

namespace {

FakeGoogle::Answer json(int status, const QJsonObject& object) {
  return {status, QJsonDocument(object).toJson(QJsonDocument::Compact), {{"Content-Type", "application/json"}}, {}};
}

// The decoded pairs of a query or form ("+" is a space in forms, a plus sign in queries).
QMap<QString, QString> decodedPairs(const QString& text, bool plusIsSpace) {
  QMap<QString, QString> pairs;
  for (const QString& piece : text.split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
    QString name = piece.section(QLatin1Char('='), 0, 0);
    QString value = piece.section(QLatin1Char('='), 1);
    if (plusIsSpace) value.replace(QLatin1Char('+'), QLatin1Char(' '));
    pairs.insert(QUrl::fromPercentEncoding(name.toUtf8()), QUrl::fromPercentEncoding(value.toUtf8()));
  }
  return pairs;
}

// The text of a quoted Drive query string starting at `from` (just after the opening quote), with the
// backslash escapes undone; nothing when the quote never closes.
std::optional<QString> quoted(const QString& query, qsizetype from) {
  QString out;
  for (qsizetype i = from; i < query.size(); ++i) {
    if (query[i] == QLatin1Char('\\') && i + 1 < query.size()) {
      out.append(query[++i]);
    } else if (query[i] == QLatin1Char('\'')) {
      return out;
    } else {
      out.append(query[i]);
    }
  }
  return std::nullopt;
}

}  // namespace

FakeGoogle::FakeGoogle()
    : server_([this](const httplib::Request& raw, httplib::Response& response) {
        const Answer answer = handle(FakeRequest::from(raw));
        server_.pause(answer.delay);
        answer.writeTo(response);
      }) {}

void FakeGoogle::script(QByteArray method, QString pathPrefix, Answer answer, QByteArray bodyContains) {
  std::lock_guard lock(mutex_);
  exchanges_.script(std::move(method), std::move(pathPrefix), std::move(answer), std::move(bodyContains));
}

void FakeGoogle::setEmail(std::optional<QString> email) {
  std::lock_guard lock(mutex_);
  email_ = std::move(email);
}

void FakeGoogle::setUploadBase(QUrl base) {
  std::lock_guard lock(mutex_);
  uploadBase_ = std::move(base);
}

QString FakeGoogle::addFile(const QString& name, const QString& parent, const QString& mimeType, qint64 size) {
  std::lock_guard lock(mutex_);
  const QString id = newID("file");
  files_.insert(id, File{id, name, parent, mimeType, size, now()});
  return id;
}

void FakeGoogle::setNow(QDateTime now) {
  std::lock_guard lock(mutex_);
  now_ = std::move(now);
}

void FakeGoogle::holdUploads(std::chrono::milliseconds delay) {
  std::lock_guard lock(mutex_);
  uploadDelay_ = delay;
}

void FakeGoogle::nameStoredFiles(bool name) {
  std::lock_guard lock(mutex_);
  nameStoredFiles_ = name;
}

QDateTime FakeGoogle::now() const { return now_.value_or(QDateTime::currentDateTimeUtc()); }

QList<FakeGoogle::Request> FakeGoogle::requests() const {
  std::lock_guard lock(mutex_);
  return exchanges_.requests();
}

QList<FakeGoogle::Request> FakeGoogle::requests(const QString& prefix) const {
  std::lock_guard lock(mutex_);
  return exchanges_.requests(prefix);
}

QList<QMap<QString, QString>> FakeGoogle::tokenForms() const {
  std::lock_guard lock(mutex_);
  return tokenForms_;
}

QList<FakeGoogle::File> FakeGoogle::files() const {
  std::lock_guard lock(mutex_);
  return files_.values();
}

std::optional<FakeGoogle::File> FakeGoogle::file(const QString& id) const {
  std::lock_guard lock(mutex_);
  if (!files_.contains(id)) return std::nullopt;
  return files_.value(id);
}

QString FakeGoogle::pathOf(const QString& id) const {
  std::lock_guard lock(mutex_);
  QStringList pieces;
  QString current = id;
  while (files_.contains(current)) {
    pieces.prepend(files_.value(current).name);
    current = files_.value(current).parent;
  }
  pieces.prepend(current);
  return pieces.join(QLatin1Char('/'));
}

int FakeGoogle::tokensIssued() const {
  std::lock_guard lock(mutex_);
  return tokensIssued_;
}

QString FakeGoogle::newID(const char* kind) { return QStringLiteral("%1-%2").arg(QLatin1String(kind)).arg(nextID_++); }

FakeGoogle::Answer FakeGoogle::handle(const Request& request) {
  std::lock_guard lock(mutex_);
  if (std::optional<Answer> scripted = exchanges_.record(request)) return *std::move(scripted);

  const QString query = request.target.section(QLatin1Char('?'), 1);
  const QMap<QString, QString> parameters = decodedPairs(query, false);
  const QJsonObject body = QJsonDocument::fromJson(request.body).object();
  static const QRegularExpression fileRoute(QStringLiteral("^/drive/v3/files/([^/]+)$"));
  static const QRegularExpression sessionRoute(QStringLiteral("^/upload/session/([^/]+)$"));

  // The Drive API lives under "/api", so a test can tell its requests from the token endpoint's.
  const QString route = request.path.startsWith(QLatin1String("/api/")) ? request.path.mid(4) : QString();
  if (request.method == "POST" && request.path == QLatin1String("/token")) return token(request);
  if (request.method == "GET" && route == QLatin1String("/drive/v3/files")) return findFiles(request, parameters);
  if (request.method == "POST" && route == QLatin1String("/drive/v3/files")) {
    const QString id = newID("folder");
    files_.insert(id, File{id, body.value(QStringLiteral("name")).toString(),
                           body.value(QStringLiteral("parents")).toArray().first().toString(),
                           body.value(QStringLiteral("mimeType")).toString(), 0, now()});
    return json(200, {{QStringLiteral("id"), id}});
  }
  if (request.method == "POST" && route == QLatin1String("/upload/drive/v3/files")) {
    const QString id = newID("session");
    sessions_.insert(id, Session{body.value(QStringLiteral("name")).toString(),
                                 body.value(QStringLiteral("parents")).toArray().first().toString(), {}});
    const QUrl base = uploadBase_.isEmpty() ? server_.url() : uploadBase_;
    const QString location = base.toString() + QStringLiteral("/upload/session/") + id;
    return {200, {}, {{"Location", location.toUtf8()}}, {}};
  }
  if (const auto match = sessionRoute.match(request.path); request.method == "PUT" && match.hasMatch()) {
    if (!sessions_.contains(match.captured(1))) return json(404, {});
    Session& session = sessions_[match.captured(1)];
    const bool statusQuery = request.body.isEmpty() && request.header("Content-Range").startsWith("bytes */");
    // Like Drive: a session that stored its file answers with that file, to a status query or another upload.
    if (!session.fileID.isEmpty()) {
      QJsonObject stored{{QStringLiteral("kind"), QStringLiteral("drive#file")}, {QStringLiteral("name"), session.name}};
      if (statusQuery || nameStoredFiles_) stored.insert(QStringLiteral("id"), session.fileID);
      return json(200, stored);
    }
    if (statusQuery) return {308, {}, {}, {}};
    const QString id = newID("file");
    session.fileID = id;
    files_.insert(id, File{id, session.name, session.parent, {}, request.body.size(), now()});
    QJsonObject stored{{QStringLiteral("kind"), QStringLiteral("drive#file")}, {QStringLiteral("name"), session.name}};
    if (nameStoredFiles_) stored.insert(QStringLiteral("id"), id);
    Answer answer = json(200, stored);
    answer.delay = uploadDelay_;
    return answer;
  }
  if (const auto match = fileRoute.match(route); request.method == "DELETE" && match.hasMatch()) {
    return files_.remove(match.captured(1)) > 0 ? Answer{204, {}, {}, {}} : json(404, {});
  }
  if (request.method == "GET" && route == QLatin1String("/drive/v3/about")) {
    if (!email_) return json(200, {{QStringLiteral("user"), QJsonObject{}}});
    return json(200, {{QStringLiteral("user"), QJsonObject{{QStringLiteral("emailAddress"), *email_}}}});
  }
  return json(404, {{QStringLiteral("error"), QJsonObject{{QStringLiteral("message"), QStringLiteral("no such route")}}}});
}

FakeGoogle::Answer FakeGoogle::token(const Request& request) {
  const QMap<QString, QString> form = decodedPairs(QString::fromUtf8(request.body), true);
  tokenForms_.append(form);
  const QString grant = form.value(QStringLiteral("grant_type"));
  if (grant == QLatin1String("authorization_code")) {
    ++tokensIssued_;
    return json(200, {{QStringLiteral("access_token"), QStringLiteral("access-%1").arg(tokensIssued_)},
                      {QStringLiteral("expires_in"), 3599},
                      {QStringLiteral("refresh_token"), QStringLiteral("refresh-for-") + form.value(QStringLiteral("code"))},
                      {QStringLiteral("token_type"), QStringLiteral("Bearer")}});
  }
  if (grant == QLatin1String("refresh_token")) {
    ++tokensIssued_;
    return json(200, {{QStringLiteral("access_token"), QStringLiteral("renewed-%1").arg(tokensIssued_)},
                      {QStringLiteral("expires_in"), 3599},
                      {QStringLiteral("token_type"), QStringLiteral("Bearer")}});
  }
  return json(400, {{QStringLiteral("error"), QStringLiteral("unsupported_grant_type")}});
}

// Understands the two query shapes the uploader sends: a name and a parent, optionally limited to folders.
FakeGoogle::Answer FakeGoogle::findFiles(const Request& /*request*/, const QMap<QString, QString>& parameters) {
  const QString query = parameters.value(QStringLiteral("q"));
  const qsizetype nameAt = query.indexOf(QLatin1String("name='"));
  const std::optional<QString> name = nameAt >= 0 ? quoted(query, nameAt + 6) : std::nullopt;
  static const QRegularExpression parentPattern(QStringLiteral("'([^']*)' in parents"));
  const QRegularExpressionMatch parent = parentPattern.match(query);
  if (!name || !parent.hasMatch()) {
    return json(400, {{QStringLiteral("error"), QJsonObject{{QStringLiteral("message"), QStringLiteral("Invalid Value")}}}});
  }
  const bool foldersOnly = query.contains(QLatin1String("mimeType='application/vnd.google-apps.folder'"));
  const int limit = parameters.value(QStringLiteral("pageSize"), QStringLiteral("100")).toInt();
  const QString fields = parameters.value(QStringLiteral("fields"));
  QJsonArray found;
  for (const File& file : std::as_const(files_)) {
    if (found.size() >= limit) break;
    if (file.name != *name || file.parent != parent.captured(1)) continue;
    if (foldersOnly && file.mimeType != QLatin1String(kFolderMimeType)) continue;
    QJsonObject entry{{QStringLiteral("id"), file.id}};
    // Like Drive: only the fields asked for, the size as text.
    if (fields.contains(QLatin1String("size"))) entry.insert(QStringLiteral("size"), QString::number(file.size));
    if (fields.contains(QLatin1String("createdTime")))
      entry.insert(QStringLiteral("createdTime"), file.created.toString(Qt::ISODateWithMs));
    found.append(entry);
  }
  return json(200, {{QStringLiteral("files"), found}});
}

}  // namespace pm::test
