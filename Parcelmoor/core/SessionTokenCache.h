#pragma once

#include <QFuture>
#include <QList>
#include <QObject>
#include <QString>

#include <QCoroTask>

#include <optional>

#include "core/SessionToken.h"

namespace pm {

class Keychain;

// The session token as the agent knows it, so that authorised requests do not each wait for the keychain
// on the main thread. The first load reads the keychain on a worker thread and keeps what it found; loads
// that come meanwhile share that one read. The agent's own writes are taken as read (remember), and
// whatever may have changed the item behind the agent's back (a refused token, a change announced by the
// Secret Service) makes the next load read it again (forget).
class SessionTokenCache final : public QObject {
  Q_OBJECT

 public:
  // `account` is the item's account, "session-token" but for tests that share one keyring.
  explicit SessionTokenCache(const Keychain& keychain, QString account = sessionTokenAccount(),
                             QObject* parent = nullptr);
  // Waits for a read still running: it uses the keychain, which may go right after this.
  ~SessionTokenCache() override;

  SessionTokenCache(const SessionTokenCache&) = delete;
  SessionTokenCache& operator=(const SessionTokenCache&) = delete;

  // The stored token, or nothing when none is stored or the keychain could not be read; a keychain that
  // did not answer is asked again by the next load.
  QCoro::Task<std::optional<QString>> load();
  // Starts the read a load would make, without waiting for it: a load that comes later finds it under way
  // or done.
  void readAhead();
  // What this program has just stored (a token) or deleted (nothing).
  void remember(std::optional<QString> token);
  // The item may hold something else now: the next load reads it again.
  void forget();

 private:
  using Known = std::optional<QString>;
  using Read = KeychainStringLookup;

  void startReadUnlessCurrent();

  const Keychain& keychain_;
  const QString account_;
  std::optional<Known> known_;
  // Bumped by every remember and forget, so a read that started before one of them is not kept.
  quint64 generation_ = 0;
  // The read a load waits for, and the generation it was started in.
  std::optional<QFuture<Read>> reading_;
  quint64 readingGeneration_ = 0;
  // Reads that were overtaken while they ran; they still use the keychain until they end.
  QList<QFuture<Read>> overtaken_;
};

}  // namespace pm
