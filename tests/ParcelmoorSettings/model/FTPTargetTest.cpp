#include <gtest/gtest.h>

#include "QStringPrinting.h"
#include "model/FTPTarget.h"

namespace pm::settings {
namespace {

UploaderConfig ftp(const QString& endpoint, qint64 port = 0, FTPSecurity security = FTPSecurity::explicitTLS,
                   const QString& keyPrefix = {}) {
  UploaderConfig config(UploaderConfig::Kind::ftp);
  config.endpoint = endpoint;
  config.port = port;
  config.ftpSecurity = security;
  config.keyPrefix = keyPrefix;
  return config;
}

TEST(SettingsFTPTarget, WhatTheUserTypedBecomesHostPortAndFolder) {
  struct Case {
    UploaderConfig config;
    FTPTarget target;
  };
  const Case cases[] = {
      {ftp(QStringLiteral("ftps://files.example.com:2121/inbox")),
       {QStringLiteral("files.example.com"), 2121, FTPSecurity::explicitTLS, QStringLiteral("inbox")}},
      // The scheme is recognised in any case and never chooses the security mode.
      {ftp(QStringLiteral(" FTP://Files.Example.com\t"), 0, FTPSecurity::plain),
       {QStringLiteral("Files.Example.com"), 21, FTPSecurity::plain, QString()}},
      {ftp(QStringLiteral("files.example.com"), 0, FTPSecurity::implicitTLS),
       {QStringLiteral("files.example.com"), 990, FTPSecurity::implicitTLS, QString()}},
      {ftp(QStringLiteral("files.example.com:abc")),
       {QStringLiteral("files.example.com"), 21, FTPSecurity::explicitTLS, QString()}},
      // The port field wins over a typed port, the folder prefix over a typed path.
      {ftp(QStringLiteral("files.example.com:2121/typed"), 2200, FTPSecurity::explicitTLS,
           QStringLiteral("/a//b/")),
       {QStringLiteral("files.example.com"), 2200, FTPSecurity::explicitTLS, QStringLiteral("a/b")}},
      {ftp(QStringLiteral("//files.example.com//deep//er/")),
       {QStringLiteral("files.example.com"), 21, FTPSecurity::explicitTLS, QStringLiteral("deep/er")}},
      {ftp(QStringLiteral("[2001:db8::7]:2121/in")),
       {QStringLiteral("2001:db8::7"), 2121, FTPSecurity::explicitTLS, QStringLiteral("in")}},
      // Out of range is kept, for the check to refuse.
      {ftp(QStringLiteral("files.example.com:70000")),
       {QStringLiteral("files.example.com"), 70000, FTPSecurity::explicitTLS, QString()}},
      {ftp(QStringLiteral("   ")), {QString(), 21, FTPSecurity::explicitTLS, QString()}},
  };
  for (const Case& c : cases) EXPECT_EQ(FTPTarget(c.config), c.target) << c.config.endpoint.toStdString();
}

TEST(SettingsFTPTarget, TheFolderURLNamesTheFolderWithATrailingSlash) {
  struct Case {
    FTPTarget target;
    const char* url;
  };
  const Case cases[] = {
      {{QStringLiteral("files.example.com"), 990, FTPSecurity::implicitTLS, QStringLiteral("in box")},
       "ftps://files.example.com:990/in%20box/"},
      {{QStringLiteral("files.example.com"), 21, FTPSecurity::explicitTLS, QString()},
       "ftp://files.example.com:21/"},
      {{QStringLiteral("10.0.0.7"), 2121, FTPSecurity::plain, QStringLiteral("a/b")},
       "ftp://10.0.0.7:2121/a/b/"},
      {{QStringLiteral("2001:db8::7"), 21, FTPSecurity::plain, QString()}, "ftp://[2001:db8::7]:21/"},
  };
  for (const Case& c : cases) {
    const std::optional<QUrl> url = c.target.url(QString());
    ASSERT_TRUE(url) << c.url;
    EXPECT_EQ(url->toEncoded().toStdString(), c.url);
  }
}

TEST(SettingsFTPTarget, OnlyHostNamesAndAddressesWithAPortInRangeMakeAURL) {
  const char* const refused[] = {
      "files example.com",
      "user@files.example.com",
      "files.example.com\r\nDELE x",
      "files.example.com\n",
      "-files.example.com",
      "files..example.com",
      "999.1.1.1",
      "1.2.3",
      "[2001:db8::7",
      "[fe80::1%eth0]",
      "[2001:db8::7]x",
      "files.example.com:0",
      "files.example.com:70000",
      "files.example.com:-21",
  };
  for (const char* endpoint : refused) {
    const FTPTarget target(ftp(QString::fromUtf8(endpoint)));
    EXPECT_FALSE(target.url(QString())) << endpoint;
  }
  EXPECT_FALSE(FTPTarget(ftp(QStringLiteral("files.example.com"), 65536)).url(QString()));
  EXPECT_TRUE(FTPTarget(ftp(QStringLiteral("files.example.com"), 65535)).url(QString()));
  EXPECT_TRUE(FTPTarget(ftp(QStringLiteral("bücher.example"))).url(QString()));
  EXPECT_TRUE(FTPTarget(ftp(QStringLiteral("localhost:1"))).url(QString()));
}

}  // namespace
}  // namespace pm::settings
