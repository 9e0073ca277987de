#pragma once

#include <QProcess>
#include <QString>

namespace pm::test {

// pyftpdlib (Debian's python3-pyftpdlib, run by tests/peers/ftp-server.py) on 127.0.0.1 at a port of the
// system's choosing, serving one user whose home is `root`, for the lifetime of the object.
class FTPServerPeer {
 public:
  struct Options {
    QString root;
    QString user = QStringLiteral("parcel");
    QString password = QStringLiteral("moor-secret");
    // Explicit TLS, required on control and data connections, with this certificate and key.
    QString certificateFile{};
    QString keyFile{};
    // The server reads uploads at most this many bytes per second; 0 for no limit.
    qint64 readLimit = 0;
  };

  explicit FTPServerPeer(Options options);
  ~FTPServerPeer();
  FTPServerPeer(const FTPServerPeer&) = delete;
  FTPServerPeer& operator=(const FTPServerPeer&) = delete;

  // Empty when the server runs; otherwise why it does not.
  const QString& failure() const { return failure_; }
  int port() const { return port_; }
  const Options& options() const { return options_; }

 private:
  Options options_;
  QProcess process_;
  int port_ = 0;
  QString failure_;
};

}  // namespace pm::test
