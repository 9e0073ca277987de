#include "LogCapture.h"

#include <QMutex>

namespace pm::test {

namespace {

struct Captured {
  QMutex mutex;
  QStringList lines;
  QtMessageHandler previous = nullptr;
  bool active = false;
};

Captured& captured() {
  static Captured instance;
  return instance;
}

}  // namespace

LogCapture::LogCapture() {
  Captured& state = captured();
  QMutexLocker locker(&state.mutex);
  if (state.active) qFatal("only one LogCapture at a time");
  state.active = true;
  state.lines.clear();
  state.previous = qInstallMessageHandler(&LogCapture::record);
  previous_ = state.previous;
}

LogCapture::~LogCapture() {
  Captured& state = captured();
  qInstallMessageHandler(previous_);
  QMutexLocker locker(&state.mutex);
  state.active = false;
}

void LogCapture::record(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  Captured& state = captured();
  QtMessageHandler previous = nullptr;
  {
    QMutexLocker locker(&state.mutex);
    // Only the system's own lines: Qt's may come and go between versions.
    if (context.category && QByteArray(context.category).startsWith("com.wrenfold.Parcelmoor."))
      state.lines.append(message);
    previous = state.previous;
  }
  if (previous) previous(type, context, message);
}

QStringList LogCapture::lines() const {
  Captured& state = captured();
  QMutexLocker locker(&state.mutex);
  return state.lines;
}

bool LogCapture::contains(const QString& text) const { return count(text) > 0; }

int LogCapture::count(const QString& text) const {
  int found = 0;
  for (const QString& line : lines()) found += line.contains(text) ? 1 : 0;
  return found;
}

void LogCapture::clear() {
  Captured& state = captured();
  QMutexLocker locker(&state.mutex);
  state.lines.clear();
}

}  // namespace pm::test
