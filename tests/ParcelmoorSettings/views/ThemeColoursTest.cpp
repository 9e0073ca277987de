#include <gtest/gtest.h>

#include <QApplication>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSet>

#include "TextAudit.h"
#include "support/TestSupport.h"
#include "views/Page.h"
#include "views/ReadableColour.h"
#include "views/SettingsStyle.h"
#include "views/SymbolIconEngine.h"
#include "views/SymbolPicker.h"
#include "views/TextTone.h"

namespace pm::settings {
namespace {

const QColor kOrange(255, 149, 0);

// The colour a symbol is drawn in: its most opaque pixel.
QColor inkOf(const QImage& image) {
  QColor ink;
  int alpha = -1;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor pixel = image.pixelColor(x, y);
      if (pixel.alpha() > alpha) {
        alpha = pixel.alpha();
        ink = pixel;
      }
    }
  }
  ink.setAlpha(255);
  return ink;
}

TEST(ThemeColoursTest, ContrastFollowsTheRelativeLuminance) {
  EXPECT_NEAR(contrastRatio(Qt::black, Qt::white), 21.0, 0.01);
  EXPECT_NEAR(contrastRatio(Qt::white, Qt::white), 1.0, 0.001);
  // The orange captions that were too faint on white.
  EXPECT_LT(contrastRatio(kOrange, Qt::white), 2.3);
}

