#include <QFile>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include "SealedStreamReader.h"
#include "support/TestSupport.h"
#include "upload/SealedParts.h"

namespace pm {
namespace {

QByteArray readAll(dev::SealedStreamReader& reader) {
  QByteArray plain;
  while (!reader.atEnd()) {
    const auto chunk = reader.nextChunk();
    if (!chunk) return {};
    plain += *chunk;
  }
  return plain;
}

QByteArray someBytes(qint64 size) {
  QByteArray bytes(size, Qt::Uninitialized);
  QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
  return bytes;
}

// Whatever the agent seals, cut into parts of any size, opens back to the file.
TEST(SealedStreamReader, OpensWhatTheUploaderSealsAtEveryChunkAndPartBoundary) {
  const QByteArray key(32, 'K');
  constexpr qint64 kChunk = 4'194'304;
  const struct {
    qint64 size;
    qint64 limit;
  } cases[] = {{0, 1 << 20}, {1, 7}, {kChunk, 1 << 30}, {kChunk + 1, 1 << 20}, {2 * kChunk, kChunk + 36},
               {10'000, 36}};
  for (const auto& c : cases) {
    test::TempRoot root;
    const QByteArray plain = someBytes(c.size);
    const QString source = root.write(QStringLiteral("source"), plain);
    const QStringList parts = writeSealedParts(source, key, root.file(QStringLiteral("parts")), c.limit);

    dev::SealedStreamReader reader(parts, key);
    ASSERT_TRUE(reader.open()) << c.size << ": " << reader.failure().toStdString();
    EXPECT_EQ(reader.plainSize(), c.size);
    EXPECT_EQ(readAll(reader), plain)
        << c.size << " in parts of " << c.limit << ": " << reader.failure().toStdString();
  }
}

TEST(SealedStreamReader, AStreamThatWasChangedDoesNotOpen) {
  const QByteArray key(32, 'K');
  const auto sealed = [&](test::TempRoot& root) {
    const QString source = root.write(QStringLiteral("source"), someBytes(4'194'304 + 100));
    return writeSealedParts(source, key, root.file(QStringLiteral("parts")), 1 << 30).first();
  };
  const auto flipByte = [](const QString& part, qint64 offset) {
    QFile file(part);
    file.open(QIODevice::ReadWrite);
    file.seek(offset);
    char byte = 0;
    file.getChar(&byte);
    file.seek(offset);
    file.putChar(char(byte ^ 1));
  };
  const struct {
    const char* change;
    std::function<void(const QString&)> apply;
    bool opens;  // whether the header and layout still pass, so only a chunk fails
  } cases[] = {
      {"a ciphertext byte", [&](const QString& part) { flipByte(part, 100); }, true},
      {"the last chunk's tag", [&](const QString& part) { flipByte(part, 8 + 4'194'304 + 28 + 12); }, true},
      {"cut off inside the last record",
       [](const QString& part) { QFile(part).resize(QFile(part).size() - 120); }, false},
      {"the magic", [&](const QString& part) { flipByte(part, 0); }, false},
  };
  for (const auto& c : cases) {
    test::TempRoot root;
    const QString part = sealed(root);
    c.apply(part);
    dev::SealedStreamReader reader({part}, key);
    const bool opened = reader.open();
    EXPECT_EQ(opened, c.opens) << c.change;
    if (opened) {
      EXPECT_TRUE(readAll(reader).isEmpty()) << c.change;
      EXPECT_FALSE(reader.failure().isEmpty()) << c.change;
    }
  }
  test::TempRoot root;
  dev::SealedStreamReader wrongKey({sealed(root)}, QByteArray(32, 'X'));
  ASSERT_TRUE(wrongKey.open());
  EXPECT_FALSE(wrongKey.nextChunk().has_value());
  dev::SealedStreamReader missing({root.file(QStringLiteral("nowhere"))}, key);
  EXPECT_FALSE(missing.open());
}

}  // namespace
}  // namespace pm
