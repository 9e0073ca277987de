// A second program for the cross-process tests of the preferences suite.
//   pm_suite_writer keys <suite-file> <prefix> <count>   writes <prefix><n> = n for n in [0, count)
//   pm_suite_writer accessor <root> <key>                writes key through the accessor, changes
//                                                         PARCELMOOR_TEST_SUITE, writes key again
#include <QCoreApplication>
#include <QTextStream>

#include "platform/Paths.h"
#include "platform/SharedDefaults.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments();
  if (args.size() == 5 && args[1] == QLatin1String("keys")) {
    pm::FileSharedDefaults defaults(args[2]);
    const int count = args[4].toInt();
    for (int n = 0; n < count; ++n) {
      if (!defaults.set(args[3] + QString::number(n), n)) return 2;
    }
    return 0;
  }
  if (args.size() == 4 && args[1] == QLatin1String("accessor")) {
    const pm::Paths paths = pm::Paths::under(args[2]);
    if (!pm::openSharedDefaults(paths, QStringLiteral("standard"))->set(args[3], true)) return 2;
    qputenv("PARCELMOOR_TEST_SUITE", "changed-suite");
    if (!pm::openSharedDefaults(paths, QStringLiteral("standard"))->set(args[3] + QLatin1String("Again"), true))
      return 2;
    return 0;
  }
  QTextStream(stderr) << "usage: pm_suite_writer keys FILE PREFIX COUNT | accessor ROOT KEY\n";
  return 1;
}
