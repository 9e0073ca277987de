// A child process for the keychain test without a Secret Service: stores and reads one item and prints
// what the calls answered, as "store=<0|1> find=<Found|NotFound|Failed>".
#include <QCoreApplication>
#include <QTextStream>

#include "platform/Keychain.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  pm::SecretServiceKeychain keychain;
  const bool stored = keychain.store(QStringLiteral("com.wrenfold.Parcelmoor.test"), QStringLiteral("probe"), "x");
  const auto found = keychain.find(QStringLiteral("com.wrenfold.Parcelmoor.test"), QStringLiteral("probe"));
  const char* status = found.status == pm::Keychain::Status::Found      ? "Found"
                       : found.status == pm::Keychain::Status::NotFound ? "NotFound"
                                                                        : "Failed";
  QTextStream(stdout) << "store=" << (stored ? 1 : 0) << " find=" << status << "\n";
  return 0;
}
