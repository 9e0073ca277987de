#include "AtomicFile.h"

#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace pm {
namespace {

bool fail(QSaveFile& file, QString* error, const QString& reason) {
  // A QSaveFile that has seen an error must never be committed: its rename would put a truncated file in
  // place of a good one. Cancelling makes the destructor remove the new file.
  file.cancelWriting();
  if (error) *error = reason;
  return false;
}

}  // namespace

bool writeFileAtomically(const QString& path, const QByteArray& bytes, QFileDevice::Permissions permissions,
                         QString* error) {
  QSaveFile file(path);
  // Unbuffered: each write reaches the kernel at once, so its result is the result that counts. A buffered
  // QSaveFile flushes on commit and does not fail the commit when that flush fails.
  if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
    if (error) *error = file.errorString();
    return false;
  }
  if (!file.setPermissions(permissions)) return fail(file, error, file.errorString());
  if (file.write(bytes) != bytes.size()) {
    return fail(file, error, file.error() != QFileDevice::NoError ? file.errorString()
                                                                   : QStringLiteral("short write"));
  }
  // Some file systems report a full disk only when the data is synced (delayed allocation, network file
  // systems): sync here, where the result is checked, before the new file may replace the old one.
  int synced = 0;
  do {
    synced = ::fsync(file.handle());
  } while (synced != 0 && errno == EINTR);
  if (synced != 0) return fail(file, error, QString::fromLocal8Bit(std::strerror(errno)));
  if (!file.commit()) {
    if (error) *error = file.errorString();
    return false;
  }
  return true;
}

}  // namespace pm
