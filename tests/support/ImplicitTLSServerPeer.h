#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace pm::test {

// vsftpd on 127.0.0.1 with implicit TLS only, anonymous uploads allowed into `root`, for the lifetime of
// the object. It runs as the user who starts it, so the tests need no privileges.
class ImplicitTLSServerPeer {
 public:
  ImplicitTLSServerPeer(const QString& root, const QString& certificateFile, const QString& keyFile);
  ~ImplicitTLSServerPeer();
  ImplicitTLSServerPeer(const ImplicitTLSServerPeer&) = delete;
  ImplicitTLSServerPeer& operator=(const ImplicitTLSServerPeer&) = delete;

  const QString& failure() const { return failure_; }
  int port() const { return port_; }

 private:
  bool start(const QString& root, const QString& certificateFile, const QString& keyFile, int port);

  QTemporaryDir work_;
  QProcess process_;
  int port_ = 0;
  QString failure_;
};

}  // namespace pm::test
