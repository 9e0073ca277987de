#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include "AppsRig.h"
#include "core/ParcelmoorAPI.h"
#include "views/AccountConnectionSection.h"
#include "views/RegionChoice.h"
#include "views/S3ConnectionSection.h"
#include "views/ShareableLinksExplainer.h"
#include "views/SymbolPicker.h"

namespace pm::settings {
namespace {

using Kind = UploaderConfig::Kind;

std::function<bool(const QUrl&)> recordTo(QList<QUrl>& opened) {
  return [&opened](const QUrl& url) {
    opened.append(url);
    return true;
  };
}

TEST(AccountConnectionSectionTest, TheButtonSaysWaitingThenChangeThenConnect) {
  struct Case {
    bool connecting;
    QString account;
    QString title;
  };
  const Case cases[] = {{true, QStringLiteral("a@example.com"), QStringLiteral("Waiting for your browser…")},
                        {true, QString(), QStringLiteral("Waiting for your browser…")},
                        {false, QStringLiteral("a@example.com"), QStringLiteral("Change…")},
                        {false, QString(), QStringLiteral("Connect…")}};
  for (const Case& c : cases)
    EXPECT_EQ(AccountConnectionSection::buttonTitle(c.connecting, c.account), c.title);

  UploaderConfig drive(Kind::googleDrive);
  AccountConnectionSection section(drive);
  section.refresh(true);
  EXPECT_FALSE(section.connectButton()->isEnabled());
  EXPECT_TRUE(AccountConnectionSection::folderHint(Kind::googleDrive).contains(QStringLiteral("My Drive")));
  EXPECT_EQ(section.folderField()->placeholderText(), QStringLiteral("optional"));
  EXPECT_EQ(drive.keyPrefix, QString());
}

class S3ConnectionSectionTest : public ::testing::Test {
 protected:
  S3ConnectionSection& open(Kind kind, const QString& region) {
    config = UploaderConfig(kind);
    config.region = region;
    section = std::make_unique<S3ConnectionSection>(config, credentials, QUrl(QStringLiteral("http://127.0.0.1:9")),
                                                    recordTo(opened));
    section->show();
    return *section;
  }
  void choose(const QString& value) {
    QComboBox* picker = section->regionPicker();
    const int index = picker->findData(value);
    picker->setCurrentIndex(index);
    Q_EMIT picker->activated(index);
  }

