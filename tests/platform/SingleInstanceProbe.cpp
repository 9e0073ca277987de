// A launch of the agent as far as single instance goes, for the two-process tests:
//   pm_single_instance_probe SERVICE-NAME [ARGUMENTS...]
// claims SERVICE-NAME or forwards ARGUMENTS to its holder. It prints "primary" and then one line per request
// it receives ("reopen", or "urls" and the URLs separated by spaces) until it is killed; or "forwarded" and
// exits 0; exits 3 without a bus and 4 when the holder did not answer.
#include <QCoreApplication>
#include <QTextStream>

#include "platform/SingleInstance.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QStringList arguments = app.arguments().mid(1);
  if (arguments.isEmpty()) {
    QTextStream(stderr) << "usage: pm_single_instance_probe SERVICE-NAME [ARGUMENTS...]\n";
    return 1;
  }
  const QString serviceName = arguments.takeFirst();
  QTextStream out(stdout);
  pm::SingleInstance instance(QDBusConnection::sessionBus(), serviceName);
  QObject::connect(&instance, &pm::SingleInstance::reopenRequested, [&out] {
    out << "reopen\n" << Qt::flush;
  });
  QObject::connect(&instance, &pm::SingleInstance::urlsOpened, [&out](const QStringList& urls) {
    out << "urls " << urls.join(QLatin1Char(' ')) << '\n' << Qt::flush;
  });
  switch (instance.claimOrForward(arguments)) {
    case pm::SingleInstance::Launch::primary:
      out << "primary\n" << Qt::flush;
      return app.exec();
    case pm::SingleInstance::Launch::forwarded:
      out << "forwarded\n" << Qt::flush;
      return 0;
    case pm::SingleInstance::Launch::noBus:
      return 3;
    case pm::SingleInstance::Launch::unanswered:
      return 4;
  }
  return 1;
}
