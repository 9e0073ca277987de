#include "SessionToken.h"

#include <QStringDecoder>

#include "platform/Keychain.h"
#include "platform/SharedNames.h"

namespace pm {

namespace {
QString service() { return QString::fromLatin1(names::keychain::kSessionService); }
}  // namespace

QString sessionTokenAccount() { return QString::fromLatin1(names::keychain::kSessionTokenAccount); }

KeychainStringLookup lookupKeychainString(const Keychain& keychain, const QString& account) {
  const Keychain::Lookup found = keychain.find(service(), account);
  if (found.status == Keychain::Status::Failed) return {false, std::nullopt};
  if (found.status == Keychain::Status::NotFound) return {true, std::nullopt};
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = decoder.decode(found.data);
  if (decoder.hasError()) return {true, std::nullopt};
  return {true, std::move(text)};
}

std::optional<QString> loadKeychainString(const Keychain& keychain, const QString& account) {
  return lookupKeychainString(keychain, account).text;
}

bool storeKeychainString(Keychain& keychain, const std::optional<QString>& value, const QString& account) {
  if (!value) {
    keychain.remove(service(), account);
    return true;
  }
  // The store replaces the old item whole: no attribute of it survives.
  return keychain.store(service(), account, value->toUtf8());
}

void deleteKeychainString(Keychain& keychain, const QString& account) { keychain.remove(service(), account); }

}  // namespace pm
