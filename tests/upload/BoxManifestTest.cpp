#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QtEndian>

#include <QCoroTask>

#include "core/UploadError.h"
#include "platform/Crypto.h"
#include "support/TestSupport.h"
#include "upload/BoxManifest.h"
#include "ManifestReader.h"

namespace pm {
namespace {

namespace reader = test::manifestReader;

using FailingRandomSource = test::RandomSourceFailing;

const QString kPassword = QStringLiteral("7K2MXQ9PRT");
const QByteArray kSalt = QByteArray::fromHex("000102030405060708090a0b0c0d0e0f");
const QByteArray kNonce = QByteArray::fromHex("a0a1a2a3a4a5a6a7a8a9aaab");

const QList<PMRM1::File> kFiles = {
    {QStringLiteral("b.txt"), QStringLiteral("2024-03-01 12-00-00/a/b.txt"), 12},
    {QString::fromUtf8("photo \xC3\xA9.jpg"), QString::fromUtf8("2024-03-01 12-00-00/photo \xC3\xA9.jpg"), 5368709121},
};
const QByteArray kFilesJson =
    "{\"files\":[{\"name\":\"b.txt\",\"path\":\"2024-03-01 12-00-00/a/b.txt\",\"size\":12},"
    "{\"name\":\"photo \xC3\xA9.jpg\",\"path\":\"2024-03-01 12-00-00/photo \xC3\xA9.jpg\",\"size\":5368709121}]}";

// QCoro::waitFor never returns when the task throws; this hands the exception on instead.
template <typename T>
QCoro::Task<> settle(QCoro::Task<T> task, std::optional<T>& result, std::exception_ptr& error) {
  try {
    result = co_await std::move(task);
  } catch (...) {
    error = std::current_exception();
  }
}

template <typename T>
T wait(QCoro::Task<T> task) {
  std::optional<T> result;
  std::exception_ptr error;
  QCoro::waitFor(settle(std::move(task), result, error));
  if (error) std::rethrow_exception(error);
  return *std::move(result);
}

void expectPreparationFailure(const std::function<void()>& action) {
  try {
    action();
    ADD_FAILURE() << "no error";
  } catch (const UploadError& error) {
    EXPECT_EQ(error.kind(), UploadError::Kind::rejected);
    EXPECT_EQ(error.message().toStdString(), "The share password could not be prepared.");
  }
}

// One sealing at the full 600,000 iterations, shared by the tests that only read it.
class SealedManifest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    sealed_ = PMRM1::seal(kFiles, kPassword, kSalt, kNonce, PMRM1::kIterations);
    derived_ = *reader::derive(sealed_.manifest, kPassword);
  }

  static PMRM1::Sealed sealed_;
  static QByteArray derived_;
};

PMRM1::Sealed SealedManifest::sealed_;
QByteArray SealedManifest::derived_;

TEST_F(SealedManifest, HasTheFixedHeaderThenTagThenCiphertext) {
  const QByteArray& bytes = sealed_.manifest;
  EXPECT_EQ(bytes.first(10).toHex().toStdString(), "504d524d3101000927c0");
  EXPECT_EQ(bytes.mid(10, 16), kSalt);
  EXPECT_EQ(bytes.mid(26, 12), kNonce);
  EXPECT_EQ(bytes.size(), kFilesJson.size() + 54);
}

TEST_F(SealedManifest, OpensWithTheUngroupedPasswordOnly) {
  const std::optional<QByteArray> json = reader::open(sealed_.manifest, kPassword);
  ASSERT_TRUE(json);
  EXPECT_EQ(json->toStdString(), kFilesJson.toStdString());
  EXPECT_FALSE(reader::open(sealed_.manifest, PMRM1::formatPassword(kPassword)));
}

TEST_F(SealedManifest, VerifierHashComesFromTheSecondHalfOfTheDerivedKey) {
  EXPECT_EQ(sealed_.verifierHash.toStdString(), crypto::sha256(derived_.sliced(32)).toHex().toStdString());
  EXPECT_NE(sealed_.verifierHash.toStdString(), crypto::sha256(derived_.first(32)).toHex().toStdString());
}

TEST_F(SealedManifest, IsDeterministicForAFixedSaltAndNonce) {
  const PMRM1::Sealed again = PMRM1::seal(kFiles, kPassword, kSalt, kNonce, PMRM1::kIterations);
  EXPECT_EQ(again.manifest, sealed_.manifest);
  EXPECT_EQ(again.verifierHash, sealed_.verifierHash);
}

