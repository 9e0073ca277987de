#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <QCoroTask>

#include <optional>

// The sealed file list of a box ("PMRM1") and the share password that opens it. The service stores the
// sealed bytes and a verifier hash, never the password; the password reaches the user only beside the link.
//
// Layout: "PMRM1", version 0x01, PBKDF2 iteration count (big-endian u32), 16-byte salt, 12-byte nonce
// (these 38 bytes are the header and the associated data), 16-byte GCM tag, then the AES-256-GCM ciphertext
// of the manifest JSON.
namespace pm::PMRM1 {

// Digits and upper-case letters without I, L, O and U, so a password read aloud or retyped is unambiguous.
inline constexpr QLatin1StringView alphabet("0123456789ABCDEFGHJKMNPQRSTVWXYZ");
inline constexpr int kPasswordLength = 10;
inline constexpr quint32 kIterations = 600'000;
inline constexpr int kSaltBytes = 16;
inline constexpr int kHeaderBytes = 38;
inline constexpr int kDerivedKeyBytes = 64;

// One uploaded object.
struct File {
  QString name;  // the last non-empty piece of the object key
  QString path;  // the whole object key
  qint64 size = 0;

  bool operator==(const File&) const = default;
};

struct Manifest {
  QList<File> files;

  // Compact JSON with sorted keys and plain slashes: {"files":[{"name":..,"path":..,"size":..}]}.
  QByteArray toJson() const;
};

struct Sealed {
  QByteArray manifest;   // the bytes laid out as above
  QString verifierHash;  // SHA-256 of the derived verifier half, 64 lower-case hex digits
};

// A fresh 10-character password from the alphabet (50 random bits). Throws UploadError when the secure
// random source fails.
QString makePassword();
// The display form: "-" after every 4 characters ("ABCD-EFGH-JK").
QString formatPassword(const QString& password);

// Draws a salt and a nonce and seals with 600,000 iterations. The key derivation runs on a worker thread;
// the coroutine resumes on the caller's thread. Throws UploadError.
QCoro::Task<Sealed> seal(QList<File> files, QString password);
// The deterministic sealing behind the above; blocking (the derivation is CPU-heavy) and safe on any
// thread. `password` is the ungrouped form. Throws UploadError.
Sealed seal(const QList<File>& files, const QString& password, const QByteArray& salt, const QByteArray& nonce,
            quint32 iterations);

// PBKDF2-HMAC-SHA256 of the password's UTF-8 bytes to 64 bytes: the AES key, then the verifier material.
// Nothing when the derivation fails.
std::optional<QByteArray> deriveKey(const QString& password, const QByteArray& salt, quint32 iterations);

}  // namespace pm::PMRM1
