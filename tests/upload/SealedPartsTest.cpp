#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThreadPool>

#include <QCoroTask>

#include <sys/resource.h>

#include <csignal>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "SealedStreamReader.h"
#include "core/UploadError.h"
#include "platform/Async.h"
#include "platform/Crypto.h"
#include "support/ReproducibleBytes.h"
#include "support/TestSupport.h"
#include "support/UploadErrorTesting.h"
#include "upload/SealedParts.h"

namespace pm {
namespace {

constexpr qint64 kNoLimit = std::numeric_limits<qint64>::max();
const QString kChanged = QStringLiteral("This file changed while it was being uploaded.");

QByteArray contents(qint64 size, quint32 seed = 1) {
  return test::reproducibleBytes(size, seed);
}

QList<qint64> sizesOf(const QStringList& files) {
  QList<qint64> sizes;
  for (const QString& file : files) sizes.append(QFileInfo(file).size());
  return sizes;
}

QByteArray readFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll();
}

void writeFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  ASSERT_EQ(file.write(bytes), bytes.size());
}

QString messageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const UploadError& error) {
    return error.message();
  }
  return QStringLiteral("(no error)");
}

using test::RandomSourceFailing;

class SealedParts : public ::testing::Test {
 protected:
  QString sourceOf(const QByteArray& bytes) { return root.write(QStringLiteral("source.bin"), bytes); }
  QString directory(int n = 0) const { return root.file(QStringLiteral("parts-%1").arg(n)); }
  QStringList leftIn(const QString& dir) const {
    return QDir(dir).entryList(QDir::Files | QDir::NoDotAndDotDot);
  }

  const QByteArray key =
      QByteArray::fromHex("8f1e2d3c4b5a69788796a5b4c3d2e1f00f1e2d3c4b5a69788796a5b4c3d2e1f0");
  test::TempRoot root;
};

TEST(SealedFormat, HeaderAuthenticationDataAndLengths) {
  EXPECT_EQ(partMagic(), QByteArrayLiteral("PMR1"));
  EXPECT_EQ(sealedStreamHeader(4'194'304).toHex(), "504d523100400000");

  const struct {
    quint64 index;
    bool isLast;
    const char* hex;
  } aads[] = {{0, false, "0000000000"},
              {0, true, "0000000001"},
              {1, true, "0000000101"},
              {0x01020304, false, "0102030400"},
              {0x1'0000'0002ull, true, "0000000201"}};
  for (const auto& c : aads) EXPECT_EQ(chunkAuthenticationData(c.index, c.isLast).toHex(), c.hex) << c.index;

  const struct {
    qint64 plain, chunks, sealed;
  } lengths[] = {{0, 1, 36},
                 {1, 1, 37},
                 {4'194'304, 1, 4'194'340},
                 {4'194'305, 2, 4'194'369},
                 {10'000'000, 3, 10'000'092},
                 {5'000'000'000, 1193, 5'000'033'412}};
  for (const auto& c : lengths) {
    EXPECT_EQ(sealedChunkCount(c.plain), c.chunks) << c.plain;
    EXPECT_EQ(sealedLength(c.plain), c.sealed) << c.plain;
  }
}

TEST_F(SealedParts, CutsTheStreamIntoPartsThatOpenToTheFile) {
  const struct {
    const char* name;
    qint64 fileSize;
    qint64 limit;
    QList<qint64> partSizes;
    QList<qint64> recordSizes;
  } cases[] = {
      {"empty file", 0, kNoLimit, {36}, {28}},
      {"one full chunk", 4'194'304, kNoLimit, {4'194'340}, {4'194'332}},
      {"one byte past a chunk", 4'194'305, kNoLimit, {4'194'369}, {4'194'332, 29}},
      {"two parts", 10'000'000, 5'242'880, {5'242'880, 4'757'212}, {4'194'332, 4'194'332, 1'611'420}},
      {"limit equal to the stream", 4'194'305, 4'194'369, {4'194'369}, {4'194'332, 29}},
      {"limit one below the stream", 4'194'305, 4'194'368, {4'194'368, 1}, {4'194'332, 29}},
      {"limit 0 counts as 1", 0, 0, QList<qint64>(36, 1), {28}},
      {"negative limit counts as 1", 0, -7, QList<qint64>(36, 1), {28}},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QByteArray plain = contents(c.fileSize, quint32(++n));
    const QString dir = directory(n);
    const QStringList parts = writeSealedParts(sourceOf(plain), key, dir, c.limit);

    EXPECT_EQ(sizesOf(parts), c.partSizes);
    QStringList expectedNames;
    for (qsizetype i = 1; i <= parts.size(); ++i)
      expectedNames.append(QDir(dir).filePath(QStringLiteral("part-%1").arg(i)));
    EXPECT_EQ(parts, expectedNames);
    EXPECT_EQ(leftIn(dir).size(), parts.size()) << "nothing but the parts";

    const test::OpenedStream opened = test::openSealedStream(key, parts);
    ASSERT_TRUE(opened.ok()) << opened.failure.toStdString();
    EXPECT_EQ(opened.chunkSize, 4'194'304u);
    EXPECT_EQ(opened.recordSizes, c.recordSizes);
    EXPECT_TRUE(opened.plaintext == plain);
  }
}

