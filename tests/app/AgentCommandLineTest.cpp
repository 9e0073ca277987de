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

// The usage asked for is the answer (standard output); after a wrong option it explains an error.
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
      // Qt's own options, which the application object takes, as a session manager or a user passes them.
      {{QStringLiteral("-session"), QStringLiteral("10d5c3a1b2e4f6000171234560000000010_1765400000_123456")},
       std::nullopt,
       {}},
      {{QStringLiteral("--session=10d5c3a1"), QStringLiteral("parcelmoor://x")}, std::nullopt, {}},
      {{QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("-display"), QStringLiteral(":0"),
        QStringLiteral("-style=Fusion"), QStringLiteral("-reverse")},
       std::nullopt,
       {}},
      {{QStringLiteral("-session")}, 2, QStringLiteral("Parcelmoor: Missing value after '-session'.")},
      {{QStringLiteral("-session"), QStringLiteral("s1"), QStringLiteral("--bogus")},
       2,
       QStringLiteral("Parcelmoor: Unknown option 'bogus'.")},
  };
  for (const CommandLineRow& row : rows) {
    const std::string label = row.arguments.join(QLatin1Char(' ')).toStdString();
    QString shown;
    QString said;
    QTextStream out(&shown);
    QTextStream err(&said);
    EXPECT_EQ(handleAgentCommandLine(row.arguments, out, err), row.exitCode) << label;
    if (!row.exitCode) {
      EXPECT_TRUE(said.isEmpty()) << label << ": " << said.toStdString();
      EXPECT_TRUE(shown.isEmpty()) << label;
      continue;
    }
    if (*row.exitCode == 0) {
      EXPECT_TRUE(said.isEmpty()) << label << ": " << said.toStdString();
      said = shown;
    } else {
      EXPECT_TRUE(shown.isEmpty()) << label;
    }
    EXPECT_TRUE(said.startsWith(row.said)) << label << ": " << said.toStdString();
    EXPECT_TRUE(said.contains(QLatin1String("Usage: Parcelmoor [--help] [LINK...]"))) << label;
    EXPECT_TRUE(said.contains(QLatin1String("Usage: Parcelmoor send [--connection <UUID>] [--] PATH...")))
        << label;
  }
}

}  // namespace
}  // namespace pm
