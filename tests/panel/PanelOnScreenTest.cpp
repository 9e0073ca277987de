// The panel as a user sees it: the real agent on an X server (run under xvfb-run) with a window manager
// and a compositing manager, files sent with "Parcelmoor send", and every check made on the screen's
// pixels as the X server composes them, never on widget state. Screenshots of each view go to the test
// artifacts.
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <cmath>
#include <utility>
#include <vector>

#include "DesktopOnX11.h"
#include "app/program/AgentProgramFixture.h"
#include "core/PanelEdge.h"
#include "panel/HoveredItemLabel.h"
#include "platform/SharedNames.h"
#include "support/PrivateDesktopSession.h"

namespace pm::test {
namespace {

using namespace std::chrono_literals;

const auto* const kDesktop = ::testing::AddGlobalTestEnvironment(new DesktopOnX11(true));

// The pictures sent: flat colours no other part of the screen has (the compositing manager draws the
// desktop in a middle grey), so a tile is found by its colour. The first is dark, to see the hover ring
// against it.
const QColor kDark(25, 35, 120);
const QColor kLight(235, 140, 40);

// The service's parts are small here, so a padded picture travels in several.
constexpr qint64 kPartSize = 256 * 1024;
constexpr qint64 kPaddedSize = 3 * kPartSize - 1000;

// Bytes after a picture's end are ignored by whoever reads it as a picture, but are sent all the same.
void padPast(const QString& path, qint64 size) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::Append));
  const QByteArray filler(size - file.size(), 'p');
  ASSERT_EQ(file.write(filler), filler.size());
}

constexpr int kTileSide = 60;
// Where the label sits relative to its tile, in points: 106 in from the panel's edge, while the tile's
// near side is 18 + 10 in from it.
constexpr int kLabelFromTile = 106 - 18 - 10;

bool near(QRgb pixel, const QColor& colour, int tolerance = 16) {
  return std::abs(qRed(pixel) - colour.red()) <= tolerance && std::abs(qGreen(pixel) - colour.green()) <= tolerance &&
         std::abs(qBlue(pixel) - colour.blue()) <= tolerance;
}

int lightness(QRgb pixel) { return QColor(pixel).lightness(); }

struct Tile {
  QRect box;
  int pixels = 0;
};

// Every patch of the screen in one of the pictures' colours, at its full strength: a tile drawn smaller,
// faded or darkened is a smaller patch or none.
std::vector<Tile> findTiles(const QImage& screen) {
  const int width = screen.width(), height = screen.height();
  std::vector<char> seen(size_t(width) * size_t(height), 0);
  std::vector<Tile> tiles;
  std::vector<QPoint> stack;
  for (int y = 0; y < height; ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(screen.constScanLine(y));
    for (int x = 0; x < width; ++x) {
      if (seen[size_t(y) * width + x]) continue;
      seen[size_t(y) * width + x] = 1;
      const QColor* colour = near(line[x], kDark) ? &kDark : near(line[x], kLight) ? &kLight : nullptr;
      if (!colour) continue;
      Tile tile{QRect(x, y, 1, 1), 0};
      stack.assign(1, QPoint(x, y));
      while (!stack.empty()) {
        const QPoint at = stack.back();
        stack.pop_back();
        ++tile.pixels;
        tile.box |= QRect(at, QSize(1, 1));
        for (const QPoint step : {QPoint(1, 0), QPoint(-1, 0), QPoint(0, 1), QPoint(0, -1)}) {
          const QPoint next = at + step;
          if (next.x() < 0 || next.y() < 0 || next.x() >= width || next.y() >= height) continue;
          char& mark = seen[size_t(next.y()) * width + next.x()];
          if (mark || !near(screen.pixel(next), *colour)) continue;
          mark = 1;
          stack.push_back(next);
        }
      }
      if (tile.pixels > 20) tiles.push_back(tile);
    }
  }
  return tiles;
}

// A tile at full size and opacity: its square of 60 points, rounded corners aside.
bool isWhole(const Tile& tile, double scale) {
  const int side = int(std::lround(kTileSide * scale));
  const auto fits = [&](int length) { return length >= side - 2 && length <= side + 1; };
  return fits(tile.box.width()) && fits(tile.box.height()) && tile.pixels >= int(0.93 * side * side);
}

