#include <gtest/gtest.h>

#include <functional>

#include "QStringPrinting.h"
#include "core/AccountState.h"
#include "core/UploaderConfig.h"
#include "model/ConnectionSymbols.h"
#include "model/R2Endpoint.h"
#include "platform/SharedDefaults.h"

namespace pm::settings {
namespace {

using Kind = UploaderConfig::Kind;

UploaderConfig filled(Kind kind) {
  UploaderConfig config(kind);
  config.endpoint = QStringLiteral(" ");
  config.bucketName = QStringLiteral(" ");
  config.account = QStringLiteral(" ");
  return config;
}

TEST(ConnectionPresentation, EveryKindHasItsNameSymbolAndConfiguredRule) {
  struct Case {
    Kind kind;
    const char* name;
    const char* symbol;
  };
  const Case cases[] = {
      {Kind::parcelmoor, "Parcelmoor", "shippingbox"},
      {Kind::customS3, "AWS S3", "internaldrive"},
      {Kind::r2, "Cloudflare R2", "cloud.bolt"},
      {Kind::ftp, "FTP", "server.rack"},
      {Kind::icloud, "Synced Folder", "icloud"},
      {Kind::googleDrive, "Google Drive", "triangle.righthalf.filled"},
      {Kind::oneDrive, "OneDrive", "cloud.fill"},
      {Kind::dropbox, "Dropbox", "shippingbox.fill"},
  };
  ASSERT_EQ(std::size(cases), UploaderConfig::allKinds.size());
  MemorySharedDefaults defaults;
  defaults.set(QStringLiteral("accountState"), AccountState::signedIn(QString(), true).toJson());
  defaults.set(QStringLiteral("icloudState"), QString());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    UploaderConfig config(c.kind);
    EXPECT_EQ(config.displayName(), QLatin1String(c.name));
    EXPECT_EQ(displaySymbol(config), QLatin1String(c.symbol));
    config.name = QStringLiteral(" ");
    config.symbol = QStringLiteral("star");
    EXPECT_EQ(config.displayName(), QStringLiteral(" "));
    EXPECT_EQ(displaySymbol(config), QStringLiteral("star"));
    // Blanks count as filled in: nothing is trimmed.
    EXPECT_TRUE(filled(c.kind).isConfigured(defaults));
  }
}

TEST(ConnectionPresentation, WhatAConnectionLacksBeforeItCountsAsConfigured) {
  struct Case {
    const char* what;
    std::function<void(UploaderConfig&)> change;
    Kind kind;
  };
  const Case cases[] = {
      {"no endpoint", [](UploaderConfig& c) { c.endpoint.clear(); }, Kind::customS3},
      {"no bucket", [](UploaderConfig& c) { c.bucketName.clear(); }, Kind::r2},
      {"no server", [](UploaderConfig& c) { c.endpoint.clear(); }, Kind::ftp},
      {"no Google account", [](UploaderConfig& c) { c.account.clear(); }, Kind::googleDrive},
      {"no Microsoft account", [](UploaderConfig& c) { c.account.clear(); }, Kind::oneDrive},
      {"no Dropbox account", [](UploaderConfig& c) { c.account.clear(); }, Kind::dropbox},
  };
  const MemorySharedDefaults defaults;
  for (const Case& c : cases) {
    UploaderConfig config = filled(c.kind);
    c.change(config);
    EXPECT_FALSE(config.isConfigured(defaults)) << c.what;
  }
}

TEST(ConnectionPresentation, ICloudDriveIsConfiguredOnlyAfterACheckFoundNoProblem) {
  const UploaderConfig icloud(Kind::icloud);
  MemorySharedDefaults defaults;
  EXPECT_FALSE(icloud.isConfigured(defaults));  // never checked
  defaults.set(QStringLiteral("icloudState"),
               QStringLiteral("The synced folder is switched off on this computer."));
  EXPECT_FALSE(icloud.isConfigured(defaults));
  defaults.set(QStringLiteral("icloudState"), QString());
  EXPECT_TRUE(icloud.isConfigured(defaults));
}

TEST(ConnectionPresentation, TheOwnServiceIsConfiguredOnlyWhileSignedInWithAPaidAccount) {
  const UploaderConfig own(Kind::parcelmoor);
  const std::pair<AccountState, bool> cases[] = {
      {AccountState::signedIn(QStringLiteral("a@example.com"), true), true},
      {AccountState::signedIn(QStringLiteral("a@example.com"), false), false},
      {AccountState::waiting(), false},
      {AccountState::signedOut(), false},
      {AccountState::failed(AccountState::Failure::expired), false},
  };
  for (const auto& [state, configured] : cases) {
    MemorySharedDefaults defaults;
    defaults.set(QStringLiteral("accountState"), state.toJson());
    EXPECT_EQ(own.isConfigured(defaults), configured) << state.toJson().toStdString();
  }
}

TEST(ConnectionPresentation, LoadingKeepsEveryElementThatDecodes) {
  MemorySharedDefaults defaults;
  defaults.set(QStringLiteral("uploaderConfigs"),
               QByteArray(R"([{"kind":"ftp","name":"first"},{"kind":"dropbox","port":"21"},)"
                          R"({"kind":"r2","name":"third"}])"));
  const QList<UploaderConfig> loaded = UploaderConfig::loadAll(defaults);
  ASSERT_EQ(loaded.size(), 2);
  EXPECT_EQ(loaded[0].name, QStringLiteral("first"));
  EXPECT_EQ(loaded[1].name, QStringLiteral("third"));

  for (const QVariant& stored : {QVariant(QByteArray(R"({"kind":"ftp"})")), QVariant(QByteArray("not json")),
                                 QVariant(QStringLiteral(R"([{"kind":"ftp"}])")), QVariant()}) {
    defaults.set(QStringLiteral("uploaderConfigs"), stored);
    EXPECT_TRUE(UploaderConfig::loadAll(defaults).isEmpty()) << stored.toString().toStdString();
  }
}

TEST(R2Endpoint, AccountIDsAndEndpointsConvertBothWays) {
  struct Case {
    const char* typed;
    const char* accountID;  // r2AccountID(typed)
    const char* endpoint;   // r2Endpoint(typed)
  };
  const Case cases[] = {
      {"https://abc123.r2.cloudflarestorage.com", "abc123", "https://abc123.r2.cloudflarestorage.com"},
      {"https://abc123.r2.cloudflarestorage.com/bucket/key", "abc123",
       "https://abc123.r2.cloudflarestorage.com"},
      {"abc123.r2.cloudflarestorage.com", "abc123", "https://abc123.r2.cloudflarestorage.com"},
      {"  abc123\t", "", "https://abc123.r2.cloudflarestorage.com"},
      // Without a scheme there is no host, and the whole text does not end with the suffix.
      {"abc123.r2.cloudflarestorage.com/bucket", "", ""},
      {"", "", ""},
      {"   ", "", ""},
  };
  for (const Case& c : cases) {
    const QString typed = QString::fromUtf8(c.typed);
    EXPECT_EQ(r2AccountID(typed), QString::fromUtf8(c.accountID)) << c.typed;
    EXPECT_EQ(r2Endpoint(typed), QString::fromUtf8(c.endpoint)) << c.typed;
  }
  // An endpoint on another domain names no R2 account.
  EXPECT_EQ(r2AccountID(QStringLiteral("https://s3.us-east-1.amazonaws.com")), QString());
}

}  // namespace
}  // namespace pm::settings
