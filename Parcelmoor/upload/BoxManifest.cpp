#include "BoxManifest.h"

#include <QCoreApplication>
#include <QtEndian>


#include <climits>

#include "core/UploadError.h"
#include "platform/Async.h"
#include "platform/Crypto.h"
#include "upload/S3Signer.h"

namespace pm::PMRM1 {

namespace {

constexpr char kMagic[] = "PMRM1";
constexpr char kFormatVersion = 0x01;
constexpr int kAesKeyHalf = 32;

UploadError preparationFailed() {
  return UploadError::rejected(QCoreApplication::translate("PMRM1", "The share password could not be prepared."));
}

QByteArray randomOrThrow(int count) {
  std::optional<QByteArray> bytes = crypto::randomBytes(count);
  if (!bytes) throw preparationFailed();
  return *std::move(bytes);
}

void appendJsonString(QByteArray& out, const QString& text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  for (const char byte : text.toUtf8()) {
    switch (byte) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (uchar(byte) < 0x20) {
          out += "\\u00";
          out += kHex[uchar(byte) >> 4];
          out += kHex[uchar(byte) & 0xF];
        } else {
          out += byte;  // "/" and UTF-8 stay as they are
        }
    }
  }
  out += '"';
}

QByteArray header(quint32 iterations, const QByteArray& salt, const QByteArray& nonce) {
  QByteArray bytes(kMagic);
  bytes += kFormatVersion;
  char count[4];
  qToBigEndian(iterations, count);
  bytes.append(count, sizeof count);
  bytes += salt;
  bytes += nonce;
  return bytes;
}

}  // namespace

QByteArray Manifest::toJson() const {
  // Written by hand so the key order and the unescaped slashes never depend on a JSON library's habits.
  QByteArray out("{\"files\":[");
  for (qsizetype i = 0; i < files.size(); ++i) {
    const File& file = files[i];
    if (i > 0) out += ',';
    out += "{\"name\":";
    appendJsonString(out, file.name);
    out += ",\"path\":";
    appendJsonString(out, file.path);
    out += ",\"size\":";
    out += QByteArray::number(file.size);
    out += '}';
  }
  out += "]}";
  return out;
}

QString makePassword() {
  const QByteArray random = randomOrThrow(kPasswordLength);
  QString password;
  password.reserve(kPasswordLength);
  // 256 is a multiple of 32, so keeping the low five bits leaves every character equally likely.
  for (const char byte : random) password += alphabet[uchar(byte) & 0x1F];
  return password;
}

QString formatPassword(const QString& password) {
  constexpr qsizetype kGroup = 4;
  QStringList groups;
  for (qsizetype start = 0; start < password.size(); start += kGroup) groups.append(password.mid(start, kGroup));
  return groups.join(QLatin1Char('-'));
}

std::optional<QByteArray> deriveKey(const QString& password, const QByteArray& salt, quint32 iterations) {
  if (iterations == 0 || iterations > quint32(INT_MAX)) return std::nullopt;
  return crypto::pbkdf2Sha256(password.toUtf8(), salt, int(iterations), kDerivedKeyBytes);
}

Sealed seal(const QList<File>& files, const QString& password, const QByteArray& salt, const QByteArray& nonce,
            quint32 iterations) {
  if (salt.size() != kSaltBytes || nonce.size() != crypto::kGcmNonceBytes) throw preparationFailed();
  const QByteArray associated = header(iterations, salt, nonce);
  const std::optional<QByteArray> derived = deriveKey(password, salt, iterations);
  if (!derived) throw preparationFailed();

  const QByteArray key = derived->first(kAesKeyHalf);
  const QByteArray verifier = derived->sliced(kAesKeyHalf);
  const std::optional<crypto::GcmSealed> sealed =
      crypto::aesGcmSeal(key, nonce, Manifest{files}.toJson(), associated);
  if (!sealed) throw preparationFailed();
  return {associated + sealed->tag + sealed->ciphertext, hexString(crypto::sha256(verifier))};
}

QCoro::Task<Sealed> seal(QList<File> files, QString password) {
  const QByteArray salt = randomOrThrow(kSaltBytes);
  const QByteArray nonce = randomOrThrow(crypto::kGcmNonceBytes);
  auto sealing = [files = std::move(files), password = std::move(password), salt, nonce] {
    return seal(files, password, salt, nonce, kIterations);
  };
  co_return co_await runOnWorker(std::move(sealing));
}

}  // namespace pm::PMRM1
