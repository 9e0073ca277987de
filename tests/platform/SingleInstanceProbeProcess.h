#pragma once

#include <QProcess>
#include <QStringList>

#include <chrono>

#include "support/TestSupport.h"

namespace pm::test {

// A launch of pm_single_instance_probe (SingleInstanceProbe.cpp), with what it printed so far. Needs
// PM_SINGLE_INSTANCE_PROBE defined to the probe's path.
class SingleInstanceProbe {
 public:
  SingleInstanceProbe(const QString& serviceName, const QStringList& arguments) {
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QStringLiteral(PM_SINGLE_INSTANCE_PROBE), QStringList{serviceName} + arguments);
  }
  ~SingleInstanceProbe() {
    if (process_.state() != QProcess::NotRunning) {
      process_.kill();
      process_.waitForFinished(5000);
    }
  }

  QStringList lines() {
    buffer_ += process_.readAllStandardOutput();
    QStringList result = QString::fromUtf8(buffer_).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return result;
  }
  bool waitForLine(const QString& line) {
    return runUntil([&] { return lines().contains(line); }, std::chrono::seconds(10));
  }
  bool waitForExit() {
    return runUntil([&] { return process_.state() == QProcess::NotRunning; }, std::chrono::seconds(15));
  }
  int exitCode() const { return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1; }
  bool running() const { return process_.state() != QProcess::NotRunning; }
  void kill() {
    process_.kill();
    process_.waitForFinished(5000);
  }

 private:
  QProcess process_;
  QByteArray buffer_;
};

}  // namespace pm::test
