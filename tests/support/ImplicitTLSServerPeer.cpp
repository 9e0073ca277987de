#include "ImplicitTLSServerPeer.h"

#include <QFile>
#include <QFileInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

namespace pm::test {

namespace {

constexpr int kStartMilliseconds = 10'000;
constexpr int kStopMilliseconds = 5'000;
constexpr int kAttempts = 5;

QString vsftpd() {
  for (const QString& path : {QStringLiteral("/usr/sbin/vsftpd"), QStringLiteral("/sbin/vsftpd")})
    if (QFileInfo(path).isExecutable()) return path;
  return {};
}

// vsftpd takes its port from its configuration: borrow a free one from the system.
int freePort() {
  QTcpServer probe;
  if (!probe.listen(QHostAddress::LocalHost, 0)) return 0;
  return probe.serverPort();
}

}  // namespace

ImplicitTLSServerPeer::ImplicitTLSServerPeer(const QString& root, const QString& certificateFile,
                                             const QString& keyFile) {
  if (vsftpd().isEmpty()) {
    failure_ = QStringLiteral("vsftpd is not installed (scripts/setup installs it)");
    return;
  }
  if (!work_.isValid()) {
    failure_ = QStringLiteral("no temporary folder for vsftpd");
    return;
  }
  // Another program may take the borrowed port before vsftpd binds it; try a few.
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    failure_.clear();
    if (start(root, certificateFile, keyFile, freePort())) return;
  }
}

bool ImplicitTLSServerPeer::start(const QString& root, const QString& certificateFile, const QString& keyFile,
                                  int port) {
  QFile config(work_.filePath(QStringLiteral("vsftpd.conf")));
  if (!config.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    failure_ = QStringLiteral("could not write vsftpd.conf");
    return false;
  }
  const QString text = QStringLiteral(
                           "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\nlisten_port=%1\nbackground=NO\n"
                           // No privileges needed, and none dropped: the test's own user serves.
                           "run_as_launching_user=YES\nseccomp_sandbox=NO\n"
                           "anonymous_enable=YES\nno_anon_password=YES\nanon_root=%2\nlocal_enable=NO\n"
                           "write_enable=YES\nanon_upload_enable=YES\nanon_mkdir_write_enable=YES\n"
                           "anon_other_write_enable=YES\nanon_umask=022\n"
                           "ssl_enable=YES\nimplicit_ssl=YES\nallow_anon_ssl=YES\nforce_anon_logins_ssl=YES\n"
                           "force_anon_data_ssl=YES\nrequire_ssl_reuse=NO\nstrict_ssl_read_eof=NO\n"
                           "rsa_cert_file=%3\nrsa_private_key_file=%4\n"
                           "pasv_enable=YES\npasv_address=127.0.0.1\nsecure_chroot_dir=%5\n"
                           "xferlog_enable=NO\nsyslog_enable=NO\n")
                           .arg(port)
                           .arg(root, certificateFile, keyFile, work_.path());
  config.write(text.toUtf8());
  config.close();

  process_.setProcessChannelMode(QProcess::MergedChannels);
  process_.start(vsftpd(), {config.fileName()});
  if (!process_.waitForStarted(kStartMilliseconds)) {
    failure_ = QStringLiteral("vsftpd could not be started: ") + process_.errorString();
    return false;
  }
  // It says nothing when ready: wait until the port takes connections (or vsftpd gives up).
  for (int waited = 0; waited < kStartMilliseconds; waited += 50) {
    if (process_.state() == QProcess::NotRunning) break;
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, quint16(port));
    if (socket.waitForConnected(200)) {
      socket.abort();
      port_ = port;
      return true;
    }
    QThread::msleep(50);
  }
  failure_ = QStringLiteral("vsftpd did not start: ") + QString::fromLocal8Bit(process_.readAll());
  process_.kill();
  process_.waitForFinished(kStopMilliseconds);
  return false;
}

ImplicitTLSServerPeer::~ImplicitTLSServerPeer() {
  if (process_.state() == QProcess::NotRunning) return;
  process_.terminate();
  if (!process_.waitForFinished(kStopMilliseconds)) process_.kill();
  process_.waitForFinished(kStopMilliseconds);
}

}  // namespace pm::test
