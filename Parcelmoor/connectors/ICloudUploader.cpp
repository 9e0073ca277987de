#include "ICloudUploader.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

#include <atomic>

#include "connectors/ProgressPoster.h"
#include "connectors/SyncedFolderCopy.h"
#include "core/ICloudAvailability.h"
#include "core/Identifiers.h"
#include "platform/Log.h"
#include "platform/SharedDefaults.h"
#include "platform/SharedNames.h"
#include "platform/Signals.h"

namespace pm {

namespace {

// "/"-separated pieces without empty ones and without "." and "..", which would leave the folder.
QStringList safePieces(const QString& path) {
  QStringList pieces = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
  pieces.removeIf([](const QString& piece) { return piece == QLatin1String(".") || piece == QLatin1String(".."); });
  return pieces;
}

// Whether anything (a file, a folder, a link, even a dangling one) has this name.
bool existsOnDisk(const QString& path) {
  const QFileInfo info(path);
  return info.exists() || info.isSymLink();
}

}  // namespace

QString ICloudUploader::standardRoot() {
  const QString configured = qEnvironmentVariable(kRootVariable);
  if (!configured.isEmpty()) return configured;
  return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/parcelmoor/drive");
}

std::optional<QString> ICloudUploader::documentsFolder(const QString& root) {
  if (root.isEmpty() || !QFileInfo(root).isDir()) return std::nullopt;
  const QString documents = QDir(root).filePath(QLatin1String(kContainer) + QLatin1Char('/') + QLatin1String(kDocuments));
  QDir().mkpath(documents);
  return documents;
}

std::optional<QString> ICloudUploader::baseFolder(const UploaderConfig& config, const QString& root) {
  const std::optional<QString> documents = documentsFolder(root);
  if (!documents) return std::nullopt;
  const QStringList pieces = safePieces(config.keyPrefix);
  if (pieces.isEmpty()) return documents;
  return *documents + QLatin1Char('/') + pieces.join(QLatin1Char('/'));
}

QString ICloudUploader::switchedOffText() {
  return QCoreApplication::translate("ICloudUploader", "iCloud Drive is switched off on this computer.");
}

std::optional<QString> ICloudUploader::checkAvailability(const QString& root, SharedDefaults& defaults,
                                                         Signals* signals) {
  std::optional<QString> problem;
  if (const std::optional<QString> documents = documentsFolder(root)) {
    QFile probe(*documents + QLatin1Char('/') + QLatin1String(kProbePrefix) + uuidText(QUuid::createUuid()));
    if (!probe.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
      problem = probe.errorString();
    } else {
      probe.close();
      if (!probe.remove()) problem = probe.errorString();
    }
  } else {
    problem = switchedOffText();
  }
  defaults.set(QString::fromLatin1(names::key::kICloudState), problem.value_or(QString()));
  // Written after the state on every check: the settings program waits for this stamp to move.
  defaults.set(QString::fromLatin1(names::key::kICloudCheckedAt),
               double(QDateTime::currentMSecsSinceEpoch()) / 1000.0);
  if (signals) signals->postDarwinNotification(QString::fromLatin1(names::signal::kSettingsChanged));
  return problem;
}

std::optional<QString> ICloudUploader::lastAvailabilityProblem(const SharedDefaults& defaults) {
  return iCloudLastAvailabilityProblem(defaults);
}

ICloudUploader::ICloudUploader(UploaderConfig config, QString root, SharedDefaults& defaults, Signals* signals,
                               QNetworkAccessManager& network, QObject* parent)
    : ConnectorUploader(std::move(config), lcICloud, network, parent),
      root_(root.isEmpty() ? standardRoot() : std::move(root)),
      defaults_(defaults),
      signals_(signals) {}

ICloudUploader::~ICloudUploader() = default;

QString ICloudUploader::folder() {
  if (!folder_) folder_ = timestampFolderName();
  return *folder_;
}

QString ICloudUploader::uniqueDestination(const QString& target) const {
  const auto taken = [&](const QString& path) { return placed_.contains(path) || existsOnDisk(path); };
  if (!taken(target)) return target;
  qint64 n = 2;
  while (taken(numberedPath(target, n))) ++n;
  return numberedPath(target, n);
}

void ICloudUploader::place(const QUuid& unitID, const QString& path) {
  if (const auto earlier = files_.constFind(unitID); earlier != files_.constEnd()) placed_.remove(*earlier);
  files_.insert(unitID, path);
  placed_.insert(path);
}

QCoro::Task<Registration> ICloudUploader::registerUnits(QList<UploadUnit> units) {
  const std::optional<QString> base = baseFolder(config(), root_);
  if (!base) {
    checkAvailability(root_, defaults_, signals_);
    throw UploadError::rejected(switchedOffText());
  }
  const QString bucketFolder = *base + QLatin1Char('/') + folder();

  Registration registration;
  for (const UploadUnit& unit : units) {
    const QStringList pieces = safePieces(unit.relativePath);
    // A relative path is never empty in practice; the unit's id keeps even such a file apart.
    const QString wanted =
        bucketFolder + QLatin1Char('/') + (pieces.isEmpty() ? uuidText(unit.id) : pieces.join(QLatin1Char('/')));
    const QString destination = uniqueDestination(wanted);
    place(unit.id, destination);
    wanted_.insert(unit.id, wanted);
    registration.destinations.append(
        UploadDestination{unit.id, QUrl::fromLocalFile(destination), QStringLiteral("PUT"), {}});
  }
  qCInfo(lcICloud, "placing %lld files in iCloud Drive", qlonglong(registration.destinations.size()));
  co_return registration;
}

QCoro::Task<> ICloudUploader::upload(UploadUnit unit, UploadDestination destination, ProgressCallback progress,
                                     CancelTokenPtr cancel) {
  auto stop = std::make_shared<std::atomic_bool>(cancel && cancel->isCancelled());
  if (stop->load()) throw UploadError::cancelled();
  const ProgressPoster poster(progress);
  if (cancel)
    QObject::connect(cancel.get(), &CancelToken::cancelled, poster.receiver(), [stop] { stop->store(true); });

  const QString planned = destination.url.toLocalFile();
  QSet<QString> taken = placed_;
  taken.remove(planned);
  SyncedFolderCopy copy{unit.url, planned, wanted_.value(unit.id), unit.size, std::move(taken),
                        [&poster](double fraction) { poster.post(fraction); }, stop.get()};
  QString written;
  {
    const auto transfer = running_.begin(unit.id);
    auto work = [copy = std::move(copy), stop] { return copy.run(); };
    QCoro::Task<QString> copying = runOnWorker(fileTransferPool(), std::move(work));
    written = co_await std::move(copying);
    // Another name was taken on disk after registering; the unit's copy now lives there.
    if (written != planned && files_.value(unit.id) == planned) place(unit.id, written);
  }
  if (progress) progress(1.0);
}

QCoro::Task<> ICloudUploader::withdraw(QList<UploadUnit> units) {
  for (const UploadUnit& unit : units) {
    if (!files_.contains(unit.id)) continue;
    co_await running_.waitUntilStopped(unit.id);
    const QString path = files_.take(unit.id);
    placed_.remove(path);
    wanted_.remove(unit.id);
    QFile copy(path);
    if (!copy.exists() || copy.remove()) continue;
    qCInfo(lcICloud, "could not remove %s: %s", qUtf8Printable(privateValue(QFileInfo(path).fileName())),
           qUtf8Printable(copy.errorString()));
  }
}

}  // namespace pm
