#include "SyncRecords.h"

#include "platform/Clock.h"

namespace pm::dev {

namespace {

using Answer = SyncRecords::Answer;

Answer error(int status, const QString& code, const QString& message) {
  return Answer{status, QJsonObject{{QStringLiteral("error"), code}, {QStringLiteral("message"), message}}};
}

bool hasStrings(const QJsonObject& object, std::initializer_list<const char*> keys) {
  for (const char* key : keys) {
    if (!object.value(QLatin1String(key)).isString()) return false;
  }
  return true;
}

QString text(const QJsonObject& object, const char* key) {
  return object.value(QLatin1String(key)).toString();
}

Answer noPairing() {
  return error(404, QStringLiteral("NOT_FOUND"), QStringLiteral("No pairing is open for this account."));
}

const SystemClock kSystemClock;

}  // namespace

SyncRecords::SyncRecords(const Clock* clock) : clock_(clock ? clock : &kSystemClock) {}

bool SyncRecords::isLive(const QDateTime& expiresAt) const {
  return expiresAt.isValid() && clock_->now() < expiresAt;
}

const SyncRecords::Pairing* SyncRecords::livePairing(const QString& account) const {
  const auto found = pairings.constFind(account);
  return found != pairings.cend() && isLive(found->expiresAt) ? &*found : nullptr;
}

SyncRecords::Pairing* SyncRecords::livePairing(const QString& account) {
  const auto found = pairings.find(account);
  if (found == pairings.end()) return nullptr;
  if (isLive(found->expiresAt)) return &*found;
  pairings.erase(found);
  return nullptr;
}

Answer SyncRecords::getCopy(const QString& account) const {
  const auto found = copies.constFind(account);
  if (found == copies.cend()) return Answer{200, QJsonObject{{QStringLiteral("version"), 0}}};
  return Answer{
      200, QJsonObject{{QStringLiteral("blob"), found->blob}, {QStringLiteral("version"), found->version}}};
}

Answer SyncRecords::putCopy(const QString& account, const QJsonObject& body) {
  const QJsonValue version = body.value(QStringLiteral("version"));
  if (!body.value(QStringLiteral("blob")).isString() || !version.isDouble())
    return error(400, QStringLiteral("BAD_REQUEST"),
                 QStringLiteral("A copy needs \"blob\" and \"version\"."));
  Copy& copy = copies[account];
  if (version.toInteger(-1) != copy.version)
    return error(409, QStringLiteral("VERSION_CONFLICT"),
                 QStringLiteral("Another device stored newer settings (version %1); pull them first.")
                     .arg(copy.version));
  copy.blob = text(body, "blob");
  copy.version += 1;
  return Answer{200, QJsonObject{{QStringLiteral("version"), copy.version}}};
}

Answer SyncRecords::openPairing(const QString& account, const QJsonObject& body) {
  if (!hasStrings(body, {"salt"}))
    return error(400, QStringLiteral("BAD_REQUEST"), QStringLiteral("A pairing needs \"salt\"."));
  pairings.insert(account, Pairing{text(body, "salt"), std::nullopt, std::nullopt, std::nullopt,
                                   clock_->now().addSecs(kPairingLifetimeSeconds)});
  return Answer{201, QJsonObject{{QStringLiteral("salt"), text(body, "salt")}}};
}

Answer SyncRecords::getPairing(const QString& account) const {
  const Pairing* found = livePairing(account);
  if (!found) return noPairing();
  QJsonObject row{{QStringLiteral("salt"), found->salt}};
  if (found->publicKey) row.insert(QStringLiteral("publicKey"), *found->publicKey);
  if (found->mac) row.insert(QStringLiteral("mac"), *found->mac);
  return Answer{200, row};
}

Answer SyncRecords::putPairing(const QString& account, const QJsonObject& body) {
  Pairing* found = livePairing(account);
  const bool isHandover = hasStrings(body, {"senderPublicKey", "handover", "nonce"});
  const bool isAnswer = hasStrings(body, {"publicKey", "mac", "salt"});
  if (!isHandover && !isAnswer)
    return error(400, QStringLiteral("BAD_REQUEST"), QStringLiteral("Neither an answer nor a handover."));
  if (!found) return noPairing();
  if (isHandover) {
    if (!found->publicKey)
      return error(409, QStringLiteral("NOT_ANSWERED"),
                   QStringLiteral("Nobody has answered this pairing yet."));
    found->handover = QJsonObject{{QStringLiteral("senderPublicKey"), text(body, "senderPublicKey")},
                                  {QStringLiteral("handover"), text(body, "handover")},
                                  {QStringLiteral("nonce"), text(body, "nonce")}};
    return Answer{200, QJsonObject{}};
  }
  if (text(body, "salt") != found->salt)
    return error(409, QStringLiteral("SALT_MISMATCH"), QStringLiteral("This answer is for another pairing."));
  if (found->publicKey)
    return error(409, QStringLiteral("ALREADY_ANSWERED"),
                 QStringLiteral("This pairing was answered already."));
  found->publicKey = text(body, "publicKey");
  found->mac = text(body, "mac");
  return Answer{200, QJsonObject{}};
}

Answer SyncRecords::claim(const QString& account) {
  const Pairing* found = livePairing(account);
  if (!found) return error(410, QStringLiteral("GONE"), QStringLiteral("The pairing was closed."));
  if (!found->handover)
    return error(404, QStringLiteral("NOT_YET"), QStringLiteral("Nothing has been handed over yet."));
  const QJsonObject handover = *found->handover;
  pairings.remove(account);
  return Answer{200, handover};
}

Answer SyncRecords::closePairing(const QString& account) {
  pairings.remove(account);
  return Answer{200, QJsonObject{}};
}

QJsonObject SyncRecords::toJson() const {
  QJsonObject copiesJson;
  for (auto it = copies.cbegin(); it != copies.cend(); ++it) {
    copiesJson.insert(
        it.key(), QJsonObject{{QStringLiteral("blob"), it->blob}, {QStringLiteral("version"), it->version}});
  }
  QJsonObject pairingsJson;
  for (auto it = pairings.cbegin(); it != pairings.cend(); ++it) {
    if (!isLive(it->expiresAt)) continue;
    QJsonObject row{{QStringLiteral("salt"), it->salt},
                    {QStringLiteral("expiresAt"), it->expiresAt.toString(Qt::ISODateWithMs)}};
    if (it->publicKey) row.insert(QStringLiteral("publicKey"), *it->publicKey);
    if (it->mac) row.insert(QStringLiteral("mac"), *it->mac);
    if (it->handover) row.insert(QStringLiteral("handover"), *it->handover);
    pairingsJson.insert(it.key(), row);
  }
  return QJsonObject{{QStringLiteral("copies"), copiesJson}, {QStringLiteral("pairings"), pairingsJson}};
}

void SyncRecords::load(const QJsonObject& object) {
  const QJsonObject copiesJson = object.value(QStringLiteral("copies")).toObject();
  for (auto it = copiesJson.begin(); it != copiesJson.end(); ++it) {
    const QJsonObject copy = it.value().toObject();
    copies.insert(it.key(), Copy{text(copy, "blob"), copy.value(QStringLiteral("version")).toInteger()});
  }
  const QJsonObject pairingsJson = object.value(QStringLiteral("pairings")).toObject();
  for (auto it = pairingsJson.begin(); it != pairingsJson.end(); ++it) {
    const QJsonObject row = it.value().toObject();
    // A pairing kept without its time (by an earlier version) has outlived any offer that waited for it.
    const QDateTime expiresAt = QDateTime::fromString(text(row, "expiresAt"), Qt::ISODateWithMs);
    if (!isLive(expiresAt)) continue;
    Pairing pairing{text(row, "salt"), std::nullopt, std::nullopt, std::nullopt, expiresAt};
    if (row.value(QStringLiteral("publicKey")).isString()) pairing.publicKey = text(row, "publicKey");
    if (row.value(QStringLiteral("mac")).isString()) pairing.mac = text(row, "mac");
    if (row.value(QStringLiteral("handover")).isObject())
      pairing.handover = row.value(QStringLiteral("handover")).toObject();
    pairings.insert(it.key(), pairing);
  }
}

}  // namespace pm::dev
