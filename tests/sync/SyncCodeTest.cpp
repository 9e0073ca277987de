#include <QRegularExpression>

#include <gtest/gtest.h>

#include "platform/Crypto.h"
#include "support/TestSupport.h"
#include "sync/KeyDerivation.h"
#include "sync/SyncCode.h"

namespace pm {
namespace {

const QRegularExpression kAlphabetOnly(QStringLiteral("^[0-9ABCDEFGHJKMNPQRSTVWXYZ]*$"));

TEST(KeyDerivation, AgreesWithThePublishedVectors) {
  const struct {
    const char* password;
    const char* salt;
    quint32 rounds;
    const char* first32;
  } table[] = {
      {"passwd", "salt", 1, "55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc"},
      {"Password", "NaCl", 80000, "4ddcd8f60b98be21830cee5ef22701f9641a4418d04c0414aeff08876b34ab56"},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.password);
    const auto derived = pbkdf2SHA256(row.password, row.salt, row.rounds);
    ASSERT_TRUE(derived);
    EXPECT_EQ(derived->toHex(), QByteArray(row.first32));
  }
  EXPECT_EQ(pbkdf2SHA256("p", {}, 10)->size(), 32) << "an empty salt is a salt";
  EXPECT_EQ(pbkdf2SHA256("p", "s", 0), std::nullopt) << "0 is no round count";
  EXPECT_EQ(pbkdf2SHA256("p", "s", 4'294'967'295u), std::nullopt) << "more rounds than the library takes";
}

TEST(SyncCode, EveryByteNamesOneCharacterByItsLowFiveBits) {
  const struct {
    unsigned char byte;
    char character;
  } table[] = {{0, '0'},  {32, '0'}, {64, '0'}, {224, '0'}, {9, '9'},  {10, 'A'},  {18, 'J'}, {19, 'K'},
               {20, 'M'}, {22, 'P'}, {27, 'V'}, {31, 'Z'},  {63, 'Z'}, {255, 'Z'}, {138, 'A'}};
  for (const auto& row : table) {
    SCOPED_TRACE(int(row.byte));
    EXPECT_EQ(SyncCode::fromBytes(QByteArray(1, char(row.byte))), QString(QLatin1Char(row.character)));
  }
  QByteArray all;
  for (int i = 0; i < 32; ++i) all.append(char(i));
  EXPECT_EQ(SyncCode::fromBytes(all), QLatin1String(SyncCode::kAlphabet));
}

TEST(SyncCode, RandomCodesAreSixAlphabetCharacters) {
  QSet<QString> seen;
  for (int i = 0; i < 200; ++i) {
    const QString code = SyncCode::random();
    EXPECT_EQ(code.size(), 6);
    EXPECT_TRUE(kAlphabetOnly.match(code).hasMatch()) << code.toStdString();
    seen.insert(code);
  }
  EXPECT_GT(seen.size(), 190);
}

TEST(SyncCode, AFailingRandomSourceMakesNoCode) {
  const test::RandomSourceFailing failing;
  EXPECT_THROW(SyncCode::random(), crypto::RandomSourceFailure);
}

TEST(SyncCode, NormalizeKeepsOnlyAlphabetCharactersUpperCased) {
  const struct {
    const char* typed;  // UTF-8
    const char* expected;
  } table[] = {
      {"xxxx-xxxx", "XXXXXXXX"},
      {"7k2 - mxq", "7K2MXQ"},
      {"o0", "0"},
      {"O0", "0"},
      {"il1", "1"},
      {"IL1", "1"},
      {"uU", ""},
      {"   ", ""},
      {"\t\n", ""},
      {"", ""},
      {"\u017f", "S"},       // long s upper-cases to S
      {"A\u0301B", "B"},     // A with a combining acute is another letter
      {"\u00c1B", "B"},      // and so is its precomposed form
      {"\u212a9", "K9"},     // the Kelvin sign is K once composed
      {"\uff11\u0661", ""},  // fullwidth and Arabic-Indic digits are not ours
      {"\u00df", "SS"},      // sharp s upper-cases to two letters
      {"ab.cd_ef!", "ABCDEF"},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.typed);
    EXPECT_EQ(SyncCode::normalize(QString::fromUtf8(row.typed)), QString::fromUtf8(row.expected));
  }
}

TEST(SyncCode, ProofChangesWithEveryInput) {
  const QByteArray message(32, '\x11');
  const QString code = QStringLiteral("7K2MXQ");
  const QByteArray salt(16, '\x22');
  const QByteArray proof = SyncCode::proof(message, code, salt);
  ASSERT_EQ(proof.size(), 32);
  EXPECT_EQ(SyncCode::proof(message, code, salt), proof) << "the same on both computers";
  EXPECT_EQ(proof, crypto::hmacSha256(*pbkdf2SHA256(code.toUtf8(), salt, 100'000), message));

  for (int i = 0; i < code.size(); ++i) {
    QString other = code;
    other[i] = other[i] == QLatin1Char('0') ? QLatin1Char('1') : QLatin1Char('0');
    EXPECT_NE(SyncCode::proof(message, other, salt), proof) << "code character " << i;
  }
  for (const int i : {0, 7, 15}) {
    QByteArray other = salt;
    other[i] = char(other[i] ^ 1);
    EXPECT_NE(SyncCode::proof(message, code, other), proof) << "salt byte " << i;
  }
  for (const int i : {0, 31}) {
    QByteArray other = message;
    other[i] = char(other[i] ^ 0x80);
    EXPECT_NE(SyncCode::proof(other, code, salt), proof) << "message byte " << i;
  }
}

}  // namespace
}  // namespace pm
