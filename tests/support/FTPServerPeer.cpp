#include "FTPServerPeer.h"

#include <QRegularExpression>

namespace pm::test {

namespace {

constexpr int kStartMilliseconds = 20'000;
constexpr int kStopMilliseconds = 5'000;

QString serverScript() { return QStringLiteral(PARCELMOOR_SOURCE_DIR "/tests/peers/ftp-server.py"); }

}  // namespace

FTPServerPeer::FTPServerPeer(Options options) : options_(std::move(options)) {
  QStringList arguments{serverScript(), QStringLiteral("--root"), options_.root, QStringLiteral("--user"),
                        options_.user, QStringLiteral("--password"), options_.password};
  if (!options_.certificateFile.isEmpty())
    arguments << QStringLiteral("--cert") << options_.certificateFile << QStringLiteral("--key") << options_.keyFile;
  if (options_.readLimit > 0) arguments << QStringLiteral("--read-limit") << QString::number(options_.readLimit);
  process_.setProcessChannelMode(QProcess::SeparateChannels);
  // The server's request log goes nowhere: a test that fails prints what the uploader saw.
  process_.setStandardErrorFile(QProcess::nullDevice());
  // Debian's interpreter, where python3-pyftpdlib is installed, whatever else is first on the PATH.
  process_.start(QStringLiteral("/usr/bin/python3"), arguments);
  if (!process_.waitForStarted(kStartMilliseconds)) {
    failure_ = QStringLiteral("python3 could not be started: ") + process_.errorString();
    return;
  }
  while (!process_.canReadLine()) {
    if (!process_.waitForReadyRead(kStartMilliseconds)) {
      failure_ = QStringLiteral("the FTP server did not start (is python3-pyftpdlib installed? scripts/setup "
                                "installs it)");
      return;
    }
  }
  static const QRegularExpression listening(QStringLiteral("^listening 127\\.0\\.0\\.1:(\\d+)"));
  const QRegularExpressionMatch match = listening.match(QString::fromUtf8(process_.readLine()));
  if (!match.hasMatch()) {
    failure_ = QStringLiteral("the FTP server answered something unexpected");
    return;
  }
  port_ = match.captured(1).toInt();
}

FTPServerPeer::~FTPServerPeer() {
  if (process_.state() == QProcess::NotRunning) return;
  process_.terminate();
  if (!process_.waitForFinished(kStopMilliseconds)) process_.kill();
  process_.waitForFinished(kStopMilliseconds);
}

}  // namespace pm::test
