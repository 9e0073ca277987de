#include "SyncPairing.h"

#include <QPointer>
#include <QStringDecoder>

#include "core/JsonDecoding.h"
#include "core/ParcelmoorAPI.h"
#include "platform/Crypto.h"
#include "platform/X25519.h"
#include "sync/StrictBase64.h"
#include "sync/SyncCode.h"

namespace pm {

namespace {

const QString kPairings = QStringLiteral("sync/pairings");
const QString kClaim = QStringLiteral("sync/pairings/claim");

bool isSuccess(int status) {
  return status >= 200 && status <= 299;
}

QString base64(const QByteArray& bytes) {
  return QString::fromLatin1(bytes.toBase64());
}

std::optional<QJsonObject> objectOf(const QByteArray& body) {
  try {
    return decodeJsonObject(body);
  } catch (const JsonDecodingError&) {
    return std::nullopt;
  }
}

// A string field, or nothing when it is absent, null or of another type.
std::optional<QString> stringField(const QJsonObject& object, const char* key) {
  const QJsonValue value = object.value(QLatin1String(key));
  if (!value.isString()) return std::nullopt;
  return value.toString();
}

// The PBKDF2 behind a proof takes 100,000 rounds: kept off the main thread.
QCoro::Task<QByteArray> proofOffThread(QByteArray message, QString code, QByteArray salt) {
  QCoro::Task<QByteArray> computing =
      runOnWorker([message = std::move(message), code = std::move(code), salt = std::move(salt)] {
        return SyncCode::proof(message, code, salt);
      });
  co_return co_await std::move(computing);
}

}  // namespace

const char* SyncPairing::Error::what() const noexcept {
  switch (failure_) {
    case Failure::noPairing:
      return "no pairing is open for this account";
    case Failure::gone:
      return "the pairing is gone";
    case Failure::badProof:
      return "the answer's proof does not match the pairing code";
    case Failure::sealFailed:
      return "the handed-over key cannot be read";
  }
  return "pairing failed";
}

QJsonObject SyncPairing::Handover::toJson() const {
  return QJsonObject{{QStringLiteral("senderPublicKey"), senderPublicKey},
                     {QStringLiteral("handover"), handover},
                     {QStringLiteral("nonce"), nonce}};
}

std::optional<SyncPairing::Handover> SyncPairing::Handover::fromJson(const QJsonObject& object) {
  const std::optional<QString> sender = stringField(object, "senderPublicKey");
  const std::optional<QString> sealed = stringField(object, "handover");
  const std::optional<QString> nonce = stringField(object, "nonce");
  if (!sender || !sealed || !nonce) return std::nullopt;
  return Handover{*sender, *sealed, *nonce};
}

SyncPairing::SyncPairing(ParcelmoorAPI& api) : api_(api) {}

QCoro::Task<std::optional<ParcelmoorAPI::Response>> SyncPairing::sendWithSession(QString path,
                                                                                 QByteArray method,
                                                                                 CancelTokenPtr cancel) {
  const QPointer<ParcelmoorAPI> api(&api_);
  const std::optional<QString> token = co_await api_.sessionToken().load();
  if (!token || !api) co_return std::nullopt;
  co_return co_await api->request(path, method, ParcelmoorAPI::Body::none(), token, cancel);
}

QByteArray SyncPairing::makeSalt() {
  return crypto::requireRandomBytes(kSaltBytes);
}

QCoro::Task<> SyncPairing::open(QByteArray salt, CancelTokenPtr cancel) {
  const QJsonObject body{{QStringLiteral("salt"), base64(salt)}};
  co_await api_.authorizedRequest(kPairings, "POST", QJsonValue(body), cancel);
}

QCoro::Task<std::optional<QByteArray>> SyncPairing::fetchAnswer(QString code, QByteArray salt,
                                                                CancelTokenPtr cancel) {
  const std::optional<ParcelmoorAPI::Response> response = co_await sendWithSession(kPairings, "GET", cancel);
  if (!response || response->status == 404) throw Error(Failure::gone);
  if (!isSuccess(response->status)) co_return std::nullopt;
  const std::optional<QJsonObject> row = objectOf(response->body);
  if (!row || !stringField(*row, "salt")) co_return std::nullopt;
  const std::optional<QString> publicKeyText = stringField(*row, "publicKey");
  const std::optional<QString> macText = stringField(*row, "mac");
  if (!publicKeyText || !macText) co_return std::nullopt;

  const std::optional<QByteArray> publicKey = strictBase64Decode(*publicKeyText);
  const std::optional<QByteArray> mac = strictBase64Decode(*macText);
  if (!publicKey || !mac) throw Error(Failure::badProof);
  QByteArray expected;
  try {
    expected = co_await proofOffThread(*publicKey, code, salt);
  } catch (const SyncCode::Error&) {
    throw Error(Failure::badProof);
  }
  if (!sameProof(expected, *mac)) throw Error(Failure::badProof);
  co_return *publicKey;
}

QCoro::Task<> SyncPairing::handOver(QString key, QByteArray publicKey, QString code, CancelTokenPtr cancel) {
  const Handover sealed = sealHandover(key, publicKey, code);
  co_await api_.authorizedRequest(kPairings, "PUT", QJsonValue(sealed.toJson()), cancel);
}

SyncPairing::Handover SyncPairing::sealHandover(const QString& key, const QByteArray& publicKey,
                                                const QString& code) {
  const std::optional<crypto::X25519KeyPair> own = crypto::x25519Generate();
  if (!own) throw std::runtime_error("no key pair could be made for the handover");
  const std::optional<QByteArray> secret = crypto::x25519SharedSecret(own->privateKey, publicKey);
  if (!secret) throw CipherError("the other computer's public key is not usable");
  const QByteArray nonce = crypto::requireRandomBytes(crypto::kGcmNonceBytes);
  const std::optional<crypto::GcmSealed> sealed =
      crypto::aesGcmSeal(handoverKey(*secret, code), nonce, key.toUtf8(), {});
  if (!sealed) throw std::runtime_error("the sync key could not be sealed");
  return Handover{base64(own->publicKey), base64(sealed->ciphertext + sealed->tag), base64(nonce)};
}

QCoro::Task<> SyncPairing::close() {
  try {
    co_await sendWithSession(kPairings, "DELETE");
  } catch (...) {
    // Closing is a courtesy to the service, which expires pairings by itself.
  }
}

QCoro::Task<QByteArray> SyncPairing::answer(QString code, CancelTokenPtr cancel) {
  const std::optional<ParcelmoorAPI::Response> response = co_await sendWithSession(kPairings, "GET", cancel);
  if (!response || !isSuccess(response->status)) throw Error(Failure::noPairing);
  const std::optional<QJsonObject> row = objectOf(response->body);
  const std::optional<QString> saltText = row ? stringField(*row, "salt") : std::nullopt;
  if (!saltText) throw Error(Failure::noPairing);
  const std::optional<QByteArray> salt = strictBase64Decode(*saltText);
  if (!salt) throw Error(Failure::noPairing);

  const std::optional<crypto::X25519KeyPair> own = crypto::x25519Generate();
  if (!own) throw std::runtime_error("no key pair could be made for the answer");
  const QByteArray proof = co_await proofOffThread(own->publicKey, code, *salt);
  // The salt goes back exactly as the service gave it, so the service can match it byte for byte.
  const QJsonObject body{{QStringLiteral("publicKey"), base64(own->publicKey)},
                         {QStringLiteral("mac"), base64(proof)},
                         {QStringLiteral("salt"), *saltText}};
  co_await api_.authorizedRequest(kPairings, "PUT", QJsonValue(body), cancel);
  co_return own->privateKey;
}

QCoro::Task<std::optional<QString>> SyncPairing::claim(QString code, QByteArray privateKey,
                                                       CancelTokenPtr cancel) {
  const std::optional<ParcelmoorAPI::Response> response = co_await sendWithSession(kClaim, "POST", cancel);
  if (!response || response->status == 410) throw Error(Failure::gone);
  if (!isSuccess(response->status)) co_return std::nullopt;
  const std::optional<QJsonObject> object = objectOf(response->body);
  const std::optional<Handover> handover = object ? Handover::fromJson(*object) : std::nullopt;
  if (!handover) throw Error(Failure::sealFailed);
  co_return openHandover(*handover, privateKey, code);
}

QString SyncPairing::openHandover(const Handover& handover, const QByteArray& privateKey,
                                  const QString& code) {
  const std::optional<QByteArray> sender = strictBase64Decode(handover.senderPublicKey);
  const std::optional<QByteArray> sealed = strictBase64Decode(handover.handover);
  const std::optional<QByteArray> nonce = strictBase64Decode(handover.nonce);
  if (!sender || !sealed || !nonce) throw Error(Failure::sealFailed);

  const std::optional<QByteArray> secret = crypto::x25519SharedSecret(privateKey, *sender);
  if (!secret) throw CipherError("the sender's public key is not usable");
  // The library would take other nonce lengths and shorter tags; the handover is defined with exactly
  // 12 and 16 bytes, and a shorter tag would make forging it easier.
  if (nonce->size() != crypto::kGcmNonceBytes) throw CipherError("the handover's nonce is not 12 bytes");
  if (sealed->size() < crypto::kGcmTagBytes) throw CipherError("the handover is shorter than its tag");
  const QByteArray ciphertext = sealed->left(sealed->size() - crypto::kGcmTagBytes);
  const QByteArray tag = sealed->right(crypto::kGcmTagBytes);
  const std::optional<QByteArray> plain =
      crypto::aesGcmOpen(handoverKey(*secret, code), *nonce, ciphertext, tag, {});
  if (!plain) throw CipherError("the handover does not open with this code");

  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString key = decoder.decode(*plain);
  if (decoder.hasError()) throw Error(Failure::sealFailed);
  return key;
}

QByteArray SyncPairing::handoverKey(const QByteArray& sharedSecret, const QString& code) {
  const std::optional<QByteArray> key =
      crypto::hkdfSha256(sharedSecret, code.toUtf8(), QByteArray(kHandoverInfo), crypto::kAesKeyBytes);
  if (!key) throw CipherError("the handover key could not be derived");
  return *key;
}

bool SyncPairing::sameProof(const QByteArray& computed, const QByteArray& received) {
  if (computed.size() != received.size()) return false;
  unsigned char difference = 0;
  for (qsizetype i = 0; i < computed.size(); ++i)
    difference |= static_cast<unsigned char>(computed[i] ^ received[i]);
  return difference == 0;
}

}  // namespace pm
