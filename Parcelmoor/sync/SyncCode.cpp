#include "SyncCode.h"

#include <QTextBoundaryFinder>

#include "platform/Crypto.h"
#include "sync/KeyDerivation.h"

namespace pm {

namespace {

constexpr int kAlphabetSize = int(sizeof(SyncCode::kAlphabet)) - 1;
static_assert(kAlphabetSize == 32);

bool inAlphabet(QChar character) {
  const char16_t unit = character.unicode();
  for (int i = 0; i < kAlphabetSize; ++i) {
    if (unit == char16_t(SyncCode::kAlphabet[i])) return true;
  }
  return false;
}

}  // namespace

QString SyncCode::random() {
  return fromBytes(crypto::requireRandomBytes(kPairingCodeLength));
}

QString SyncCode::fromBytes(const QByteArray& bytes) {
  QString text;
  text.reserve(bytes.size());
  for (const char byte : bytes) text.append(QLatin1Char(kAlphabet[uchar(byte) & 31]));
  return text;
}

QString SyncCode::normalize(const QString& typed) {
  const QString upper = typed.toUpper();
  QString kept;
  // Compared as the user sees them: a letter with a combining mark is another letter, while a character
  // that composes canonically to one of the alphabet (the Kelvin sign to K) is that character.
  QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, upper);
  qsizetype start = 0;
  while (graphemes.toNextBoundary() != -1) {
    const qsizetype end = graphemes.position();
    const QString composed = upper.mid(start, end - start).normalized(QString::NormalizationForm_C);
    if (composed.size() == 1 && inAlphabet(composed.front())) kept.append(composed.front());
    start = end;
  }
  return kept;
}

QByteArray SyncCode::proof(const QByteArray& message, const QString& code, const QByteArray& salt) {
  const std::optional<QByteArray> secret = pbkdf2SHA256(code.toUtf8(), salt, kProofRounds);
  if (!secret) throw Error(Failure::derivationFailed);
  return crypto::hmacSha256(*secret, message);
}

}  // namespace pm