QString describe(const std::vector<Tile>& tiles) {
  QStringList parts;
  for (const Tile& tile : tiles) {
    parts << QStringLiteral("%1×%2 at %3,%4 (%5 px)")
                 .arg(tile.box.width())
                 .arg(tile.box.height())
                 .arg(tile.box.x())
                 .arg(tile.box.y())
                 .arg(tile.pixels);
  }
  return parts.join(QStringLiteral("; "));
}

QImage grabScreen() {
  return QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32);
}

QString saveShot(const QImage& screen, const QString& name) {
  const QString path = artifactsDirectory() + QLatin1String("/screen-") + name + QLatin1String(".png");
  screen.save(path);
  return path;
}

void movePointer(QPoint to) {
  // The checks that follow wait for what the move brings about.
  runTool(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QString::number(to.x()), QString::number(to.y())});
}

class PanelOnScreen : public AgentProgramFixture {
 protected:
  void SetUp() override { movePointer(QGuiApplication::primaryScreen()->geometry().center()); }

  // The bar is dark in every desktop theme; `gtkTheme` is the desktop's, light or dark.
  void launch(double scale, const QString& gtkTheme) {
    scale_ = scale;
    ASSERT_NO_FATAL_FAILURE(startService(QStringLiteral("screen@example.com"), kPartSize));
    agent->showOnDisplay(scale);
    agent->useDesktopTheme(gtkTheme);
    ASSERT_NO_FATAL_FAILURE(startAgent());
  }

  // Sends `count` more pictures, the very first of them dark, and waits until the service stored them.
  // The last of each batch is padded past the end of its picture to several sealed parts, so the tiles of
  // items sent in parts must turn light too.
  void send(int count) {
    QStringList arguments{QStringLiteral("send")};
    QStringList names;
    for (int n = 0; n < count; ++n) {
      const QString name = QStringLiteral("photo-%1.png").arg(++sent_, 2, 10, QLatin1Char('0'));
      QImage picture(QSize(160, 120), QImage::Format_RGB32);
      picture.fill(sent_ == 1 ? kDark : kLight);
      const QString path = root.file(QStringLiteral("files/") + name);
      QDir().mkpath(QFileInfo(path).absolutePath());
      ASSERT_TRUE(picture.save(path));
      if (n == count - 1) {
        ASSERT_NO_FATAL_FAILURE(padPast(path, kPaddedSize));
      }
      arguments << path;
      names << name;
    }
    const AgentProcess::Finished done = agent->launch(arguments);
    ASSERT_EQ(done.exitCode, 0) << done.errors.toStdString();
    ASSERT_TRUE(runUntil(
        [&] {
          return std::all_of(names.begin(), names.end(),
                             [&](const QString& name) { return service->storedFile(name).has_value(); });
        },
        30s))
        << agent->log().toStdString();
  }

