#include "UploadError.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QLocale>
#include <QMimeDatabase>

namespace pm {

UploadError::UploadError(Kind kind, QString text, qint64 status)
    : kind_(kind), text_(std::move(text)), status_(status), what_(message().toStdString()) {}

UploadError UploadError::http(qint64 status) { return UploadError(Kind::http, {}, status); }

UploadError UploadError::from(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const UploadError& upload) {
    return upload;
  } catch (const std::exception& other) {
    return transport(QString::fromLocal8Bit(other.what()));
  } catch (...) {
    return transport(QCoreApplication::translate("UploadError", "An unknown error occurred."));
  }
}

QString UploadError::message() const {
  switch (kind_) {
    case Kind::notImplemented:
      return QCoreApplication::translate("UploadError", "This uploader isn't finished yet.");
    case Kind::notRegistered:
      return QCoreApplication::translate("UploadError", "The service never accepted this file.");
    case Kind::fileUnreadable:
      return QCoreApplication::translate("UploadError",
                                         "The file couldn't be read. It may have moved, or access was denied.");
    case Kind::emptyFolder:
      return QCoreApplication::translate("UploadError", "This folder is empty.");
    case Kind::http:
      return QCoreApplication::translate("UploadError", "The service responded with HTTP %1.").arg(status_);
    case Kind::cancelled:
      return QCoreApplication::translate("UploadError", "Cancelled.");
    case Kind::rejected:
    case Kind::subscriptionRequired:
    case Kind::quotaExceeded:
    case Kind::signedOut:
    case Kind::transport:
      break;
  }
  return text_;
}

size_t qHash(const UploadError& error, size_t seed) noexcept {
  return qHashMulti(seed, int(error.kind()), error.text(), error.status());
}

QString timestampFolderName(const QDateTime& now) {
  return QLocale::c().toString(now.toLocalTime(), QStringLiteral("yyyy-MM-dd HH-mm-ss"));
}

QString timestampFolderName() { return timestampFolderName(QDateTime::currentDateTime()); }

QString timestampedKeyPrefix(const QString& configuredPrefix, const QDateTime& now) {
  const QString timestamp = timestampFolderName(now);
  auto trimmable = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('/'); };
  qsizetype begin = 0;
  qsizetype end = configuredPrefix.size();
  while (begin < end && trimmable(configuredPrefix[begin])) ++begin;
  while (end > begin && trimmable(configuredPrefix[end - 1])) --end;
  const QString trimmed = configuredPrefix.mid(begin, end - begin);
  if (trimmed.isEmpty()) return timestamp + QLatin1Char('/');
  return trimmed + QLatin1Char('/') + timestamp + QLatin1Char('/');
}

QString timestampedKeyPrefix(const QString& configuredPrefix) {
  return timestampedKeyPrefix(configuredPrefix, QDateTime::currentDateTime());
}

QString numberedPath(const QString& path, qint64 n) {
  QStringList components = path.split(QLatin1Char('/'), Qt::KeepEmptyParts);
  QString& last = components.last();
  const qsizetype dot = last.lastIndexOf(QLatin1Char('.'));
  const QString number = QLatin1Char(' ') + QString::number(n);
  if (dot <= 0) {
    last += number;
  } else {
    last = last.left(dot) + number + last.mid(dot);
  }
  return components.join(QLatin1Char('/'));
}

QString mimeType(const QString& filePath) {
  // A leading dot starts a hidden file's name, not an extension: ".png" has none.
  const QString name = QFileInfo(filePath).fileName();
  const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
  const QString suffix = dot > 0 ? name.mid(dot + 1) : QString();
  if (suffix.isEmpty()) return QStringLiteral("application/octet-stream");
  static const QMimeDatabase database;
  const QMimeType type = database.mimeTypeForFile(QStringLiteral("f.") + suffix, QMimeDatabase::MatchExtension);
  if (!type.isValid() || type.isDefault() || type.name().startsWith(QLatin1String("inode/")))
    return QStringLiteral("application/octet-stream");
  return type.name();
}

}  // namespace pm