TEST_F(SealedParts, HeaderStandsOnlyAtTheStartOfTheFirstPart) {
  const QStringList parts = writeSealedParts(sourceOf(contents(10'000'000)), key, directory(), 5'242'880);
  ASSERT_EQ(parts.size(), 2);
  EXPECT_EQ(readFile(parts[0]).first(8).toHex(), "504d523100400000");
  EXPECT_NE(readFile(parts[1]).first(4), QByteArrayLiteral("PMR1"));
}

// Opens the record at `offset` of a stream with the authenticated data given in hex.
std::optional<QByteArray> openRecord(const QByteArray& key, const QByteArray& stream, qint64 offset,
                                     qint64 plainLength, const char* aadHex) {
  return crypto::aesGcmOpen(key, stream.mid(offset, 12), stream.mid(offset + 28, plainLength),
                            stream.mid(offset + 12, 16), QByteArray::fromHex(aadHex));
}

TEST_F(SealedParts, ChunksAuthenticateTheirIndexAndWhetherTheyAreLast) {
  const QStringList empty = writeSealedParts(sourceOf({}), key, directory(1), kNoLimit);
  ASSERT_EQ(empty.size(), 1);
  const QByteArray emptyStream = readFile(empty[0]);
  ASSERT_EQ(emptyStream.size(), 36);
  EXPECT_EQ(openRecord(key, emptyStream, 8, 0, "0000000001"), QByteArray());
  EXPECT_EQ(openRecord(key, emptyStream, 8, 0, "0000000000"), std::nullopt);

  const QByteArray plain = contents(4'194'305);
  const QStringList two = writeSealedParts(sourceOf(plain), key, directory(2), kNoLimit);
  ASSERT_EQ(two.size(), 1);
  const QByteArray stream = readFile(two[0]);
  EXPECT_EQ(openRecord(key, stream, 8, 4'194'304, "0000000000"), plain.first(4'194'304));
  EXPECT_EQ(openRecord(key, stream, 8, 4'194'304, "0000000001"), std::nullopt);
  EXPECT_EQ(openRecord(key, stream, 8 + 4'194'332, 1, "0000000101"), plain.last(1));
  EXPECT_EQ(openRecord(key, stream, 8 + 4'194'332, 1, "0000000100"), std::nullopt);
}

TEST_F(SealedParts, TwoSealingsOfOneFileDifferButHaveTheSameLength) {
  const QByteArray plain = contents(5'000'000);
  const QString source = sourceOf(plain);
  const QStringList first = writeSealedParts(source, key, directory(1), kNoLimit);
  const QStringList second = writeSealedParts(source, key, directory(2), kNoLimit);
  ASSERT_EQ(first.size(), 1);
  ASSERT_EQ(second.size(), 1);
  const QByteArray a = readFile(first[0]);
  const QByteArray b = readFile(second[0]);
  EXPECT_EQ(a.size(), sealedLength(plain.size()));
  EXPECT_EQ(a.size(), b.size());
  EXPECT_NE(a.mid(8, 12), b.mid(8, 12)) << "fresh nonces";
  EXPECT_NE(a.mid(8 + 4'194'332, 12), b.mid(8 + 4'194'332, 12));
  EXPECT_FALSE(a == b);
  EXPECT_TRUE(test::openSealedStream(key, first).plaintext == plain);
  EXPECT_TRUE(test::openSealedStream(key, second).plaintext == plain);
}

