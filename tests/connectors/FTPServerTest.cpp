#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

#include "LocalUnits.h"
#include "UploadErrorPrinting.h"
#include "connectors/FTPUploader.h"
#include "platform/Keychain.h"
#include "support/FTPServerPeer.h"
#include "support/ImplicitTLSServerPeer.h"
#include "support/LogCapture.h"
#include "support/TestCertificates.h"
#include "support/UploadErrorTesting.h"
#include "upload/BucketStore.h"
#include "upload/UploadSession.h"

namespace pm {
namespace {

using namespace std::chrono_literals;

QByteArray randomBytes(qsizetype size) {
  QByteArray bytes(size, Qt::Uninitialized);
  QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
  return bytes;
}

// The files below `folder`, relative to it, sorted.
QStringList filesBelow(const QString& folder) {
  QStringList found;
  QDir dir(folder);
  for (const QString& name : dir.entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
    const QString path = dir.filePath(name);
    if (QFileInfo(path).isDir()) {
      for (const QString& inner : filesBelow(path)) found.append(name + QLatin1Char('/') + inner);
    } else {
      found.append(name);
    }
  }
  return found;
}

// One upload's outcome, filled in by a task that runs on its own.
struct Outcome {
  bool done = false;
  std::optional<UploadError> error;
  QList<double> progress;
};

// The real servers, started once for the suite: pyftpdlib plain and with explicit TLS, vsftpd with
// implicit TLS, all trusting nothing but a throw-away CA.
class FTPServerTest : public ::testing::Test {
 protected:
  struct Peers {
    QTemporaryDir plainRoot;
    QTemporaryDir tlsRoot;
    QTemporaryDir implicitRoot;
    test::TestCertificates certificates;
    std::unique_ptr<test::FTPServerPeer> plain;
    std::unique_ptr<test::FTPServerPeer> explicitTLS;
    std::unique_ptr<test::ImplicitTLSServerPeer> implicitTLS;
  };

  static void SetUpTestSuite() {
    peers = new Peers;
    if (!peers->certificates.failure().isEmpty()) return;
    // vsftpd serves anonymous uploads into a folder that everybody may write, as it requires.
    QFile::setPermissions(peers->implicitRoot.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                          QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                                          QFileDevice::ExeOther);
    peers->plain = std::make_unique<test::FTPServerPeer>(test::FTPServerPeer::Options{peers->plainRoot.path()});
    peers->explicitTLS = std::make_unique<test::FTPServerPeer>(test::FTPServerPeer::Options{
        peers->tlsRoot.path(), QStringLiteral("parcel"), QStringLiteral("moor-secret"),
        peers->certificates.certificateFile(), peers->certificates.keyFile()});
    peers->implicitTLS = std::make_unique<test::ImplicitTLSServerPeer>(
        peers->implicitRoot.path(), peers->certificates.certificateFile(), peers->certificates.keyFile());
  }

  static void TearDownTestSuite() {
    delete peers;
    peers = nullptr;
  }

  void SetUp() override {
    // A missing peer fails the run: the tests never pass by not running.
    ASSERT_EQ(peers->certificates.failure(), QString());
    ASSERT_EQ(peers->plain->failure(), QString());
    ASSERT_EQ(peers->explicitTLS->failure(), QString());
    ASSERT_EQ(peers->implicitTLS->failure(), QString());
  }

  UploaderConfig connection(int port, FTPSecurity security, const QString& prefix = {},
                            FTPCredentials login = {QStringLiteral("parcel"), QStringLiteral("moor-secret")}) {
    UploaderConfig config(UploaderConfig::Kind::ftp);
    config.endpoint = QStringLiteral("127.0.0.1");
    config.port = port;
    config.ftpSecurity = security;
    config.keyPrefix = prefix;
    FTPCredentials::save(keychain, login, config.id);
    return config;
  }

  std::unique_ptr<FTPUploader> uploader(const UploaderConfig& config, FTPTransfer::Options options = {}) {
    options.caFile = peers->certificates.caFile();
    auto made = std::make_unique<FTPUploader>(config, keychain, network);
    made->setTransferOptions(options);
    return made;
  }

  UploadUnit localFile(const QString& relativePath, const QByteArray& bytes) {
    return test::localUnit(local, relativePath, bytes);
  }