TEST_F(SealedManifest, AnyChangedByteFailsToOpen) {
  ASSERT_TRUE(reader::open(sealed_.manifest, derived_));
  // The right key throughout: a changed header must fail through authentication, not through a new key.
  for (qsizetype i = 0; i < sealed_.manifest.size(); ++i) {
    QByteArray changed = sealed_.manifest;
    changed[i] = char(changed[i] ^ 0x01);
    EXPECT_FALSE(reader::open(changed, derived_)) << "byte " << i;
  }
  EXPECT_FALSE(reader::open(sealed_.manifest.chopped(1), derived_));
}

TEST(PMRM1Json, SortedKeysPlainSlashesEscapedControls) {
  const std::pair<QList<PMRM1::File>, QByteArray> cases[] = {
      {{}, "{\"files\":[]}"},
      {{{QStringLiteral("c"), QStringLiteral("a/b/c"), 0}},
       "{\"files\":[{\"name\":\"c\",\"path\":\"a/b/c\",\"size\":0}]}"},
      {{{QStringLiteral("q\"b\\t\tn\nu\x01"), QStringLiteral("x"), 671088640000}},
       "{\"files\":[{\"name\":\"q\\\"b\\\\t\\tn\\nu\\u0001\",\"path\":\"x\",\"size\":671088640000}]}"},
  };
  for (const auto& [files, expected] : cases) {
    const QByteArray json = PMRM1::Manifest{files}.toJson();
    EXPECT_EQ(json.toStdString(), expected.toStdString());
    QJsonParseError error;
    const QJsonArray parsed = QJsonDocument::fromJson(json, &error).object().value(QStringLiteral("files")).toArray();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << json.toStdString();
    ASSERT_EQ(parsed.size(), files.size());
    for (qsizetype i = 0; i < files.size(); ++i) {
      EXPECT_EQ(parsed[i][QStringLiteral("name")].toString().toStdString(), files[i].name.toStdString());
      EXPECT_EQ(parsed[i][QStringLiteral("size")].toInteger(), files[i].size);
    }
  }
}

TEST(PMRM1Password, TenCharactersFromTheAlphabetEachEquallyReachable) {
  QSet<QChar> seen;
  for (int i = 0; i < 300; ++i) {
    const QString password = PMRM1::makePassword();
    ASSERT_EQ(password.size(), 10);
    for (const QChar c : password) {
      ASSERT_TRUE(PMRM1::alphabet.contains(c)) << password.toStdString();
      seen.insert(c);
    }
    const QString shown = PMRM1::formatPassword(password);
    ASSERT_EQ(shown.size(), 12);
    EXPECT_EQ(shown[4], QLatin1Char('-'));
    EXPECT_EQ(shown[9], QLatin1Char('-'));
    EXPECT_EQ(QString(shown).remove(QLatin1Char('-')), password);
  }
  // 3,000 draws leave a given character out with a probability of about e^-94.
  EXPECT_EQ(seen.size(), 32);
  for (const QChar excluded : {u'I', u'L', u'O', u'U'}) EXPECT_FALSE(seen.contains(excluded));
}

TEST(PMRM1Password, DisplayFormGroupsByFour) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""}, {"ABC", "ABC"}, {"ABCD", "ABCD"}, {"ABCDE", "ABCD-E"}, {"0123456789", "0123-4567-89"}};
  for (const auto& [password, shown] : cases)
    EXPECT_EQ(PMRM1::formatPassword(QString::fromLatin1(password)).toStdString(), shown);
}

TEST(PMRM1Seal, DrawsFreshSaltAndNonceAndOpens) {
  const PMRM1::Sealed first = wait(PMRM1::seal(kFiles, kPassword));
  const PMRM1::Sealed second = wait(PMRM1::seal(kFiles, kPassword));
  EXPECT_NE(first.manifest.mid(10, 28), second.manifest.mid(10, 28));
  EXPECT_NE(first.verifierHash, second.verifierHash);
  const std::optional<QByteArray> json = reader::open(first.manifest, kPassword);
  ASSERT_TRUE(json);
  EXPECT_EQ(json->toStdString(), kFilesJson.toStdString());
}

TEST(PMRM1Seal, FailingRandomSourceIsAnErrorNeverZeroBytes) {
  FailingRandomSource failing;
  expectPreparationFailure([] { PMRM1::makePassword(); });
  expectPreparationFailure([] { wait(PMRM1::seal(kFiles, kPassword)); });
}

TEST(PMRM1Seal, UnusableParametersAreRefused) {
  expectPreparationFailure([] { PMRM1::seal(kFiles, kPassword, kSalt, kNonce, 0); });
  expectPreparationFailure([] { PMRM1::seal(kFiles, kPassword, kSalt.first(15), kNonce, 1000); });
  expectPreparationFailure([] { PMRM1::seal(kFiles, kPassword, kSalt, kNonce.first(11), 1000); });
}

}  // namespace
}  // namespace pm
