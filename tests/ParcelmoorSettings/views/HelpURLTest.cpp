#include <gtest/gtest.h>

#include "views/HelpURL.h"

namespace pm::settings {
namespace {

using Kind = UploaderConfig::Kind;

TEST(HelpURLTest, AppendsHelpAndTheKindsWordToTheBasePath) {
  struct Case {
    Kind kind;
    const char* base;
    const char* expected;
  };
  const Case cases[] = {
      {Kind::customS3, "https://parcelmoor.example", "https://parcelmoor.example/help/s3"},
      {Kind::parcelmoor, "https://parcelmoor.example", "https://parcelmoor.example/help/s3"},
      {Kind::r2, "https://parcelmoor.example/", "https://parcelmoor.example/help/r2"},
      {Kind::ftp, "http://127.0.0.1:8080", "http://127.0.0.1:8080/help/ftp"},
      {Kind::icloud, "https://parcelmoor.example", "https://parcelmoor.example/help/icloud"},
      {Kind::googleDrive, "https://example.com/staging", "https://example.com/staging/help/drive"},
      {Kind::oneDrive, "https://example.com/staging/", "https://example.com/staging/help/onedrive"},
      {Kind::dropbox, "https://example.com/a/b", "https://example.com/a/b/help/dropbox"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(helpURL(c.kind, QUrl(QString::fromLatin1(c.base))), QUrl(QString::fromLatin1(c.expected)));
  }
}

}  // namespace
}  // namespace pm::settings
