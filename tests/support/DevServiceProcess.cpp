#include "DevServiceProcess.h"

#include <stdexcept>

#include "DevStore.h"
#include "SealedStreamReader.h"

namespace pm::test {

namespace {
constexpr int kStartTimeoutMs = 10'000;
}  // namespace

DevServiceProcess::DevServiceProcess(QString stateDirectory, qint64 partSize)
    : stateDirectory_(std::move(stateDirectory)) {
  process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  process_.start(QStringLiteral(PM_DEVSERVICE_PROGRAM),
                 {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--state-dir"),
                  stateDirectory_, QStringLiteral("--part-size"), QString::number(partSize)});
  while (!process_.canReadLine()) {
    if (!process_.waitForReadyRead(kStartTimeoutMs))
      throw std::runtime_error("the development service printed no URL");
  }
  url_ = QUrl(QString::fromUtf8(process_.readLine()).trimmed());
  if (!url_.isValid()) throw std::runtime_error("the development service printed no usable URL");
}

DevServiceProcess::~DevServiceProcess() {
  process_.terminate();
  if (!process_.waitForFinished(5000)) {
    process_.kill();
    process_.waitForFinished(5000);
  }
}

QString DevServiceProcess::createSession(const QString& stateDirectory, const QString& email) {
  dev::DevStore store(stateDirectory);
  if (!store.isUsable()) throw std::runtime_error("cannot write the development service's state");
  return store.createSession(email);
}

std::optional<QByteArray> DevServiceProcess::storedFile(const QString& path) const {
  // One read transaction: the buckets, files and tags of one committed moment of the running service.
  const dev::DevStore store(stateDirectory_);
  struct Found {
    dev::StoredBucket bucket;
    dev::StoredFile file;
  };
  const std::optional<Found> found =
      store.read([&](dev::StoreTransaction& transaction) -> std::optional<Found> {
        for (const dev::StoredBucket& bucket : transaction.buckets()) {
          for (const dev::StoredFile& file : transaction.files(bucket.id)) {
            if (file.path == path && file.isComplete()) return Found{bucket, file};
          }
        }
        return std::nullopt;
      });
  if (!found) return std::nullopt;
  QStringList parts;
  for (int number = 1; number <= found->file.partCount; ++number)
    parts.append(store.partFile(found->bucket.id, found->file.id, number));
  dev::SealedStreamReader reader(parts, found->bucket.key);
  if (!reader.open()) throw std::runtime_error(reader.failure().toStdString());
  QByteArray bytes;
  while (!reader.atEnd()) {
    const std::optional<QByteArray> chunk = reader.nextChunk();
    if (!chunk) throw std::runtime_error(reader.failure().toStdString());
    bytes += *chunk;
  }
  return bytes;
}

}  // namespace pm::test
