#pragma once

#include "platform/Keychain.h"

namespace pm::test {

class PrivateDesktopSession;

// The keyring of a test's own desktop session as a Keychain, for an in-process settings program that plays
// one of several computers: libsecret reaches only the process's own session bus, so each call goes
// through the session's helper process instead.
class SessionKeychain final : public Keychain {
 public:
  explicit SessionKeychain(const PrivateDesktopSession& session) : session_(session) {}

  Lookup find(const QString& service, const QString& account) const override;
  bool store(const QString& service, const QString& account, const QByteArray& data) override;
  // The helper cannot delete: true only when there was no such item to begin with.
  bool remove(const QString& service, const QString& account) override;

 private:
  const PrivateDesktopSession& session_;
};

}  // namespace pm::test
