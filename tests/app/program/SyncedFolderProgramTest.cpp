#include <QDir>

#include <gtest/gtest.h>

#include "AgentProgramFixture.h"
#include "platform/SharedNames.h"
#include "platform/Signals.h"

namespace pm::test {
namespace {

using namespace std::chrono_literals;

class SyncedFolderProgram : public AgentProgramFixture {
 protected:
  QVariant state() const { return agent->preference(QString::fromLatin1(names::key::kICloudState)); }
};

// The program checks the synced folder it would copy to, at start-up and whenever the settings program asks.
TEST_F(SyncedFolderProgram, IsCheckedAtStartAndOnRequest) {
  ASSERT_NO_FATAL_FAILURE(startService());
  ASSERT_NO_FATAL_FAILURE(startAgent());
  const QVariant switchedOff(QStringLiteral("The synced folder is switched off on this computer."));
  EXPECT_TRUE(runUntil([&] { return state() == switchedOff; })) << agent->log().toStdString();

  ASSERT_TRUE(QDir().mkpath(agent->ubiquityRoot()));
  DBusSignals signals;
  signals.postDarwinNotification(QString::fromLatin1(names::signal::kCheckICloud));

  EXPECT_TRUE(runUntil([&] { return state() == QVariant(QString()); })) << agent->log().toStdString();
  EXPECT_TRUE(
      QFileInfo(agent->ubiquityRoot() + QStringLiteral("/iCloud.com.wrenfold.Parcelmoor/Documents")).isDir());
}

}  // namespace
}  // namespace pm::test
