#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

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

TEST_F(PopoverTest, EveryTextReadsWellOnTheGroundOfALightAndADarkTheme) {
  ASSERT_DOUBLE_EQ(contrastRatio(Qt::black, Qt::white), 21.0);
  auto secret = item(QStringLiteral("id_rsa"));
  auto photos = folder(QStringLiteral("Photos"));
  photos->setErrors({{QStringLiteral("a/x.txt"), {UploadError::fileUnreadable(), UploadError::cancelled()}}});
  auto file = item(QStringLiteral("a.txt"));
  file->setErrors({{QStringLiteral("a.txt"), {UploadError::http(500)}}});

  const QPalette saved = QApplication::palette();
  QPalette dark;
  dark.setColor(QPalette::Window, QColor(0x2d, 0x2d, 0x2f));
  dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
  QPalette light;
  light.setColor(QPalette::Window, QColor(0xef, 0xef, 0xef));
  light.setColor(QPalette::WindowText, Qt::black);
  for (const auto& [theme, palette] : {std::pair{"light", light}, std::pair{"dark", dark}}) {
    QApplication::setPalette(palette);
    SensitiveFilePopover sensitive(*secret);
    UploadErrorPopover folderErrors(photos);
    UploadErrorPopover fileErrors(file);
    for (const QWidget* popover : {static_cast<QWidget*>(&sensitive), static_cast<QWidget*>(&folderErrors),
                                   static_cast<QWidget*>(&fileErrors)}) {
      for (const QLabel* label : popover->findChildren<QLabel*>()) {
        const QColor text = label->palette().color(QPalette::WindowText);
        EXPECT_GE(contrastRatio(text, palette.color(QPalette::Window)), 4.5)
            << theme << " theme, " << label->objectName().toStdString() << ": " << label->text().toStdString();
        EXPECT_EQ(text.alpha(), 255) << "drawn as it was measured";
      }
    }
  }
  QApplication::setPalette(saved);
}

TEST_F(PopoverTest, ScreenshotsOfBothPopovers) {
  auto secret = item(QStringLiteral("id_rsa"));
  auto* sensitive = new PopoverWindow(new SensitiveFilePopover(*secret), PanelEdge::left);
  sensitive->showBeside(QRect(40, 200, 36, 36));
  test::saveScreenshot(*sensitive, QStringLiteral("popover-sensitive"));
  sensitive->close();

  auto photos = folder(QStringLiteral("Photos"));
  photos->setErrors({{QStringLiteral("b/y.txt"), {UploadError::http(500)}},
                     {QStringLiteral("a/x.txt"), {UploadError::fileUnreadable(), UploadError::cancelled()}}});
  auto* errors = new PopoverWindow(new UploadErrorPopover(photos), PanelEdge::top);
  errors->showBeside(QRect(300, 40, 36, 36));
  test::saveScreenshot(*errors, QStringLiteral("popover-errors"));
  errors->close();
}

}  // namespace
}  // namespace pm
