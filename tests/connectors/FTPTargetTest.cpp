#include <gtest/gtest.h>

#include "connectors/FTPTarget.h"

namespace pm {
namespace {

UploaderConfig ftpConfig(const QString& endpoint, qint64 port, FTPSecurity security, const QString& prefix = {}) {
  UploaderConfig config(UploaderConfig::Kind::ftp);
  config.endpoint = endpoint;
  config.port = port;
  config.ftpSecurity = security;
  config.keyPrefix = prefix;
  return config;
}

TEST(FTPTargetTest, ResolvesWhatTheUserTyped) {
  const struct {
    const char* endpoint;
    qint64 port;
    FTPSecurity security;
    const char* prefix;
    FTPTarget expected;
  } table[] = {
      // The scheme is only removed: the URL follows the security mode, not what was typed.
      {" \tftps://files.example.com:2121/incoming/ ", 0, FTPSecurity::plain, "",
       {QStringLiteral("files.example.com"), 2121, FTPSecurity::plain, QStringLiteral("incoming")}},
      {"host", 0, FTPSecurity::plain, "", {QStringLiteral("host"), 21, FTPSecurity::plain, {}}},
      {"host", 0, FTPSecurity::explicitTLS, "", {QStringLiteral("host"), 21, FTPSecurity::explicitTLS, {}}},
      {"host", 0, FTPSecurity::implicitTLS, "", {QStringLiteral("host"), 990, FTPSecurity::implicitTLS, {}}},
      // The connection's port wins over the typed one.
      {"host:2121", 2200, FTPSecurity::plain, "", {QStringLiteral("host"), 2200, FTPSecurity::plain, {}}},
      // A port outside 1-65535, typed or configured, counts as not given.
      {"host:70000", 0, FTPSecurity::plain, "", {QStringLiteral("host"), 21, FTPSecurity::plain, {}}},
      {"host:0", 0, FTPSecurity::implicitTLS, "", {QStringLiteral("host"), 990, FTPSecurity::implicitTLS, {}}},
      {"host:-5", 0, FTPSecurity::plain, "", {QStringLiteral("host"), 21, FTPSecurity::plain, {}}},
      {"host:ftp", 0, FTPSecurity::plain, "", {QStringLiteral("host"), 21, FTPSecurity::plain, {}}},
      {"host:2121", 65536, FTPSecurity::plain, "", {QStringLiteral("host"), 2121, FTPSecurity::plain, {}}},
      // A non-empty key prefix replaces the typed path; its empty pieces and control characters go.
      {"host/typed/path", 0, FTPSecurity::plain, "/up//loads/", {QStringLiteral("host"), 21, FTPSecurity::plain,
                                                               QStringLiteral("up/loads")}},
      {"host//a//b/", 0, FTPSecurity::plain, "", {QStringLiteral("host"), 21, FTPSecurity::plain, QStringLiteral("a/b")}},
      {"host", 0, FTPSecurity::plain, "in\ncom\x7Fing\t/x", {QStringLiteral("host"), 21, FTPSecurity::plain,
                                                             QStringLiteral("incoming/x")}},
      {"   ", 0, FTPSecurity::plain, "", {QString(), 21, FTPSecurity::plain, {}}},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.endpoint);
    const FTPTarget target(ftpConfig(QString::fromUtf8(row.endpoint), row.port, row.security,
                                     QString::fromUtf8(row.prefix)));
    EXPECT_EQ(target.host, row.expected.host);
    EXPECT_EQ(target.port, row.expected.port);
    EXPECT_EQ(target.security, row.expected.security);
    EXPECT_EQ(target.directory, row.expected.directory);
  }
}

TEST(FTPTargetTest, BuildsEncodedURLs) {
  const struct {
    FTPTarget target;
    const char* relativePath;
    const char* expected;  // empty: no URL
  } table[] = {
      {{QStringLiteral("host"), 21, FTPSecurity::plain, {}}, "a.txt", "ftp://host:21/a.txt"},
      {{QStringLiteral("host"), 2121, FTPSecurity::explicitTLS, QStringLiteral("incoming")}, "2026-01-02 03-04-05/a b#1.txt",
       "ftp://host:2121/incoming/2026-01-02%2003-04-05/a%20b%231.txt"},
      {{QStringLiteral("host"), 990, FTPSecurity::implicitTLS, {}}, "x/y", "ftps://host:990/x/y"},
      {{QStringLiteral("host"), 21, FTPSecurity::plain, QStringLiteral("up")}, "", "ftp://host:21/up/"},
      {{QStringLiteral("host"), 21, FTPSecurity::plain, {}}, "", "ftp://host:21/"},
      {{QStringLiteral("host"), 21, FTPSecurity::plain, {}}, "keep!$&'()*+,;=:@-._~ but ?%", 
       "ftp://host:21/keep!$&'()*+,;=:@-._~%20but%20%3F%25"},
      {{QStringLiteral("host"), 21, FTPSecurity::plain, {}}, "ä/line\nbreak", "ftp://host:21/%C3%A4/linebreak"},
      {{QString(), 21, FTPSecurity::plain, {}}, "a.txt", ""},
      {{QStringLiteral("bad host"), 21, FTPSecurity::plain, {}}, "a.txt", ""},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.relativePath);
    const std::optional<QUrl> url = row.target.url(QString::fromUtf8(row.relativePath));
    if (*row.expected == '\0') {
      EXPECT_FALSE(url) << url->toEncoded().constData();
    } else {
      ASSERT_TRUE(url);
      EXPECT_EQ(url->toEncoded(), QByteArray(row.expected));
    }
  }
}

TEST(FTPTargetTest, ServerURLIsTheLoginFolder) {
  const FTPTarget target{QStringLiteral("host"), 2121, FTPSecurity::plain, QStringLiteral("deep/folder")};
  ASSERT_TRUE(target.serverURL());
  EXPECT_EQ(target.serverURL()->toEncoded(), QByteArray("ftp://host:2121/"));
  EXPECT_EQ(target.remotePath(QStringLiteral("ts/a.txt")), QStringLiteral("deep/folder/ts/a.txt"));
}

}  // namespace
}  // namespace pm
