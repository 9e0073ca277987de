#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

namespace pm::test {

bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > timeout.count()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    if (!done()) QThread::msleep(1);
  }
  return true;
}

void spin(std::chrono::milliseconds duration) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < duration.count()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(1);
  }
}

TempRoot::TempRoot() : path_(dir_.path()), paths_(Paths::under(dir_.path())) {}

QString TempRoot::file(const QString& relative) const { return path_ + QLatin1Char('/') + relative; }

QString TempRoot::write(const QString& relative, const QByteArray& bytes) const {
  const QString target = file(relative);
  QDir().mkpath(QFileInfo(target).absolutePath());
  QFile out(target);
  if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size()) qFatal("cannot write test file");
  return target;
}

QString artifactsDirectory() {
  QString dir = qEnvironmentVariable("PM_TEST_ARTIFACTS");
  if (dir.isEmpty()) dir = QStringLiteral(PM_TEST_ARTIFACTS_DIR);
  QDir().mkpath(dir);
  return dir;
}

}  // namespace pm::test
