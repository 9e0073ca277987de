#pragma once

#include <QString>
#include <QUuid>

#include <QCoroTask>

#include <optional>

#include "connectors/OAuthCredentials.h"
#include "connectors/OAuthProvider.h"
#include "core/UploaderConfig.h"

namespace pm {

// Whether the provider's tokens carry no account label, so the label is asked for after signing in.
bool needsAccountLabel(OAuthProvider provider);

// What connecting a drive account needs of the drive connectors: the browser sign-in, the account label
// and the keychain item of the connection's tokens. Sign-in and label lookup throw on failure; the
// exception's text is what the agent logs.
class DriveSignIns {
 public:
  virtual ~DriveSignIns() = default;

  // The new credentials, with an empty account where the provider's tokens name none.
  virtual QCoro::Task<OAuthCredentials> signIn(OAuthProvider provider) = 0;
  virtual QCoro::Task<QString> fetchAccountLabel(OAuthProvider provider, QString accessToken) = 0;
  // Replaces the tokens stored for `connection` and `provider`. False when the keychain refused them.
  virtual bool save(const OAuthCredentials& credentials, const QUuid& connection, OAuthProvider provider) = 0;
};

}  // namespace pm
