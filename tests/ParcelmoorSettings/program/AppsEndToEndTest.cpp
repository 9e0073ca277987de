#include <QAbstractButton>
#include <QDesktopServices>
#include <QLineEdit>
#include <QNetworkAccessManager>

#include <gtest/gtest.h>

#include "core/S3Credentials.h"
#include "model/AppSettings.h"
#include "model/LiveConnectionChecks.h"
#include "platform/BundleInfo.h"
#include "platform/Clock.h"
#include "platform/Keychain.h"
#include "platform/SharedDefaults.h"
#include "platform/Signals.h"
#include "support/AgentProcess.h"
#include "support/DevServiceProcess.h"
#include "support/S3rverPeer.h"
#include "support/TestSupport.h"
#include "views/ConnectionEditor.h"
#include "views/ConnectionsSettingsView.h"

namespace pm::settings {
namespace {

using namespace std::chrono_literals;

void type(QWidget& editor, const char* field, const QString& text) {
  auto* line = editor.findChild<QLineEdit*>(QString::fromLatin1(field));
  ASSERT_NE(line, nullptr) << field;
  line->setText(text);
  Q_EMIT line->textEdited(text);
}

// The user's road: add an S3 connection on the Apps page, test it, save it; the agent then uploads to it.
TEST(AppsEndToEnd, AConnectionMadeInTheEditorTestsConnectedAndTakesTheAgentsUploads) {
  test::S3rverPeer s3rver({QStringLiteral("drop")});
  ASSERT_TRUE(s3rver.failure().isEmpty()) << s3rver.failure().toStdString();
  test::TempRoot root;
  test::DevServiceProcess service(root.file(QStringLiteral("service")));
  test::AgentProcess agent(root.file(QStringLiteral("agent")), service.url());

  FileSharedDefaults defaults(agent.suiteFile());
  LocalSignals signals;
  SecretServiceKeychain keychain;
  SystemClock clock;
  const BundleInfo bundle = BundleInfo::compiledIn();
  QNetworkAccessManager network;
  LiveConnectionChecks checks(network, keychain, defaults, signals, clock, bundle, service.url());
  AppSettings settings(defaults, signals, keychain, clock);
  ConnectionsSettingsView page(settings, {.keychain = keychain,
                                          .defaults = defaults,
                                          .signals = signals,
                                          .bundle = bundle,
                                          .checks = checks,
                                          .serviceBase = service.url(),
                                          .openUrl = [](const QUrl&) { return false; },
                                          .driveConnect = {}});
  page.show();

  page.add();
  ConnectionEditor& editor = *page.editor();
  editor.setKind(UploaderConfig::Kind::customS3);
  type(editor, "editor.name", QStringLiteral("Local bucket"));
  type(editor, "editor.endpoint", s3rver.endpoint());
  type(editor, "editor.bucket", QStringLiteral("drop"));
  type(editor, "editor.accessKey", QStringLiteral("S3RVER"));
  type(editor, "editor.secretKey", QStringLiteral("S3RVER"));
  const QUuid id = editor.config().id;
  editor.runTest();
  ASSERT_TRUE(test::runUntil([&] { return !editor.isTesting(); }));
  EXPECT_EQ(editor.testResult(), ProbeResult::reachable()) << editor.testResult()->message().toStdString();
  EXPECT_EQ(editor.testLabel(), QStringLiteral("Reached the bucket"));
  editor.findChild<QAbstractButton*>(QStringLiteral("editor.save"))->click();
  ASSERT_EQ(settings.uploaders().size(), 2);

  agent.start();
  ASSERT_TRUE(agent.waitUntilServing()) << agent.log().toStdString();
  const QByteArray contents("bytes for the local bucket");
  const test::AgentProcess::Finished sent =
      agent.launch({QStringLiteral("send"), root.write(QStringLiteral("files/note.txt"), contents)});
  ASSERT_EQ(sent.exitCode, 0) << sent.errors.toStdString();

  QString stored;
  const bool arrived = test::runUntil(
      [&] {
        for (const QString& key : s3rver.keys(QStringLiteral("drop"))) {
          if (key.endsWith(QStringLiteral("/note.txt")) && s3rver.object(QStringLiteral("drop"), key) == contents)
            stored = key;
        }
        return !stored.isEmpty();
      },
      30s);
  EXPECT_TRUE(arrived) << s3rver.keys(QStringLiteral("drop")).join(QLatin1Char(' ')).toStdString() << "\n"
                       << agent.log().toStdString();
  S3Credentials::save(keychain, std::nullopt, id);
}

}  // namespace
}  // namespace pm::settings
