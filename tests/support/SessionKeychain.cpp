#include "SessionKeychain.h"

#include <exception>

#include "PrivateDesktopSession.h"

namespace pm::test {

Keychain::Lookup SessionKeychain::find(const QString& service, const QString& account) const {
  try {
    std::optional<QByteArray> found = session_.loadSecret(service, account);
    if (!found) return {};
    return {Status::Found, std::move(*found)};
  } catch (const std::exception&) {
    return {Status::Failed, {}};
  }
}

bool SessionKeychain::store(const QString& service, const QString& account, const QByteArray& data) {
  try {
    session_.storeSecret(service, account, data);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool SessionKeychain::remove(const QString& service, const QString& account) {
  return find(service, account).status == Status::NotFound;
}

}  // namespace pm::test
