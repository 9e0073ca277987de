#include <QApplication>
#include <QHash>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "panel/PopoverStyle.h"
#include "panel/PopoverWindow.h"
#include "panel/SensitiveFilePopover.h"
#include "panel/UploadErrorPopover.h"
#include "tests/panel/TileTesting.h"

namespace pm {
namespace {

QStringList texts(const QWidget& popover, const QStringList& roles) {
  QStringList out;
  for (const QLabel* label : popover.findChildren<QLabel*>()) {
    if (roles.contains(label->objectName())) out << label->text();
  }
  return out;
}

class PopoverTest : public ::testing::Test {
 protected:
  std::shared_ptr<BucketItem> item(const QString& name) {
    return std::make_shared<BucketItem>(root.write(name, "x"), clock.now());
  }
  std::shared_ptr<BucketItem> folder(const QString& name) {
    root.write(name + QStringLiteral("/inner.txt"), "x");
    return std::make_shared<BucketItem>(root.file(name), clock.now());
  }

  test::TempRoot root;
  test::ManualClock clock;
};

TEST_F(PopoverTest, TheSensitiveFileExplanationSendsOnReturnAndRemovesOnRequest) {
  auto report = item(QStringLiteral("report.pdf"));
  SensitiveFilePopover popover(*report);
  EXPECT_EQ(texts(popover, {QStringLiteral("title"), QStringLiteral("explanation")}),
            (QStringList{QStringLiteral("Sensitive file"),
                         QStringLiteral("\"report.pdf\" looks like it holds sensitive data, keys or credentials. It "
                                        "is waiting for approval before being uploaded.")}));
  EXPECT_EQ(popover.width(), 240);
  int uploads = 0, removals = 0;
  QObject::connect(&popover, &SensitiveFilePopover::uploadRequested, [&] { ++uploads; });
  QObject::connect(&popover, &SensitiveFilePopover::removeRequested, [&] { ++removals; });
  EXPECT_TRUE(popover.uploadButton().isDefault());
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QCoreApplication::sendEvent(&popover, &enter);
  EXPECT_EQ(uploads, 1);
  EXPECT_EQ(removals, 0);
  popover.removeButton().click();
  EXPECT_EQ(removals, 1);
}

TEST_F(PopoverTest, TheIntroductionSaysFileOrFolder) {
  auto file = item(QStringLiteral("a.txt"));
  auto photos = folder(QStringLiteral("Photos"));
  const std::pair<std::shared_ptr<BucketItem>, QString> cases[] = {
      {file, QStringLiteral("Your item named \"a.txt\" has failed to upload and gave the following error:")},
      {photos, QStringLiteral("One or more files in your folder named \"Photos\" have failed to upload and gave the "
                              "following errors:")},
  };
  for (const auto& [subject, intro] : cases) {
    UploadErrorPopover popover(subject);
    EXPECT_EQ(texts(popover, {QStringLiteral("title"), QStringLiteral("introduction")}),
              (QStringList{QStringLiteral("Upload failed"), intro}));
    EXPECT_EQ(popover.width(), 220);
    EXPECT_TRUE(texts(popover, {QStringLiteral("errorKey"), QStringLiteral("errorMessage")}).isEmpty());
  }
}

TEST_F(PopoverTest, AFoldersErrorsStandUnderTheirFilesInNameOrder) {
  auto photos = folder(QStringLiteral("Photos"));
  photos->setErrors({{QStringLiteral("b/y.txt"), {UploadError::http(404)}},
                     {QStringLiteral("a/x.txt"), {UploadError::fileUnreadable(), UploadError::cancelled()}}});
  UploadErrorPopover popover(photos);
  EXPECT_EQ(texts(popover, {QStringLiteral("errorKey"), QStringLiteral("errorMessage")}),
            (QStringList{QStringLiteral("a/x.txt"),
                         QStringLiteral("The file couldn't be read. It may have moved, or access was denied."),
                         QStringLiteral("Cancelled."), QStringLiteral("b/y.txt"),
                         QStringLiteral("The service responded with HTTP 404.")}));
}

TEST_F(PopoverTest, AFilesErrorsAreListedAloneAndFollowTheItem) {
  auto file = item(QStringLiteral("a.txt"));
  file->setErrors({{QStringLiteral("a.txt"), {UploadError::http(500), UploadError::cancelled()}}});
  UploadErrorPopover popover(file);
  const QStringList roles{QStringLiteral("errorKey"), QStringLiteral("errorMessage")};
  EXPECT_EQ(texts(popover, roles),
            (QStringList{QStringLiteral("The service responded with HTTP 500."), QStringLiteral("Cancelled.")}));

  file->setErrors({{QStringLiteral("a.txt"), {UploadError::http(500), UploadError::cancelled(), UploadError::notRegistered()}}});
  EXPECT_EQ(texts(popover, roles).size(), 3) << "errors that arrive while it is open appear";
}

TEST_F(PopoverTest, PopoversOpenOnTheSideFacingIntoTheScreen) {
  const QRect anchor(100, 200, 36, 36);
  const QSize content(240, 120);
  EXPECT_EQ(popoverSide(PanelEdge::left), PopoverSide::trailing);
  EXPECT_EQ(popoverSide(PanelEdge::top), PopoverSide::bottom);
  EXPECT_EQ(popoverSide(PanelEdge::right), PopoverSide::leading);
  const int arrow = PopoverWindow::kArrowLength;
  EXPECT_EQ(popoverFrame(anchor, content, PopoverSide::trailing), QRect(136, 218 - 60, 240 + arrow, 120));
  EXPECT_EQ(popoverFrame(anchor, content, PopoverSide::leading), QRect(100 - 240 - arrow, 218 - 60, 240 + arrow, 120));
  EXPECT_EQ(popoverFrame(anchor, content, PopoverSide::bottom), QRect(118 - 120, 236, 240, 120 + arrow));
}

// The grounds and texts of a light and a dark desktop theme (the dark one's buttons are the grey on which
// the destructive red once read at 1.9:1).
std::vector<std::pair<const char*, QPalette>> themes() {
  QPalette dark;
  dark.setColor(QPalette::Window, QColor(0x2d, 0x2d, 0x2f));
  dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
  dark.setColor(QPalette::Button, QColor(0x44, 0x44, 0x44));
  dark.setColor(QPalette::ButtonText, QColor(0xee, 0xee, 0xee));
  QPalette light;
  light.setColor(QPalette::Window, QColor(0xef, 0xef, 0xef));
  light.setColor(QPalette::WindowText, Qt::black);
  light.setColor(QPalette::Button, QColor(0xef, 0xef, 0xef));
  light.setColor(QPalette::ButtonText, Qt::black);
  return {{"light", light}, {"dark", dark}};
}

// The colour most pixels of `area` have: the ground its text is drawn on.
QRgb groundOf(const QImage& picture, const QRect& area) {
  QHash<QRgb, int> counts;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) ++counts[picture.pixel(x, y)];
  }
  QRgb most = 0;
  int seen = -1;
  for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
    if (it.value() > seen) std::tie(most, seen) = std::pair{it.key(), it.value()};
  }
  return most;
}

