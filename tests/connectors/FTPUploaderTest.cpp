#include <QNetworkAccessManager>
#include <QTcpServer>

#include <gtest/gtest.h>

#include "UploadErrorPrinting.h"
#include "connectors/FTPUploader.h"
#include "platform/Keychain.h"
#include "support/UploadErrorTesting.h"

namespace pm {
namespace {

UploadUnit unit(const QString& relativePath) {
  return UploadUnit{QUuid::createUuid(), QUuid::createUuid(), QStringLiteral("/nonexistent/") + relativePath,
                    relativePath, 1};
}

class FTPUploaderTest : public ::testing::Test {
 protected:
  FTPUploaderTest() {
    config.endpoint = QStringLiteral("files.example.com");
    config.keyPrefix = QStringLiteral("in");
    config.ftpSecurity = FTPSecurity::plain;
    FTPCredentials::save(keychain, FTPCredentials{QStringLiteral("ann"), QStringLiteral("pw")}, config.id);
  }

  std::unique_ptr<FTPUploader> make() { return std::make_unique<FTPUploader>(config, keychain, network); }

  QNetworkAccessManager network;
  MemoryKeychain keychain;
  UploaderConfig config{UploaderConfig::Kind::ftp};
};

TEST_F(FTPUploaderTest, NumbersNamesTakenInTheBucket) {
  const auto uploader = make();
  const QList<UploadUnit> units{unit(QStringLiteral("a.txt")), unit(QStringLiteral("a.txt")),
                                unit(QStringLiteral("a.txt")), unit(QStringLiteral("notes")),
                                unit(QStringLiteral("notes")), unit(QStringLiteral("dir//x.txt")),
                                unit(QStringLiteral("dir/x.txt"))};
  const Registration registration = test::wait(uploader->registerUnits(units));
  ASSERT_EQ(registration.destinations.size(), units.size());
  EXPECT_TRUE(registration.refused.isEmpty());
  const QString folder = uploader->folder();
  const QStringList expected{QStringLiteral("a.txt"), QStringLiteral("a 2.txt"), QStringLiteral("a 3.txt"),
                             QStringLiteral("notes"), QStringLiteral("notes 2"), QStringLiteral("dir/x.txt"),
                             QStringLiteral("dir/x 2.txt")};
  for (qsizetype i = 0; i < units.size(); ++i) {
    EXPECT_EQ(uploader->paths().value(units[i].id), folder + QLatin1Char('/') + expected[i]);
    EXPECT_EQ(registration.destinations[i].unitID, units[i].id);
    EXPECT_EQ(registration.destinations[i].method, QStringLiteral("PUT"));
    EXPECT_EQ(registration.destinations[i].url, FTPTarget(config).url(folder + QLatin1Char('/') + expected[i]));
  }
  // One folder for the whole bucket, across registrations.
  const Registration later = test::wait(uploader->registerUnits({unit(QStringLiteral("a.txt"))}));
  EXPECT_EQ(later.destinations.first().url.path(), QStringLiteral("/in/") + folder + QStringLiteral("/a 4.txt"));
}

TEST_F(FTPUploaderTest, RefusesWithoutServerOrLogin) {
  {
    config.endpoint = QStringLiteral("  ");
    EXPECT_EQ(test::failureOf(make()->registerUnits({unit(QStringLiteral("a"))})),
              UploadError::rejected(QStringLiteral("This connection has no server set.")));
  }
  config.endpoint = QStringLiteral("files.example.com");
  for (const std::optional<FTPCredentials>& login :
       {std::optional<FTPCredentials>(), std::optional<FTPCredentials>(FTPCredentials{QStringLiteral("ann"), {}})}) {
    keychain.store(FTPCredentials::keychainService(), FTPCredentials::keychainAccount(config.id),
                   login ? login->toJson() : QByteArray("{}"));
    const auto uploader = make();
    EXPECT_EQ(test::failureOf(uploader->registerUnits({unit(QStringLiteral("a"))})),
              UploadError::rejected(QStringLiteral("Missing credentials.")));
    const UploadUnit one = unit(QStringLiteral("a"));
    EXPECT_EQ(test::failureOf(uploader->upload(one, UploadDestination{one.id, *FTPTarget(config).url(QStringLiteral("a")), QStringLiteral("PUT"), {}}, {}, {})),
              UploadError::rejected(QStringLiteral("Missing credentials.")));
  }
}

TEST_F(FTPUploaderTest, AHostThatFormsNoURLRefusesEachUnit) {
  config.endpoint = QStringLiteral("bad host");
  const auto uploader = make();
  const UploadUnit one = unit(QStringLiteral("a.txt"));
  const Registration registration = test::wait(uploader->registerUnits({one}));
  EXPECT_TRUE(registration.destinations.isEmpty());
  ASSERT_TRUE(registration.refused.contains(one.id));
  EXPECT_EQ(*registration.refused.constFind(one.id),
            UploadError::rejected(QStringLiteral("This connection has no server set.")));
  EXPECT_TRUE(uploader->paths().isEmpty());
}

TEST_F(FTPUploaderTest, WithdrawingAnUnregisteredUnitSendsNothing) {
  QTcpServer server;
  ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
  config.endpoint = QStringLiteral("127.0.0.1:%1").arg(server.serverPort());
  const auto uploader = make();
  test::wait(uploader->registerUnits({unit(QStringLiteral("kept.txt"))}));
  test::wait(uploader->withdraw({unit(QStringLiteral("kept.txt"))}));
  test::spin(std::chrono::milliseconds(100));
  EXPECT_FALSE(server.hasPendingConnections());
  EXPECT_EQ(uploader->paths().size(), 1);
}

TEST_F(FTPUploaderTest, FinishingYieldsDone) {
  EXPECT_EQ(test::wait(make()->finalize()), ResponseItem::done());
  EXPECT_TRUE(make()->allowsRemoval());
}

}  // namespace
}  // namespace pm
