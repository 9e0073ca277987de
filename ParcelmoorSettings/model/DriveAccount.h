#pragma once

#include <QCoroTask>

#include <QString>
#include <QUuid>

#include <optional>

#include "connectors/OAuthProvider.h"
#include "core/UploaderConfig.h"
#include "model/TokenRenewal.h"

namespace pm {
class Clock;
class Keychain;
}  // namespace pm

namespace pm::settings {

// One drive provider as the account check sees it: whose tokens, the words for a connection without an
// account, the renewal of a stale access token, and one small authorised request that proves the
// account still answers.
class DriveAccount {
 public:
  virtual ~DriveAccount() = default;

  virtual OAuthProvider provider() const = 0;
  // "This connection has no … account yet."
  virtual QString missingAccountText() const = 0;
  virtual const TokenRenewal& renewal() const = 0;
  // Throws UploadError (rejected, transport) and NetworkFailure.
  virtual QCoro::Task<> requestAccount(QString accessToken) const = 0;
};

// The stored access token of connection `id` when it is valid for more than another minute; otherwise
// the renewed one, whose credentials are stored first (a failed store is logged; the token still serves
// this check). Throws UploadError rejected with missingAccountText() when no tokens or no refresh token
// are stored, and the renewal's failures, storing nothing then.
QCoro::Task<QString> freshAccessToken(QUuid id, const DriveAccount& account, Keychain& keychain,
                                      const Clock& clock);

// The test of a Google Drive, OneDrive or Dropbox connection: a fresh access token, then the account
// request. Nothing on success, else the text to show. Never throws.
QCoro::Task<std::optional<QString>> testDriveConnection(UploaderConfig config, const DriveAccount& account,
                                                        Keychain& keychain, const Clock& clock);

}  // namespace pm::settings
