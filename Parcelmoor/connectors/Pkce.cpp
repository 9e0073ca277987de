#include "Pkce.h"

#include <QByteArray>

#include <stdexcept>

#include "platform/Crypto.h"

namespace pm {

namespace {

constexpr int kVerifierBytes = 32;

QString base64Url(const QByteArray& bytes) {
  return QString::fromLatin1(bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

}  // namespace

QString makePKCEVerifier() {
  const std::optional<QByteArray> bytes = crypto::randomBytes(kVerifierBytes);
  if (!bytes) throw std::runtime_error("the system's random source failed");
  return base64Url(*bytes);
}

QString pkceChallenge(const QString& verifier) { return base64Url(crypto::sha256(verifier.toUtf8())); }

}  // namespace pm
