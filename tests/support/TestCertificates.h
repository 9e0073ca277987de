#pragma once

#include <QString>
#include <QTemporaryDir>

namespace pm::test {

// A throw-away certificate authority and a server certificate it signed for 127.0.0.1 and localhost,
// made with the openssl command for the lifetime of the object.
class TestCertificates {
 public:
  TestCertificates();

  // Empty when the files are there; otherwise why not.
  const QString& failure() const { return failure_; }
  QString caFile() const { return dir_.filePath(QStringLiteral("ca.pem")); }
  QString certificateFile() const { return dir_.filePath(QStringLiteral("server.pem")); }
  QString keyFile() const { return dir_.filePath(QStringLiteral("server.key")); }

 private:
  bool run(const QStringList& arguments);

  QTemporaryDir dir_;
  QString failure_;
};

}  // namespace pm::test
