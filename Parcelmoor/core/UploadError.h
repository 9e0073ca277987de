#pragma once

#include <QDateTime>
#include <QHashFunctions>
#include <QString>

#include <exception>
#include <string>

namespace pm {

// The one failure type of everything that moves files or talks to the product's service. Thrown as an
// exception through the coroutines; `message()` is what the user sees.
class UploadError final : public std::exception {
 public:
  // Declaration order matters: it is the hash seed and the order the cases are documented in.
  enum class Kind {
    notImplemented,
    notRegistered,
    fileUnreadable,
    emptyFolder,
    rejected,
    subscriptionRequired,
    quotaExceeded,
    signedOut,
    http,
    transport,
    cancelled,
  };

  static UploadError notImplemented() { return UploadError(Kind::notImplemented); }
  static UploadError notRegistered() { return UploadError(Kind::notRegistered); }
  static UploadError fileUnreadable() { return UploadError(Kind::fileUnreadable); }
  static UploadError emptyFolder() { return UploadError(Kind::emptyFolder); }
  static UploadError rejected(QString text) { return UploadError(Kind::rejected, std::move(text)); }
  static UploadError subscriptionRequired(QString text) { return UploadError(Kind::subscriptionRequired, std::move(text)); }
  static UploadError quotaExceeded(QString text) { return UploadError(Kind::quotaExceeded, std::move(text)); }
  static UploadError signedOut(QString text) { return UploadError(Kind::signedOut, std::move(text)); }
  static UploadError http(qint64 status);
  static UploadError transport(QString text) { return UploadError(Kind::transport, std::move(text)); }
  static UploadError cancelled() { return UploadError(Kind::cancelled); }

  // Any failure as an UploadError: an UploadError unchanged, anything else `transport` with its text.
  // (Cancellation is decided by the caller's own token, never guessed from an error.)
  static UploadError from(std::exception_ptr error);

  Kind kind() const { return kind_; }
  // The payload text of rejected, subscriptionRequired, quotaExceeded, signedOut and transport.
  const QString& text() const { return text_; }
  qint64 status() const { return status_; }

  // The user-facing text: fixed texts are translatable, payload texts are shown as they are.
  QString message() const;
  const char* what() const noexcept override { return what_.c_str(); }

  bool operator==(const UploadError& other) const {
    return kind_ == other.kind_ && text_ == other.text_ && status_ == other.status_;
  }

 private:
  explicit UploadError(Kind kind, QString text = {}, qint64 status = 0);

  Kind kind_;
  QString text_;
  qint64 status_ = 0;
  std::string what_;
};

size_t qHash(const UploadError& error, size_t seed = 0) noexcept;

// "2026-12-09 14-05-09": the local date and time as a folder name (no colons).
QString timestampFolderName(const QDateTime& now);
QString timestampFolderName();
// The object-key prefix of one bucket: the configured prefix without surrounding spaces and slashes, a
// slash, the timestamp and a slash; or only the timestamp and a slash.
QString timestampedKeyPrefix(const QString& configuredPrefix, const QDateTime& now);
QString timestampedKeyPrefix(const QString& configuredPrefix);
// The path with " n" put before the extension of its last component ("photos/beach 2.jpg").
QString numberedPath(const QString& path, qint64 n);
// The content type announced for a file, by its extension only; "application/octet-stream" when unknown.
QString mimeType(const QString& filePath);

}  // namespace pm
