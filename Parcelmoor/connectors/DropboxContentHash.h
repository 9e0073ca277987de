#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QCryptographicHash>
#include <QString>

#include <optional>

namespace pm {

// Dropbox's content hash of a file: the SHA-256 of the concatenated SHA-256 digests of its 4 MiB blocks,
// in lower-case hexadecimal. Dropbox reports it for every stored file, so a file found there can be told
// from another of the same name and size.
class DropboxContentHash {
 public:
  static constexpr qint64 kBlockSize = 4 * 1024 * 1024;

  DropboxContentHash();

  void addData(QByteArrayView bytes);
  // The hexadecimal hash of everything added so far.
  QString hex() const;

  // The hash of the file at `path`, read in pieces; nothing when it cannot be read whole.
  static std::optional<QString> ofFile(const QString& path);

 private:
  QCryptographicHash block_;
  qint64 inBlock_ = 0;
  QByteArray digests_;
};

}  // namespace pm
