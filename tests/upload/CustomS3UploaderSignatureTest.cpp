#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QNetworkProxy>

#include "S3UploaderRig.h"
#include "support/NodePeer.h"
#include "support/S3rverPeer.h"

namespace pm {
namespace {

using test::patternBytes;
using ::testing::UnorderedElementsAreArray;

const QString kBucket = QStringLiteral("signed");

// Uploads through tests/peers/verify-s3.js, which recomputes every request's signature with the
// reference signer from the request as it arrived (Host header, path and query as sent) and passes only
// matching requests on to s3rver: whatever is stored was signed exactly as it was sent.
class CustomS3UploaderSignature : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    store_ = new test::S3rverPeer({kBucket});
    checker_ = new test::NodePeer(QStringLiteral("verify-s3.js"),
                                  {QStringLiteral("--target"), QString::number(store_->port()),
                                   QStringLiteral("--secret"), QStringLiteral("S3RVER")});
  }
  static void TearDownTestSuite() {
    delete checker_;
    delete store_;
    checker_ = nullptr;
    store_ = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(store_->failure().isEmpty()) << store_->failure().toStdString();
    ASSERT_TRUE(checker_->failure().isEmpty()) << checker_->failure().toStdString();
  }

  std::unique_ptr<test::S3UploaderRig> rig(const QString& endpoint, const QString& keyPrefix) {
    auto made = std::make_unique<test::S3UploaderRig>(endpoint, kBucket);
    made->config.keyPrefix = keyPrefix;
    return made;
  }

  static test::S3rverPeer* store_;
  static test::NodePeer* checker_;
  // s3rver refuses presigned URLs whose time is up, so the clock starts at the real time.
  test::ManualClock clock_{QDateTime::currentDateTimeUtc()};
};

test::S3rverPeer* CustomS3UploaderSignature::store_ = nullptr;
test::NodePeer* CustomS3UploaderSignature::checker_ = nullptr;

TEST_F(CustomS3UploaderSignature, AnEndpointWithTheDefaultPortIsSignedWithTheHostQtSends) {
  // Port 80 on 127.0.0.1 is not ours to take: the checker serves as the proxy that every request to
  // "s3.test:80" goes through, and sees the Host header Qt wrote.
  auto s3rig = rig(QStringLiteral("http://s3.test:80"), QStringLiteral("default-port"));
  s3rig->harness.network.setProxy(QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), quint16(checker_->port())));
  constexpr qint64 kPart = 1024;
  auto s3 = s3rig->uploader(clock_, kPart, 2 * kPart);
  const QList<UploadUnit> units{s3rig->unit(QStringLiteral("one.bin"), patternBytes(1000, 1)),
                                s3rig->unit(QStringLiteral("parts.bin"), patternBytes(3 * kPart + 7, 2))};
  const Registration registration = test::wait(s3->registerUnits(units));
  ASSERT_EQ(registration.destinations.size(), 2);
  ASSERT_EQ(registration.destinations[0].url.port(), 80);

  for (int i = 0; i < units.size(); ++i) test::wait(s3->upload(units[i], registration.destinations[i], {}, {}));

  EXPECT_EQ(store_->object(kBucket, s3->folder() + QStringLiteral("one.bin")), patternBytes(1000, 1));
  EXPECT_EQ(store_->object(kBucket, s3->folder() + QStringLiteral("parts.bin")), patternBytes(3 * kPart + 7, 2));
}

TEST_F(CustomS3UploaderSignature, DotPiecesNeverMoveAnObjectAwayFromItsListedKey) {
  struct Case {
    const char* relativePath;
    const char* storedUnder;  // below the key folder; nullptr: refused with `refusal`
    const char* refusal;
  };
  const Case cases[] = {
      {"a/./b.txt", "a/b.txt", nullptr},
      {"../../up.txt", "up.txt", nullptr},
      {"c/../d.txt", "c/d.txt", nullptr},
      {"e/.hidden", "e/.hidden", nullptr},
      {".1", ".1", nullptr},
      {"f/..a/g.txt", "f/..a/g.txt", nullptr},
      {"..", nullptr, "This file has no name the bucket can store it under."},
      {".a/h.txt", nullptr,
       "The name \u201C.a\u201D cannot be sent to the storage service as it is. Rename it and try again."},
      {"i/.1/j.txt", nullptr,
       "The name \u201C.1\u201D cannot be sent to the storage service as it is. Rename it and try again."},
  };
  // A typed prefix with dot pieces stays inside the bucket, as the folder it names.
  auto s3rig = rig(checker_->endpoint(), QStringLiteral("../../dots/./here"));
  auto s3 = s3rig->uploader(clock_);
  ASSERT_TRUE(s3->folder().startsWith(QStringLiteral("dots/here/"))) << s3->folder().toStdString();

  QList<UploadUnit> units;
  for (const Case& c : cases) {
    // The file on disk has a plain name; the path in the bucket is the case's.
    UploadUnit unit = s3rig->unit(QStringLiteral("file.bin"), c.relativePath);
    unit.relativePath = QString::fromUtf8(c.relativePath);
    units.append(unit);
  }
  const Registration registration = test::wait(s3->registerUnits(units));

  QStringList expectedKeys;
  for (int i = 0; i < units.size(); ++i) {
    const Case& c = cases[i];
    if (!c.storedUnder) {
      ASSERT_TRUE(registration.refused.contains(units[i].id)) << c.relativePath;
      EXPECT_EQ(registration.refused.find(units[i].id)->message().toStdString(), c.refusal) << c.relativePath;
      continue;
    }
    const auto destination = std::find_if(registration.destinations.begin(), registration.destinations.end(),
                                          [&](const UploadDestination& d) { return d.unitID == units[i].id; });
    ASSERT_NE(destination, registration.destinations.end()) << c.relativePath;
    test::wait(s3->upload(units[i], *destination, {}, {}));
    expectedKeys.append(s3->folder() + QString::fromUtf8(c.storedUnder));
  }
  EXPECT_THAT(store_->keys(kBucket, QStringLiteral("dots/")), UnorderedElementsAreArray(expectedKeys));
}

}  // namespace
}  // namespace pm
