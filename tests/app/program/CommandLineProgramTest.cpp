#include <gtest/gtest.h>

#include "AgentProgramFixture.h"

namespace pm::test {
namespace {

class CommandLineProgram : public AgentProgramFixture {
 protected:
  void SetUp() override { ASSERT_NO_FATAL_FAILURE(startService()); }
};

// Asked from a terminal without a desktop, the program answers and ends; no agent starts.
TEST_F(CommandLineProgram, HelpAndAnUnknownOptionPrintTheUsageAndStartNoAgent) {
  const struct {
    QStringList arguments;
    int exitCode;
  } rows[] = {{{QStringLiteral("--help")}, 0}, {{QStringLiteral("--frobnicate")}, 2}};
  for (const auto& row : rows) {
    const AgentProcess::Finished finished = agent->launch(row.arguments, true);
    const std::string label = row.arguments.join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(finished.exitCode, row.exitCode) << label << ": " << finished.errors.toStdString();
    EXPECT_TRUE(finished.errors.contains(QLatin1String("Usage: Parcelmoor [--help]"))) << label;
    EXPECT_TRUE(finished.errors.contains(QLatin1String("Usage: Parcelmoor send"))) << label;
    EXPECT_FALSE(AgentProcess::nameIsOwned()) << label;
  }
}

}  // namespace
}  // namespace pm::test