  // A file of `size` bytes made quickly (a sparse file reads as zeros).
  UploadUnit largeFile(const QString& relativePath, qint64 size) {
    const QString path = local.filePath(QUuid::createUuid().toString(QUuid::WithoutBraces));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.resize(size));
    return UploadUnit{QUuid::createUuid(), QUuid::createUuid(), path, relativePath, size};
  }

  static QCoro::Task<> track(FTPUploader& uploader, UploadUnit unit, UploadDestination destination,
                             CancelTokenPtr cancel, std::shared_ptr<Outcome> outcome) {
    try {
      const ProgressCallback progress = [outcome](double f) { outcome->progress.append(f); };
      QCoro::Task<> upload = uploader.upload(unit, destination, progress, cancel);
      co_await std::move(upload);
    } catch (const UploadError& error) {
      outcome->error = error;
    }
    outcome->done = true;
  }

  // Registers and uploads one unit; the outcome holds the error, if any, and every progress report.
  std::shared_ptr<Outcome> send(FTPUploader& uploader, const UploadUnit& unit, CancelTokenPtr cancel = {}) {
    auto outcome = std::make_shared<Outcome>();
    const Registration registration = test::wait(uploader.registerUnits({unit}));
    EXPECT_EQ(registration.destinations.size(), 1);
    if (registration.destinations.isEmpty()) return outcome;
    track(uploader, unit, registration.destinations.first(), std::move(cancel), outcome);
    return outcome;
  }

