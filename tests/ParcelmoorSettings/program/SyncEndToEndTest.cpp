#include <QAbstractButton>
#include <QDBusConnection>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QTest>

#include <gtest/gtest.h>

#include "DevStore.h"
#include "app/SettingsAppDelegate.h"
#include "core/S3Credentials.h"
#include "core/SessionToken.h"
#include "core/UploaderConfig.h"
#include "model/AppSettings.h"
#include "model/LiveConnectionChecks.h"
#include "platform/BundleInfo.h"
#include "platform/Clock.h"
#include "platform/NotificationSettings.h"
#include "platform/SharedDefaults.h"
#include "platform/Signals.h"
#include "support/AgentProcess.h"
#include "support/DevServiceProcess.h"
#include "support/PrivateDesktopSession.h"
#include "support/SessionKeychain.h"
#include "support/TestSupport.h"
#include "sync/SyncState.h"
#include "views/AccountSettingsView.h"
#include "views/SettingsView.h"

namespace pm::settings {
namespace {

using namespace std::chrono_literals;

const QString kEmail = QStringLiteral("pair@example.com");

// Nothing to open on a test machine.
class NoNotificationSettings final : public NotificationSettings {
 public:
  bool isAvailable() const override { return false; }
  bool open() override { return false; }
};

// One computer: its own desktop session (bus and keyring), the real agent in it, and the settings window
// in this process over the agent's suite, on that session's bus and keyring. The settings side runs here
// rather than as its own program because the program has no way to be driven from outside; what it is
// made of is the same.
struct Computer {
  Computer(const test::TempRoot& root, const QString& name, const QUrl& service, const QString& token)
      : session(root.file(name + QLatin1String("/session"))),
        agent(root.file(name + QLatin1String("/agent")), service, &session),
        busName(QLatin1String("settings-") + name),
        bus(QDBusConnection::connectToBus(session.busAddress(), busName)),
        signals(bus),
        keychain(session),
        defaults(agent.suiteFile()),
        settings(defaults, signals, keychain, clock),
        checks(network, keychain, defaults, signals, clock, bundle, service),
        window(settings, defaults, signals, notifications, bundle, keychain, checks),
        delegate(signals, {.bus = bus}) {
    session.storeSecret(QStringLiteral("com.wrenfold.Parcelmoor"), sessionTokenAccount(), token.toUtf8());
    agent.start();
    if (!agent.waitUntilServing()) throw std::runtime_error("the agent did not start");
    delegate.finishLaunching(window);
  }
  ~Computer() { QDBusConnection::disconnectFromBus(busName); }

  AccountSettingsView& account() const { return *window.findChild<AccountSettingsView*>(); }
  template <typename W>
  W* find(const char* objectName) const {
    return window.findChild<W*>(QString::fromLatin1(objectName));
  }
  void click(const char* objectName) const {
    auto* button = find<QAbstractButton>(objectName);
    if (button == nullptr) throw std::runtime_error(std::string("no button ") + objectName);
    button->click();
  }
  bool pageReaches(SyncState::Case wanted) const {
    return test::runUntil([&] { return account().syncState().kind() == wanted; });
  }
  bool showsConnection(const QString& title) const {
    for (const QLabel* label : window.findChildren<QLabel*>(QStringLiteral("apps.rowTitle")))
      if (label->text() == title && label->isVisible()) return true;
    return false;
  }
  static void screenshot(QWidget& widget, const QString& name) {
    widget.grab().save(QDir(test::artifactsDirectory()).filePath(name + QLatin1String(".png")));
  }

