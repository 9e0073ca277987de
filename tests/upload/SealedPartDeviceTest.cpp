#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QCoreApplication>
#include <QEvent>
#include <QThreadPool>

#include <functional>
#include <memory>
#include <optional>
#include <thread>

#include "SealedStreamReader.h"
#include "core/UploadError.h"
#include "platform/Async.h"
#include "support/ReproducibleBytes.h"
#include "support/TestSupport.h"
#include "support/UploadErrorTesting.h"
#include "upload/SealedPartDevice.h"
#include "upload/SealedParts.h"
#include "upload/StreamSealer.h"

namespace pm {
namespace {

const UploadError kChanged =
    UploadError::rejected(QStringLiteral("This file changed while it was being uploaded."));

QByteArray contents(qint64 size, quint32 seed = 1) {
  return test::reproducibleBytes(size, seed);
}

// Reads the device to its end as the network would, waiting for records as they are sealed; nothing
// when a read fails.
std::optional<QByteArray> readThrough(QIODevice& device, qint64 limit = -1) {
  QByteArray bytes;
  bool broken = false;
  const bool ended = test::runUntil([&] {
    char buffer[256 * 1024];
    for (;;) {
      const qint64 wanted =
          limit < 0 ? qint64(sizeof buffer) : std::min<qint64>(sizeof buffer, limit - bytes.size());
      if (wanted == 0) return true;
      const qint64 n = device.read(buffer, wanted);
      if (n < 0) return broken = true;
      if (n == 0) return device.atEnd();
      bytes.append(buffer, n);
    }
  });
  if (!ended || broken) return std::nullopt;
  return bytes;
}

class SealedPartDeviceTest : public ::testing::Test {
 protected:
  std::shared_ptr<StreamSealer> sealerOf(const QByteArray& plain) {
    source = root.write(QStringLiteral("source-%1.bin").arg(++made), plain);
    return StreamSealer::open(source, plain.size(), key);
  }

  std::unique_ptr<SealedPartDevice> part(const std::shared_ptr<StreamSealer>& sealer, qint64 begin,
                                         qint64 length) {
    return std::make_unique<SealedPartDevice>(sealer, begin, length, sealingPool());
  }

  // The stream cut into parts of `limit` bytes and read part by part through devices.
  QList<QByteArray> readParts(const std::shared_ptr<StreamSealer>& sealer, qint64 limit) {
    QList<QByteArray> parts;
    for (qint64 begin = 0; begin < sealer->length(); begin += limit) {
      const auto device = part(sealer, begin, std::min(limit, sealer->length() - begin));
      const std::optional<QByteArray> bytes = readThrough(*device);
      if (!bytes) {
        ADD_FAILURE() << "part at " << begin << " failed: " << device->errorString().toStdString();
        return parts;
      }
      parts.append(*bytes);
    }
    return parts;
  }

