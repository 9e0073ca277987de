#include "FTPUploader.h"

#include <QCoreApplication>
#include <QFileInfo>

#include "core/UploadError.h"
#include "platform/Log.h"

namespace pm {

namespace {

QString tr(const char* text) { return QCoreApplication::translate("FTPUploader", text); }

UploadError noServer() { return UploadError::rejected(tr("This connection has no server set.")); }
UploadError missingCredentials() { return UploadError::rejected(tr("Missing credentials.")); }

}  // namespace

FTPUploader::FTPUploader(UploaderConfig config, const Keychain& keychain, QNetworkAccessManager& network,
                         QObject* parent)
    : ConnectorUploader(std::move(config), lcFtp, network, parent),
      target_(this->config()),
      credentials_(FTPCredentials::load(keychain, this->config().id)) {}

FTPUploader::~FTPUploader() = default;

QString FTPUploader::folder() {
  if (!folder_) folder_ = timestampFolderName();
  return *folder_;
}

QCoro::Task<Registration> FTPUploader::registerUnits(QList<UploadUnit> units) {
  if (target_.host.isEmpty()) throw noServer();
  if (!credentials_ || !credentials_->isComplete()) throw missingCredentials();

  Registration registration;
  const QString bucketFolder = folder();
  for (const UploadUnit& unit : units) {
    const QString path = bucketFolder + QLatin1Char('/') + cleanFTPPath(unit.relativePath);
    QString placed = path;
    for (qint64 n = 2; owners_.contains(placed); ++n) placed = numberedPath(path, n);

    const std::optional<QUrl> url = target_.url(placed);
    if (!url) {
      registration.refused.insert(unit.id, noServer());
      continue;
    }
    if (const auto earlier = paths_.constFind(unit.id); earlier != paths_.constEnd()) owners_.remove(*earlier);
    paths_.insert(unit.id, placed);
    owners_.insert(placed, unit.id);
    registration.destinations.append(UploadDestination{unit.id, *url, QStringLiteral("PUT"), {}});
  }
  qCInfo(lcFtp, "addressed %lld of %lld files", qlonglong(registration.destinations.size()),
         qlonglong(units.size()));
  co_return registration;
}

QCoro::Task<> FTPUploader::upload(UploadUnit unit, UploadDestination destination, ProgressCallback progress,
                                  CancelTokenPtr cancel) {
  if (!credentials_ || !credentials_->isComplete()) throw missingCredentials();
  const QFileInfo file(unit.url);
  const qint64 size = file.exists() ? file.size() : 0;

  {
    const auto transfer = running_.begin(unit.id);
    QCoro::Task<> transferring = FTPTransfer::upload(destination.url, *credentials_, target_.security, unit.url,
                                                     size, progress, cancel, transferOptions_);
    co_await std::move(transferring);
  }
  if (progress) progress(1.0);
}

QCoro::Task<> FTPUploader::withdraw(QList<UploadUnit> units) {
  if (!credentials_ || !credentials_->isComplete()) co_return;
  const std::optional<QUrl> server = target_.serverURL();
  if (!server) co_return;

  for (const UploadUnit& unit : units) {
    const auto placed = paths_.constFind(unit.id);
    if (placed == paths_.constEnd()) continue;
    const QString path = *placed;
    paths_.erase(placed);
    owners_.remove(path);

    co_await running_.waitUntilStopped(unit.id);
    // The full path from the login folder, as the upload's URL had it: libcurl sends the command before it
    // changes into any folder.
    const QString remote = target_.remotePath(path);
    try {
      QCoro::Task<> deleting = FTPTransfer::sendCommand(QStringLiteral("DELE ") + remote, *server, target_.security,
                                                        *credentials_, std::chrono::seconds(0), transferOptions_);
      co_await std::move(deleting);
    } catch (...) {
      qCInfo(lcFtp, "could not delete %s: %s", qUtf8Printable(privateValue(remote)),
             qUtf8Printable(UploadError::from(std::current_exception()).message()));
    }
  }
}

}  // namespace pm
