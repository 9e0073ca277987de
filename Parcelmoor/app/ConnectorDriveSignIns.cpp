#include "ConnectorDriveSignIns.h"

#include <stdexcept>

#include "connectors/DropboxSignIn.h"
#include "connectors/DropboxUploader.h"
#include "connectors/GoogleDriveUploader.h"
#include "connectors/GoogleSignIn.h"
#include "connectors/OneDriveSignIn.h"

namespace pm {

namespace {

std::runtime_error notAvailable(OAuthProvider provider) {
  return std::runtime_error("signing in to " + providerName(provider).toStdString() +
                            " is not available yet in this build");
}

}  // namespace

ConnectorDriveSignIns::ConnectorDriveSignIns(Keychain& keychain, std::shared_ptr<const GoogleSignIn> google,
                                             std::shared_ptr<const OneDriveSignIn> oneDrive,
                                             std::shared_ptr<const DropboxSignIn> dropbox)
    : keychain_(keychain),
      google_(std::move(google)),
      oneDrive_(std::move(oneDrive)),
      dropbox_(std::move(dropbox)) {}

ConnectorDriveSignIns::~ConnectorDriveSignIns() = default;

QCoro::Task<OAuthCredentials> ConnectorDriveSignIns::signIn(OAuthProvider provider) {
  switch (provider) {
    case OAuthProvider::google: {
      if (!google_) break;
      QCoro::Task<OAuthCredentials> connecting = google_->connect();
      co_return co_await std::move(connecting);
    }
    case OAuthProvider::microsoft: {
      if (!oneDrive_) break;
      QCoro::Task<OAuthCredentials> connecting = oneDrive_->connect();
      co_return co_await std::move(connecting);
    }
    case OAuthProvider::dropbox: {
      if (!dropbox_) break;
      QCoro::Task<OAuthCredentials> connecting = dropbox_->connect();
      co_return co_await std::move(connecting);
    }
  }
  throw notAvailable(provider);
}

QCoro::Task<QString> ConnectorDriveSignIns::fetchAccountLabel(OAuthProvider provider, QString accessToken) {
  switch (provider) {
    case OAuthProvider::google: {
      if (!google_) break;
      QCoro::Task<QString> asking = GoogleDriveUploader::fetchAccountLabel(
          google_->network(), google_->endpoints(), std::move(accessToken));
      co_return co_await std::move(asking);
    }
    case OAuthProvider::dropbox: {
      if (!dropbox_) break;
      QCoro::Task<QString> asking = DropboxUploader::fetchAccountLabel(
          dropbox_->network(), dropbox_->endpoints(), std::move(accessToken));
      co_return co_await std::move(asking);
    }
    case OAuthProvider::microsoft:
      break;
  }
  throw notAvailable(provider);
}

bool ConnectorDriveSignIns::save(const OAuthCredentials& credentials, const QUuid& connection,
                                 OAuthProvider provider) {
  return OAuthCredentials::save(keychain_, credentials, connection, provider);
}

}  // namespace pm
