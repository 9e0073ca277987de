#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QUrl>

#include <optional>

namespace pm::test {

// The development service's own program, as scripts/run starts it: on a free port of 127.0.0.1, its state
// in a folder of the caller's. Stopped when destroyed.
class DevServiceProcess {
 public:
  // Starts the program and waits for the URL it prints first; throws std::runtime_error when none comes.
  explicit DevServiceProcess(QString stateDirectory, qint64 partSize = 8 * 1024 * 1024);
  ~DevServiceProcess();
  DevServiceProcess(const DevServiceProcess&) = delete;
  DevServiceProcess& operator=(const DevServiceProcess&) = delete;

  const QUrl& url() const { return url_; }
  const QString& stateDirectory() const { return stateDirectory_; }
  qint64 processId() const { return process_.processId(); }

  // A signed-in session of `email` that the service accepts from its next start on: written into its state
  // before it runs, as if a sign-in had been approved earlier. Returns the session token.
  static QString createSession(const QString& stateDirectory, const QString& email);

  // The bytes of the file the service stores under `path` (in any bucket), opened from its sealed parts
  // with the bucket's key. Nothing until every part arrived (and a multi-part file was confirmed); throws
  // std::runtime_error when the stored parts do not open to a whole file.
  std::optional<QByteArray> storedFile(const QString& path) const;

 private:
  QString stateDirectory_;
  QProcess process_;
  QUrl url_;
};

}  // namespace pm::test