  const QByteArray key =
      QByteArray::fromHex("0f1e2d3c4b5a69788796a5b4c3d2e1f08f1e2d3c4b5a69788796a5b4c3d2e1f0");
  test::TempRoot root;
  QString source;
  int made = 0;
};

TEST_F(SealedPartDeviceTest, PartsReadThroughDevicesAreThePartFilesOfTheSameStream) {
  const struct {
    const char* name;
    qint64 fileSize;
    qint64 limit;
  } cases[] = {
      {"empty file", 0, 1'000},
      {"one full chunk, one part", 4'194'304, 4'194'340},
      {"one byte past a chunk", 4'194'305, 4'194'369},
      {"a record split between two parts", 10'000'000, 5'242'880},
      {"a record spread over four parts", 4'194'400, 1'200'000},
      {"a part inside the header", 5, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QByteArray plain = contents(c.fileSize);
    const auto sealer = sealerOf(plain);
    EXPECT_EQ(sealer->length(), sealedLength(c.fileSize));
    const QList<QByteArray> parts = readParts(sealer, c.limit);

    QList<qint64> sizes;
    QByteArray stream;
    for (const QByteArray& bytes : parts) {
      sizes.append(bytes.size());
      stream += bytes;
    }
    QList<qint64> fileSizes;
    for (const QString& file :
         writeSealedParts(source, key, root.file(QStringLiteral("parts-%1").arg(made)), c.limit))
      fileSizes.append(QFileInfo(file).size());
    EXPECT_EQ(sizes, fileSizes) << "the same cut as the part files";

    const test::OpenedStream opened = test::openSealedStream(key, stream);
    ASSERT_TRUE(opened.ok()) << opened.failure.toStdString();
    EXPECT_TRUE(opened.plaintext == plain);
  }
}

TEST_F(SealedPartDeviceTest, RewoundPartYieldsTheSameBytesAgain) {
  const auto sealer = sealerOf(contents(9'000'000));
  // Bytes 3,000,000 to 7,000,000: the end of record 0 and the start of record 1.
  const auto device = part(sealer, 3'000'000, 4'000'000);
  const std::optional<QByteArray> half = readThrough(*device, 2'500'000);
  ASSERT_TRUE(half);
  ASSERT_TRUE(device->reset());
  const std::optional<QByteArray> whole = readThrough(*device);
  ASSERT_TRUE(whole);
  EXPECT_EQ(whole->size(), 4'000'000);
  EXPECT_TRUE(whole->startsWith(*half));

  const auto again = part(sealer, 3'000'000, 4'000'000);
  EXPECT_TRUE(readThrough(*again) == whole) << "a record sealed again is the same record";
  EXPECT_FALSE(device->seek(4'000'001));
}

// How a transfer thread reads a part: no event loop, waiting for each record in waitForReadyRead().
std::optional<QByteArray> readOnAnotherThread(QIODevice& device) {
  std::optional<QByteArray> bytes = QByteArray();
  std::thread reader([&] {
    char buffer[256 * 1024];
    while (!device.atEnd()) {
      const qint64 n = device.read(buffer, sizeof buffer);
      if (n < 0) {
        bytes.reset();
        return;
      }
      if (n == 0) device.waitForReadyRead(1000);
      bytes->append(buffer, n);
    }
  });
  reader.join();
  return bytes;
}

TEST_F(SealedPartDeviceTest, AThreadWithoutAnEventLoopReadsThePartAndAStopEndsItsReads) {
  const auto sealer = sealerOf(contents(9'000'000));
  const auto onThisThread = part(sealer, 3'000'000, 4'000'000);
  const std::optional<QByteArray> expected = readThrough(*onThisThread);
  ASSERT_TRUE(expected);

  const auto elsewhere = part(sealer, 3'000'000, 4'000'000);
  EXPECT_TRUE(readOnAnotherThread(*elsewhere) == expected);

  const auto stopped = part(sealer, 0, 4'000'000);
  std::thread([&] { stopped->stopSealing(); }).join();
  EXPECT_EQ(readOnAnotherThread(*stopped), std::nullopt);
}

// Counts what is posted to an object to be run on its thread.
class PostedCalls final : public QObject {
 public:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::MetaCall) ++count;
    return false;
  }
  int count = 0;
};

// A transfer thread reads a part without following readyRead(): the thread that made the device is not
// woken for each sealed record. A reader there that follows readyRead() still hears of every record.
TEST_F(SealedPartDeviceTest, OnlyAFollowedDeviceWakesTheThreadThatMadeIt) {
  const auto sealer = sealerOf(contents(9'000'000));
  const auto unfollowed = part(sealer, 0, sealer->length());
  PostedCalls posted;
  unfollowed->installEventFilter(&posted);
  ASSERT_TRUE(readOnAnotherThread(*unfollowed));
  QCoreApplication::processEvents();
  EXPECT_EQ(posted.count, 0);

  const auto followed = part(sealer, 0, sealer->length());
  int told = 0;
  QObject::connect(followed.get(), &QIODevice::readyRead, [&] { ++told; });
  QByteArray bytes;
  char buffer[256 * 1024];
  ASSERT_TRUE(test::runUntil([&] {
    for (qint64 n; (n = followed->read(buffer, sizeof buffer)) > 0;) bytes.append(buffer, n);
    return followed->atEnd();
  }));
  // A record is posted before the reader can take it: what was posted for the last one is in by now.
  QCoreApplication::processEvents();
  EXPECT_EQ(bytes.size(), sealer->length());
  EXPECT_GE(told, 1);
}

TEST_F(SealedPartDeviceTest, RecordThatDiffersFromItsFirstSealingFailsAsChanged) {
  const QByteArray plain = contents(5'000'000);
  const auto sealer = sealerOf(plain);
  // Record 0 (bytes 8 to 4,194,340) is shared by the first three parts of 2,000,000 bytes.
  const auto first = part(sealer, 0, 2'000'000);
  ASSERT_TRUE(readThrough(*first));

  QFile file(source);
  ASSERT_TRUE(file.open(QIODevice::ReadWrite));
  ASSERT_TRUE(file.seek(3'000'000));
  ASSERT_EQ(file.write("x", 1), 1);
  file.close();

  // The next part goes on with the record as it was sealed, so the stream stays whole...
  const auto second = part(sealer, 2'000'000, 2'000'000);
  ASSERT_TRUE(readThrough(*second));
  // ...but when the record must be sealed again (the network sends the part once more), it comes out
  // different, and is not sent under the nonce it had.
  int failed = 0;
  QObject::connect(second.get(), &SealedPartDevice::failed, [&failed] { ++failed; });
  ASSERT_TRUE(second->reset());
  EXPECT_EQ(readThrough(*second), std::nullopt);
  EXPECT_EQ(failed, 1);
  EXPECT_EQ(sealer->failure(), kChanged);
  EXPECT_EQ(second->errorString(), kChanged.message());
}

TEST_F(SealedPartDeviceTest, FileOfAnotherSizeThanAnnouncedIsRefused) {
  const QByteArray plain = contents(4'194'305);
  const QString path = root.write(QStringLiteral("file.bin"), plain);
  const auto failure = [&](const QString& file, qint64 announced, const QByteArray& withKey) {
    try {
      StreamSealer::open(file, announced, withKey);
    } catch (const UploadError& error) {
      return error;
    }
    return UploadError::notImplemented();
  };
  EXPECT_EQ(failure(path, plain.size() + 1, key), kChanged);
  EXPECT_EQ(failure(path, plain.size() - 1, key), kChanged);
  EXPECT_EQ(failure(root.file(QStringLiteral("missing.bin")), 1, key), UploadError::fileUnreadable());
  EXPECT_EQ(failure(root.path(), 0, key), UploadError::fileUnreadable()) << "a folder";
  EXPECT_EQ(failure(path, plain.size(), QByteArray(32, '\0')),
            UploadError::transport(QStringLiteral("The encryption key for this upload is not valid.")));

  // Growing or shrinking after opening shows when the sealing reaches the end.
  for (const qint64 changedSize : {plain.size() + 1, plain.size() - 1}) {
    const auto sealer = sealerOf(plain);
    ASSERT_TRUE(QFile::resize(source, changedSize));
    const auto device = part(sealer, 0, sealer->length());
    EXPECT_EQ(readThrough(*device), std::nullopt) << changedSize;
    EXPECT_EQ(sealer->failure(), kChanged) << changedSize;
  }
}

}  // namespace
}  // namespace pm
