#include "SyncKey.h"

#include <QStringDecoder>

#include "platform/Keychain.h"

namespace pm {

std::optional<QString> loadSyncKey(const Keychain& keychain) {
  const std::optional<QByteArray> stored =
      keychain.load(QStringLiteral("com.wrenfold.Parcelmoor.sync"), QStringLiteral("sync-key"));
  if (!stored) return std::nullopt;
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString key = decoder.decode(*stored);
  if (decoder.hasError()) return std::nullopt;
  return key;
}

}  // namespace pm
