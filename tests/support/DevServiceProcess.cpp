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
  const QString token = store.createSession(email);
  if (!store.isUsable() || !store.save())
    throw std::runtime_error("cannot write the development service's state");
  return token;
}

std::optional<QByteArray> DevServiceProcess::storedFile(const QString& path) const {
  // The service writes its state whole and renames it into place, so this reads one consistent moment.
  const dev::DevStore store(stateDirectory_);
  for (const dev::StoredBucket& bucket : store.buckets) {
    for (const dev::StoredFile& file : bucket.files) {
      if (file.path != path || !file.isComplete()) continue;
      QStringList parts;
      for (int number = 1; number <= file.partCount; ++number)
        parts.append(store.partFile(bucket.id, file.id, number));
      dev::SealedStreamReader reader(parts, bucket.key);
      if (!reader.open()) throw std::runtime_error(reader.failure().toStdString());
      QByteArray bytes;
      while (!reader.atEnd()) {
        const std::optional<QByteArray> chunk = reader.nextChunk();
        if (!chunk) throw std::runtime_error(reader.failure().toStdString());
        bytes += *chunk;
      }
      return bytes;
    }
  }
  return std::nullopt;
}

}  // namespace pm::test
