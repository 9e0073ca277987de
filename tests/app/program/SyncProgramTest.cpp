#include <gtest/gtest.h>

#include "DevStore.h"
#include "core/S3Credentials.h"
#include "core/SessionToken.h"
#include "core/UploaderConfig.h"
#include "platform/SharedNames.h"
#include "support/AgentProcess.h"
#include "support/DevServiceProcess.h"
#include "support/PrivateDesktopSession.h"
#include "support/TestSupport.h"
#include "sync/SyncState.h"

namespace pm::test {
namespace {

using namespace std::chrono_literals;

const QString kEmail = QStringLiteral("sync@example.com");

QString signal(const char* verb) {
  return QStringLiteral("com.wrenfold.Parcelmoor.") + QLatin1String(verb);
}

// One computer: a desktop session of its own (bus and keyring) and the agent running in it.
struct Computer {
  Computer(const TempRoot& root, const QString& name, const QUrl& service, const QString& token)
      : session(root.file(name + QLatin1String("/session"))),
        agent(root.file(name + QLatin1String("/agent")), service, &session) {
    session.storeSecret(QStringLiteral("com.wrenfold.Parcelmoor"), sessionTokenAccount(), token.toUtf8());
    agent.start();
    if (!agent.waitUntilServing()) throw std::runtime_error("the agent did not start");
  }

  SyncState state() const {
    return SyncState::fromJson(agent.preference(QStringLiteral("syncState")).toByteArray())
        .value_or(SyncState::off());
  }
  bool reaches(const std::function<bool(const SyncState&)>& wanted) const {
    return runUntil([&] { return wanted(state()); });
  }
  QList<UploaderConfig> connections() const {
    return UploaderConfig::decodeList(agent.preference(QStringLiteral("uploaderConfigs")).toByteArray());
  }

  PrivateDesktopSession session;
  AgentProcess agent;
};

qint64 storedVersion(const QString& stateDirectory) {
  const dev::DevStore store(stateDirectory);
  return store.read(
      [](dev::StoreTransaction& t) { return t.syncCopy(kEmail).value_or(dev::SyncRecords::Copy()).version; });
}

// Two computers of one account, each with its own suite and keyring, against one development service:
// sync is turned on in the first, the second joins with the code it shows, and a connection added in the
// first reaches the second with its key pair at the second's next pull.
TEST(SyncProgram, ASecondComputerJoinsWithTheCodeAndReceivesNewConnections) {
  TempRoot root;
  const QString state = root.file(QStringLiteral("service"));
  const QString token = DevServiceProcess::createSession(state, kEmail);
  DevServiceProcess service(state);
  Computer first(root, QStringLiteral("first"), service.url(), token);
  Computer second(root, QStringLiteral("second"), service.url(), token);

  first.session.post(signal("syncEnable"));
  ASSERT_TRUE(first.reaches([](const SyncState& s) { return s == SyncState::on(); }))
      << first.agent.log().toStdString();
  first.session.post(signal("syncOffer"));
  ASSERT_TRUE(first.reaches([](const SyncState& s) { return s.kind() == SyncState::Case::offering; }));

  second.agent.setPreference(QStringLiteral("pendingSyncCode"), first.state().code().toLower());
  second.session.post(signal("syncSubmitCode"));
  ASSERT_TRUE(second.reaches([](const SyncState& s) { return s == SyncState::on(); }))
      << second.agent.log().toStdString();
  ASSERT_TRUE(first.reaches([](const SyncState& s) { return s == SyncState::on(); }));
  EXPECT_EQ(
      second.session.loadSecret(QStringLiteral("com.wrenfold.Parcelmoor.sync"), QStringLiteral("sync-key")),
      first.session.loadSecret(QStringLiteral("com.wrenfold.Parcelmoor.sync"), QStringLiteral("sync-key")));

  // The settings program's way: the key pair into the keychain, the list into the suite, then the signal.
  UploaderConfig added(UploaderConfig::Kind::customS3);
  added.name = QStringLiteral("Team bucket");
  added.endpoint = QStringLiteral("https://s3.example.com");
  added.bucketName = QStringLiteral("team");
  added.updatedAt = QDateTime::currentDateTimeUtc();
  const S3Credentials keys{QStringLiteral("AKIAEXAMPLE"), QStringLiteral("secret/key")};
  first.session.storeSecret(S3Credentials::keychainService(),
                            added.id.toString(QUuid::WithoutBraces).toUpper(), keys.toJson());
  first.agent.setPreference(QStringLiteral("uploaderConfigs"),
                            *UploaderConfig::encodeList(first.connections() + QList<UploaderConfig>{added}));
  // A change within 3 seconds of a pull is taken for the pull's own and not pushed: announce it again until
  // the service holds a newer copy.
  const qint64 before = storedVersion(state);
  bool pushed = false;
  for (int attempt = 0; attempt < 4 && !pushed; ++attempt) {
    first.session.post(signal("settingsChanged"));
    pushed = runUntil([&] { return storedVersion(state) > before; }, 6s);
  }
  ASSERT_TRUE(pushed) << first.agent.log().toStdString();

  second.session.post(signal("refreshAccount"));
  const bool arrived = runUntil(
      [&] {
        for (const UploaderConfig& config : second.connections()) {
          if (config.id == added.id) return true;
        }
        return false;
      },
      20s);
  ASSERT_TRUE(arrived) << second.agent.log().toStdString();
  const std::optional<QByteArray> stored = second.session.loadSecret(
      S3Credentials::keychainService(), added.id.toString(QUuid::WithoutBraces).toUpper());
  ASSERT_TRUE(stored);
  EXPECT_EQ(S3Credentials::fromJson(*stored), keys);
}

}  // namespace
}  // namespace pm::test
