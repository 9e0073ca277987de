#include <QDateTime>
#include <QSet>
#include <QTimeZone>

#include <gtest/gtest.h>

#include "core/UploadError.h"

namespace pm {
namespace {

TEST(UploadError, Messages) {
  const struct {
    UploadError error;
    const char* message;
  } table[] = {
      {UploadError::notImplemented(), "This uploader isn't finished yet."},
      {UploadError::notRegistered(), "The service never accepted this file."},
      {UploadError::fileUnreadable(), "The file couldn't be read. It may have moved, or access was denied."},
      {UploadError::emptyFolder(), "This folder is empty."},
      {UploadError::rejected(QStringLiteral("Too big.")), "Too big."},
      {UploadError::subscriptionRequired(QStringLiteral("Subscribe.")), "Subscribe."},
      {UploadError::quotaExceeded(QStringLiteral("Full.")), "Full."},
      {UploadError::signedOut(QStringLiteral("Sign in.")), "Sign in."},
      {UploadError::http(503), "The service responded with HTTP 503."},
      {UploadError::transport(QStringLiteral("Connection refused")), "Connection refused"},
      {UploadError::cancelled(), "Cancelled."},
  };
  for (const auto& row : table) {
    EXPECT_EQ(row.error.message(), QString::fromUtf8(row.message));
    EXPECT_STREQ(row.error.what(), row.message);
  }
}

TEST(UploadError, EqualityAndHashing) {
  EXPECT_EQ(UploadError::rejected(QStringLiteral("x")), UploadError::rejected(QStringLiteral("x")));
  EXPECT_NE(UploadError::rejected(QStringLiteral("x")), UploadError::transport(QStringLiteral("x")));
  EXPECT_NE(UploadError::rejected(QStringLiteral("x")), UploadError::rejected(QStringLiteral("y")));
  EXPECT_NE(UploadError::http(500), UploadError::http(503));
  EXPECT_EQ(UploadError::notImplemented(), UploadError::notImplemented());
  EXPECT_NE(UploadError::notImplemented(), UploadError::notRegistered());
  QSet<UploadError> set{UploadError::http(503), UploadError::http(503), UploadError::cancelled()};
  EXPECT_EQ(set.size(), 2);
}

TEST(UploadError, FromAnyFailure) {
  const UploadError original = UploadError::quotaExceeded(QStringLiteral("Over quota."));
  EXPECT_EQ(UploadError::from(std::make_exception_ptr(original)), original);
  EXPECT_EQ(UploadError::from(std::make_exception_ptr(std::runtime_error("disk full"))),
            UploadError::transport(QStringLiteral("disk full")));
  EXPECT_EQ(UploadError::from(std::make_exception_ptr(42)).kind(), UploadError::Kind::transport);
}

TEST(NamingHelpers, NumberedPath) {
  const struct {
    const char* path;
    int n;
    const char* expected;
  } table[] = {
      {"photos/beach.jpg", 2, "photos/beach 2.jpg"},
      {"backup.tar.gz", 2, "backup.tar 2.gz"},
      {"README", 3, "README 3"},
      {"docs/.env", 2, "docs/.env 2"},
      {"a.b/c", 2, "a.b/c 2"},
      {"a//b.txt", 4, "a//b 4.txt"},
      {"dir/", 2, "dir/ 2"},
  };
  for (const auto& row : table) {
    EXPECT_EQ(numberedPath(QString::fromUtf8(row.path), row.n), QString::fromUtf8(row.expected)) << row.path;
  }
}

TEST(NamingHelpers, TimestampedKeyPrefix) {
  const QDateTime when(QDate(2026, 12, 9), QTime(14, 5, 9), QTimeZone::systemTimeZone());
  EXPECT_EQ(timestampFolderName(when), QStringLiteral("2026-12-09 14-05-09"));
  EXPECT_EQ(timestampedKeyPrefix(QStringLiteral(" /uploads/2024/ "), when),
            QStringLiteral("uploads/2024/2026-12-09 14-05-09/"));
  EXPECT_EQ(timestampedKeyPrefix(QString(), when), QStringLiteral("2026-12-09 14-05-09/"));
  EXPECT_EQ(timestampedKeyPrefix(QStringLiteral("/ /"), when), QStringLiteral("2026-12-09 14-05-09/"));
  EXPECT_EQ(timestampedKeyPrefix(QStringLiteral("a//b"), when), QStringLiteral("a//b/2026-12-09 14-05-09/"));
}

TEST(NamingHelpers, MimeType) {
  EXPECT_EQ(mimeType(QStringLiteral("/tmp/README")), QStringLiteral("application/octet-stream"));
  EXPECT_EQ(mimeType(QStringLiteral("/tmp/file.zzqqunknown")), QStringLiteral("application/octet-stream"));
  EXPECT_EQ(mimeType(QStringLiteral("/tmp/picture.png")), QStringLiteral("image/png"));
  EXPECT_EQ(mimeType(QStringLiteral("/tmp/PICTURE.PNG")), QStringLiteral("image/png"));
  EXPECT_EQ(mimeType(QStringLiteral("/tmp/.bashrc")), QStringLiteral("application/octet-stream"));
  EXPECT_EQ(mimeType(QStringLiteral("/tmp/.png")), QStringLiteral("application/octet-stream"));
  EXPECT_EQ(mimeType(QStringLiteral("/tmp/.hidden.png")), QStringLiteral("image/png"));
}

}  // namespace
}  // namespace pm
