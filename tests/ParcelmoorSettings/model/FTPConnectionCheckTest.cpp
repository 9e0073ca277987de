#include <QTcpServer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

#include "ClosedPort.h"
#include "QStringPrinting.h"
#include "connectors/FTPCredentials.h"
#include "model/FTPConnectionCheck.h"
#include "platform/Keychain.h"
#include "support/FTPServerPeer.h"
#include "support/TestCertificates.h"
#include "support/TestSupport.h"

namespace pm::settings {
namespace {

using namespace std::chrono_literals;

const QString kUser = QStringLiteral("parcel");
const QString kPassword = QStringLiteral("moor-secret");

// pyftpdlib plain and with explicit TLS, started once for the suite, each with an "inbox" folder.
class FTPConnectionCheck : public ::testing::Test {
 protected:
  struct Peers {
    QTemporaryDir plainRoot;
    QTemporaryDir tlsRoot;
    test::TestCertificates certificates;
    std::unique_ptr<test::FTPServerPeer> plain;
    std::unique_ptr<test::FTPServerPeer> explicitTLS;
  };

  static void SetUpTestSuite() {
    peers = new Peers;
    QDir(peers->plainRoot.path()).mkdir(QStringLiteral("inbox"));
    QDir(peers->tlsRoot.path()).mkdir(QStringLiteral("inbox"));
    peers->plain =
        std::make_unique<test::FTPServerPeer>(test::FTPServerPeer::Options{peers->plainRoot.path()});
    if (!peers->certificates.failure().isEmpty()) return;
    peers->explicitTLS = std::make_unique<test::FTPServerPeer>(
        test::FTPServerPeer::Options{peers->tlsRoot.path(), kUser, kPassword,
                                     peers->certificates.certificateFile(), peers->certificates.keyFile()});
  }

  static void TearDownTestSuite() {
    delete peers;
    peers = nullptr;
  }

  void SetUp() override {
    // A missing peer fails the run: the tests never pass by not running.
    ASSERT_EQ(peers->plain->failure(), QString());
    ASSERT_EQ(peers->certificates.failure(), QString());
    ASSERT_EQ(peers->explicitTLS->failure(), QString());
  }

  UploaderConfig connection(const QString& endpoint, qint64 port, FTPSecurity security,
                            std::optional<FTPCredentials> login = FTPCredentials{kUser, kPassword}) {
    UploaderConfig config(UploaderConfig::Kind::ftp);
    config.endpoint = endpoint;
    config.port = port;
    config.ftpSecurity = security;
    FTPCredentials::save(keychain, login, config.id);
    return config;
  }

  std::optional<QString> check(const UploaderConfig& config) {
    FTPTransferOptions options;
    options.caFile = peers->certificates.caFile();
    return test::wait(testFTPConnection(config, keychain, options));
  }

  static Peers* peers;
  MemoryKeychain keychain;
};

FTPConnectionCheck::Peers* FTPConnectionCheck::peers = nullptr;

TEST_F(FTPConnectionCheck, AGoodLoginOpensTheFolder) {
  const int plain = peers->plain->port();
  EXPECT_EQ(check(connection(QStringLiteral("ftp://127.0.0.1/inbox"), plain, FTPSecurity::plain)),
            std::nullopt);
  EXPECT_EQ(check(connection(QStringLiteral("127.0.0.1"), plain, FTPSecurity::plain)), std::nullopt);
  EXPECT_EQ(check(connection(QStringLiteral("localhost:%1/inbox").arg(peers->explicitTLS->port()), 0,
                             FTPSecurity::explicitTLS)),
            std::nullopt);
}

TEST_F(FTPConnectionCheck, EveryFailureHasItsText) {
  const int plain = peers->plain->port();
  const struct {
    UploaderConfig config;
    const char* text;
  } cases[] = {
      {connection(QStringLiteral("127.0.0.1"), plain, FTPSecurity::plain,
                  FTPCredentials{kUser, QStringLiteral("wrong")}),
       "The server refused this username and password."},
      {connection(QStringLiteral("127.0.0.1/missing"), plain, FTPSecurity::plain),
       "That folder could not be opened with this account."},
      {connection(QStringLiteral("127.0.0.1"), plain, FTPSecurity::explicitTLS),
       "The server's TLS could not be used. Check whether it wants explicit or implicit TLS."},
      {connection(QStringLiteral("127.0.0.1"), test::closedPort(), FTPSecurity::plain),
       "Nothing answered on that host and port."},
      {connection(QStringLiteral(" \t "), plain, FTPSecurity::plain), "Fill in the server first."},
      {connection(QStringLiteral("127.0.0.1"), plain, FTPSecurity::plain, std::nullopt),
       "Missing credentials."},
      {connection(QStringLiteral("127.0.0.1"), plain, FTPSecurity::plain, FTPCredentials{kUser, QString()}),
       "Missing credentials."},
  };
  for (const auto& c : cases)
    EXPECT_EQ(check(c.config), QString::fromUtf8(c.text)) << c.config.endpoint.toStdString();
}

TEST_F(FTPConnectionCheck, AnAddressThatIsNoServerIsRefusedWithoutConnecting) {
  QTcpServer listener;
  ASSERT_TRUE(listener.listen(QHostAddress::LocalHost, 0));
  const char* const endpoints[] = {"127.0.0.1\r\nQUIT", "nobody@127.0.0.1", "127.0.0.1 x", "127.0.0.1:99999"};
  for (const char* endpoint : endpoints) {
    // The port field would send a connection to the listener if the address were used.
    const qint64 port = QByteArray(endpoint).contains(":99999") ? 0 : listener.serverPort();
    EXPECT_EQ(check(connection(QString::fromUtf8(endpoint), port, FTPSecurity::plain)),
              QStringLiteral("The server could not be read as an address."))
        << endpoint;
  }
  EXPECT_EQ(check(connection(QStringLiteral("127.0.0.1"), 70000, FTPSecurity::plain)),
            QStringLiteral("The server could not be read as an address."));
  test::spin(100ms);
  EXPECT_FALSE(listener.hasPendingConnections());
}

}  // namespace
}  // namespace pm::settings
