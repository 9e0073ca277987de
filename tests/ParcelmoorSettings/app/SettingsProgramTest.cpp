// The settings program itself, run as a process on a bus of the test's own, where the test plays the
// agent by owning (or giving up) the agent's bus name.
#include <gtest/gtest.h>

#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include "support/PrivateBus.h"
#include "platform/SharedNames.h"
#include "platform/Signals.h"
#include "support/TestSupport.h"

namespace pm::settings {
namespace {

using namespace std::chrono_literals;

const QString kAgentName = QStringLiteral("com.wrenfold.Parcelmoor");

class SettingsProgramTest : public ::testing::Test {
 protected:
  SettingsProgramTest() : listener_(bus_.connect()), heard_(listener_) {
    for (const char* name : {names::signal::kCancelSignIn, names::signal::kRefreshAccount})
      heard_.observeDarwinNotification(QString::fromLatin1(name));
    QObject::connect(&heard_, &Signals::notified, [this](const QString& name) { names_.append(name); });
  }
  ~SettingsProgramTest() override {
    for (QProcess* process : {&program_, &second_}) {
      if (process->state() == QProcess::NotRunning) continue;
      process->kill();
      process->waitForFinished(3000);
    }
  }

  QProcessEnvironment environment(bool testSuite) const {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus_.address());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home_.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home_.filePath(QStringLiteral("data")));
    environment.remove(QStringLiteral("PARCELMOOR_TEST_SUITE"));
    if (testSuite) environment.insert(QStringLiteral("PARCELMOOR_TEST_SUITE"), QString());
    return environment;
  }
  void start(QProcess& process, bool testSuite) {
    process.setProcessEnvironment(environment(testSuite));
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral(PM_SETTINGS_PROGRAM), {});
    ASSERT_TRUE(process.waitForStarted(5000));
  }
  bool holdsItsName() {
    return agentSide_.interface()
        ->isServiceRegistered(QStringLiteral("com.wrenfold.ParcelmoorSettings"))
        .value();
  }
  // Until the program holds its own bus name, which it takes before anything else.
  bool serving() {
    return test::runUntil([this] { return holdsItsName(); });
  }
  bool heard(const char* name) {
    return test::runUntil([&] { return names_.contains(QString::fromLatin1(name)); });
  }
  // Milliseconds until `process` ends, or -1 when it still runs after `limit`.
  static qint64 msUntilExit(QProcess& process, std::chrono::milliseconds limit) {
    QElapsedTimer timer;
    timer.start();
    if (!test::runUntil([&] { return process.state() == QProcess::NotRunning; }, limit)) return -1;
    return timer.elapsed();
  }
  void playAgent() {
    ASSERT_EQ(agentSide_.interface()->registerService(kAgentName).value(),
              QDBusConnectionInterface::ServiceRegistered);
  }
  void agentQuits() { ASSERT_TRUE(agentSide_.interface()->unregisterService(kAgentName).value()); }

  QTemporaryDir home_;
  test::PrivateBus bus_;
  QDBusConnection agentSide_ = bus_.connect();
  QDBusConnection listener_;
  DBusSignals heard_;
  QStringList names_;
  QProcess program_;
  QProcess second_;
};

TEST_F(SettingsProgramTest, WithoutAnAgentItQuitsWithinASecondAndCancelsASignIn) {
  start(program_, false);
  // The second counts from the program being up: starting it takes a while of its own on a busy machine.
  ASSERT_TRUE(test::runUntil([&] { return program_.state() == QProcess::NotRunning || holdsItsName(); }));
  const qint64 elapsed = msUntilExit(program_, test::kHangBound);
  ASSERT_GE(elapsed, 0) << "still running without an agent";
  EXPECT_LT(elapsed, 2500);
  EXPECT_EQ(program_.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(program_.exitCode(), 0);
  EXPECT_TRUE(heard(names::signal::kRefreshAccount));
  EXPECT_TRUE(heard(names::signal::kCancelSignIn));
}

TEST_F(SettingsProgramTest, ItLivesAsLongAsTheAgent) {
  playAgent();
  start(program_, false);
  ASSERT_TRUE(serving());
  // Another program leaving the bus is no reason to go.
  const QString unrelated = QStringLiteral("org.example.Unrelated");
  ASSERT_TRUE(agentSide_.interface()->registerService(unrelated).isValid());
  ASSERT_TRUE(agentSide_.interface()->unregisterService(unrelated).value());
  EXPECT_EQ(msUntilExit(program_, 1500ms), -1);
  EXPECT_FALSE(names_.contains(QString::fromLatin1(names::signal::kCancelSignIn)));

  agentQuits();
  const qint64 elapsed = msUntilExit(program_, test::kHangBound);
  ASSERT_GE(elapsed, 0) << "still running after the agent quit";
  EXPECT_LT(elapsed, 1500);
  EXPECT_TRUE(heard(names::signal::kCancelSignIn));
}

TEST_F(SettingsProgramTest, ATestRunDoesNotWatchTheAgent) {
  playAgent();
  start(program_, true);
  ASSERT_TRUE(serving());
  agentQuits();
  EXPECT_EQ(msUntilExit(program_, 2500ms), -1);
}

TEST_F(SettingsProgramTest, ASecondLaunchHandsOverToTheOpenWindow) {
  start(program_, true);
  ASSERT_TRUE(serving());
  start(second_, true);
  const qint64 elapsed = msUntilExit(second_, test::kHangBound);
  ASSERT_GE(elapsed, 0) << "a second window opened";
  EXPECT_EQ(second_.exitCode(), 0);
  EXPECT_EQ(program_.state(), QProcess::Running);
}

TEST_F(SettingsProgramTest, WithoutADisplayItSaysSoAndOpensNothing) {
  QProcessEnvironment withoutDisplay = environment(true);
  for (const char* variable : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
    withoutDisplay.remove(QString::fromLatin1(variable));
  program_.setProcessEnvironment(withoutDisplay);
  program_.start(QStringLiteral(PM_SETTINGS_PROGRAM), {});
  ASSERT_TRUE(program_.waitForFinished(5000));
  EXPECT_EQ(program_.exitCode(), 1);
  EXPECT_TRUE(
      QString::fromUtf8(program_.readAllStandardError()).contains(QLatin1String("graphical display")));
  EXPECT_FALSE(
      agentSide_.interface()->isServiceRegistered(QStringLiteral("com.wrenfold.ParcelmoorSettings")).value());
}

}  // namespace
}  // namespace pm::settings
