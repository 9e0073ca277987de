#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <chrono>
#include <mutex>
#include <optional>

#include "support/LocalHttpServer.h"

namespace pm::test {

// Dropbox's token endpoint, the RPC routes and the content routes the uploader uses, faked on 127.0.0.1 at
// a free port, with the stored files in memory: the code exchange and renewal, the current account, upload
// in one request (renaming "a.txt" to "a (1).txt" on a conflict, as "autorename" asks), upload sessions
// that check every piece's offset, folder creation (renamed "name (1)" the same way), file metadata with
// Dropbox's content hash, and deletion by id or path. The API endpoint answers under "/api" and
// the content endpoint under "/content", so a test can tell which host a request reached. Every request
// is logged; a test can script one-shot answers in front of the built-in behaviour.
class FakeDropbox {
 public:
  struct Request {
    QByteArray method;
    QString path;                          // without the "/api" or "/content" of its host
    QString host;                          // "api" or "content"
    QMap<QByteArray, QByteArray> headers;  // names lower-cased
    QByteArray body;                       // only the first 64 KiB of a large body
    qint64 bodySize = 0;

    QByteArray header(const QByteArray& name) const { return headers.value(name.toLower()); }
    // The decoded "Dropbox-API-Arg" object.
    QJsonObject argument() const;
  };

  struct Answer {
    int status = 200;
    QByteArray body;
    std::chrono::milliseconds delay{0};  // held back this long (cut short when the server stops)
  };

  struct File {
    QString id;
    QString path;  // as displayed
    qint64 size = 0;
    QByteArray bytes;  // kept only for files of up to 16 MiB
    QDateTime modified;
    QString contentHash;  // of the kept bytes; empty for a larger file
  };

  FakeDropbox();

  QUrl apiEndpoint() const { return server_.url(QStringLiteral("/api")); }
  QUrl contentEndpoint() const { return server_.url(QStringLiteral("/content")); }

  // Answers the next request whose path starts with `pathPrefix` with `answer`. Scripts are used in order.
  void script(QString pathPrefix, Answer answer);
  // Holds every answer to an appended piece this long, as a slow link would.
  void holdPieces(std::chrono::milliseconds delay);
  // What the current account names; nothing leaves the field out.
  void setAccount(std::optional<QString> email, std::optional<QString> displayName);
  // Puts a file into the Dropbox as another program would, now; returns its id.
  QString addFile(const QString& path, const QByteArray& bytes);
  // The time Dropbox stamps on what it stores from now on (else the current time).
  void setNow(QDateTime now);
  // Holds every answer to an upload in one request this long after the file is stored.
  void holdUploads(std::chrono::milliseconds delay);
  // Whether the answer to an upload names the file it stored (as Dropbox's does), or names nothing.
  void nameStoredFiles(bool name);

  QList<Request> requests() const;
  // The requests to paths that start with `prefix`.
  QList<Request> requests(const QString& prefix) const;
  // The decoded forms posted to the token endpoint, in order.
  QList<QMap<QString, QString>> tokenForms() const;
  QList<File> files() const;
  // The file at `path` (compared case-insensitively); nothing when there is none.
  std::optional<File> file(const QString& path) const;
  // Upload sessions started and not finished.
  int openSessions() const;
  // The folders made, as displayed.
  QStringList folders() const;

 private:
  struct Session {
    qint64 size = 0;
    QByteArray bytes;
    bool keepsBytes = true;
  };

  Answer handle(const Request& request);
  Answer token(const Request& request);
  Answer store(const QJsonObject& commit, qint64 size, QByteArray bytes, bool keepsBytes);
  QString newID(const char* kind);
  QDateTime now() const;
  // Whether a file or folder is at `path`, or below it.
  bool taken(const QString& path) const;

  mutable std::mutex mutex_;
  QList<Request> requests_;
  QList<std::pair<QString, Answer>> scripts_;
  QList<QMap<QString, QString>> tokenForms_;
  QMap<QString, File> files_;  // by lower-case path
  QMap<QString, Session> sessions_;
  QMap<QString, std::pair<QString, QString>> folders_;  // by lower-case path: id and displayed path
  std::optional<QString> email_ = QStringLiteral("someone@example.com");
  std::optional<QString> displayName_ = QStringLiteral("Some One");
  std::chrono::milliseconds pieceDelay_{0};
  std::chrono::milliseconds uploadDelay_{0};
  std::optional<QDateTime> now_;
  bool nameStoredFiles_ = true;
  int nextID_ = 1;
  int tokensIssued_ = 0;
  LocalHttpServer server_;  // last: it stops before the state its handler touches goes away
};

}  // namespace pm::test