TEST(ThemeColoursTest, AReadableColourKeepsItsHueAndReachesTheRatio) {
  struct Case {
    const char* name;
    QColor hue;
    QColor background;
    bool darker;
  };
  const Case cases[] = {
      {"orange on white", kOrange, Qt::white, true},
      {"orange on a light grey window", kOrange, QColor(0xef, 0xef, 0xef), true},
      {"green on white", QColor(52, 199, 89), Qt::white, true},
      {"navy on near-black", QColor(0x3f, 0x5f, 0x8f), QColor(0x1e, 0x1e, 0x1e), false},
      {"translucent grey on white", QColor(0, 0, 0, 128), Qt::white, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QColor readable = readableOn(c.hue, c.background);
    EXPECT_GE(contrastRatio(readable, c.background), kTextContrast);
    const QColor opaqueHue = composited(c.hue, c.background);
    if (opaqueHue.hslSaturation() > 0) {
      EXPECT_NEAR(readable.hslHueF(), opaqueHue.hslHueF(), 0.02);
    }
    EXPECT_EQ(readable.lightnessF() < opaqueHue.lightnessF(), c.darker);
  }
  // Already readable: left as it is.
  EXPECT_EQ(readableOn(Qt::black, Qt::white), QColor(Qt::black));
}

TEST(ThemeColoursTest, EveryToneReadsOnBothBackgroundsOfBothPalettes) {
  for (const QPalette& palette : {test::lightPalette(), test::darkPalette()}) {
    for (const TextTone tone : {TextTone::primary, TextTone::secondary, TextTone::warning, TextTone::success}) {
      SCOPED_TRACE(int(tone));
      const QColor colour = toneColour(tone, palette);
      EXPECT_GE(contrastRatio(colour, palette.color(QPalette::Window)), kTextContrast);
      EXPECT_GE(contrastRatio(colour, palette.color(QPalette::Base)), kTextContrast);
    }
  }
}

TEST(ThemeColoursTest, AToneFollowsALiveChangeOfPalette) {
  QWidget window;
  auto* caption = new QLabel(QStringLiteral("Missing credentials."), &window);
  setTextTone(caption, TextTone::warning);
  window.show();
  const QColor light = caption->palette().color(QPalette::WindowText);
  {
    test::ApplicationPalette dark(test::darkPalette());
    const QColor shown = caption->palette().color(QPalette::WindowText);
    EXPECT_NE(shown, light);
    EXPECT_EQ(shown, toneColour(TextTone::warning, test::darkPalette()));
    EXPECT_GE(contrastRatio(shown, test::darkPalette().color(QPalette::Base)), kTextContrast);
  }
  EXPECT_EQ(caption->palette().color(QPalette::WindowText), light);
}

TEST(ThemeColoursTest, TheDrawingsTakeTheirColourFromThePalette) {
  // No drawing keeps a colour of its own: every stroke and fill is the text's colour or a cut-out.
  int drawings = 0;
  for (QDirIterator it(QStringLiteral(":/symbols")); it.hasNext();) {
    QFile file(it.next());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString svg = QString::fromUtf8(file.readAll());
    SCOPED_TRACE(file.fileName().toStdString());
    EXPECT_TRUE(svg.contains(QStringLiteral("currentColor")));
    EXPECT_FALSE(svg.contains(QRegularExpression(QStringLiteral("#[0-9a-fA-F]{3,6}\\b"))));
    ++drawings;
  }
  EXPECT_GT(drawings, 30);

  for (const QPalette& palette : {test::lightPalette(), test::darkPalette()}) {
    const QColor text = palette.color(QPalette::WindowText);
    const QColor ink = inkOf(SymbolIconEngine::render(
                                 QStringLiteral("cloud"),
                                 SymbolIconEngine::colour(SymbolTone::text, palette, QIcon::Normal, QIcon::Off),
                                 palette.color(QPalette::Base), QSize(24, 24), 2.0)
                                 .toImage());
    EXPECT_EQ(ink.name(), text.name());
    EXPECT_GE(contrastRatio(ink, palette.color(QPalette::Base)), kTextContrast);
    // A checked row or a selected cell sits on the accent colour.
    EXPECT_EQ(SymbolIconEngine::colour(SymbolTone::text, palette, QIcon::Normal, QIcon::On),
              palette.color(QPalette::HighlightedText));
  }
}

TEST(ThemeColoursTest, EveryPageAndEveryOfferedSymbolHasADrawingOfItsOwnAndATooltipInWords) {
  for (const Page page : kAllPages) EXPECT_TRUE(SymbolIconEngine::hasDrawing(symbolName(page))) << int(page);
  QSet<QByteArray> drawings;
  for (const QString& name : SymbolPicker::symbols()) {
    SCOPED_TRACE(name.toStdString());
    ASSERT_TRUE(SymbolIconEngine::hasDrawing(name));
    QFile file(QStringLiteral(":/symbols/%1.svg").arg(name));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    drawings.insert(file.readAll());
    const QString title = SymbolPicker::symbolTitle(name);
    EXPECT_FALSE(title.contains(QLatin1Char('.')));
    EXPECT_NE(title, name);
  }
  EXPECT_EQ(drawings.size(), SymbolPicker::symbols().size());
  EXPECT_EQ(SymbolPicker::symbolTitle(QStringLiteral("cylinder.split.1x2")), QStringLiteral("Database"));
  EXPECT_EQ(SymbolPicker::symbolTitle(QStringLiteral("antenna.radiowaves.left.and.right")), QStringLiteral("Antenna"));
}

TEST(ThemeColoursTest, AnEmptyFieldAndAnUncheckedBoxKeepAnOutlineInADarkPalette) {
  useSettingsStyle();
  test::ApplicationPalette dark(test::darkPalette());
  QWidget window;
  window.resize(240, 60);
  auto* field = new QLineEdit(&window);
  field->setGeometry(10, 10, 200, 28);
  window.show();
  pm::test::spin(std::chrono::milliseconds(20));
  const QImage image = window.grab().toImage();
  const QColor base = test::darkPalette().color(QPalette::Base);
  // Along the field's left edge, some pixel stands out from the base and the window.
  double best = 0;
  for (int x = 10; x < 14; ++x) best = std::max(best, contrastRatio(image.pixelColor(x, 24), base));
  EXPECT_GE(best, kGraphicContrast);
  EXPECT_GE(contrastRatio(SettingsStyle::outline(test::darkPalette()), base), kGraphicContrast);
  EXPECT_GE(contrastRatio(SettingsStyle::outline(test::darkPalette()), test::darkPalette().color(QPalette::Window)),
            kGraphicContrast);
}

}  // namespace
}  // namespace pm::settings
