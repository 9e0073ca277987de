#include "FakeDropbox.h"

#include <httplib.h>

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QUrlQuery>

namespace pm::test {

namespace {

constexpr qsizetype kLoggedBody = 64 * 1024;
constexpr qint64 kKeptFile = 16 * 1024 * 1024;

QByteArray bytes(const std::string& text) {
  return QByteArray(text.data(), qsizetype(text.size()));
}

FakeDropbox::Answer json(int status, const QJsonObject& object) {
  return {status, QJsonDocument(object).toJson(QJsonDocument::Compact)};
}

FakeDropbox::Answer refusal(int status, const QString& summary) {
  return json(status, {{QStringLiteral("error_summary"), summary}});
}

// "a (1).txt" for "a.txt" and n = 1.
QString renamed(const QString& path, int n) {
  const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
  const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
  const QString suffix = QStringLiteral(" (%1)").arg(n);
  if (dot <= slash + 1) return path + suffix;
  return path.left(dot) + suffix + path.mid(dot);
}

// Dropbox's content hash, worked out here on its own: SHA-256 over the SHA-256 of each 4 MiB block.
QString contentHash(const QByteArray& content) {
  constexpr qsizetype kBlock = 4 * 1024 * 1024;
  QByteArray digests;
  for (qsizetype at = 0; at < content.size(); at += kBlock)
    digests += QCryptographicHash::hash(content.mid(at, kBlock), QCryptographicHash::Sha256);
  return QString::fromLatin1(QCryptographicHash::hash(digests, QCryptographicHash::Sha256).toHex());
}

}  // namespace

QJsonObject FakeDropbox::Request::argument() const {
  return QJsonDocument::fromJson(header("Dropbox-API-Arg")).object();
}

FakeDropbox::FakeDropbox()
    : server_([this](const httplib::Request& raw, httplib::Response& response) {
        Request request;
        request.method = bytes(raw.method);
        const QString path = QString::fromStdString(raw.path);
        for (const QString& host : {QStringLiteral("api"), QStringLiteral("content")}) {
          if (path.startsWith(QLatin1Char('/') + host + QLatin1Char('/'))) {
            request.host = host;
            request.path = path.mid(host.size() + 1);
          }
        }
        if (request.host.isEmpty()) request.path = path;
        for (const auto& [name, value] : raw.headers)
          request.headers.insert(bytes(name).toLower(), bytes(value));
        request.body = bytes(raw.body);
        request.bodySize = request.body.size();
        const Answer answer = handle(request);
        server_.pause(answer.delay);
        response.status = answer.status;
        if (!answer.body.isEmpty()) response.set_content(answer.body.toStdString(), "application/json");
      }) {}

void FakeDropbox::script(QString pathPrefix, Answer answer) {
  std::lock_guard lock(mutex_);
  scripts_.append({std::move(pathPrefix), std::move(answer)});
}

void FakeDropbox::holdPieces(std::chrono::milliseconds delay) {
  std::lock_guard lock(mutex_);
  pieceDelay_ = delay;
}

void FakeDropbox::setAccount(std::optional<QString> email, std::optional<QString> displayName) {
  std::lock_guard lock(mutex_);
  email_ = std::move(email);
  displayName_ = std::move(displayName);
}

QString FakeDropbox::addFile(const QString& path, const QByteArray& content) {
  std::lock_guard lock(mutex_);
  const QString id = newID("id");
  files_.insert(path.toLower(), File{id, path, content.size(), content, now(), contentHash(content)});
  return id;
}

void FakeDropbox::setNow(QDateTime now) {
  std::lock_guard lock(mutex_);
  now_ = std::move(now);
}

void FakeDropbox::holdUploads(std::chrono::milliseconds delay) {
  std::lock_guard lock(mutex_);
  uploadDelay_ = delay;
}

void FakeDropbox::nameStoredFiles(bool name) {
  std::lock_guard lock(mutex_);
  nameStoredFiles_ = name;
}

QDateTime FakeDropbox::now() const { return now_.value_or(QDateTime::currentDateTimeUtc()); }

QList<FakeDropbox::Request> FakeDropbox::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

QList<FakeDropbox::Request> FakeDropbox::requests(const QString& prefix) const {
  QList<Request> matching;
  for (const Request& request : requests())
    if (request.path.startsWith(prefix)) matching.append(request);
  return matching;
}

QList<QMap<QString, QString>> FakeDropbox::tokenForms() const {
  std::lock_guard lock(mutex_);
  return tokenForms_;
}

QList<FakeDropbox::File> FakeDropbox::files() const {
  std::lock_guard lock(mutex_);
  return files_.values();
}

std::optional<FakeDropbox::File> FakeDropbox::file(const QString& path) const {
  std::lock_guard lock(mutex_);
  if (!files_.contains(path.toLower())) return std::nullopt;
  return files_.value(path.toLower());
}

int FakeDropbox::openSessions() const {
  std::lock_guard lock(mutex_);
  return int(sessions_.size());
}

QStringList FakeDropbox::folders() const {
  std::lock_guard lock(mutex_);
  QStringList paths;
  for (const auto& folder : folders_) paths.append(folder.second);
  return paths;
}

bool FakeDropbox::taken(const QString& path) const {
  const QString lower = path.toLower();
  const auto at = [&](const QString& key) { return key == lower || key.startsWith(lower + QLatin1Char('/')); };
  for (auto it = files_.keyBegin(); it != files_.keyEnd(); ++it)
    if (at(*it)) return true;
  for (auto it = folders_.keyBegin(); it != folders_.keyEnd(); ++it)
    if (at(*it)) return true;
  return false;
}

QString FakeDropbox::newID(const char* kind) {
  return QStringLiteral("%1:%2").arg(QLatin1String(kind)).arg(nextID_++);
}

FakeDropbox::Answer FakeDropbox::store(const QJsonObject& commit, qint64 size, QByteArray content,
                                       bool keepsBytes) {
  QString path = commit.value(QStringLiteral("path")).toString();
  if (files_.contains(path.toLower())) {
    if (!commit.value(QStringLiteral("autorename")).toBool())
      return refusal(409, QStringLiteral("path/conflict/file/.."));
    const QString wanted = path;
    for (int n = 1; files_.contains(path.toLower()); ++n) path = renamed(wanted, n);
  }
  const QString id = newID("id");
  const QString hash = keepsBytes ? contentHash(content) : QString();
  files_.insert(path.toLower(), File{id, path, size, keepsBytes ? std::move(content) : QByteArray(), now(), hash});
  if (!nameStoredFiles_) return json(200, {{QStringLiteral("size"), size}});
  return json(200, {{QStringLiteral("id"), id},
                    {QStringLiteral("path_display"), path},
                    {QStringLiteral("path_lower"), path.toLower()},
                    {QStringLiteral("size"), size}});
}

FakeDropbox::Answer FakeDropbox::handle(const Request& received) {
  std::lock_guard lock(mutex_);
  Request logged = received;
  if (logged.body.size() > kLoggedBody) logged.body.truncate(kLoggedBody);
  requests_.append(logged);
  for (qsizetype i = 0; i < scripts_.size(); ++i) {
    if (received.path.startsWith(scripts_[i].first)) return scripts_.takeAt(i).second;
  }
  if (received.method != "POST") return refusal(405, QStringLiteral("method_not_allowed"));

  const QString route = received.host + QLatin1Char(':') + received.path;
  const QJsonObject argument = received.argument();
  const QJsonObject cursor = argument.value(QStringLiteral("cursor")).toObject();
  const QString sessionID = cursor.value(QStringLiteral("session_id")).toString();
  if (route == QLatin1String("api:/oauth2/token")) return token(received);
  if (route == QLatin1String("api:/2/users/get_current_account")) {
    QJsonObject account{{QStringLiteral("account_id"), QStringLiteral("dbid:1")}};
    if (email_) account.insert(QStringLiteral("email"), *email_);
    if (displayName_)
      account.insert(QStringLiteral("name"), QJsonObject{{QStringLiteral("display_name"), *displayName_}});
    return json(200, account);
  }
  if (route == QLatin1String("api:/2/files/delete_v2")) {
    const QString target =
        QJsonDocument::fromJson(received.body).object().value(QStringLiteral("path")).toString();
    for (auto it = files_.begin(); it != files_.end(); ++it) {
      if (it->id == target || it.key() == target.toLower()) {
        const File removed = *it;
        files_.erase(it);
        return json(200, {{QStringLiteral("metadata"), QJsonObject{{QStringLiteral("id"), removed.id}}}});
      }
    }
    return refusal(409, QStringLiteral("path_lookup/not_found/"));
  }
  if (route == QLatin1String("api:/2/files/create_folder_v2")) {
    const QJsonObject body = QJsonDocument::fromJson(received.body).object();
    const QString wanted = body.value(QStringLiteral("path")).toString();
    QString path = wanted;
    if (taken(path)) {
      if (!body.value(QStringLiteral("autorename")).toBool())
        return refusal(409, QStringLiteral("path/conflict/folder/.."));
      for (int n = 1; taken(path); ++n) path = wanted + QStringLiteral(" (%1)").arg(n);
    }
    const QString id = newID("id");
    folders_.insert(path.toLower(), {id, path});
    return json(200, {{QStringLiteral("metadata"),
                       QJsonObject{{QStringLiteral("id"), id},
                                   {QStringLiteral("name"), path.section(QLatin1Char('/'), -1)},
                                   {QStringLiteral("path_display"), path},
                                   {QStringLiteral("path_lower"), path.toLower()}}}});
  }
  if (route == QLatin1String("api:/2/files/get_metadata")) {
    const QString target =
        QJsonDocument::fromJson(received.body).object().value(QStringLiteral("path")).toString();
    if (!files_.contains(target.toLower())) return refusal(409, QStringLiteral("path/not_found/.."));
    const File& found = files_[target.toLower()];
    return json(200, {{QStringLiteral(".tag"), QStringLiteral("file")},
                      {QStringLiteral("id"), found.id},
                      {QStringLiteral("path_display"), found.path},
                      {QStringLiteral("size"), found.size},
                      {QStringLiteral("content_hash"), found.contentHash},
                      {QStringLiteral("server_modified"), found.modified.toString(Qt::ISODate)}});
  }
  if (route == QLatin1String("content:/2/files/upload")) {
    Answer stored = store(argument, received.bodySize, received.body, received.bodySize <= kKeptFile);
    stored.delay = uploadDelay_;
    return stored;
  }
  if (route == QLatin1String("content:/2/files/upload_session/start")) {
    const QString id = newID("session");
    sessions_.insert(id, Session{received.bodySize, received.body, true});
    return json(200, {{QStringLiteral("session_id"), id}});
  }
  if (route == QLatin1String("content:/2/files/upload_session/append_v2") ||
      route == QLatin1String("content:/2/files/upload_session/finish")) {
    if (!sessions_.contains(sessionID)) return refusal(409, QStringLiteral("lookup_failed/not_found/"));
    Session& session = sessions_[sessionID];
    if (cursor.value(QStringLiteral("offset")).toInteger(-1) != session.size)
      return refusal(409, QStringLiteral("lookup_failed/incorrect_offset/"));
    session.size += received.bodySize;
    session.keepsBytes = session.keepsBytes && session.size <= kKeptFile;
    if (session.keepsBytes) {
      session.bytes += received.body;
    } else {
      session.bytes.clear();
    }
    if (received.path.endsWith(QLatin1String("append_v2"))) {
      Answer appended = json(200, {});
      appended.delay = pieceDelay_;
      return appended;
    }
    const Session finished = sessions_.take(sessionID);
    return store(argument.value(QStringLiteral("commit")).toObject(), finished.size, finished.bytes,
                 finished.keepsBytes);
  }
  return refusal(404, QStringLiteral("no such route"));
}

FakeDropbox::Answer FakeDropbox::token(const Request& request) {
  const QUrlQuery query(QString::fromUtf8(request.body));
  QMap<QString, QString> form;
  for (const auto& [name, value] : query.queryItems(QUrl::FullyDecoded)) form.insert(name, value);
  tokenForms_.append(form);
  ++tokensIssued_;
  QJsonObject answer{{QStringLiteral("access_token"), QStringLiteral("access-%1").arg(tokensIssued_)},
                     {QStringLiteral("expires_in"), 14400},
                     {QStringLiteral("token_type"), QStringLiteral("bearer")}};
  const QString grant = form.value(QStringLiteral("grant_type"));
  if (grant == QLatin1String("authorization_code")) {
    answer.insert(QStringLiteral("refresh_token"),
                  QStringLiteral("refresh-for-") + form.value(QStringLiteral("code")));
  } else if (grant != QLatin1String("refresh_token")) {
    return json(400, {{QStringLiteral("error"), QStringLiteral("unsupported_grant_type")}});
  }
  return json(200, answer);
}

}  // namespace pm::test
