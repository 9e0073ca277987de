#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QCryptographicHash>
#include <QList>
#include <QMap>
#include <QString>
#include <QUrl>

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>

#include "connectors/QuickXorHash.h"
#include "support/FakeExchanges.h"
#include "support/LocalHttpServer.h"

namespace pm::test {

// The Microsoft identity platform's token endpoint and the part of Microsoft Graph the OneDrive uploader
// uses, faked on 127.0.0.1 at a free port: code exchange and renewal, the app folder, folder creation
// (409 when the name exists, or renamed "name 1", "name 2", … when asked to rename), upload sessions and
// their ranged uploads, cancelling a session (a session that completed is gone: 404), an item's metadata
// with its QuickXorHash, and deleting an item by id. Like Graph, a session takes a range only where the last one ended, and only the final
// range of a file may be of a length that is not a multiple of 327,680 bytes; the final one stores the
// item, renamed "name 1.ext", "name 2.ext", … when its folder holds the name already. The token endpoint
// answers at "/common/oauth2/v2.0/token" (point the login endpoint at url()), Graph under "/v1.0/" (point
// the Graph endpoint at url("/v1.0/")), sessions at "/upload/…". Every request is logged with its raw
// target; a test can script one-shot answers in front of the built-in behaviour.
class FakeMicrosoft {
 public:
  using Request = FakeRequest;
  using Answer = FakeAnswer;

  struct Item {
    QString id;
    QString name;
    QString parent;  // the parent's id
    bool folder = false;
    qint64 size = 0;
    QByteArray sha256;  // of the stored bytes
    QDateTime created;
    QString quickXorHash;  // of the stored bytes, as Graph writes it; empty when unknown
  };

  static constexpr qint64 kRangeUnit = 327'680;

  FakeMicrosoft();

  QUrl url(const QString& path = {}) const { return server_.url(path); }
  QString appRootID() const { return QStringLiteral("approot-0"); }

  void script(QByteArray method, QString pathPrefix, Answer answer, QByteArray bodyContains = {});
  // What the token endpoint puts into the identity token's claims (a JSON object); nothing: no id_token.
  void setIDTokenClaims(std::optional<QByteArray> claims);
  // Holds every answer to a piece this long, as a slow link would.
  void holdUploads(std::chrono::milliseconds delay);
  // Puts an item into the app folder tree as another bucket or program would, now; returns its id.
  QString addItem(const QString& name, const QString& parent, bool folder = false, qint64 size = 0);
  // Puts a file of these bytes there the same way; returns its id.
  QString addFile(const QString& name, const QString& parent, const QByteArray& bytes);
  // The time Graph stamps on what it makes from now on (else the current time).
  void setNow(QDateTime now);
  // Whether the answer that completes an upload names the item it stored (as Graph's does), or names nothing.
  void nameStoredFiles(bool name);

  QList<Request> requests() const;
  // The requests whose path starts with `prefix`.
  QList<Request> requests(const QString& prefix) const;
  // The decoded forms posted to the token endpoint, in order.
  QList<QMap<QString, QString>> tokenForms() const;
  QList<Item> items() const;
  std::optional<Item> item(const QString& id) const;
  // "a/b/c" from the app folder down to the item.
  QString pathOf(const QString& id) const;
  // Paths of every stored file (not folder), sorted.
  QStringList filePaths() const;
  // Upload sessions opened and not yet completed or cancelled.
  int openSessions() const;

 private:
  struct Session {
    QString name;
    QString parent;
    qint64 received = 0;
    std::shared_ptr<QCryptographicHash> hash;
    std::shared_ptr<QuickXorHash> quickXor;
  };

  Answer handle(const Request& request);
  Answer token(const Request& request);
  Answer graph(const Request& request, const QString& route);
  Answer upload(const Request& request, const QString& sessionID);
  // The id of the item at `path` (decoded, "/"-separated) below `from`; nothing when absent.
  std::optional<QString> resolve(const QString& from, const QString& path) const;
  std::optional<QString> child(const QString& parent, const QString& name) const;
  QString newID(const char* kind);
  QDateTime now() const;

  mutable std::mutex mutex_;
  FakeExchanges exchanges_;
  QList<QMap<QString, QString>> tokenForms_;
  QMap<QString, Item> items_;
  QMap<QString, Session> sessions_;
  std::optional<QByteArray> claims_ = QByteArray(R"({"preferred_username":"ada@outlook.com","name":"Ada"})");
  int nextID_ = 1;
  std::chrono::milliseconds uploadDelay_{0};
  std::optional<QDateTime> now_;
  bool nameStoredFiles_ = true;
  LocalHttpServer server_;  // last: it stops before the state its handler touches goes away
};

}  // namespace pm::test