  static inline Peers* peers = nullptr;
  QNetworkAccessManager network;
  MemoryKeychain keychain;
  QTemporaryDir local;
};

TEST_F(FTPServerTest, UploadsLandByteForByteInTheBucketFolder) {
  const struct {
    const char* name;
    int port;
    FTPSecurity security;
    QString root;
    FTPCredentials login;
  } table[] = {
      {"plain", peers->plain->port(), FTPSecurity::plain, peers->plainRoot.path(),
       {QStringLiteral("parcel"), QStringLiteral("moor-secret")}},
      {"explicit TLS", peers->explicitTLS->port(), FTPSecurity::explicitTLS, peers->tlsRoot.path(),
       {QStringLiteral("parcel"), QStringLiteral("moor-secret")}},
      {"implicit TLS", peers->implicitTLS->port(), FTPSecurity::implicitTLS, peers->implicitRoot.path(),
       {QStringLiteral("anonymous"), QStringLiteral("guest")}},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    const auto ftp = uploader(connection(row.port, row.security, QStringLiteral("incoming/drop"), row.login));
    const QByteArray bytes = randomBytes(3 * 1024 * 1024 + 17);
    const UploadUnit unit = localFile(QStringLiteral("Photos/report #1 ä.pdf"), bytes);
    const UploadUnit empty = localFile(QStringLiteral("empty"), {});
    const auto outcome = send(*ftp, unit);
    const auto emptyOutcome = send(*ftp, empty);
    ASSERT_TRUE(test::runUntil([&] { return outcome->done && emptyOutcome->done; }));
    ASSERT_FALSE(outcome->error) << outcome->error->message().toStdString();
    ASSERT_FALSE(emptyOutcome->error) << emptyOutcome->error->message().toStdString();

    const QString folder = row.root + QStringLiteral("/incoming/drop/") + ftp->folder();
    EXPECT_EQ(test::fileContents(folder + QStringLiteral("/Photos/report #1 ä.pdf")), bytes);
    EXPECT_TRUE(QFileInfo(folder + QStringLiteral("/empty")).isFile());
    EXPECT_EQ(QFileInfo(folder + QStringLiteral("/empty")).size(), 0);
    ASSERT_FALSE(outcome->progress.isEmpty());
    EXPECT_EQ(outcome->progress.last(), 1.0);
    EXPECT_TRUE(std::is_sorted(outcome->progress.begin(), outcome->progress.end()));
    EXPECT_EQ(emptyOutcome->progress, QList<double>{1.0});
  }
}

// "." and ".." pieces in a unit's path or in the folder prefix never reach the server: libcurl would resolve
// them and land the file outside the bucket's folder.
TEST_F(FTPServerTest, DotPiecesNeverMoveAFileOutOfItsBucketFolder) {
  const auto ftp = uploader(connection(peers->plain->port(), FTPSecurity::plain, QStringLiteral("../../Elsewhere/./drop")));
  const auto up = send(*ftp, localFile(QStringLiteral("../inner.txt"), "inner"));
  const auto down = send(*ftp, localFile(QStringLiteral("./Sub/../deeper.txt"), "deeper"));
  ASSERT_TRUE(test::runUntil([&] { return up->done && down->done; }, 30s));
  ASSERT_FALSE(up->error) << up->error->message().toStdString();
  ASSERT_FALSE(down->error) << down->error->message().toStdString();

  EXPECT_EQ(filesBelow(peers->plainRoot.path() + QStringLiteral("/Elsewhere/drop")),
            (QStringList{ftp->folder() + QStringLiteral("/Sub/deeper.txt"), ftp->folder() + QStringLiteral("/inner.txt")}));
}

TEST_F(FTPServerTest, EveryFailureHasItsText) {
  QTcpServer closed;
  ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
  const int closedPort = closed.serverPort();
  closed.close();
  const QString tlsText =
      QStringLiteral("The server's TLS could not be used. Check whether it wants explicit or implicit TLS.");

  const struct {
    const char* name;
    QString host;
    int port;
    FTPSecurity security;
    FTPCredentials login;
    bool missingFile;
    bool trustsTestCA;
    UploadError expected;
  } table[] = {
      {"wrong password", QStringLiteral("127.0.0.1"), peers->plain->port(), FTPSecurity::plain,
       {QStringLiteral("parcel"), QStringLiteral("wrong")}, false, true,
       UploadError::rejected(QStringLiteral("The server refused this username and password."))},
      {"closed port", QStringLiteral("127.0.0.1"), closedPort, FTPSecurity::plain,
       {QStringLiteral("parcel"), QStringLiteral("moor-secret")}, false, true,
       UploadError::transport(QStringLiteral("Nothing answered on that host and port."))},
      {"unknown host", QStringLiteral("nonexistent.invalid"), 21, FTPSecurity::plain,
       {QStringLiteral("parcel"), QStringLiteral("moor-secret")}, false, true,
       UploadError::transport(QStringLiteral("That server name could not be found."))},
      {"TLS wanted, server plain only", QStringLiteral("127.0.0.1"), peers->plain->port(), FTPSecurity::explicitTLS,
       {QStringLiteral("parcel"), QStringLiteral("moor-secret")}, false, true, UploadError::rejected(tlsText)},
      {"certificate not trusted", QStringLiteral("127.0.0.1"), peers->explicitTLS->port(), FTPSecurity::explicitTLS,
       {QStringLiteral("parcel"), QStringLiteral("moor-secret")}, false, false, UploadError::rejected(tlsText)},
      {"missing local file", QStringLiteral("127.0.0.1"), peers->plain->port(), FTPSecurity::plain,
       {QStringLiteral("parcel"), QStringLiteral("moor-secret")}, true, true,
       UploadError::rejected(QStringLiteral("The file could not be opened."))},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    UploaderConfig config = connection(row.port, row.security, {}, row.login);
    config.endpoint = row.host;
    const auto ftp = uploader(config);
    if (!row.trustsTestCA) ftp->setTransferOptions({});
    UploadUnit unit = localFile(QStringLiteral("failing.txt"), "bytes");
    if (row.missingFile) QFile::remove(unit.url);
    const auto outcome = send(*ftp, unit);
    ASSERT_TRUE(test::runUntil([&] { return outcome->done; }));
    ASSERT_TRUE(outcome->error);
    EXPECT_EQ(*outcome->error, row.expected);
  }
}

TEST_F(FTPServerTest, WithdrawDeletesTheFileUnderTheConnectionsFolder) {
  const auto ftp = uploader(connection(peers->plain->port(), FTPSecurity::plain, QStringLiteral("deep/er")));
  const UploadUnit kept = localFile(QStringLiteral("kept.txt"), "kept");
  const UploadUnit removed = localFile(QStringLiteral("sub/removed file.txt"), "removed");
  const auto first = send(*ftp, kept);
  const auto second = send(*ftp, removed);
  ASSERT_TRUE(test::runUntil([&] { return first->done && second->done; }));
  ASSERT_FALSE(second->error);
  const QString folder = peers->plainRoot.path() + QStringLiteral("/deep/er/") + ftp->folder();
  ASSERT_TRUE(QFileInfo::exists(folder + QStringLiteral("/sub/removed file.txt")));

  test::LogCapture log;
  test::wait(ftp->withdraw({removed}));
  EXPECT_FALSE(log.contains(QStringLiteral("could not delete")));
  EXPECT_EQ(filesBelow(folder), QStringList{QStringLiteral("kept.txt")});
  EXPECT_FALSE(ftp->paths().contains(removed.id));
}

TEST_F(FTPServerTest, AnItemRemovedMidTransferLeavesNothingOnTheServer) {
  QTemporaryDir root;
  test::FTPServerPeer throttled({root.path(), QStringLiteral("parcel"), QStringLiteral("moor-secret"), {}, {},
                                 2 * 1024 * 1024});
  ASSERT_EQ(throttled.failure(), QString());
  const auto ftp = uploader(connection(throttled.port(), FTPSecurity::plain, QStringLiteral("in")));
  const UploadUnit unit = largeFile(QStringLiteral("large.bin"), 64 * 1024 * 1024);
  const CancelTokenPtr cancel = makeCancelToken();
  const auto outcome = send(*ftp, unit, cancel);
  const QString onServer = root.path() + QStringLiteral("/in/") + ftp->folder() + QStringLiteral("/large.bin");
  ASSERT_TRUE(test::runUntil([&] { return QFileInfo(onServer).size() > 0; }));

  // What the session does when the user removes the item: cancel its task, then withdraw its units.
  cancel->cancel();
  test::wait(ftp->withdraw({unit}));
  EXPECT_TRUE(outcome->done);
  ASSERT_TRUE(outcome->error);
  EXPECT_EQ(*outcome->error, UploadError::cancelled());
  EXPECT_TRUE(test::runUntil([&] { return filesBelow(root.path() + QStringLiteral("/in")).isEmpty(); }));
  test::spin(500ms);
  EXPECT_EQ(filesBelow(root.path() + QStringLiteral("/in")), QStringList());
}

TEST_F(FTPServerTest, RemovingAnItemFromTheSessionMidTransferLeavesNothing) {
  QTemporaryDir root;
  test::FTPServerPeer throttled({root.path(), QStringLiteral("parcel"), QStringLiteral("moor-secret"), {}, {},
                                 2 * 1024 * 1024});
  ASSERT_EQ(throttled.failure(), QString());
  const UploaderConfig config = connection(throttled.port(), FTPSecurity::plain, QStringLiteral("in"));
  auto made = uploader(config);
  FTPUploader* ftp = made.get();
  test::ManualClock clock;
  const auto session = UploadSession::create(std::make_shared<Bucket>(clock), config, std::move(made));
  // The session names a dropped file by its own name.
  const QString dropped = local.filePath(QStringLiteral("large.bin"));
  QFile file(dropped);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.resize(64 * 1024 * 1024));
  file.close();
  session->enqueue({dropped});
  const QString onServer = root.path() + QStringLiteral("/in/") + ftp->folder() + QStringLiteral("/large.bin");
  ASSERT_TRUE(test::runUntil([&] { return QFileInfo(onServer).size() > 0; }));

