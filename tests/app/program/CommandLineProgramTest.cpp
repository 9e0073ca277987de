#include <gtest/gtest.h>

#include "AgentProgramFixture.h"

namespace pm::test {
namespace {

class CommandLineProgram : public AgentProgramFixture {
 protected:
  void SetUp() override { ASSERT_NO_FATAL_FAILURE(startService()); }
};

// Asked from a terminal without a desktop, the program answers and ends; no agent starts. The usage asked
// for is the answer, on standard output (so `Parcelmoor --help | less` works); after a wrong option it
// goes with the error to standard error.
TEST_F(CommandLineProgram, HelpAndAnUnknownOptionPrintTheUsageAndStartNoAgent) {
  const struct {
    QStringList arguments;
    int exitCode;
    bool onOutput;
    bool withAgentUsage;
  } rows[] = {
      {{QStringLiteral("--help")}, 0, true, true},
      {{QStringLiteral("--frobnicate")}, 2, false, true},
      {{QStringLiteral("-session"), QStringLiteral("s1"), QStringLiteral("--bogus")}, 2, false, true},
      {{QStringLiteral("send"), QStringLiteral("--help")}, 0, true, false},
      {{QStringLiteral("send"), QStringLiteral("--frobnicate"), QStringLiteral("/tmp")}, 2, false, false},
  };
  for (const auto& row : rows) {
    const AgentProcess::Finished finished = agent->launch(row.arguments, true);
    const std::string label = row.arguments.join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(finished.exitCode, row.exitCode) << label << ": " << finished.errors.toStdString();
    const QString& usage = row.onOutput ? finished.output : finished.errors;
    const QString& other = row.onOutput ? finished.errors : finished.output;
    EXPECT_EQ(usage.contains(QLatin1String("Usage: Parcelmoor [--help]")), row.withAgentUsage) << label;
    EXPECT_TRUE(usage.contains(QLatin1String("Usage: Parcelmoor send"))) << label;
    EXPECT_TRUE(other.isEmpty()) << label << ": " << other.toStdString();
    EXPECT_FALSE(AgentProcess::nameIsOwned()) << label;
  }
}

// A session manager restoring a login starts its programs with Qt's own -session option; the platform
// options come from users and scripts. The application object takes them and the agent runs.
TEST_F(CommandLineProgram, QtsOwnOptionsStartTheAgent) {
  const QStringList rows[] = {
      {QStringLiteral("-session"), QStringLiteral("10d5c3a1b2e4f6000171234560000000010_1765400000_123456")},
      {QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("--reverse")},
  };
  for (const QStringList& arguments : rows) {
    const std::string label = arguments.join(QLatin1Char(' ')).toStdString();
    ASSERT_NO_FATAL_FAILURE(startAgent(arguments)) << label;
    agent->stop();
    EXPECT_FALSE(agent->log().contains(QLatin1String("Unknown option"))) << label;
  }
}

}  // namespace
}  // namespace pm::test
