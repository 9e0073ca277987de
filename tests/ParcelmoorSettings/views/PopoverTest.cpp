#include <gtest/gtest.h>

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QToolButton>

#include "AppsRig.h"
#include "SettingsWindowRig.h"
#include "views/AboutSyncPopover.h"
#include "views/ConnectionEditor.h"
#include "views/Popover.h"
#include "views/S3ConnectionSection.h"
#include "views/ShareableLinksExplainer.h"

namespace pm::settings {
namespace {

using Kind = UploaderConfig::Kind;

TEST(PopoverTest, ItOpensUnderItsAnchorAndStaysOnTheScreen) {
  const QRect screen(0, 0, 1280, 720);
  const QSize bubble(320, 200);
  const int arrow = Popover::kArrowLength;
  const int margin = Popover::kScreenMargin;
  struct Case {
    const char* name;
    QRect anchor;
    QRect frame;
    int arrowX;
    bool above;
  };
  const Case cases[] = {
      {"room everywhere: centred under the anchor", {600, 100, 20, 20}, {450, 120, 320, 200 + arrow}, 160, false},
      {"at the right edge: pushed left, the arrow follows the anchor", {1240, 100, 20, 20},
       {1280 - margin - 320, 120, 320, 200 + arrow}, 1250 - (1280 - margin - 320), false},
      {"in the corner: the arrow stays clear of the rounded corner", {1262, 100, 18, 20},
       {1280 - margin - 320, 120, 320, 200 + arrow}, 320 - Popover::kCornerRadius - Popover::kArrowHalfWidth, false},
      {"at the left edge: pushed right", {0, 100, 20, 20}, {margin, 120, 320, 200 + arrow},
       Popover::kCornerRadius + Popover::kArrowHalfWidth, false},
      {"no room below: above the anchor", {600, 600, 20, 20}, {450, 600 - 200 - arrow, 320, 200 + arrow}, 160,
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Popover::Placement placement = Popover::place(c.anchor, bubble, screen);
    EXPECT_EQ(placement.frame, c.frame);
    EXPECT_EQ(placement.arrowX, c.arrowX);
    EXPECT_EQ(placement.above, c.above);
    EXPECT_TRUE(screen.contains(placement.frame));
  }
}

// The popover that `open` shows from `anchor`, as a user meets it: a framed window under its button,
// on the screen, with its content from the top of the bubble on.
QWidget* expectUnder(QWidget& anchor, QWidget* content, const QString& screenshot) {
  EXPECT_NE(content, nullptr);
  if (!content) return nullptr;
  QWidget* window = content->window();
  EXPECT_NE(qobject_cast<Popover*>(window), nullptr);
  EXPECT_TRUE(pm::test::runUntil([window] { return window->isVisible(); }, std::chrono::seconds(30)));
  const QRect frame = window->frameGeometry();
  const QRect button(anchor.mapToGlobal(QPoint(0, 0)), anchor.size());
  // Under its button, or over it where the screen ends below.
  if (static_cast<Popover*>(window)->isAbove()) {
    EXPECT_EQ(frame.bottom(), button.top() - 1);
    EXPECT_EQ(content->geometry().top(), 0);
  } else {
    EXPECT_EQ(frame.top(), button.bottom() + 1);
    EXPECT_EQ(content->geometry().top(), Popover::kArrowLength);
  }
  EXPECT_LE(frame.left(), button.center().x());
  EXPECT_GE(frame.right(), button.center().x());
  EXPECT_TRUE(anchor.screen()->availableGeometry().contains(frame));
  test::AppsRig::screenshot(*window, screenshot);
  return window;
}

TEST(PopoverTest, AboutSyncOpensUnderItsButton) {
  test::SettingsWindowRig rig;
  rig.open();
  auto* info = rig.find<QToolButton>("account.syncInfo");
  info->click();
  auto* about = rig.view->findChild<AboutSyncPopover*>(QStringLiteral("account.aboutSync"));
  QWidget* window = expectUnder(*info, about, QStringLiteral("popover-about-sync"));
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(static_cast<Popover*>(window)->isAbove()) << "the window leaves room below the sync row";
  window->close();
}

TEST(PopoverTest, TheShareableLinksExplainerHasItsTitleAtTheTop) {
  UploaderConfig config(Kind::customS3);
  S3Credentials credentials;
  S3ConnectionSection section(config, credentials, QUrl(QStringLiteral("http://127.0.0.1:9")),
                              [](const QUrl&) { return true; });
  section.resize(460, 700);
  section.show();
  auto* info = section.findChild<QToolButton*>(QStringLiteral("editor.explainLinks"));
  info->click();
  ShareableLinksExplainer* explainer = section.explainer();
  QWidget* window = expectUnder(*info, explainer, QStringLiteral("popover-shareable-links"));
  ASSERT_NE(window, nullptr);
  // No empty band above the title or below the link: the bubble is as tall as its text.
  const QList<QLabel*> labels = explainer->findChildren<QLabel*>();
  ASSERT_FALSE(labels.isEmpty());
  EXPECT_EQ(labels.first()->text(), QStringLiteral("About shareable links"));
  EXPECT_LE(labels.first()->geometry().top(), 16 + 2);
  EXPECT_GE(explainer->guideLink()->geometry().bottom(), explainer->height() - 16 - 4);
  window->close();
  EXPECT_TRUE(pm::test::runUntil([&] { return section.explainer() == nullptr; }, std::chrono::seconds(30)) ||
              !window->isVisible());
}

TEST(PopoverTest, TheSymbolPickerOpensUnderTheIconButton) {
  test::AppsRig rig;
  ConnectionEditor editor(UploaderConfig(Kind::ftp), true, rig.services());
  editor.show();
  auto* icon = editor.findChild<QToolButton*>(QStringLiteral("editor.icon"));
  icon->click();
  QWidget* window = expectUnder(*icon, editor.symbolPicker(), QStringLiteral("popover-symbol-picker"));
  ASSERT_NE(window, nullptr);
  window->close();
}

TEST(PopoverTest, OnAComposingDesktopItsCornersAreSmoothedAtTheScreensDensity) {
  QToolButton anchor;
  anchor.setText(QStringLiteral("i"));
  anchor.show();
  auto* content = new QLabel(QStringLiteral("A bubble with rounded corners"));
  content->setContentsMargins(16, 16, 16, 16);
  QPointer<Popover> popover = new Popover(content, &anchor);
  popover->showAt(anchor);
  ASSERT_TRUE(pm::test::runUntil([&] { return popover->isVisible(); }, std::chrono::seconds(30)));
  // Drawn over what lies below, not cut out of a mask in whole points.
  EXPECT_TRUE(popover->isTranslucent());
  EXPECT_TRUE(popover->testAttribute(Qt::WA_TranslucentBackground));
  EXPECT_TRUE(popover->mask().isEmpty());

  // At two device pixels per point the corner's edge passes through partly covered pixels.
  QImage image(popover->size() * 2, QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(2);
  image.fill(Qt::transparent);
  popover->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
  const int top = popover->isAbove() ? 0 : 2 * Popover::kArrowLength;
  const int bottom = popover->isAbove() ? image.height() - 2 * Popover::kArrowLength : image.height();
  int partial = 0;
  const int corner = 2 * Popover::kCornerRadius;
  for (int y = top; y < top + corner; ++y) {
    for (int x = 0; x < corner; ++x) {
      const int alpha = qAlpha(image.pixel(x, y));
      if (alpha > 20 && alpha < 235) ++partial;
    }
  }
  EXPECT_GE(partial, 8) << "a smooth arc of 16 device pixels";
  EXPECT_EQ(qAlpha(image.pixel(0, top)), 0) << "the very corner lets the desktop through";
  EXPECT_EQ(qAlpha(image.pixel(image.width() / 2, (top + bottom) / 2)), 255);
  image.save(QDir(pm::test::artifactsDirectory()).filePath(QStringLiteral("popover-corners@2x.png")));
  popover->close();
}

}  // namespace
}  // namespace pm::settings
