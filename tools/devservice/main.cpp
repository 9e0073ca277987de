// parcelmoor-devservice [--port N] [--state-dir DIR] [--part-size BYTES]
// Serves the development stand-in of the product's service on 127.0.0.1 and prints its URL on the first
// line of standard output. State lives in DIR, by default $XDG_STATE_HOME/parcelmoor-devservice
// (~/.local/state/parcelmoor-devservice).
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include <csignal>
#include <cstdio>
#include <thread>

#include <pthread.h>

#include "DevService.h"

namespace {

QString defaultStateDirectory() {
  QString state = qEnvironmentVariable("XDG_STATE_HOME");
  if (state.isEmpty() || !QDir::isAbsolutePath(state))
    state = QDir::homePath() + QLatin1String("/.local/state");
  return QDir::cleanPath(state + QLatin1String("/parcelmoor-devservice"));
}

}  // namespace

int main(int argc, char** argv) {
  // Ctrl-C and a plain kill end the event loop from a thread of their own (nothing else is safe in a
  // signal handler), so a part being written is never cut off halfway. Blocked before any thread starts,
  // so every thread inherits the mask and only the waiter takes them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("parcelmoor-devservice"));

  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("A development stand-in for Parcelmoor's service on 127.0.0.1."));
  parser.addHelpOption();
  const QCommandLineOption port(QStringLiteral("port"),
                                QStringLiteral("Port to listen on (0: any free port)."), QStringLiteral("N"),
                                QStringLiteral("0"));
  const QCommandLineOption stateDir(QStringLiteral("state-dir"),
                                    QStringLiteral("Where to keep accounts, buckets and parts."),
                                    QStringLiteral("DIR"), defaultStateDirectory());
  const QCommandLineOption partSize(
      QStringLiteral("part-size"),
      QStringLiteral("Sealed files larger than this go up in parts of this size."), QStringLiteral("BYTES"),
      QString::number(8 * 1024 * 1024));
  parser.addOptions({port, stateDir, partSize});
  parser.process(app);

  bool portOk = false;
  bool partOk = false;
  pm::dev::DevService::Options options;
  options.stateDirectory = QDir(parser.value(stateDir)).absolutePath();
  options.port = parser.value(port).toUShort(&portOk);
  options.partSize = parser.value(partSize).toLongLong(&partOk);
  if (!portOk || !partOk || options.partSize < 1) {
    std::fprintf(stderr, "parcelmoor-devservice: --port takes 0 to 65535, --part-size a positive number\n");
    return 2;
  }

  pm::dev::DevService service(options);
  if (!service.start()) {
    std::fprintf(stderr, "parcelmoor-devservice: %s\n", qPrintable(service.failure()));
    return 1;
  }
  std::printf("%s\n", qPrintable(service.baseUrl().toString()));
  std::fflush(stdout);
  std::fprintf(stderr, "state in %s; sign-ins are approved at %s/device\n",
               qPrintable(options.stateDirectory), qPrintable(service.baseUrl().toString()));

  std::thread([stopSignals] {
    int received = 0;
    sigwait(&stopSignals, &received);
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
  }).detach();
  const int status = app.exec();
  service.stop();
  return status;
}