  void moveToEdge(PanelEdge edge) {
    edge_ = edge;
    agent->setPreference(QStringLiteral("panelEdge"), rawValue(edge));
    postAgentSignal(qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"), QLatin1String(names::signal::kSettingsChanged));
  }

  QString shotName(const char* state = nullptr) const {
    QString name = rawValue(edge_) + QLatin1Char('-') + QString::number(sent_);
    if (state) name += QLatin1Char('-') + QLatin1String(state);
    if (scale_ != 1.0) name += QStringLiteral("-%1x").arg(scale_);
    return name;
  }

  // Whether the tile lies along the panel's edge, where the panel has moved once it shows there.
  bool onTheEdge(const Tile& tile, QSize screen) const {
    switch (edge_) {
      case PanelEdge::left:
        return tile.box.right() < screen.width() / 4;
      case PanelEdge::right:
        return tile.box.left() > screen.width() * 3 / 4;
      case PanelEdge::top:
        return tile.box.bottom() < screen.height() / 4;
    }
    return false;
  }

  // Whether the tiles, sorted along the strip, lie where the settled bar has them: centred along its edge.
  // A bar still sliding or being placed can hold still for two views in a row on a busy machine, off centre.
  bool centredAlongTheEdge(const std::vector<Tile>& tiles, QSize screen) const {
    const bool vertical = edge_ != PanelEdge::top;
    const int first = vertical ? tiles.front().box.top() : tiles.front().box.left();
    const int last = vertical ? tiles.back().box.bottom() : tiles.back().box.right();
    const int middle = vertical ? screen.height() / 2 : screen.width() / 2;
    // An end tile faded out of sight moves the span's middle by half a tile at the most.
    return std::abs((first + last) / 2 - middle) <= int(std::lround(kTileSide * scale_));
  }

  // Waits until the tiles show centred along the panel's edge and every tile in full view is whole: all of
  // them while the strip holds every item, else all but the two at the strip's ends, which may be scrolling
  // out. Saves the view either way.
  std::vector<Tile> expectTilesWhole() {
    std::vector<Tile> tiles, before;
    QImage screen;
    const bool whole = runUntil(
        [&] {
          screen = grabScreen();
          before = std::exchange(tiles, findTiles(screen));
          // Still moving (sliding in, the bar growing): wait for two alike views in a row.
          if (tiles.size() != before.size() ||
              !std::equal(tiles.begin(), tiles.end(), before.begin(),
                          [](const Tile& a, const Tile& b) { return a.box == b.box; }))
            return false;
          const bool vertical = edge_ != PanelEdge::top;
          std::sort(tiles.begin(), tiles.end(), [&](const Tile& a, const Tile& b) {
            return vertical ? a.box.y() < b.box.y() : a.box.x() < b.box.x();
          });
          if (tiles.empty() ||
              !std::all_of(tiles.begin(), tiles.end(), [&](const Tile& t) { return onTheEdge(t, screen.size()); }) ||
              !centredAlongTheEdge(tiles, screen.size()))
            return false;
          if (tiles.size() == size_t(sent_))
            return std::all_of(tiles.begin(), tiles.end(), [&](const Tile& t) { return isWhole(t, scale_); });
          if (tiles.size() < 3 || tiles.size() > size_t(sent_)) return false;
          return std::all_of(tiles.begin() + 1, tiles.end() - 1, [&](const Tile& t) { return isWhole(t, scale_); });
        },
        30s);
    const QString path = saveShot(screen, shotName());
    EXPECT_TRUE(whole) << "tiles in full view drawn whole, " << sent_ << " sent: " << describe(tiles).toStdString()
                       << "\nsee " << path.toStdString() << "\n"
                       << agent->log().right(3000).toStdString();
    return tiles;
  }

  // Where the label of a hovered `tile` shows, for a name as wide as "photo-01.png".
  QRect labelBeside(const Tile& tile) const {
    HoveredItemLabel measure;
    // The digits of the names share one width, so one name measures the label of any tile.
    measure.setItem(HoveredItem{QStringLiteral("photo-01.png"), std::nullopt, 0, 0});
    const int labelWidth = int(std::lround(measure.sizeHint().width() * scale_));
    const int labelHeight = int(std::lround(HoveredItemLabel::kHeight * scale_));
    const int offset = int(std::lround(kLabelFromTile * scale_));
    QRect label(QPoint(0, 0), QSize(labelWidth, labelHeight));
    switch (edge_) {
      case PanelEdge::left:
        label.moveTopLeft(QPoint(tile.box.left() + offset, tile.box.center().y() - labelHeight / 2));
        break;
      case PanelEdge::right:
        label.moveTopLeft(QPoint(tile.box.right() - offset - labelWidth + 1, tile.box.center().y() - labelHeight / 2));
        break;
      case PanelEdge::top:
        label.moveTopLeft(QPoint(tile.box.center().x() - labelWidth / 2, tile.box.top() + offset));
        break;
    }
    return label;
  }

  // Whether the screen shows the tile's light ring and its label beside it; what was seen goes to `seen`.
  bool showsRingAndLabel(const QImage& screen, const Tile& tile, QString& seen) const {
    const QRect label = labelBeside(tile);
    const int slack = int(std::ceil(3 * scale_));
    const QPoint ringAt(tile.box.left() + int(scale_), tile.box.center().y());
    // The capsule: dark across its inside, light letters in it, and the desktop beyond its ends.
    int dark = 0, letters = 0, area = 0;
    const QRect inside = label.adjusted(label.height() / 2, slack, -label.height() / 2, -slack);
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
      for (int x = inside.left(); x <= inside.right(); ++x) {
        const int level = lightness(screen.pixel(x, y));
        ++area;
        if (level < 50) ++dark;
        if (level > 170) ++letters;
      }
    }
    const int middle = label.center().y();
    const bool endsThere = lightness(screen.pixel(label.left() - slack, middle)) > 90 &&
                           lightness(screen.pixel(label.right() + slack, middle)) > 90 &&
                           lightness(screen.pixel(label.left() + slack, middle)) < 50 &&
                           lightness(screen.pixel(label.right() - slack, middle)) < 50;
    // The ring fades in: only white through all three channels is the ring at full strength, over
    // a tile of any colour.
    const QRgb ringPixel = screen.pixel(ringAt);
    const int ring = std::min({qRed(ringPixel), qGreen(ringPixel), qBlue(ringPixel)});
    seen = QStringLiteral("label at %1,%2 %3×%4: capsule dark %5/%6, letters %7, ends there %8, ring's weakest channel %9")
               .arg(label.x())
               .arg(label.y())
               .arg(label.width())
               .arg(label.height())
               .arg(dark)
               .arg(area)
               .arg(letters)
               .arg(endsThere)
               .arg(ring);
    // Some pixels of the inside are the letters' smoothed edges, neither dark nor light.
    return dark + letters >= area * 85 / 100 && letters >= 20 && endsThere && ring >= 235;
  }

