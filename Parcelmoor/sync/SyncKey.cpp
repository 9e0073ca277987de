#include "SyncKey.h"

#include <QStringDecoder>

#include "platform/Crypto.h"
#include "platform/Keychain.h"
#include "platform/SharedNames.h"
#include "sync/SyncCode.h"

namespace pm {

namespace {

QString service() {
  return QString::fromLatin1(names::keychain::kSyncService);
}
QString account() {
  return QString::fromLatin1(names::keychain::kSyncKeyAccount);
}

}  // namespace

std::optional<QString> loadSyncKey(const Keychain& keychain) {
  const std::optional<QByteArray> stored = keychain.load(service(), account());
  if (!stored) return std::nullopt;
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString key = decoder.decode(*stored);
  if (decoder.hasError()) return std::nullopt;
  return key;
}

bool saveSyncKey(Keychain& keychain, const std::optional<QString>& key) {
  deleteSyncKey(keychain);
  if (!key || key->isEmpty()) return true;
  return keychain.store(service(), account(), key->toUtf8());
}

void deleteSyncKey(Keychain& keychain) {
  keychain.remove(service(), account());
}

QString makeSyncKey() {
  return SyncCode::fromBytes(crypto::requireRandomBytes(kSyncKeyLength));
}

}  // namespace pm
