#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <QUrl>

#include <chrono>
#include <mutex>
#include <optional>

#include "support/FakeExchanges.h"
#include "support/LocalHttpServer.h"

namespace pm::test {

// Google's token endpoint and the part of the Drive v3 API the uploader uses, faked on 127.0.0.1 at a free
// port: the token exchange and renewal, folder and file lookups by query, folder creation, resumable upload
// sessions, the uploads to them and their status ("Content-Range: bytes */size" with no body: 308 while
// nothing is stored, 200 and the file once it is), deletion by id and the account's e-mail. Drive's files live in memory.
// The Drive API answers under "/api" (point the API endpoint at url("/api")), the token endpoint at
// "/token", and upload sessions at "/upload/session/…". Every request is logged with its raw target; a test can script one-shot answers in front of the
// built-in behaviour.
class FakeGoogle {
 public:
  using Request = FakeRequest;
  using Answer = FakeAnswer;

  struct File {
    QString id;
    QString name;
    QString parent;
    QString mimeType;
    qint64 size = 0;
    QDateTime created;
  };

  static constexpr char kFolderMimeType[] = "application/vnd.google-apps.folder";

  FakeGoogle();

  QUrl url(const QString& path = {}) const { return server_.url(path); }

  // Answers the next request with `method` whose path starts with `pathPrefix` (and, when given, whose body
  // contains `bodyContains`) with `answer` instead of the built-in behaviour. Scripts are used in order.
  void script(QByteArray method, QString pathPrefix, Answer answer, QByteArray bodyContains = {});
  // What the about request names as the account's e-mail; nothing leaves "user" out.
  void setEmail(std::optional<QString> email);
  // Where the Location of an upload session points (another server, for the benchmark).
  void setUploadBase(QUrl base);
  // Puts a file into Drive as another bucket or another program would, made now; returns its id.
  QString addFile(const QString& name, const QString& parent, const QString& mimeType = {}, qint64 size = 0);
  // The time Drive stamps on what it makes from now on (else the current time).
  void setNow(QDateTime now);
  // Holds every answer to an upload this long after the file is stored, as a slow link would.
  void holdUploads(std::chrono::milliseconds delay);
  // Whether the answer to an upload names the file it stored (as Drive's does), or names nothing; a status
  // query always names it.
  void nameStoredFiles(bool name);

  QList<Request> requests() const;
  // The requests whose path starts with `prefix`.
  QList<Request> requests(const QString& prefix) const;
  // The decoded forms posted to the token endpoint, in order.
  QList<QMap<QString, QString>> tokenForms() const;
  QList<File> files() const;
  // The file of that id; nothing when there is none.
  std::optional<File> file(const QString& id) const;
  // "a/b/c" for the folders and name from the Drive root down to the file (the root is "root").
  QString pathOf(const QString& id) const;
  // How many access tokens the token endpoint handed out.
  int tokensIssued() const;

 private:
  struct Session {
    QString name;
    QString parent;
    QString fileID;  // once an upload stored the file
  };

  Answer handle(const Request& request);
  Answer token(const Request& request);
  Answer findFiles(const Request& request, const QMap<QString, QString>& query);
  QString newID(const char* kind);
  QDateTime now() const;

  mutable std::mutex mutex_;
  FakeExchanges exchanges_;
  QList<QMap<QString, QString>> tokenForms_;
  QMap<QString, File> files_;
  QMap<QString, Session> sessions_;
  std::optional<QString> email_ = QStringLiteral("someone@example.com");
  QUrl uploadBase_;
  std::optional<QDateTime> now_;
  std::chrono::milliseconds uploadDelay_{0};
  bool nameStoredFiles_ = true;
  int nextID_ = 1;
  int tokensIssued_ = 0;
  LocalHttpServer server_;  // last: it stops before the state its handler touches goes away
};

}  // namespace pm::test
