#pragma once

#include <QString>
#include <QStringList>

#include <QtMessageHandler>

namespace pm::test {

// Collects the system's log lines (categories "com.wrenfold.Parcelmoor.*") while it lives, and still
// passes every message on, so a test can check that a line was written. One at a time.
class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  QStringList lines() const;
  // Whether any line contains `text`.
  bool contains(const QString& text) const;
  int count(const QString& text) const;
  void clear();

 private:
  static void record(QtMsgType type, const QMessageLogContext& context, const QString& message);

  QtMessageHandler previous_ = nullptr;
};

}  // namespace pm::test
