#include "NodePeer.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace pm::test {

namespace {

constexpr int kStartMilliseconds = 20'000;
constexpr int kStopMilliseconds = 5'000;

QString peersDirectory() { return QStringLiteral(PARCELMOOR_SOURCE_DIR "/tests/peers"); }

}  // namespace

NodePeer::NodePeer(const QString& script, const QStringList& arguments) {
  if (!QFileInfo::exists(peersDirectory() + QStringLiteral("/node_modules"))) {
    failure_ = QStringLiteral("the npm peers are not installed; run scripts/peers install");
    return;
  }
  process_.setWorkingDirectory(peersDirectory());
  process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  process_.start(QStringLiteral("node"), QStringList{script} + arguments);
  if (!process_.waitForStarted(kStartMilliseconds)) {
    failure_ = QStringLiteral("node could not be started: ") + process_.errorString();
    return;
  }
  static const QRegularExpression listening(QStringLiteral("^listening 127\\.0\\.0\\.1:(\\d+)"));
  while (!process_.canReadLine()) {
    if (!process_.waitForReadyRead(kStartMilliseconds)) {
      failure_ = script + QStringLiteral(" did not say where it listens");
      return;
    }
  }
  const QRegularExpressionMatch match = listening.match(QString::fromUtf8(process_.readLine()));
  if (!match.hasMatch()) {
    failure_ = script + QStringLiteral(" answered something unexpected");
    return;
  }
  port_ = match.captured(1).toInt();
}

NodePeer::~NodePeer() {
  if (process_.state() == QProcess::NotRunning) return;
  // Closing its input is how the script is told to stop and clean up after itself.
  process_.closeWriteChannel();
  if (process_.waitForFinished(kStopMilliseconds)) return;
  process_.terminate();
  if (!process_.waitForFinished(kStopMilliseconds)) process_.kill();
  process_.waitForFinished(kStopMilliseconds);
}

QString NodePeer::endpoint() const { return QStringLiteral("http://127.0.0.1:%1").arg(port_); }

}  // namespace pm::test
