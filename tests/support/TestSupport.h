#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QTemporaryDir>

#include <chrono>
#include <functional>

#include "platform/Clock.h"
#include "platform/Paths.h"

namespace pm::test {

// Runs the event loop until `done` holds or `timeout` passes; returns whether it held.
bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(5));
// Runs the event loop for `duration`.
void spin(std::chrono::milliseconds duration);

// A private folder for one test, removed afterwards, with the system's paths laid out under it.
class TempRoot {
 public:
  TempRoot();
  const QString& path() const { return path_; }
  const Paths& paths() const { return paths_; }
  QString file(const QString& relative) const;
  // Writes `bytes` to `relative` (creating folders) and returns the absolute path.
  QString write(const QString& relative, const QByteArray& bytes) const;

 private:
  QTemporaryDir dir_;
  QString path_;
  Paths paths_;
};

class ManualClock final : public Clock {
 public:
  explicit ManualClock(QDateTime start = QDateTime(QDate(2024, 3, 1), QTime(12, 0), QTimeZone::utc()))
      : now_(std::move(start)) {}
  QDateTime now() const override { return now_; }
  void set(QDateTime time) { now_ = std::move(time); }
  void advance(std::chrono::milliseconds by) { now_ = now_.addMSecs(by.count()); }

 private:
  QDateTime now_;
};

// Where widget tests leave their screenshots (build/test-artifacts).
QString artifactsDirectory();

}  // namespace pm::test
