// A child process that reads or writes one item of the keyring on its session bus, for tests that give a
// program a keyring of its own: "store SERVICE ACCOUNT BASE64" (exit 2 when refused) and
// "load SERVICE ACCOUNT", which prints the item's bytes as Base64 (exit 1 when there is none).
#include <QCoreApplication>
#include <QTextStream>

#include "platform/Keychain.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList arguments = QCoreApplication::arguments();
  pm::SecretServiceKeychain keychain;
  if (arguments.size() == 5 && arguments.at(1) == QLatin1String("store")) {
    const QByteArray value = QByteArray::fromBase64(arguments.at(4).toLatin1());
    return keychain.store(arguments.at(2), arguments.at(3), value) ? 0 : 2;
  }
  if (arguments.size() == 4 && arguments.at(1) == QLatin1String("load")) {
    const std::optional<QByteArray> value = keychain.load(arguments.at(2), arguments.at(3));
    if (!value) return 1;
    QTextStream(stdout) << value->toBase64() << '\n';
    return 0;
  }
  QTextStream(stderr) << "usage: pm_keychain_item store SERVICE ACCOUNT BASE64 | load SERVICE ACCOUNT\n";
  return 64;
}
