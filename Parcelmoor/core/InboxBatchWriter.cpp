#include "InboxBatchWriter.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include "core/Identifiers.h"
#include "platform/Log.h"

namespace pm {

namespace {

QString translated(const char* text) {
  return QCoreApplication::translate("InboxBatchWriter", text);
}

// The problem with one path, or nothing when the agent can take it.
std::optional<QString> problemWith(const QString& path) {
  const QFileInfo info(path);
  if (!info.exists()) return translated("No such file or folder: %1").arg(path);
  // A pipe or a device would hang or never end the upload.
  if (!info.isFile() && !info.isDir()) return translated("Not a regular file or folder: %1").arg(path);
  if (!info.isReadable()) return translated("Cannot be read: %1").arg(path);
  return std::nullopt;
}

bool writeAtomically(const QString& path, const QByteArray& bytes, QString* error) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
    *error = file.errorString();
    return false;
  }
  return true;
}

}  // namespace

InboxBatchWriter::InboxBatchWriter(Paths paths) : paths_(std::move(paths)) {}

InboxBatchWriter::Outcome InboxBatchWriter::write(const QStringList& paths,
                                                  std::optional<QUuid> uploaderID) const {
  Outcome outcome;
  if (paths.isEmpty()) {
    outcome.problems.append(translated("No files or folders to send."));
    return outcome;
  }
  QStringList absolute;
  for (const QString& path : paths) {
    const QString full = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    if (const auto problem = problemWith(full)) outcome.problems.append(*problem);
    absolute.append(full);
  }
  if (!outcome.problems.isEmpty()) return outcome;

  // The folder is private to the user, as the agent makes it: a batch names files to upload.
  if (!ensurePrivateDirectory(paths_.groupContainer) || !ensurePrivateDirectory(paths_.inbox())) {
    outcome.problems.append(translated("Cannot create the inbox folder %1.").arg(paths_.inbox()));
    return outcome;
  }

  SharedInbox::Batch batch{QUuid::createUuid(), uploaderID, absolute, {}};
  const QString file = paths_.inbox() + QLatin1Char('/') + uuidText(batch.id) + QLatin1String(".json");
  QString error;
  if (!writeAtomically(file, batch.toJson(), &error)) {
    outcome.problems.append(translated("Cannot write the batch %1: %2").arg(file, error));
    return outcome;
  }
  batch.file = file;

  // Only its modification time counts; a failure here leaves a batch the agent takes on its next drain.
  if (!writeAtomically(paths_.uploadWake(),
                       QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toUtf8(), &error)) {
    qCWarning(lcApp) << "Cannot leave the wake marker" << privateValue(paths_.uploadWake()) << error;
  }
  outcome.batch = std::move(batch);
  return outcome;
}

}  // namespace pm