// The strongest contrast any pixel of `area` has with the area's ground: a text's glyphs at full colour.
double strongestContrast(const QImage& picture, const QRect& area) {
  const QColor ground = QColor(groundOf(picture, area));
  double strongest = 1.0;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x)
      strongest = std::max(strongest, contrastRatio(QColor(picture.pixel(x, y)), ground));
  }
  return strongest;
}

// Judged on the popovers' pictures as they are drawn, whose screenshots go to the test artifacts: every
// label and button shows its text at no less than 4.5:1 against the ground it is drawn on.
TEST_F(PopoverTest, EveryTextReadsWellOnTheGroundOfALightAndADarkTheme) {
  ASSERT_DOUBLE_EQ(contrastRatio(Qt::black, Qt::white), 21.0);
  auto secret = item(QStringLiteral("id_rsa"));
  auto photos = folder(QStringLiteral("Photos"));
  photos->setErrors({{QStringLiteral("b/y.txt"), {UploadError::http(500)}},
                     {QStringLiteral("a/x.txt"), {UploadError::fileUnreadable(), UploadError::cancelled()}}});
  auto file = item(QStringLiteral("a.txt"));
  file->setErrors({{QStringLiteral("a.txt"), {UploadError::http(500)}}});

  const QPalette saved = QApplication::palette();
  for (const auto& [theme, palette] : themes()) {
    QApplication::setPalette(palette);
    const std::pair<QString, QWidget*> popovers[] = {
        {QStringLiteral("sensitive"), new SensitiveFilePopover(*secret)},
        {QStringLiteral("errors"), new UploadErrorPopover(photos)},
        {QStringLiteral("file-errors"), new UploadErrorPopover(file)},
    };
    for (const auto& [name, content] : popovers) {
      auto* window = new PopoverWindow(content, PanelEdge::left);
      window->showBeside(QRect(40, 200, 36, 36));
      const QImage picture = window->grab().toImage().convertToFormat(QImage::Format_RGB32);
      picture.save(test::artifactsDirectory() + QStringLiteral("/popover-%1-%2.png").arg(name, QLatin1String(theme)));
      QList<QWidget*> texts;
      for (QLabel* label : content->findChildren<QLabel*>()) texts << label;
      for (QPushButton* button : content->findChildren<QPushButton*>()) texts << button;
      ASSERT_FALSE(texts.isEmpty());
      for (QWidget* text : texts) {
        const QString what = text->objectName().isEmpty() ? text->property("text").toString() : text->objectName();
        const QRect area(text->mapTo(window, QPoint(0, 0)), text->size());
        ASSERT_TRUE(picture.rect().contains(area)) << what.toStdString();
        // A button's text: its bevel's edges are no text, so only the middle of the button counts.
        const QRect inside = qobject_cast<QPushButton*>(text) ? area.adjusted(4, 4, -4, -4) : area;
        EXPECT_GE(strongestContrast(picture, inside), 4.5) << theme << " theme, " << name.toStdString() << ": "
                                                           << what.toStdString();
      }
      window->close();
    }
  }
  QApplication::setPalette(saved);
}

}  // namespace
}  // namespace pm