  test::PrivateDesktopSession session;
  test::AgentProcess agent;
  const QString busName;
  QDBusConnection bus;
  DBusSignals signals;
  test::SessionKeychain keychain;
  FileSharedDefaults defaults;
  SystemClock clock;
  const BundleInfo bundle = BundleInfo::compiledIn();
  NoNotificationSettings notifications;
  QNetworkAccessManager network;
  AppSettings settings;
  LiveConnectionChecks checks;
  SettingsView window;
  SettingsAppDelegate delegate;
};

qint64 storedVersion(const QString& stateDirectory) {
  return dev::DevStore(stateDirectory).read([](dev::StoreTransaction& t) {
    return t.syncCopy(kEmail).value_or(dev::SyncRecords::Copy()).version;
  });
}

// Two computers of one account, each with its agent, settings window, suite, bus and keyring, against the
// development service: sync turned on in the first's window, the code its sheet shows typed into the
// second's join sheet, and a connection added in the first shown on the second's Apps page.
TEST(SyncEndToEnd, TheCodeShownOnOneComputerJoinsTheOtherAndItsConnectionsFollow) {
  test::TempRoot root;
  const QString state = root.file(QStringLiteral("service"));
  const QString token = test::DevServiceProcess::createSession(state, kEmail);
  test::DevServiceProcess service(state);
  Computer first(root, QStringLiteral("first"), service.url(), token);
  Computer second(root, QStringLiteral("second"), service.url(), token);

  // The page asks the agent for the account when it appears; both come up signed in.
  for (const Computer* computer : {&first, &second}) {
    ASSERT_TRUE(test::runUntil([&] { return computer->find<QLabel>("account.status")->text() == kEmail; }))
        << computer->find<QLabel>("account.status")->text().toStdString() << "\n"
        << computer->agent.log().toStdString();
    EXPECT_TRUE(computer->find<QWidget>("account.signOut")->isVisible());
  }

  first.click("account.syncToggle");
  ASSERT_TRUE(first.pageReaches(SyncState::Case::on)) << first.agent.log().toStdString();
  ASSERT_TRUE(first.find<QWidget>("account.syncConnectDevice")->isVisible());
  first.click("account.syncConnectDevice");
  ASSERT_TRUE(test::runUntil([&] { return first.account().codeSheet() != nullptr; }))
      << first.agent.log().toStdString();
  const QString shown =
      first.account().codeSheet()->findChild<QLabel*>(QStringLiteral("syncCodeSheet.code"))->text();
  ASSERT_EQ(QString(shown).remove(QLatin1Char('-')), first.account().syncState().code());
  Computer::screenshot(*first.account().codeSheet(), QStringLiteral("sync-end-to-end-code"));

  // The second has a copy to join, so its switch asks for the code.
  second.click("account.syncToggle");
  ASSERT_TRUE(test::runUntil([&] { return second.account().joinSheet() != nullptr; }))
      << second.agent.log().toStdString();
  SyncJoinSheet& join = *second.account().joinSheet();
  auto* field = join.findChild<QLineEdit*>(QStringLiteral("syncJoinSheet.field"));
  QTest::keyClicks(field, shown.toLower());
  ASSERT_TRUE(join.isReady()) << field->text().toStdString();
  Computer::screenshot(join, QStringLiteral("sync-end-to-end-join"));
  join.findChild<QAbstractButton*>(QStringLiteral("syncJoinSheet.join"))->click();
  ASSERT_TRUE(second.pageReaches(SyncState::Case::on)) << second.agent.log().toStdString();
  EXPECT_TRUE(second.find<QAbstractButton>("account.syncToggle")->isChecked());
  EXPECT_TRUE(test::runUntil([&] { return second.account().joinSheet() == nullptr; }));
  Computer::screenshot(second.window, QStringLiteral("sync-end-to-end-second-joined"));
  ASSERT_TRUE(first.pageReaches(SyncState::Case::on));
  EXPECT_TRUE(test::runUntil([&] { return first.account().codeSheet() == nullptr; }));

  // Added the Apps page's way: the key pair into the first's keyring, the list into its suite.
  UploaderConfig added(UploaderConfig::Kind::customS3);
  added.name = QStringLiteral("Shared bucket");
  added.endpoint = QStringLiteral("https://s3.example.com");
  added.bucketName = QStringLiteral("shared");
  added.updatedAt = QDateTime::currentDateTimeUtc();
  const S3Credentials keys{QStringLiteral("AKIAPAIR"), QStringLiteral("key")};
  ASSERT_TRUE(S3Credentials::save(first.keychain, keys, added.id));
  const qint64 before = storedVersion(state);
  first.settings.setUploaders(first.settings.uploaders() + QList<UploaderConfig>{added});
  // A change within 3 seconds of a pull is taken for the pull's own and not pushed: announce it again until
  // the service holds a newer copy.
  bool pushed = test::runUntil([&] { return storedVersion(state) > before; }, 5s);
  for (int attempt = 0; attempt < 3 && !pushed; ++attempt) {
    first.signals.postDarwinNotification(QStringLiteral("com.wrenfold.Parcelmoor.settingsChanged"));
    pushed = test::runUntil([&] { return storedVersion(state) > before; }, 5s);
  }
  ASSERT_TRUE(pushed) << first.agent.log().toStdString();

  second.click("sidebar.apps");
  second.signals.postDarwinNotification(QStringLiteral("com.wrenfold.Parcelmoor.refreshAccount"));
  ASSERT_TRUE(test::runUntil([&] { return second.showsConnection(added.name); }))
      << second.agent.log().toStdString();
  const std::optional<QByteArray> received =
      second.keychain.load(S3Credentials::keychainService(), S3Credentials::keychainAccount(added.id));
  ASSERT_TRUE(received);
  EXPECT_EQ(S3Credentials::fromJson(*received), keys);

  first.click("sidebar.apps");
  EXPECT_TRUE(first.showsConnection(added.name));
  Computer::screenshot(first.window, QStringLiteral("sync-end-to-end-first"));
  Computer::screenshot(second.window, QStringLiteral("sync-end-to-end-second"));
}

}  // namespace
}  // namespace pm::settings
