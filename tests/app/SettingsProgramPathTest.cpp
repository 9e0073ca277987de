#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "app/SettingsProgram.h"
#include "support/TestSupport.h"

namespace pm {
namespace {

const QString kInstalled = QStringLiteral("../libexec/parcelmoor/ParcelmoorSettings");

TEST(SettingsProgramPath, PrefersTheAgentsOwnHelpersThenTheInstalledOne) {
  struct Case {
    const char* name;
    QStringList present;  // relative to the root; the agent lives in "bin"
    const char* expected;
  };
  const Case cases[] = {
      {"build tree",
       {QStringLiteral("bin/Helpers/ParcelmoorSettings"),
        QStringLiteral("libexec/parcelmoor/ParcelmoorSettings")},
       "bin/Helpers/ParcelmoorSettings"},
      {"installed",
       {QStringLiteral("libexec/parcelmoor/ParcelmoorSettings")},
       "libexec/parcelmoor/ParcelmoorSettings"},
      {"beside", {QStringLiteral("Helpers/ParcelmoorSettings")}, "Helpers/ParcelmoorSettings"},
      {"nowhere", {}, "Helpers/ParcelmoorSettings"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const test::TempRoot root;
    QDir().mkpath(root.file(QStringLiteral("bin")));
    for (const QString& file : c.present) root.write(file, "#!/bin/sh\n");
    EXPECT_EQ(settingsProgramPath(root.file(QStringLiteral("bin")), kInstalled),
              QDir::cleanPath(root.file(QString::fromLatin1(c.expected))));
  }
}

}  // namespace
}  // namespace pm
