#include "CredentialMarks.h"

#include <QJsonDocument>
#include <QJsonObject>

#include "platform/Crypto.h"
#include "platform/Keychain.h"
#include "platform/SharedNames.h"

namespace pm::CredentialMarks {

namespace {

QString service() {
  return QString::fromLatin1(names::keychain::kSyncService);
}
QString account() {
  return QStringLiteral("credential-marks");
}

}  // namespace

QByteArray digest(const SyncEntry& entry) {
  return crypto::sha256(entry.credentialsJson()).toHex();
}

std::optional<Marks> load(const Keychain& keychain) {
  const Keychain::Lookup found = keychain.find(service(), account());
  if (found.status == Keychain::Status::Failed) return std::nullopt;
  Marks marks;
  const QJsonObject object = QJsonDocument::fromJson(found.data).object();
  for (auto it = object.begin(); it != object.end(); ++it) {
    if (it->isString()) marks.insert(it.key(), it->toString().toLatin1());
  }
  return marks;
}

bool save(Keychain& keychain, const Marks& marks) {
  QJsonObject object;
  for (auto it = marks.cbegin(); it != marks.cend(); ++it) object.insert(it.key(), QString::fromLatin1(*it));
  return keychain.store(service(), account(), QJsonDocument(object).toJson(QJsonDocument::Compact));
}

}  // namespace pm::CredentialMarks
