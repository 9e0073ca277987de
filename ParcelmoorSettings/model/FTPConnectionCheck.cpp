#include "FTPConnectionCheck.h"

#include <QCoreApplication>

#include "connectors/FTPCredentials.h"
#include "core/UploadError.h"
#include "model/FTPTarget.h"

namespace pm::settings {

namespace {

QString translated(const char* text) {
  return QCoreApplication::translate("FTPConnectionCheck", text);
}

constexpr std::chrono::seconds kCheckTimeout{15};

}  // namespace

QCoro::Task<std::optional<QString>> testFTPConnection(UploaderConfig config, const Keychain& keychain,
                                                      FTPTransferOptions options) {
  const FTPTarget target(config);
  if (target.host.isEmpty()) co_return translated("Fill in the server first.");
  const std::optional<FTPCredentials> login = FTPCredentials::load(keychain, config.id);
  if (!login || !login->isComplete()) co_return translated("Missing credentials.");
  const std::optional<QUrl> folder = target.url(QString());
  if (!folder) co_return translated("The server could not be read as an address.");
  try {
    QCoro::Task<> sending = FTPTransfer::sendCommand(std::nullopt, *folder, target.security, *login,
                                                     kCheckTimeout, std::move(options));
    co_await std::move(sending);
  } catch (const UploadError& error) {
    co_return error.message();
  } catch (const std::exception& error) {
    co_return QString::fromUtf8(error.what());
  }
  co_return std::nullopt;
}

}  // namespace pm::settings