  // Hovers the tile and waits for its light ring and for the label beside it. A strip that still glides
  // on a busy machine can take the tile from under the pointer: the tile is followed from view to view,
  // and the pointer with it. The pointer stays on the tile; where it rests is returned.
  QPoint expectHoverShows(const Tile& hovered) {
    Tile tile = hovered;
    QPoint pointer = tile.box.center();
    movePointer(pointer);
    QImage screen;
    QString seen;
    const bool shown = runUntil([&] {
      screen = grabScreen();
      // The ring narrows the tile's patch evenly on every side, so the centre tells where it is.
      const std::vector<Tile> tiles = findTiles(screen);
      const auto closest = std::min_element(tiles.begin(), tiles.end(), [&](const Tile& a, const Tile& b) {
        return (a.box.center() - pointer).manhattanLength() < (b.box.center() - pointer).manhattanLength();
      });
      if (closest != tiles.end() && closest->box.center() != pointer) {
        tile.box.translate(closest->box.center() - tile.box.center());
        if (!closest->box.contains(pointer)) {
          pointer = tile.box.center();
          movePointer(pointer);
        }
      }
      return showsRingAndLabel(screen, tile, seen);
    });
    const QString path = saveShot(screen, shotName("hovered"));
    EXPECT_TRUE(shown) << "the hovered tile's light ring and label: " << seen.toStdString() << "\nsee "
                       << path.toStdString();
    return pointer;
  }

  // The screen once two grabs in a row show the tiles in the same places.
  QImage stillScreen() {
    QImage screen;
    std::vector<Tile> tiles, before;
    runUntil([&] {
      screen = grabScreen();
      before = std::exchange(tiles, findTiles(screen));
      return !tiles.empty() && tiles.size() == before.size() &&
             std::equal(tiles.begin(), tiles.end(), before.begin(),
                        [](const Tile& a, const Tile& b) { return a.box == b.box; });
    });
    return screen;
  }

  // The tile of the screen the pointer is over, whole: the patch of a ringed tile lies inside its ring, a few
  // pixels in from the tile's edge, with the same centre.
  std::optional<Tile> tileAt(const QImage& screen, QPoint pointer) const {
    const int side = int(std::lround(kTileSide * scale_));
    for (const Tile& patch : findTiles(screen)) {
      QRect whole(QPoint(0, 0), QSize(side, side));
      whole.moveCenter(patch.box.center());
      if (whole.contains(pointer)) return Tile{whole, patch.pixels};
    }
    return std::nullopt;
  }