  UploaderConfig config{Kind::customS3};
  S3Credentials credentials;
  QList<QUrl> opened;
  std::unique_ptr<S3ConnectionSection> section;
};

TEST_F(S3ConnectionSectionTest, TheRegionPickerShowsAListedRegionOrCustom) {
  struct Case {
    QString stored;
    QString shown;
    bool nameRow;
  };
  const Case cases[] = {{QStringLiteral("eu-west-1"), QStringLiteral("eu-west-1"), false},
                        {QStringLiteral("fr-par"), QString::fromLatin1(RegionChoice::kCustom), true},
                        {QString(), QStringLiteral("auto"), false},
                        {QStringLiteral("EU-WEST-1"), QString::fromLatin1(RegionChoice::kCustom), true}};
  for (const Case& c : cases) {
    open(Kind::customS3, c.stored);
    EXPECT_EQ(section->regionPicker()->currentData().toString(), c.shown) << c.stored.toStdString();
    EXPECT_EQ(section->isRegionNameShown(), c.nameRow) << c.stored.toStdString();
    if (c.nameRow) {
      EXPECT_EQ(section->regionNameField()->text(), c.stored);
    }
  }
  EXPECT_EQ(RegionChoice::regions().size(), 16);
}

TEST_F(S3ConnectionSectionTest, ChoosingAutoStoresItAndCustomKeepsTheRegionForEditing) {
  open(Kind::customS3, QString());
  choose(QStringLiteral("auto"));
  EXPECT_EQ(config.region, QStringLiteral("auto"));

  open(Kind::customS3, QStringLiteral("us-east-1"));
  choose(QString::fromLatin1(RegionChoice::kCustom));
  EXPECT_EQ(config.region, QStringLiteral("us-east-1"));
  EXPECT_TRUE(section->isRegionNameShown());
  EXPECT_EQ(section->regionNameField()->text(), QStringLiteral("us-east-1"));
  choose(QStringLiteral("eu-north-1"));
  EXPECT_EQ(config.region, QStringLiteral("eu-north-1"));
  EXPECT_FALSE(section->isRegionNameShown());
  test::AppsRig::screenshot(*section, QStringLiteral("section-s3"));
}

TEST_F(S3ConnectionSectionTest, AnR2AccountStoresAWholeEndpointAndNothingWhenCleared) {
  open(Kind::r2, QString());
  EXPECT_EQ(section->regionPicker(), nullptr);
  auto* account = section->findChild<QLineEdit*>(QStringLiteral("editor.r2Account"));
  ASSERT_NE(account, nullptr);
  Q_EMIT account->textEdited(QStringLiteral(" 0123456789abcdef0123456789abcdef "));
  EXPECT_EQ(config.endpoint, QStringLiteral("https://0123456789abcdef0123456789abcdef.r2.cloudflarestorage.com"));
  Q_EMIT account->textEdited(QString());
  EXPECT_EQ(config.endpoint, QString());
  EXPECT_TRUE(config.region.isEmpty());
}

TEST_F(S3ConnectionSectionTest, TheInformationButtonOpensTheExplainerForTheKind) {
  open(Kind::r2, QString());
  section->findChild<QToolButton*>(QStringLiteral("editor.explainLinks"))->click();
  ASSERT_NE(section->explainer(), nullptr);
  EXPECT_EQ(section->explainer()->guide().toString(), QStringLiteral("http://127.0.0.1:9/help/r2"));
}

TEST(SymbolPickerTest, HighlightsTheStoredSymbolAndPicksOnce) {
  ASSERT_EQ(SymbolPicker::symbols().size(), 30);
  EXPECT_EQ(SymbolPicker::symbols().first(), QStringLiteral("shippingbox"));
  EXPECT_EQ(SymbolPicker::symbols().last(), QStringLiteral("star"));

  SymbolPicker byDefault(QString(), QStringLiteral("server.rack"));
  EXPECT_TRUE(byDefault.cell(QString())->isChecked());

  SymbolPicker unknown(QStringLiteral("rocket"), QStringLiteral("server.rack"));
  for (QToolButton* cell : unknown.findChildren<QToolButton*>()) EXPECT_FALSE(cell->isChecked());

  SymbolPicker picker(QString(), QStringLiteral("server.rack"));
  QStringList stored;
  int picks = 0;
  QObject::connect(&picker, &SymbolPicker::symbolChanged, [&](const QString& symbol) { stored.append(symbol); });
  QObject::connect(&picker, &SymbolPicker::picked, [&] { ++picks; });
  picker.cell(QStringLiteral("star"))->click();
  EXPECT_EQ(stored, QStringList{QStringLiteral("star")});
  EXPECT_EQ(picks, 1);
  EXPECT_TRUE(picker.cell(QStringLiteral("star"))->isChecked());
  EXPECT_FALSE(picker.cell(QString())->isChecked());
  picker.cell(QString())->click();
  EXPECT_EQ(stored.last(), QString());
  picker.adjustSize();
  test::AppsRig::screenshot(picker, QStringLiteral("symbol-picker"));
}

TEST(ShareableLinksExplainerTest, TheGuideFollowsTheKindAndTheServiceAddress) {
  struct Case {
    Kind kind;
    std::optional<QString> environment;
    QString guide;
  };
  const Case cases[] = {
      {Kind::r2, QStringLiteral("http://127.0.0.1:8123/api-base"), QStringLiteral("http://127.0.0.1:8123/api-base/help/r2")},
      {Kind::customS3, QStringLiteral("http://127.0.0.1:8123"), QStringLiteral("http://127.0.0.1:8123/help/s3")},
  };
  for (const Case& c : cases) {
    QList<QUrl> opened;
    ShareableLinksExplainer explainer(c.kind, serviceBaseUrl(c.environment), recordTo(opened));
    Q_EMIT explainer.guideLink()->linkActivated(explainer.guide().toString());
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened.first().toString(), c.guide);
  }
}

// The texts name the service this program talks to (PARCELMOOR_API when set), never the built-in one.
TEST(ShareableLinksExplainerTest, TheCaptionAndTheExplainerNameTheServiceInUse) {
  const std::pair<const char*, const char*> cases[] = {
      {"https://share.example.org/base", "share.example.org"},
      {"http://127.0.0.1:8123", "127.0.0.1:8123"},
  };
  for (const auto& [environment, host] : cases) {
    SCOPED_TRACE(environment);
    const QUrl base = serviceBaseUrl(QString::fromLatin1(environment));
    UploaderConfig config(Kind::customS3);
    S3Credentials credentials;
    QList<QUrl> opened;
    S3ConnectionSection section(config, credentials, base, recordTo(opened));
    section.explainLinks();
    ASSERT_NE(section.explainer(), nullptr);
    int naming = 0;
    // The explainer's popover belongs to the section: its labels are among the section's.
    for (const QLabel* label : section.findChildren<QLabel*>()) {
      if (label == section.explainer()->guideLink()) continue;
      EXPECT_FALSE(label->text().contains(builtInServiceUrl().host())) << label->text().toStdString();
      if (label->text().contains(QString::fromLatin1(host))) ++naming;
    }
    // The caption and two paragraphs of the explainer.
    EXPECT_EQ(naming, 3);
    section.explainer()->window()->close();
  }
}

TEST(ShareableLinksExplainerTest, EmphasisIsBoldWithoutAsterisksAndTheTextWrapsInItsWidth) {
  EXPECT_EQ(ShareableLinksExplainer::emphasised(QStringLiteral("We **never** <keep> it")),
            QStringLiteral("We <b>never</b> &lt;keep&gt; it"));
  EXPECT_EQ(ShareableLinksExplainer::emphasised(QStringLiteral("a **b")), QStringLiteral("a **b"));
  QList<QUrl> opened;
  ShareableLinksExplainer explainer(Kind::customS3, QUrl(QStringLiteral("http://127.0.0.1:9")), recordTo(opened));
  explainer.show();
  EXPECT_EQ(explainer.width(), ShareableLinksExplainer::kWidth);
  for (QLabel* label : explainer.findChildren<QLabel*>()) EXPECT_FALSE(label->text().contains(QStringLiteral("**")));
  test::AppsRig::screenshot(explainer, QStringLiteral("shareable-links-explainer"));
}

}  // namespace
}  // namespace pm::settings
