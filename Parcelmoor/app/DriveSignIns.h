#pragma once

#include <QDateTime>
#include <QString>
#include <QUuid>

#include <QCoroTask>

#include <optional>

#include "core/UploaderConfig.h"

namespace pm {

// The account provider behind a drive connection; it picks the sign-in and the keychain service of the
// connection's tokens.
enum class DriveProvider { google, microsoft, dropbox };

// "google", "microsoft" or "dropbox": the word the agent's log lines use.
QString providerWord(DriveProvider provider);
// The provider of a drive connection kind; nothing for every other kind.
std::optional<DriveProvider> driveProvider(UploaderConfig::Kind kind);
// Whether the provider's tokens carry no account label, so the label is asked for after signing in.
bool needsAccountLabel(DriveProvider provider);

// The tokens of one drive connection as a sign-in yields them.
struct DriveCredentials {
  QString refreshToken;
  QString account;  // the label shown to the user
  QString accessToken;
  QDateTime expiresAt;

  bool operator==(const DriveCredentials&) const = default;
};

// What connecting a drive account needs of the drive connectors: the browser sign-in, the account label
// and the keychain item of the connection's tokens. Sign-in and label lookup throw on failure; the
// exception's text is what the agent logs.
class DriveSignIns {
 public:
  virtual ~DriveSignIns() = default;

  virtual QCoro::Task<DriveCredentials> signIn(DriveProvider provider) = 0;
  virtual QCoro::Task<QString> fetchAccountLabel(DriveProvider provider, QString accessToken) = 0;
  // Replaces the tokens stored for `connection` and `provider`. False when the keychain refused them.
  virtual bool save(const DriveCredentials& credentials, const QUuid& connection, DriveProvider provider) = 0;
};

}  // namespace pm
