#include <QFile>

#include <gtest/gtest.h>

#include "AgentProgramFixture.h"

namespace pm::test {
namespace {

// The memory map of a running process: the libraries it loaded, among the rest.
QString memoryMap(qint64 processId) {
  QFile maps(QStringLiteral("/proc/%1/maps").arg(processId));
  if (!maps.open(QIODevice::ReadOnly)) return {};
  return QString::fromLocal8Bit(maps.readAll());
}

using StartupLibraries = AgentProgramFixture;

// libcurl (with its TLS, LDAP and SSH libraries) and libcanberra (with its codecs) are loaded with the
// first transfer and the first sound, not while the agent starts.
TEST_F(StartupLibraries, AStartedAgentHasNotLoadedTheLibrariesOfTransfersAndSounds) {
  ASSERT_NO_FATAL_FAILURE(startService(QStringLiteral("ada@example.com")));
  ASSERT_NO_FATAL_FAILURE(startAgent());
  // Its start-up sequence has run to its last step.
  ASSERT_TRUE(runUntil([&] { return agent->log().contains(QLatin1String("start-up: daily session check")); }))
      << agent->log().toStdString();
  const QString maps = memoryMap(agent->processId());
  ASSERT_TRUE(maps.contains(QLatin1String("libQt6Core"))) << "the map of the agent could not be read";
  EXPECT_FALSE(maps.contains(QLatin1String("libcurl")));
  EXPECT_FALSE(maps.contains(QLatin1String("libcanberra")));
}

}  // namespace
}  // namespace pm::test