  session->remove(session->bucket().items().first()->id());
  EXPECT_TRUE(
      test::runUntil([&] { return !QFileInfo::exists(onServer) && session->runningItemCount() == 0; }));
  test::spin(1s);
  EXPECT_EQ(filesBelow(root.path() + QStringLiteral("/in")), QStringList());
}

TEST_F(FTPServerTest, AStalledDataConnectionTimesOut) {
  QTemporaryDir root;
  // Reads one buffer, then nothing for hours.
  test::FTPServerPeer stalled({root.path(), QStringLiteral("parcel"), QStringLiteral("moor-secret"), {}, {}, 1});
  ASSERT_EQ(stalled.failure(), QString());
  FTPTransfer::Options options;
  options.lowSpeedTime = 2s;
  const auto ftp = uploader(connection(stalled.port(), FTPSecurity::plain), options);
  const UploadUnit unit = largeFile(QStringLiteral("stalls.bin"), 64 * 1024 * 1024);
  const auto outcome = send(*ftp, unit);
  ASSERT_TRUE(test::runUntil([&] { return outcome->done; }, 40s));
  ASSERT_TRUE(outcome->error);
  EXPECT_EQ(*outcome->error, UploadError::transport(QStringLiteral("The server did not answer in time.")));
}

}  // namespace
}  // namespace pm
