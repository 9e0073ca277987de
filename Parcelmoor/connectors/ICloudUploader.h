#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QUuid>

#include <optional>

#include "connectors/ConnectorUploader.h"
#include "connectors/RunningTransfers.h"

namespace pm {

class SharedDefaults;
class Signals;

// The connection kind "icloud" on this system: a synced folder on this computer. The folder
// "iCloud.com.wrenfold.Parcelmoor" inside the root ($XDG_DATA_HOME/parcelmoor/drive, which the user makes,
// or makes a link to a folder a sync client keeps) plays the container; its "Documents" folder takes a
// folder per bucket. Without the root the synced folder counts as switched off. Nothing is ever replaced
// there: a name that is taken, in this bucket or on disk, gets " 2", " 3" and so on. Finishing yields
// "done".
class ICloudUploader final : public ConnectorUploader {
  Q_OBJECT

 public:
  static constexpr char kContainer[] = "iCloud.com.wrenfold.Parcelmoor";
  static constexpr char kDocuments[] = "Documents";
  static constexpr char kProbePrefix[] = ".parcelmoor-check-";
  static constexpr char kRootVariable[] = "PARCELMOOR_UBIQUITY_ROOT";

  // The root: PARCELMOOR_UBIQUITY_ROOT when set, else $XDG_DATA_HOME/parcelmoor/drive.
  static QString standardRoot();

  // The container's Documents folder under `root`, made when missing (a failure to make it shows in the
  // availability check); nothing when `root` is not a folder.
  static std::optional<QString> documentsFolder(const QString& root);
  // Where the connection's buckets go: the Documents folder, or the key prefix's folders inside it
  // (empty pieces dropped; "." and ".." too, so a prefix never leads out of the folder).
  static std::optional<QString> baseFolder(const UploaderConfig& config, const QString& root);
  // Probes the folder with a file it writes and removes, stores the problem (or "" when usable) under
  // "icloudState" and the time of the check under "icloudCheckedAt", then posts "settingsChanged"
  // (when `signals` is given). Returns the problem.
  static std::optional<QString> checkAvailability(const QString& root, SharedDefaults& defaults, Signals* signals);
  // The problem the last check stored; nothing when the synced folder is usable.
  static std::optional<QString> lastAvailabilityProblem(const SharedDefaults& defaults);
  // "The synced folder is switched off on this computer."
  static QString switchedOffText();

  // `root` empty: standardRoot(). `signals` may be null (nothing is posted then).
  ICloudUploader(UploaderConfig config, QString root, SharedDefaults& defaults, Signals* signals,
                 QNetworkAccessManager& network, QObject* parent = nullptr);
  ~ICloudUploader() override;

  QCoro::Task<Registration> registerUnits(QList<UploadUnit> units) override;
  QCoro::Task<> upload(UploadUnit unit, UploadDestination destination, ProgressCallback progress,
                       CancelTokenPtr cancel) override;
  // Removes the copies of the units, after a running copy has stopped. Failures are logged only.
  QCoro::Task<> withdraw(QList<UploadUnit> units) override;

  const QString& root() const { return root_; }
  // The bucket's folder name, fixed at its first use.
  QString folder();
  // Where each registered unit is placed (local paths).
  const QHash<QUuid, QString>& files() const { return files_; }

 private:
  QString uniqueDestination(const QString& target) const;
  void place(const QUuid& unitID, const QString& path);

  QString root_;
  SharedDefaults& defaults_;
  Signals* signals_;
  std::optional<QString> folder_;
  QHash<QUuid, QString> files_;
  QSet<QString> placed_;           // the values of files_
  QHash<QUuid, QString> wanted_;  // each unit's name before numbering
  RunningTransfers running_;
};

}  // namespace pm
