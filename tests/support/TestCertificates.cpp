#include "TestCertificates.h"

#include <QFile>
#include <QProcess>

namespace pm::test {

TestCertificates::TestCertificates() {
  if (!dir_.isValid()) {
    failure_ = QStringLiteral("no temporary folder for the certificates");
    return;
  }
  QFile extensions(dir_.filePath(QStringLiteral("server.ext")));
  if (!extensions.open(QIODevice::WriteOnly) ||
      extensions.write("subjectAltName=IP:127.0.0.1,DNS:localhost\n"
                       "basicConstraints=CA:FALSE\n"
                       "keyUsage=digitalSignature,keyEncipherment\n"
                       "extendedKeyUsage=serverAuth\n") < 0) {
    failure_ = QStringLiteral("could not write the certificate extensions");
    return;
  }
  extensions.close();
  const QString ca = caFile();
  const QString caKey = dir_.filePath(QStringLiteral("ca.key"));
  const QString request = dir_.filePath(QStringLiteral("server.csr"));
  run({QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"),
       QStringLiteral("-nodes"), QStringLiteral("-keyout"), caKey, QStringLiteral("-out"), ca,
       QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=Parcelmoor test CA")}) &&
      run({QStringLiteral("req"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"), QStringLiteral("-nodes"),
           QStringLiteral("-keyout"), keyFile(), QStringLiteral("-out"), request, QStringLiteral("-subj"),
           QStringLiteral("/CN=localhost")}) &&
      run({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), request, QStringLiteral("-CA"), ca,
           QStringLiteral("-CAkey"), caKey, QStringLiteral("-CAcreateserial"), QStringLiteral("-out"),
           certificateFile(), QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-extfile"),
           extensions.fileName()});
}

bool TestCertificates::run(const QStringList& arguments) {
  QProcess openssl;
  openssl.setProcessChannelMode(QProcess::MergedChannels);
  openssl.start(QStringLiteral("openssl"), arguments);
  if (!openssl.waitForFinished(30'000) || openssl.exitStatus() != QProcess::NormalExit || openssl.exitCode() != 0) {
    failure_ = QStringLiteral("openssl %1 failed: %2")
                   .arg(arguments.first(), QString::fromLocal8Bit(openssl.readAll()) + openssl.errorString());
    return false;
  }
  return true;
}

}  // namespace pm::test
