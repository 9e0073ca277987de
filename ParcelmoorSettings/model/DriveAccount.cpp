#include "DriveAccount.h"

#include "connectors/HttpExchange.h"
#include "connectors/OAuthCredentials.h"
#include "connectors/OAuthFailure.h"
#include "core/UploadError.h"
#include "model/OAuthSupport.h"
#include "platform/Clock.h"
#include "platform/Log.h"

namespace pm::settings {

namespace {

bool hasRefreshToken(const std::optional<OAuthCredentials>& credentials) {
  return credentials && !credentials->refreshToken.isEmpty();
}

}  // namespace

QCoro::Task<QString> freshAccessToken(QUuid id, const DriveAccount& account, Keychain& keychain,
                                      const Clock& clock) {
  const std::optional<OAuthCredentials> stored = OAuthCredentials::load(keychain, id, account.provider());
  if (!hasRefreshToken(stored)) throw UploadError::rejected(account.missingAccountText());
  if (stored->isFresh(clock.now())) co_return stored->accessToken;
  const OAuthCredentials renewed = co_await account.renewal().refreshed(*stored);
  if (!OAuthCredentials::save(keychain, renewed, id, account.provider()))
    qCWarning(lcSettings, "the renewed %s tokens could not be stored; they serve this check only",
              qUtf8Printable(providerName(account.provider())));
  co_return renewed.accessToken;
}

QCoro::Task<std::optional<QString>> testDriveConnection(UploaderConfig config, const DriveAccount& account,
                                                        Keychain& keychain, const Clock& clock) {
  // Checked before anything is sent, so a connection without an account makes no request at all.
  if (!hasRefreshToken(OAuthCredentials::load(keychain, config.id, account.provider())))
    co_return account.missingAccountText();
  try {
    const QString token = co_await freshAccessToken(config.id, account, keychain, clock);
    co_await account.requestAccount(token);
  } catch (const UploadError& error) {
    co_return error.message();
  } catch (const OAuthFailure& failure) {
    co_return message(failure);
  } catch (const std::exception& error) {
    co_return QString::fromUtf8(error.what());
  }
  co_return std::nullopt;
}

}  // namespace pm::settings