  // With the pointer at rest on a tile, one wheel step scrolls the strip under it: the ring and the label
  // go to the tile the pointer is over now, and show there just as a move of the pointer onto it shows them.
  void expectHoverFollowsAWheelStep(QPoint pointer) {
    // Two alike views can come while the strip still glides on a busy machine, and the glide can leave the
    // pointer between two tiles: the pointer follows the nearest tile until a still view has it on one.
    QImage before;
    std::optional<Tile> rested;
    runUntil([&] {
      before = stillScreen();
      rested = tileAt(before, pointer);
      if (rested) return true;
      const std::vector<Tile> tiles = findTiles(before);
      const auto closest = std::min_element(tiles.begin(), tiles.end(), [&](const Tile& a, const Tile& b) {
        return (a.box.center() - pointer).manhattanLength() < (b.box.center() - pointer).manhattanLength();
      });
      if (closest != tiles.end()) {
        pointer = closest->box.center();
        movePointer(pointer);
      }
      return false;
    });
    ASSERT_TRUE(rested) << "the pointer rests on a tile\nsee " << saveShot(before, shotName("rested")).toStdString();
    // A step of a wheel that turns one way only, whichever way the strip lies: down, towards the end, while
    // the strip shows its first tile, the only dark one; else up, back towards the start.
    const std::vector<Tile> shown = findTiles(before);
    const bool atStart = std::any_of(shown.begin(), shown.end(), [&](const Tile& tile) {
      return near(before.pixel(tile.box.center()), kDark);
    });
    const QString button = atStart ? QStringLiteral("5") : QStringLiteral("4");
    runTool(QStringLiteral("xdotool"), {QStringLiteral("click"), button});
    QImage screen;
    std::optional<Tile> under;
    QString seen;
    const bool followed = runUntil([&] {
      screen = stillScreen();
      under = tileAt(screen, pointer);
      return under && under->box.center() != rested->box.center() && showsRingAndLabel(screen, *under, seen);
    });
    const QString path = saveShot(screen, shotName("wheel-step"));
    ASSERT_TRUE(followed) << "after one wheel step (button " << button.toStdString()
                          << ") the tile now under the pointer shows the ring and label: "
                          << (under ? seen.toStdString() : std::string("no tile under the pointer")) << "\nsee "
                          << path.toStdString() << "\n"
                          << agent->log().right(3000).toStdString();
    // A move of the pointer within the tile hovers it anew, as Qt sees the pointer move.
    movePointer(pointer + QPoint(1, 1));
    QImage moved;
    const bool same = runUntil([&] {
      moved = stillScreen();
      return moved.copy(labelBeside(*under)) == screen.copy(labelBeside(*under));
    });
    EXPECT_TRUE(same) << "the label names the tile under the pointer: after the wheel step as after a move\nsee "
                      << path.toStdString() << " and " << saveShot(moved, shotName("wheel-step-moved")).toStdString();
  }

  // The tiles whole, then the first one hovered, or the middle one in view when the strip scrolls (the
  // tiles at its ends may be partly out of view); a strip that scrolls takes one wheel step back under the
  // resting pointer.
  void lookAtTilesAndHover() {
    const std::vector<Tile> tiles = expectTilesWhole();
    ASSERT_FALSE(tiles.empty());
    const bool scrolls = tiles.size() < size_t(sent_);
    const QPoint pointer = expectHoverShows(scrolls ? tiles[tiles.size() / 2] : tiles.front());
    if (scrolls && !HasFailure()) expectHoverFollowsAWheelStep(pointer);
    movePointer(QGuiApplication::primaryScreen()->geometry().center());
  }

  void lookAtEveryEdgeAsTheBucketGrows() {
    for (const int more : {2, 4, 24}) {
      ASSERT_NO_FATAL_FAILURE(send(more));
      for (const PanelEdge edge : {PanelEdge::left, PanelEdge::top, PanelEdge::right}) {
        moveToEdge(edge);
        ASSERT_NO_FATAL_FAILURE(lookAtTilesAndHover());
      }
    }
  }

  double scale_ = 1.0;
  int sent_ = 0;
  PanelEdge edge_ = PanelEdge::left;
};

// One agent per scale: the bucket grows to 2, 6 and 30 items and at each size the panel moves along the
// three edges, so every edge sees every size, hovered and not, with one start-up. The desktop is light at
// one scale and dark at the other.
TEST_F(PanelOnScreen, TilesAreWholeAndTheHoveredOneShowsItsRingAndLabelAtEveryEdge) {
  ASSERT_NO_FATAL_FAILURE(launch(1.0, QStringLiteral("Adwaita")));
  ASSERT_NO_FATAL_FAILURE(lookAtEveryEdgeAsTheBucketGrows());
}

TEST_F(PanelOnScreen, AtTwiceTheScaleTilesAreWholeAndTheLabelShowsAtEveryEdge) {
  ASSERT_NO_FATAL_FAILURE(launch(2.0, QStringLiteral("Adwaita:dark")));
  ASSERT_NO_FATAL_FAILURE(lookAtEveryEdgeAsTheBucketGrows());
}

}  // namespace
}  // namespace pm::test