TEST_F(SealedParts, AnyChangedByteOfAnyPartIsDetected) {
  // Two chunks over three parts: header, nonces, tags and ciphertext all fall into some part.
  const QStringList parts = writeSealedParts(sourceOf(contents(4'194'400)), key, directory(), 2'000'000);
  ASSERT_EQ(sizesOf(parts), (QList<qint64>{2'000'000, 2'000'000, 194'464}));
  ASSERT_TRUE(test::openSealedStream(key, parts).ok());

  for (const QString& part : parts) {
    const QByteArray original = readFile(part);
    const qint64 last = original.size() - 1;
    for (const qint64 offset : {qint64(0), qint64(3), qint64(7), qint64(8), qint64(19), qint64(20),
                                qint64(35), qint64(36), last / 2, last - 1, last}) {
      QByteArray changed = original;
      changed[offset] = char(changed[offset] ^ 0x01);
      writeFile(part, changed);
      EXPECT_FALSE(test::openSealedStream(key, parts).ok()) << part.toStdString() << " @" << offset;
    }
    writeFile(part, original);
  }
  ASSERT_TRUE(test::openSealedStream(key, parts).ok());

  EXPECT_FALSE(test::openSealedStream(key, parts.first(2)).ok()) << "cut off at a part";
  EXPECT_FALSE(test::openSealedStream(key, {parts[0], parts[2], parts[1]}).ok()) << "parts reordered";
  QByteArray stream;
  for (const QString& part : parts) stream += readFile(part);
  EXPECT_FALSE(test::openSealedStream(key, stream.chopped(1)).ok()) << "one byte short";
  EXPECT_FALSE(test::openSealedStream(key, stream + '\0').ok()) << "one byte more";
  QByteArray otherKey = key;
  otherKey[0] = char(otherKey[0] ^ 0x80);
  EXPECT_FALSE(test::openSealedStream(otherKey, stream).ok()) << "another key";
}

TEST_F(SealedParts, RandomSourceFailureFailsTheSealingAndLeavesNoParts) {
  const QString source = sourceOf(contents(1000));
  {
    RandomSourceFailing failing;
    try {
      writeSealedParts(source, key, directory(), kNoLimit);
      ADD_FAILURE() << "sealed without random nonces";
    } catch (const UploadError& error) {
      EXPECT_EQ(error.kind(), UploadError::Kind::transport);
      EXPECT_EQ(error.message(),
                QStringLiteral("The system's random number source failed, so this file was not encrypted."));
    }
  }
  EXPECT_TRUE(leftIn(directory()).isEmpty()) << leftIn(directory()).join(u' ').toStdString();
}

TEST_F(SealedParts, RefusesKeysThatCannotBeRight) {
  const QString source = sourceOf(contents(100));
  for (const QByteArray& bad : {QByteArray(32, '\0'), QByteArray(16, 'k'), QByteArray()}) {
    EXPECT_EQ(messageOf([&] { writeSealedParts(source, bad, directory(), kNoLimit); }),
              QStringLiteral("The encryption key for this upload is not valid."))
        << bad.size();
    EXPECT_TRUE(leftIn(directory()).isEmpty());
  }
}

TEST_F(SealedParts, SourceThatEndsEarlyOrRunsLongIsRejectedAsChanged) {
  // The size the sealing was told against the bytes the source really holds.
  const struct {
    const char* name;
    qint64 announced;
    qint64 actual;
  } cases[] = {
      {"shrank within the last chunk", 10, 9},
      {"grew within the last chunk", 10, 11},
      {"emptied", 5, 0},
      {"grew from empty", 0, 1},
      {"shrank to a chunk boundary", 4'194'305, 4'194'304},
      {"grew past a chunk boundary", 4'194'304, 4'194'305},
      {"shrank by a whole chunk", 8'388'700, 4'194'400},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QByteArray bytes = contents(c.actual);
    QBuffer buffer(&bytes);
    ASSERT_TRUE(buffer.open(QIODevice::ReadOnly));
    const QString dir = directory(++n);
    ASSERT_TRUE(QDir().mkpath(dir));
    {
      PartWriter writer(dir, 3'000'000);
      EXPECT_EQ(messageOf([&] { sealStream(buffer, c.announced, key, writer); }), kChanged);
    }
    EXPECT_TRUE(leftIn(dir).isEmpty()) << "partial parts removed";
  }
}

TEST_F(SealedParts, FileOfAnotherSizeThanAnnouncedIsRejectedAsChanged) {
  const QByteArray plain = contents(100);
  const QString source = sourceOf(plain);
  EXPECT_EQ(messageOf([&] { writeSealedParts(source, key, directory(1), kNoLimit, 99); }), kChanged);
  EXPECT_EQ(messageOf([&] { writeSealedParts(source, key, directory(1), kNoLimit, 101); }), kChanged);
  EXPECT_TRUE(leftIn(directory(1)).isEmpty());

  const QStringList parts = writeSealedParts(source, key, directory(2), kNoLimit, 100);
  EXPECT_TRUE(test::openSealedStream(key, parts).plaintext == plain);

  // A file whose size the system reports as 0 while it holds data is caught at its end.
  EXPECT_EQ(
      messageOf([&] { writeSealedParts(QStringLiteral("/proc/self/status"), key, directory(3), kNoLimit); }),
      kChanged);
  EXPECT_TRUE(leftIn(directory(3)).isEmpty());
}

TEST_F(SealedParts, ReportsSourcesAndFoldersItCannotUse) {
  const QString source = sourceOf(contents(10));
  const QString unreadable = UploadError::fileUnreadable().message();
  EXPECT_EQ(
      messageOf([&] { writeSealedParts(root.file(QStringLiteral("missing.bin")), key, directory(), 1); }),
      unreadable);
  EXPECT_EQ(messageOf([&] { writeSealedParts(root.path(), key, directory(), 1); }), unreadable) << "a folder";

  EXPECT_EQ(messageOf([&] { writeSealedParts(source, key, source + QStringLiteral("/parts"), 1); }),
            QStringLiteral("The folder for this file's encrypted parts could not be created."));

  // A folder in the way of part-2: part-1 is made, then the sealing fails and takes it back.
  ASSERT_TRUE(QDir().mkpath(directory() + QStringLiteral("/part-2")));
  EXPECT_EQ(messageOf([&] { writeSealedParts(source, key, directory(), 40); }),
            QStringLiteral("There was no room to prepare this file."));
  EXPECT_EQ(leftIn(directory()), QStringList());
}

// While alive, files this process writes may grow to `bytes` and no further; a write past that fails with
// EFBIG instead of killing the process, as a full disk would fail it.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &former_);
    formerHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = former_;
    limited.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &former_);
    std::signal(SIGXFSZ, formerHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit former_{};
  void (*formerHandler_)(int) = nullptr;
};

TEST_F(SealedParts, RunningOutOfRoomWhileWritingPartsSaysSo) {
  const QString noRoom = QStringLiteral("There was no room to prepare this file.");
  const QString source = sourceOf(contents(3'000'000));
  {
    // The disk fills in the middle of a write: the first part files are cut short.
    const FileSizeLimit limit(1'000'000);
    EXPECT_EQ(messageOf([&] { writeSealedParts(source, key, directory(1), kNoLimit); }), noRoom);
  }
  EXPECT_TRUE(leftIn(directory(1)).isEmpty());

  // A part file on a device that is full from its first byte.
  ASSERT_TRUE(QDir().mkpath(directory(2)));
  ASSERT_TRUE(
      QFile::link(QStringLiteral("/dev/full"), QDir(directory(2)).filePath(QStringLiteral("part-1"))));
  EXPECT_EQ(messageOf([&] { writeSealedParts(source, key, directory(2), kNoLimit); }), noRoom);
}

TEST_F(SealedParts, SealingLeavesTheSharedPoolFreeForShortWork) {
  // As many sealings as the shared pool has threads, each long enough to still run afterwards.
  const QString source = sourceOf(contents(32 * 1024 * 1024));
  const int sealings = QThreadPool::globalInstance()->maxThreadCount();
  auto finished = std::make_shared<int>(0);
  std::vector<QCoro::Task<>> running;
  const auto seal = [](QString from, QByteArray withKey, QString into,
                       std::shared_ptr<int> done) -> QCoro::Task<> {
    co_await writeSealedPartsInBackground(from, withKey, into, kNoLimit);
    ++*done;
  };
  for (int n = 0; n < sealings; ++n) running.push_back(seal(source, key, directory(n), finished));
  // What a folder walk or a key derivation would run.
  EXPECT_EQ(test::wait(runOnWorker([] { return 42; }), std::chrono::seconds(5)), 42);
  EXPECT_EQ(*finished, 0) << "the short work did not wait for a sealing";
  for (QCoro::Task<>& sealing : running) test::wait(std::move(sealing), std::chrono::seconds(60));
  EXPECT_EQ(*finished, sealings);
}

TEST_F(SealedParts, SealsOnAWorkerAndDeliversItsFailureUnchanged) {
  const QByteArray plain = contents(6'000'000);
  const QString source = sourceOf(plain);
  const QStringList parts =
      test::wait(writeSealedPartsInBackground(source, key, directory(1), 4'000'000, plain.size()));
  EXPECT_EQ(sizesOf(parts), (QList<qint64>{4'000'000, 2'000'064}));
  EXPECT_TRUE(test::openSealedStream(key, parts).plaintext == plain);

  EXPECT_EQ(test::failureOf(writeSealedPartsInBackground(source, key, directory(2), kNoLimit, plain.size() + 1)),
            UploadError::rejected(kChanged));
}

}  // namespace
}  // namespace pm
