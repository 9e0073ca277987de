#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "connectors/QuickXorHash.h"
#include "support/ReproducibleBytes.h"

namespace pm {
namespace {

// Published answers for inputs of many lengths, up past the 160-byte ring (Base64 in, Base64 out).
const struct {
  int size;
  const char* input;
  const char* hash;
} kKnownAnswers[] = {
    {0, "", "AAAAAAAAAAAAAAAAAAAAAAAAAAA="},
    {1, "Sg==", "SgAAAAAAAAAAAAAAAQAAAAAAAAA="},
    {2, "tbQ=", "taAFAAAAAAAAAAAAAgAAAAAAAAA="},
    {9, "n6Neh7p6fFgm", "nxiFFw6hCz3wAQsmCQAAAAAAAAA="},
    {16, "2fuxhBJXtpWFe8dOfdGeHw==", "O9tHLAghgSvYohKFyMMxnNCHaHg="},
    {20, "T6LYJIfDh81JrAK309H2JMJTXis=", "zBTHrspn3mEcohlJdIUAbjGNaNg="},
    {64,
     "Mb7EGva2rEE5fENDL85P+BsapHEEjv2/siVhKjvAQe02feExVOQSkfmuYzU/kTF1MaKjPmKF/w+c"
     "bvwfdWL8aQ==",
     "n1anP5NfvD4XDYWIeRPW3ZkPv1Y="},
    {222,
     "PfxMcUd0vIW6VbHG/uj/Y0W6qEoKmyBD0nYebEKazKaKG+UaDqBEcmQjbfQeVnVLuodMoPp7P7TR"
     "1htX5n2VnkHh22xDyoJ8C/ZQKiSNqQfXvh83judf4RVr9exJCud8Uvgip6aVZTaPrJHVjQhMCp/d"
     "EnGvqg0oN5OVkM2qqAXvA0teKUDhgNM71sDBVBCGXxNOR2bpbD1iM4dnuT0ey4L+loXEHTL0fqMe"
     "UcEi2asgImnlNakwenDzz0x57aBwyq3AspCFGB1ncX4yYCr/OaCcS5OKi/00WH+wNQU3",
     "QX/YEpG0gDsmhEpCdWhsxDzsfVE="},
};

TEST(QuickXorHash, KnownAnswersWholeAndInPiecesOfAnySize) {
  for (const auto& known : kKnownAnswers) {
    const QByteArray input = QByteArray::fromBase64(known.input);
    ASSERT_EQ(input.size(), known.size);
    for (const qsizetype piece : {qsizetype(0), qsizetype(1), qsizetype(7), qsizetype(64), qsizetype(161)}) {
      SCOPED_TRACE(testing::Message() << known.size << " bytes in pieces of " << piece);
      QuickXorHash hash;
      if (piece == 0) {
        hash.addData(input);
      } else {
        for (qsizetype at = 0; at < input.size(); at += piece) hash.addData(input.mid(at, piece));
      }
      EXPECT_EQ(hash.base64(), QString::fromLatin1(known.hash));
    }
  }
}

TEST(QuickXorHash, AFileIsHashedAsItsBytesAndAMissingOneHasNoHash) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  // Longer than one read, so the pieces meet at a position inside the ring.
  const QByteArray bytes = test::reproducibleBytes((1 << 20) + 333, 3);
  QFile file(dir.filePath(QStringLiteral("f")));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(bytes);
  file.close();
  QuickXorHash whole;
  whole.addData(bytes);
  EXPECT_EQ(QuickXorHash::ofFile(file.fileName()), whole.base64());
  EXPECT_FALSE(QuickXorHash::ofFile(dir.filePath(QStringLiteral("missing"))));
}

}  // namespace
}  // namespace pm
