#pragma once

#include <gtest/gtest.h>

#include <QUuid>

#include <memory>

#include "core/S3Credentials.h"
#include "platform/SharedDefaults.h"
#include "support/FakeServiceBoxes.h"
#include "support/ServiceHarness.h"
#include "support/TestSupport.h"
#include "support/UploadErrorTesting.h"
#include "upload/CustomS3Uploader.h"

namespace pm::test {

// What a CustomS3Uploader test stands on: the fake service (signed in, with its box routes), a suite,
// an S3 connection with a key pair in the keychain and a folder for the files.
struct S3UploaderRig {
  static constexpr qint64 kDefaultPartSize = qint64(64) << 20;
  static constexpr qint64 kDefaultThreshold = qint64(5) << 30;

  explicit S3UploaderRig(const QString& endpoint, const QString& bucket = QStringLiteral("bucket")) {
    config.endpoint = endpoint;
    config.bucketName = bucket;
    config.keyPrefix = QStringLiteral(" /photos/ ");
    S3Credentials::save(harness.keychain, credentials, config.id);
    harness.signIn();
  }

  std::unique_ptr<CustomS3Uploader> uploader(const Clock& clock, qint64 partSize = kDefaultPartSize,
                                             qint64 threshold = kDefaultThreshold) {
    return std::make_unique<CustomS3Uploader>(config, partSize, threshold, harness.network, harness.api,
                                              harness.keychain, defaults, clock);
  }

  // A file of `bytes` under the files folder, as the unit the session would make of it.
  UploadUnit unit(const QString& relativePath, const QByteArray& bytes) const {
    const QString path = root.write(QStringLiteral("files/") + QUuid::createUuid().toString(QUuid::Id128) +
                                        QLatin1Char('/') + relativePath,
                                    bytes);
    return UploadUnit{QUuid::createUuid(), QUuid::createUuid(), path, relativePath, bytes.size()};
  }

  ServiceHarness harness;
  FakeServiceBoxes boxes{harness.service};
  MemorySharedDefaults defaults;
  TempRoot root;
  const S3Credentials credentials{QStringLiteral("S3RVER"), QStringLiteral("S3RVER")};
  UploaderConfig config{UploaderConfig::Kind::customS3};
};

// A pattern that differs at every offset a part boundary could fall on.
inline QByteArray patternBytes(qint64 size, int seed = 1) {
  QByteArray bytes(size, Qt::Uninitialized);
  for (qint64 i = 0; i < size; ++i) bytes[i] = char((i * 131 + i / 251 + seed * 17) & 0xFF);
  return bytes;
}

}  // namespace pm::test
