#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QFrame>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest/QTest>

#include "AppsRig.h"
#include "connectors/FTPCredentials.h"
#include "connectors/OAuthCredentials.h"
#include "views/AccountConnectionSection.h"
#include "views/ConnectionEditor.h"
#include "views/NewConnectionKind.h"
#include "views/TildePath.h"
#include "views/PortText.h"

namespace pm::settings {
namespace {

using Kind = UploaderConfig::Kind;

class ConnectionEditorTest : public ::testing::Test {
 protected:
  ConnectionEditor& open(const UploaderConfig& config, bool isNew = false) {
    editor = std::make_unique<ConnectionEditor>(config, isNew, rig.services());
    editor->show();
    return *editor;
  }
  template <typename T>
  T* find(const char* name) const {
    return editor->findChild<T*>(QString::fromLatin1(name));
  }
  QString pendingConnect() const {
    return rig.defaults.object(QString::fromLatin1(names::key::kPendingDriveConnect)).toString();
  }
  // Until the editor's test or drive connection has ended.
  bool settled() const {
    return pm::test::runUntil([this] { return !editor->isTesting() && !editor->isConnecting(); });
  }

  test::AppsRig rig;
  std::unique_ptr<ConnectionEditor> editor;
};

TEST_F(ConnectionEditorTest, TheOwnServiceHidesTypeAndTestButKeepsNameAndIcon) {
  UploaderConfig own(Kind::parcelmoor);
  open(own);
  EXPECT_EQ(find<QComboBox>("editor.type"), nullptr);
  EXPECT_TRUE(find<QPushButton>("editor.test")->isHidden());
  find<QLineEdit>("editor.name")->setText(QStringLiteral("Mine"));
  Q_EMIT find<QLineEdit>("editor.name")->textEdited(QStringLiteral("Mine"));
  std::optional<UploaderConfig> saved;
  QObject::connect(editor.get(), &ConnectionEditor::saved, [&](const UploaderConfig& config) { saved = config; });
  find<QPushButton>("editor.save")->click();
  ASSERT_TRUE(saved);
  EXPECT_EQ(saved->name, QStringLiteral("Mine"));
}

TEST_F(ConnectionEditorTest, TheFormScrollsUnderALineThatKeepsItOffTheHeading) {
  for (const bool isNew : {true, false}) {
    SCOPED_TRACE(isNew ? "new" : "edit");
    // The FTP form is longer than the sheet: it scrolls.
    open(UploaderConfig(Kind::ftp), isNew);
    auto* title = find<QLabel>("editor.title");
    auto* divider = find<QFrame>("editor.headingDivider");
    auto* scroll = find<QScrollArea>("editor.scroll");
    ASSERT_NE(title, nullptr);
    ASSERT_NE(divider, nullptr);
    ASSERT_NE(scroll, nullptr);
    ASSERT_TRUE(pm::test::runUntil([&] { return scroll->verticalScrollBar()->maximum() > 0; }));
    scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum() / 2);
    EXPECT_TRUE(divider->isVisible());
    const int letters = title->mapTo(editor.get(), QPoint(0, title->contentsRect().top())).y() +
                        title->fontMetrics().height();
    const int line = divider->mapTo(editor.get(), QPoint(0, 0)).y();
    const int form = scroll->viewport()->mapTo(editor.get(), QPoint(0, 0)).y();
    // Room under the letters' descenders, then the line, and the scrolled rows only below it.
    EXPECT_GE(line - letters, 6);
    EXPECT_GE(form, line + divider->height());
    EXPECT_EQ(divider->frameShape(), QFrame::HLine);
    test::AppsRig::screenshot(*editor, QStringLiteral("editor-scrolled-") + (isNew ? "new" : "edit"));
  }
}

TEST_F(ConnectionEditorTest, TheTypePickerOffersTwoGroupsWithADividerAndNeverTheOwnService) {
  open(UploaderConfig(Kind::icloud));
  QComboBox* type = find<QComboBox>("editor.type");
  QStringList entries;
  for (int index = 0; index < type->count(); ++index)
    entries.append(type->itemText(index).isEmpty() ? QStringLiteral("—") : type->itemText(index));
  EXPECT_EQ(entries, (QStringList{QStringLiteral("Synced Folder"), QStringLiteral("Google Drive"),
                                  QStringLiteral("OneDrive"), QStringLiteral("Dropbox"), QStringLiteral("—"),
                                  QStringLiteral("AWS S3"), QStringLiteral("Cloudflare R2"), QStringLiteral("FTP")}));
}

// On this system the kind "icloud" is a folder that the user's sync client carries: it is named and
// explained so, and the folder to create or link (the kind is off until it exists) is shown the way the
// user would type it, beside where uploads land inside it.
TEST_F(ConnectionEditorTest, TheSyncedFolderSaysWhatItIsAndWhereItsFolderIs) {
  const QByteArray before = qgetenv("PARCELMOOR_UBIQUITY_ROOT");
  qputenv("PARCELMOOR_UBIQUITY_ROOT", QDir(QDir::homePath()).filePath(QStringLiteral("Sync/drive")).toUtf8());
  open(UploaderConfig(Kind::icloud));
  EXPECT_EQ(editor->config().kind, Kind::icloud) << "the stored kind stays";
  QStringList texts;
  for (const QLabel* label : editor->findChildren<QLabel*>()) texts.append(label->text());
  EXPECT_TRUE(texts.contains(QStringLiteral("Synced Folder")));
  EXPECT_TRUE(texts.contains(QStringLiteral("Files are copied into a folder that your sync client keeps in step.")));
  EXPECT_TRUE(texts.contains(QStringLiteral("Parcelmoor's synced folder is the folder below. Create it, or make it "
                                            "a link to the folder your sync client keeps:")));
  EXPECT_EQ(find<QLabel>("editor.syncedFolderRoot")->text(), QStringLiteral("~/Sync/drive"));
  EXPECT_TRUE(find<QLabel>("editor.syncedFolderRoot")->textInteractionFlags() & Qt::TextSelectableByMouse);
  EXPECT_EQ(find<QLabel>("editor.syncedFolderPath")->text(),
            QStringLiteral("Uploads land in ~/Sync/drive/iCloud.com.wrenfold.Parcelmoor/Documents"));
  EXPECT_EQ(ConnectionEditor::successText(Kind::icloud), QStringLiteral("The synced folder is ready"));
  for (const QString& text : texts) EXPECT_FALSE(text.contains(QStringLiteral("iCloud Drive"))) << text.toStdString();
  test::AppsRig::screenshot(*editor, QStringLiteral("editor-synced-folder"));
  if (before.isNull()) qunsetenv("PARCELMOOR_UBIQUITY_ROOT");
  else qputenv("PARCELMOOR_UBIQUITY_ROOT", before);
}

TEST(TildePathTest, TheHomeFolderReadsAsATilde) {
  const std::pair<const char*, const char*> cases[] = {
      {"/home/ada/.local/share/parcelmoor/drive", "~/.local/share/parcelmoor/drive"},
      {"/home/ada", "~"},
      {"/home/ada/", "~"},
      {"/home/adam/drive", "/home/adam/drive"},
      {"/srv/drive", "/srv/drive"},
  };
  for (const auto& [path, shown] : cases)
    EXPECT_EQ(tildePath(QString::fromLatin1(path), QStringLiteral("/home/ada")), QString::fromLatin1(shown)) << path;
  EXPECT_EQ(tildePath(QStringLiteral("/srv/drive"), QStringLiteral("/")), QStringLiteral("/srv/drive"));
}

TEST(NewConnectionKindTest, ANewConnectionStartsWithAKindThatWorksHere) {
  QTemporaryDir root;
  const QString missing = QDir(root.path()).filePath(QStringLiteral("absent"));
  const BundleInfo none({});
  const BundleInfo google({{QStringLiteral("GOOGLE_CLIENT_ID"), QStringLiteral("g")}});
  const BundleInfo dropbox({{QStringLiteral("DROPBOX_APP_KEY"), QStringLiteral("d")}});
  struct Case {
    const char* name;
    const BundleInfo& bundle;
    QString root;
    Kind kind;
  };
  const Case cases[] = {
      {"the synced folder's root is there", none, root.path(), Kind::icloud},
      {"no root, a Google client", google, missing, Kind::googleDrive},
      {"no root, a Dropbox key", dropbox, missing, Kind::dropbox},
      {"no root, no client: S3 always works", none, missing, Kind::customS3},
      {"no root named at all", none, QString(), Kind::customS3},
  };
  for (const Case& c : cases) EXPECT_EQ(newConnectionKind(c.bundle, c.root), c.kind) << c.name;
}

TEST_F(ConnectionEditorTest, ChangingTheKindClearsOnlyEndpointAndRegion) {
  UploaderConfig config(Kind::customS3);
  config.endpoint = QStringLiteral("https://s3.eu-west-1.amazonaws.com");
  config.region = QStringLiteral("eu-west-1");
  config.bucketName = QStringLiteral("bucket");
  config.keyPrefix = QStringLiteral("folder");
  config.symbol = QStringLiteral("star");
  config.port = 2121;
  open(config);
  editor->setKind(Kind::ftp);
  UploaderConfig expected = config;
  expected.kind = Kind::ftp;
  expected.endpoint.clear();
  expected.region.clear();
  EXPECT_EQ(editor->config(), expected);
  EXPECT_EQ(find<QLineEdit>("editor.server")->text(), QString());
}

TEST_F(ConnectionEditorTest, PortTextKeepsOnlyNumbers) {
  struct Case {
    QString typed;
    qint64 stored;
  };
  const Case cases[] = {{QStringLiteral("2a1"), 21},
                        {QString(), 0},
                        {QStringLiteral("abc"), 0},
                        {QStringLiteral("990"), 990},
                        {QStringLiteral("٢١"), 0},
                        {QStringLiteral("99999999999999999999"), 0}};
  for (const Case& c : cases) EXPECT_EQ(portFromText(c.typed), c.stored) << c.typed.toStdString();
  EXPECT_EQ(portText(0), QString());
  EXPECT_EQ(portText(21), QStringLiteral("21"));

  UploaderConfig ftp(Kind::ftp);
  open(ftp);
  QLineEdit* port = find<QLineEdit>("editor.port");
  EXPECT_EQ(port->text(), QString());
  EXPECT_EQ(port->placeholderText(), QStringLiteral("21"));
  QComboBox* security = find<QComboBox>("editor.security");
  security->setCurrentIndex(1);
  Q_EMIT security->activated(1);
  EXPECT_EQ(port->placeholderText(), QStringLiteral("990"));

  // The field takes digits only, so what it shows is what is stored.
  QTest::keyClicks(port, QStringLiteral("2a1"));
  EXPECT_EQ(port->text(), QStringLiteral("21"));
  EXPECT_EQ(editor->config().port, 21);
}

TEST_F(ConnectionEditorTest, TheNameFieldShowsTheKindsNameUntilTheUserGivesOne) {
  open(UploaderConfig(Kind::ftp), true);
  EXPECT_EQ(find<QLineEdit>("editor.name")->placeholderText(), QStringLiteral("FTP"));
  editor->setKind(Kind::customS3);
  EXPECT_EQ(find<QLineEdit>("editor.name")->placeholderText(), QStringLiteral("AWS S3"));
}

TEST_F(ConnectionEditorTest, TestingStoresTheTypedLoginFirstAndShowsTheWholeFailureAboveTheButtons) {
  UploaderConfig ftp(Kind::ftp);
  ftp.endpoint = QStringLiteral("ftp.example.com");
  open(ftp);
  find<QLineEdit>("editor.username")->setText(QStringLiteral("ann"));
  Q_EMIT find<QLineEdit>("editor.username")->textEdited(QStringLiteral("ann"));
  Q_EMIT find<QLineEdit>("editor.password")->textEdited(QStringLiteral("secret"));
  std::optional<FTPCredentials> seenByTest;
  rig.checks.onTest = [&](const UploaderConfig& config) { seenByTest = FTPCredentials::load(rig.keychain, config.id); };
  const QString failure =
      QStringLiteral("The server refused the login for this user name and password: 530 Login incorrect.");
  rig.checks.failures.insert(Kind::ftp, failure);
  rig.checks.holding = true;
  editor->runTest();
  EXPECT_EQ(editor->testLabel(), QStringLiteral("Testing…"));
  EXPECT_FALSE(find<QPushButton>("editor.test")->isEnabled());
  // A spinner turns beside the text while the test runs.
  EXPECT_TRUE(find<QLabel>("editor.testingText")->isVisible());
  EXPECT_EQ(find<QLabel>("editor.testingText")->text(), QStringLiteral("Testing…"));
  EXPECT_TRUE(find<QLabel>("editor.failureText")->isHidden() || !find<QWidget>("editor.failure")->isVisible());
  rig.checks.release();
  ASSERT_TRUE(settled());
  ASSERT_TRUE(seenByTest);
  EXPECT_EQ(*seenByTest, (FTPCredentials{QStringLiteral("ann"), QStringLiteral("secret")}));
  EXPECT_FALSE(find<QLabel>("editor.testingText")->isVisible());
  EXPECT_TRUE(find<QWidget>("editor.failure")->isVisible());
  EXPECT_EQ(find<QLabel>("editor.failureText")->text(), failure);
  EXPECT_EQ(find<QPushButton>("editor.test")->text(), QStringLiteral("Test Connection"));
  test::AppsRig::screenshot(*editor, QStringLiteral("editor-ftp-failed"));
}

TEST_F(ConnectionEditorTest, ConnectingWithAnUnchangedTokenGivesUpAndANewTokenFillsTheAccount) {
  UploaderConfig drive(Kind::googleDrive);
  OAuthCredentials old{QStringLiteral("refresh-1"), QStringLiteral("old@example.com"), QString(), {}};
  OAuthCredentials::save(rig.keychain, old, drive.id, OAuthProvider::google);
  open(drive);
  find<QPushButton>("editor.connect")->click();
  EXPECT_TRUE(editor->isConnecting());
  EXPECT_EQ(find<QPushButton>("editor.connect")->text(), QStringLiteral("Waiting for your browser…"));
  EXPECT_FALSE(find<QPushButton>("editor.connect")->isEnabled());
  EXPECT_EQ(pendingConnect(), drive.id.toString(QUuid::WithoutBraces).toUpper() + QStringLiteral("|googleDrive"));
  EXPECT_EQ(rig.signals.posted().count(QString::fromLatin1(names::signal::kConnectDrive)), 1);
  ASSERT_TRUE(settled());
  EXPECT_FALSE(editor->isConnecting());
  EXPECT_EQ(editor->testResult(), ProbeResult::failed(QStringLiteral("No account arrived. Try connecting again.")));

  find<QPushButton>("editor.connect")->click();
  OAuthCredentials renewed{QStringLiteral("refresh-2"), QStringLiteral("new@example.com"), QString(), {}};
  OAuthCredentials::save(rig.keychain, renewed, drive.id, OAuthProvider::google);
  ASSERT_TRUE(settled());
  EXPECT_EQ(editor->config().account, QStringLiteral("new@example.com"));
  EXPECT_EQ(editor->testResult(), ProbeResult::reachable());
  EXPECT_EQ(find<QLabel>("editor.account")->text(), QStringLiteral("new@example.com"));
  EXPECT_EQ(find<QPushButton>("editor.connect")->text(), QStringLiteral("Change…"));
  test::AppsRig::screenshot(*editor, QStringLiteral("editor-googleDrive"));
}

TEST_F(ConnectionEditorTest, ABuildWithoutTheDropboxClientPostsNothing) {
  open(UploaderConfig(Kind::dropbox));
  rig.signals.clearPosted();
  find<QPushButton>("editor.connect")->click();
  EXPECT_FALSE(editor->isConnecting());
  EXPECT_TRUE(rig.signals.posted().isEmpty());
  EXPECT_EQ(pendingConnect(), QString());
  EXPECT_EQ(editor->testResult(), ProbeResult::failed(QStringLiteral("This build cannot connect a Dropbox account.")));
  EXPECT_EQ(find<QLabel>("editor.account")->text(), QStringLiteral("Not connected"));
  test::AppsRig::screenshot(*editor, QStringLiteral("editor-dropbox"));
}

TEST_F(ConnectionEditorTest, SavingADropboxConnectionWritesBackTheLoadedKeyPairUnchanged) {
  UploaderConfig dropbox(Kind::dropbox);
  S3Credentials::save(rig.keychain, S3Credentials{QStringLiteral("id"), QStringLiteral("secret")}, dropbox.id);
  open(dropbox);
  // The key pair loads whatever the kind, so the save that every Dropbox connection makes loses nothing.
  find<QPushButton>("editor.save")->click();
  EXPECT_EQ(S3Credentials::load(rig.keychain, dropbox.id),
            (S3Credentials{QStringLiteral("id"), QStringLiteral("secret")}));
}

TEST_F(ConnectionEditorTest, APickedSymbolIsStoredAndClosesThePicker) {
  open(UploaderConfig(Kind::customS3));
  find<QAbstractButton>("editor.icon")->click();
  QPointer<SymbolPicker> picker = editor->symbolPicker();
  ASSERT_NE(picker, nullptr);
  EXPECT_TRUE(picker->cell(QString())->isChecked());
  picker->cell(QStringLiteral("star"))->click();
  EXPECT_TRUE(pm::test::runUntil([&] { return !picker || !picker->isVisible(); }));
  EXPECT_EQ(editor->config().symbol, QStringLiteral("star"));
  EXPECT_TRUE(!picker || !picker->isVisible());
}

TEST_F(ConnectionEditorTest, ScreenshotsOfTheOtherKinds) {
  for (const Kind kind : {Kind::icloud, Kind::customS3, Kind::r2, Kind::oneDrive, Kind::parcelmoor}) {
    UploaderConfig config(kind);
    open(config, true);
    test::AppsRig::screenshot(*editor, QStringLiteral("editor-") + rawValue(kind));
  }
}

}  // namespace
}  // namespace pm::settings
