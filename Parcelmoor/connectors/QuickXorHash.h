#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <optional>

namespace pm {

// OneDrive's content hash of a file: every byte is XORed into a 160-bit ring at a position that moves 11
// bits per byte, and the length is XORed into the last 8 bytes. OneDrive reports it for every stored file,
// so a file found on the service can be told from another of the same name and size.
class QuickXorHash {
 public:
  static constexpr int kWidthInBits = 160;
  static constexpr int kShift = 11;

  void addData(QByteArrayView bytes);
  // The 20 bytes of the hash of everything added so far.
  QByteArray result() const;
  // As OneDrive writes it: the 20 bytes in Base64.
  QString base64() const { return QString::fromLatin1(result().toBase64()); }

  // The Base64 hash of the file at `path`, read in pieces; nothing when it cannot be read whole.
  static std::optional<QString> ofFile(const QString& path);

 private:
  std::array<quint64, 3> cells_{};
  int shiftSoFar_ = 0;
  quint64 length_ = 0;
};

}  // namespace pm
