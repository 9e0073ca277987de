#include <QTextStream>

#include <gtest/gtest.h>

#include "app/AgentCommandLine.h"

namespace pm {
namespace {

struct CommandLineRow {
  QStringList arguments;
  std::optional<int> exitCode;  // nothing: the agent starts
  QString said;                 // a piece of what goes to standard error before the usage
};

TEST(AgentCommandLine, HelpAndWrongOptionsEndWithTheUsageAndLinksStartTheAgent) {
  const QList<CommandLineRow> rows{
      {{}, std::nullopt, {}},
      {{QStringLiteral("parcelmoor://oauth/?state=s&code=c")}, std::nullopt, {}},
      {{QStringLiteral("--"), QStringLiteral("-not-an-option")}, std::nullopt, {}},
      {{QStringLiteral("--help")}, 0, {}},
      {{QStringLiteral("-h")}, 0, {}},
      {{QStringLiteral("parcelmoor://x"), QStringLiteral("--help")}, 0, {}},
      {{QStringLiteral("--version")}, 2, QStringLiteral("Parcelmoor: Unknown option 'version'.")},
      {{QStringLiteral("-help")}, 0, {}},
      {{QStringLiteral("-x")}, 2, QStringLiteral("Parcelmoor: Unknown option 'x'.")},
      {{QStringLiteral("--connection=0F8E2A4C-6B1D-4E3F-9A7C-2D5B8E1F4A6C")},
       2,
       QStringLiteral("Parcelmoor: Unknown option 'connection'.")},
  };
  for (const CommandLineRow& row : rows) {
    const std::string label = row.arguments.join(QLatin1Char(' ')).toStdString();
    QString said;
    QTextStream err(&said);
    EXPECT_EQ(handleAgentCommandLine(row.arguments, err), row.exitCode) << label;
    if (!row.exitCode) {
      EXPECT_TRUE(said.isEmpty()) << label;
      continue;
    }
    EXPECT_TRUE(said.startsWith(row.said)) << label << ": " << said.toStdString();
    EXPECT_TRUE(said.contains(QLatin1String("Usage: Parcelmoor [--help] [LINK...]"))) << label;
    EXPECT_TRUE(said.contains(QLatin1String("Usage: Parcelmoor send [--connection <UUID>] [--] PATH...")))
        << label;
  }
}

}  // namespace
}  // namespace pm
