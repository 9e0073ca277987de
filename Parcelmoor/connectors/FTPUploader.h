#pragma once

#include <QHash>
#include <QString>
#include <QUuid>

#include <optional>

#include "connectors/ConnectorUploader.h"
#include "connectors/FTPCredentials.h"
#include "connectors/FTPTarget.h"
#include "connectors/FTPTransfer.h"
#include "connectors/RunningTransfers.h"

namespace pm {

class Keychain;

// Uploads a bucket to an FTP or FTPS server into "<directory>/<timestamp>/", one connection per file, and
// deletes the files of removed items again. Finishing yields "done": FTP has no share links. The login is
// read from the keychain once; a login changed in the settings applies from the next bucket on.
class FTPUploader final : public ConnectorUploader {
  Q_OBJECT

 public:
  FTPUploader(UploaderConfig config, const Keychain& keychain, QNetworkAccessManager& network,
              QObject* parent = nullptr);
  ~FTPUploader() override;

  QCoro::Task<Registration> registerUnits(QList<UploadUnit> units) override;
  QCoro::Task<> upload(UploadUnit unit, UploadDestination destination, ProgressCallback progress,
                       CancelTokenPtr cancel) override;
  // Waits for a unit's running transfer to stop before deleting its file, so an aborted upload cannot
  // land after the deletion. Failures are logged only.
  QCoro::Task<> withdraw(QList<UploadUnit> units) override;

  const FTPTarget& target() const { return target_; }
  const std::optional<FTPCredentials>& credentials() const { return credentials_; }
  // The bucket's folder name, fixed at its first use.
  QString folder();
  // The path given to each registered unit, relative to the target's directory.
  const QHash<QUuid, QString>& paths() const { return paths_; }

  const FTPTransfer::Options& transferOptions() const { return transferOptions_; }
  void setTransferOptions(FTPTransfer::Options options) { transferOptions_ = std::move(options); }

 private:
  FTPTarget target_;
  std::optional<FTPCredentials> credentials_;
  std::optional<QString> folder_;
  QHash<QUuid, QString> paths_;
  QHash<QString, QUuid> owners_;  // the reverse of paths_, so numbering a name stays cheap
  RunningTransfers running_;
  FTPTransfer::Options transferOptions_;
};

}  // namespace pm
