#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QScrollArea>
#include <QScrollBar>

#include <gtest/gtest.h>

#include <cmath>

#include "BarRig.h"
#include "panel/BarEdgeFade.h"
#include "panel/BarMetrics.h"
#include "panel/FinishButton.h"
#include "panel/HoveredItemLabel.h"
#include "panel/HoveredItemOverlay.h"
#include "panel/ItemTile.h"
#include "panel/PanelContent.h"
#include "panel/PreviewWindow.h"
#include "panel/UnconstrainedPanel.h"
#include "support/LogCapture.h"

namespace pm {
namespace {

using test::BarRig;

TEST(BarSizing, CapacityAndStripLength) {
  struct Capacity {
    double length;
    int tiles;
  };
  for (const Capacity c :
       {Capacity{600, 8}, Capacity{665, 9}, Capacity{120, 2}, Capacity{0, 2}, Capacity{-50, 2}})
    EXPECT_EQ(BarMetrics::tileCapacity(c.length), c.tiles) << "length " << c.length;

  struct Strip {
    int capacity;
    qsizetype items;
    int length;
  };
  for (const Strip s : {Strip{8, 0, 80}, Strip{8, 1, 80}, Strip{8, 2, 145}, Strip{8, 3, 210},
                        Strip{8, 8, 535}, Strip{8, 9, 535}, Strip{2, 40, 145}})
    EXPECT_EQ(BarMetrics::stripLength(s.capacity, s.items), s.length)
        << "capacity " << s.capacity << ", items " << s.items;
}

TEST(BarSizing, ScrollEdgesAtEachOffset) {
  struct Case {
    double content;
    double offset;
    ScrollEdges expected;
  };
  // A vertical strip 200 long; content 300 overflows by 100, content 150 fits.
  const Case cases[] = {{300, 0, {false, true}},   {300, 50, {true, true}},  {300, 96, {true, false}},
                        {300, 100, {true, false}}, {300, 4, {false, true}},  {300, -2, {false, true}},
                        {150, -4, {false, false}}, {150, 0, {false, false}}, {150, 3, {false, false}}};
  for (const Case& c : cases) {
    const ScrollEdges vertical =
        ScrollEdges::measure({QSizeF(80, c.content), QSizeF(80, 200), QPointF(0, c.offset)}, PanelEdge::left);
    EXPECT_EQ(vertical, c.expected) << "content " << c.content << " at " << c.offset;
    const ScrollEdges horizontal =
        ScrollEdges::measure({QSizeF(c.content, 80), QSizeF(200, 80), QPointF(c.offset, 0)}, PanelEdge::top);
    EXPECT_EQ(horizontal, c.expected)
        << "a top strip uses widths; content " << c.content << " at " << c.offset;
  }
}

// Where the strip's view shows `tile`.
QRect shownRect(const UploadPanelView& view, const ItemTile& tile) {
  return QRect(tile.mapTo(view.strip().viewport(), QPoint(0, 0)), tile.size());
}

// Whether the strip has given every tile its own place along the axis of `edge`, one pitch after the last.
bool tilesPlaced(const UploadPanelView& view, PanelEdge edge) {
  const QList<ItemTile*> tiles = view.tiles();
  constexpr int pitch = ItemTile::kSide + BarMetrics::kTileSpacing;
  for (qsizetype i = 1; i < tiles.size(); ++i) {
    const QPoint step = tiles[i]->pos() - tiles[i - 1]->pos();
    if (step != (edge == PanelEdge::top ? QPoint(pitch, 0) : QPoint(0, pitch))) return false;
  }
  return true;
}

// Whether the panel shows at `edge` with its content in and still.
bool settledAt(BarRig& rig, PanelEdge edge) {
  const auto* content = rig.panel.panel.window() ? rig.panel.panel.window()->findChild<PanelContent*>() : nullptr;
  return rig.panel.panel.presentation().edge() == edge && rig.panel.panel.presentation().visible() && content &&
         !content->isAnimating();
}

TEST(UploadPanelViewTest, TheBarGrowsWithItsTilesAlongTheStrip) {
  BarRig rig(PanelEdge::top);
  rig.openSession();
  ASSERT_TRUE(rig.show());
  EXPECT_EQ(rig.view().barRect().size(), QSize(80, 80)) << "an empty bucket";
  rig.addFiles({QStringLiteral("a.png")});
  ASSERT_TRUE(test::runUntil([&] { return rig.view().tiles().size() == 1; }));
  EXPECT_EQ(rig.view().barRect().size(), QSize(80, 80)) << "one item";
  rig.addFiles({QStringLiteral("b.png"), QStringLiteral("c.png")});
  ASSERT_TRUE(test::runUntil([&] { return rig.view().tiles().size() == 3; }));
  EXPECT_EQ(rig.view().barRect().size(), QSize(210, 80)) << "a horizontal strip at the top";
  EXPECT_EQ(rig.view().barRect().top(), BarMetrics::kOuterPadding);
  const FinishButton& button = rig.view().finishButton();
  ASSERT_TRUE(test::runUntil([&] { return button.isShown(); }));
  const int circleRight = button.geometry().center().x() + FinishButton::kDiameter / 2;
  EXPECT_NEAR(circleRight, rig.view().barRect().right() + 1 + 10, 1) << "over the top-trailing corner";
  const QPoint inWindow = button.mapTo(rig.panel.panel.window(), button.rect().center());
  EXPECT_TRUE(rig.panel.panel.window()->mask().contains(inWindow)) << "the button takes clicks once shown";
}

// However the strip got where it is (a window made over items already there, a few tiles that never
// scroll, an edge change), once it has settled every tile it shows whole is drawn at full size.
TEST(UploadPanelViewTest, TilesInFullViewAreDrawnWholeOnceTheStripSettles) {
  struct Case {
    PanelEdge first;
    PanelEdge then;
    int count;
  };
  const Case cases[] = {{PanelEdge::left, PanelEdge::left, 2},  {PanelEdge::left, PanelEdge::left, 6},
                        {PanelEdge::right, PanelEdge::right, 30}, {PanelEdge::left, PanelEdge::top, 30},
                        {PanelEdge::top, PanelEdge::right, 6}};
  for (const Case& c : cases) {
    const std::string label = rawValue(c.first).toStdString() + " then " + rawValue(c.then).toStdString() +
                              ", " + std::to_string(c.count) + " items";
    BarRig rig(c.first);
    rig.openSession();
    QStringList names;
    for (int i = 0; i < c.count; ++i) names << QStringLiteral("picture %1.png").arg(i);
    rig.addFiles(names);
    ASSERT_TRUE(test::runUntil([&] { return rig.panel.store.current().items().size() == c.count; })) << label;
    ASSERT_TRUE(rig.show()) << label;
    if (c.then != c.first) {
      rig.panel.settings.setPanelEdge(c.then);
      rig.panel.panel.applyEdgeSetting();
    }
    ASSERT_TRUE(test::runUntil([&] {
      return settledAt(rig, c.then) && !rig.view().tiles().isEmpty() && tilesPlaced(rig.view(), c.then);
    })) << label;
    const QRect visible = rig.view().strip().viewport()->rect();
    int whole = 0;
    for (const ItemTile* tile : rig.view().tiles()) {
      if (!visible.contains(shownRect(rig.view(), *tile))) continue;
      ++whole;
      EXPECT_EQ(tile->scrollTransition().phase, 0) << label << ": " << tile->item()->name().toStdString();
    }
    EXPECT_GE(whole, std::min(c.count, 2)) << label;
  }
}

// The items that have a tile widget, in strip order.
QList<QUuid> tileIDs(const UploadPanelView& view) {
  QList<QUuid> ids;
  for (const ItemTile* tile : view.tiles()) ids << tile->item()->id();
  return ids;
}

// Whether every tile widget stands where its item's index puts it.
bool tilesAtTheirItems(const UploadPanelView& view, const QList<QUuid>& ids) {
  for (const ItemTile* tile : view.tiles()) {
    if (tile->geometry() != view.tileRect(ids.indexOf(tile->item()->id()))) return false;
  }
  return true;
}

TEST(UploadPanelViewTest, ALargeBatchLaysOutEveryItemButMakesTilesOnlyNearTheView) {
  BarRig rig;
  rig.openSession();
  ASSERT_TRUE(rig.show());
  constexpr int count = 400;
  QStringList paths;
  for (int i = 0; i < count; ++i) paths << rig.panel.root.write(QStringLiteral("%1.txt").arg(i), "x");
  rig.panel.store.session()->enqueue(paths);
  QScrollBar* bar = rig.view().strip().verticalScrollBar();
  const int length = count * BarMetrics::kTilePitch - 5 + 20;
  // The batch enters over several turns; the strip follows each part to the end.
  ASSERT_TRUE(test::runUntil([&] {
    return rig.panel.store.current().items().size() == count && rig.view().strip().widget()->height() == length &&
           bar->maximum() > 0 && bar->value() == bar->maximum();
  })) << "followed to the end";
  EXPECT_TRUE(rig.view().edges().start);
  EXPECT_FALSE(rig.view().edges().end);
  const QList<QUuid> ids = rig.itemIDs();
  EXPECT_EQ(rig.view().strip().widget()->height(), length) << "the strip is as long as every item makes it";

  const int capacity = BarMetrics::tileCapacity(rig.panel.panel.window()->height());
  const int most = capacity + 2 * BarMetrics::kTilesBeyondView + 1;
  struct Stop {
    int offset;
    const char* where;
  };
  for (const Stop stop : {Stop{bar->maximum(), "at the end"}, Stop{0, "at the start"},
                          Stop{bar->maximum() / 2 + 17, "midway, mid-tile"}}) {
    bar->setValue(stop.offset);
    const QList<QUuid> made = tileIDs(rig.view());
    ASSERT_GE(made.size(), capacity) << stop.where;
    EXPECT_LE(made.size(), most) << stop.where;
    const qsizetype first = ids.indexOf(made.first());
    EXPECT_EQ(made, ids.mid(first, made.size())) << stop.where << ": a run of items in bucket order";
    EXPECT_TRUE(tilesAtTheirItems(rig.view(), ids)) << stop.where;
    const QRect visible = rig.view().strip().viewport()->rect();
    for (qsizetype index = 0; index < count; ++index) {
      const QRect shown = rig.view().tileRect(index).translated(rig.view().strip().widget()->pos());
      if (shown.intersects(visible)) {
        EXPECT_NE(rig.view().tile(ids[index]), nullptr) << stop.where << ": item " << index << " is in view";
      }
    }
  }
  EXPECT_EQ(rig.view().tile(ids.first()), nullptr) << "far from the view, no widget";
  EXPECT_EQ(rig.view().tile(ids.last()), nullptr);
}

TEST(UploadPanelViewTest, TilesMadeAsTheStripScrollsTakeTheApplicationStyleWithoutRestyling) {
  BarRig rig;
  rig.openSession();
  ASSERT_TRUE(rig.show());
  QStringList paths;
  for (int i = 0; i < 40; ++i) paths << rig.panel.root.write(QStringLiteral("%1.txt").arg(i), "x");
  rig.panel.store.session()->enqueue(paths);
  QScrollBar* bar = rig.view().strip().verticalScrollBar();
  ASSERT_TRUE(test::runUntil([&] { return bar->maximum() > 0 && bar->value() == bar->maximum(); }));
  bar->setValue(0);
  ASSERT_TRUE(test::runUntil([&] { return rig.view().tile(rig.itemIDs().first()) != nullptr; }));
  // A style of its own for each tile and button (as a style sheet over the strip gives) is worked out
  // anew for every tile that scrolls into view.
  for (ItemTile* tile : rig.view().tiles()) {
    EXPECT_EQ(tile->style(), QApplication::style());
    for (const QWidget* part : tile->findChildren<QWidget*>()) EXPECT_EQ(part->style(), QApplication::style());
  }
}

TEST(UploadPanelViewTest, ANewTilePlaysItsRevealAndRipplesWhileItUploads) {
  BarRig rig;
  rig.openSession();
  ASSERT_TRUE(rig.show());
  rig.uploader->held.insert(QStringLiteral("a.png"));
  rig.addFiles({QStringLiteral("a.png")});
  ASSERT_TRUE(test::runUntil([&] { return rig.view().tiles().size() == 1; }));
  ItemTile& tile = *rig.view().tiles().first();
  ASSERT_TRUE(test::runUntil([&] { return tile.thumbnail().has_value() && tile.rippleActive(); }));
  EXPECT_TRUE(tile.isRevealing());
  const QImage early = tile.grab().toImage();
  rig.panel.clock.advance(std::chrono::seconds(2));
  EXPECT_TRUE(test::runUntil([&] { return tile.isRevealed(); })) << "the reveal ends and tells the tile";
  EXPECT_NE(tile.grab().toImage(), early);
  test::saveScreenshot(*rig.panel.panel.window(), QStringLiteral("bar-left-uploading"));
  rig.uploader->releaseAll();
}

TEST(UploadPanelViewTest, AWheelStepScrollsTheStripAlongItAtEveryEdge) {
  for (const PanelEdge edge : {PanelEdge::left, PanelEdge::top, PanelEdge::right}) {
    SCOPED_TRACE(rawValue(edge).toStdString());
    BarRig rig(edge);
    rig.openSession();
    ASSERT_TRUE(rig.show());
    QStringList names;
    for (int i = 0; i < 40; ++i) names << QStringLiteral("%1.png").arg(i);
    rig.addFiles(names);
    QScrollArea& strip = rig.view().strip();
    QScrollBar* bar = edge == PanelEdge::top ? strip.horizontalScrollBar() : strip.verticalScrollBar();
    ASSERT_TRUE(test::runUntil([&] { return bar->maximum() > 0 && bar->value() == bar->maximum(); }));
    // The steps of a wheel that turns one way only, up then down: back towards the start, then on again.
    for (const int step : {120, -120}) {
      const int before = bar->value();
      const QPointF at = QRectF(strip.viewport()->rect()).center();
      QWheelEvent wheel(at, strip.viewport()->mapToGlobal(at), QPoint(), QPoint(0, step), Qt::NoButton,
                        Qt::NoModifier, Qt::NoScrollPhase, false);
      QCoreApplication::sendEvent(strip.viewport(), &wheel);
      EXPECT_EQ(bar->value() < before, step > 0) << "from " << before << " to " << bar->value();
      EXPECT_NE(bar->value(), before);
    }
  }
}

// A drag of `urls` entering the bar, moving over it and dropping; whether the drop was taken.
bool dropOnBar(UploadPanelView& view, const QList<QUrl>& urls) {
  QMimeData data;
  data.setUrls(urls);
  const QPointF at = QRectF(view.barRect()).center();
  QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&view, &enter);
  QDragMoveEvent move(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  move.ignore();
  QCoreApplication::sendEvent(&view, &move);
  EXPECT_EQ(view.isDropTarget(), move.isAccepted());
  QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  drop.ignore();
  QCoreApplication::sendEvent(&view, &drop);
  EXPECT_FALSE(view.isDropTarget());
  return drop.isAccepted();
}

TEST(UploadPanelViewTest, DroppedFilesAndFoldersGoToTheSession) {
  BarRig rig;
  rig.openSession();
  ASSERT_TRUE(rig.show());
  const QString file = rig.panel.root.write(QStringLiteral("drop/a.txt"), "a");
  const QString folder = rig.panel.root.file(QStringLiteral("folder"));
  rig.panel.root.write(QStringLiteral("folder/inside.txt"), "b");
  EXPECT_TRUE(dropOnBar(rig.view(), {QUrl::fromLocalFile(file), QUrl::fromLocalFile(folder)}));
  ASSERT_TRUE(test::runUntil([&] { return rig.panel.store.current().items().size() == 2; }));
  QStringList urls;
  for (const auto& item : rig.panel.store.current().items()) urls << item->url();
  EXPECT_EQ(urls, (QStringList{file, folder}));
  EXPECT_TRUE(rig.panel.store.current().items().last()->isDirectory());
}

TEST(UploadPanelViewTest, DropsWithNothingToTakeOrNowhereToGoAreRefused) {
  BarRig rig;
  ASSERT_TRUE(rig.show());
  const QString file = rig.panel.root.write(QStringLiteral("a.txt"), "a");
  EXPECT_FALSE(dropOnBar(rig.view(), {QUrl::fromLocalFile(file)})) << "no session: the drag snaps back";
  EXPECT_TRUE(rig.panel.store.current().items().isEmpty());
  EXPECT_TRUE(QFile::exists(file)) << "nothing is lost";

  rig.openSession();
  EXPECT_FALSE(dropOnBar(rig.view(), {})) << "an empty list";
  EXPECT_FALSE(dropOnBar(rig.view(), {QUrl(QStringLiteral("https://example.com/a.txt"))})) << "no local file";
  test::runUntil([] { return false; }, std::chrono::milliseconds(50));
  EXPECT_TRUE(rig.panel.store.current().items().isEmpty());
}

// The bar's keys over a five-item bucket, with the panel as the active window.
class BarKeysTest : public ::testing::Test {
 protected:
  void SetUp() override { fill(5); }

  // `count` pictures in the bucket, followed to the end, with the panel as the active window.
  void fill(int count) {
    rig.openSession();
    ASSERT_TRUE(rig.show());
    QStringList names;
    for (int i = 0; i < count; ++i) names << QStringLiteral("%1.png").arg(i);
    rig.addFiles(names);
    QScrollBar* bar = rig.view().strip().verticalScrollBar();
    ASSERT_TRUE(test::runUntil([&] {
      const QList<QUuid> items = rig.itemIDs();
      return items.size() == count && inView(items.last()) && bar->value() == bar->maximum();
    }));
    ids = rig.itemIDs();
    rig.panel.panel.window()->makeKey();
    ASSERT_TRUE(test::runUntil([&] { return QApplication::activeWindow() == rig.panel.panel.window(); }));
  }
  // Whether the item's tile is made and wholly in the strip's view.
  bool inView(const QUuid& id) const {
    const ItemTile* tile = rig.view().tile(id);
    return tile && rig.view().strip().viewport()->rect().contains(shownRect(rig.view(), *tile));
  }

  // Types `key` on the bar; whether the bar consumed it.
  bool type(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent event(QEvent::KeyPress, key, modifiers);
    event.ignore();
    return rig.view().handleKeyDown(event, &rig.view());
  }
  QSet<QUuid> at(std::initializer_list<int> positions) const {
    QSet<QUuid> selected;
    for (int position : positions) selected.insert(ids[position]);
    return selected;
  }

  BarRig rig;
  QList<QUuid> ids;
};

TEST_F(BarKeysTest, ArrowsMoveAndExtendTheSelection) {
  struct Row {
    int key;
    Qt::KeyboardModifiers modifiers;
    std::vector<int> selected;
    int anchor;
  };
  const Row rows[] = {
      {Qt::Key_Right, Qt::NoModifier, {0}, 0},       {Qt::Key_Down, Qt::NoModifier, {1}, 1},
      {Qt::Key_Right, Qt::ShiftModifier, {1, 2}, 2}, {Qt::Key_Down, Qt::ControlModifier, {1, 2, 3}, 3},
      {Qt::Key_Up, Qt::NoModifier, {2}, 2},          {Qt::Key_Left, Qt::AltModifier, {1}, 1},
      {Qt::Key_Left, Qt::NoModifier, {0}, 0},        {Qt::Key_Left, Qt::NoModifier, {0}, 0},
  };
  for (const Row& row : rows) {
    EXPECT_TRUE(type(row.key, row.modifiers)) << "arrows are always consumed";
    QSet<QUuid> expected;
    for (int position : row.selected) expected.insert(ids[position]);
    EXPECT_EQ(rig.view().selection().ids(), expected) << "key " << row.key;
    EXPECT_EQ(rig.view().selection().anchor(), ids[row.anchor]) << "key " << row.key;
  }
  EXPECT_TRUE(rig.view().tile(ids[0])->isSelected());
  EXPECT_FALSE(rig.view().tile(ids[1])->isSelected());
}

TEST_F(BarKeysTest, LeftWithoutAnchorSelectsTheLastAndTheMonitorSeesKeysOfThePanel) {
  QKeyEvent left(QEvent::KeyPress, Qt::Key_Left, Qt::NoModifier);
  ASSERT_TRUE(rig.view().hasKeyMonitor());
  QCoreApplication::sendEvent(rig.panel.panel.window(), &left);
  EXPECT_EQ(rig.view().selection().ids(), at({4}));
}

TEST_F(BarKeysTest, SpacePreviewsTheFirstSelectedInBucketOrder) {
  EXPECT_FALSE(type(Qt::Key_Space)) << "nothing selected: passed on";
  rig.view().selection().setIds(at({3, 1}));
  rig.view().selection().setAnchor(ids[3]);
  EXPECT_TRUE(type(Qt::Key_Space));
  ASSERT_NE(rig.preview.window(), nullptr);
  EXPECT_EQ(rig.preview.window()->currentItem(), rig.panel.store.current().items()[1]->url());
  rig.preview.window()->close();
}

TEST_F(BarKeysTest, DeleteRemovesTheSelectionOnlyWhereRemovalIsAllowed) {
  EXPECT_FALSE(type(Qt::Key_Delete)) << "nothing selected: passed on";
  rig.view().selection().setIds(at({0, 2, 4}));
  rig.uploader->removalAllowed = false;
  EXPECT_TRUE(type(Qt::Key_Delete)) << "consumed even when refused";
  EXPECT_EQ(rig.view().selection().ids(), at({0, 2, 4})) << "kept";
  EXPECT_EQ(rig.panel.store.current().items().size(), 5);

  rig.uploader->removalAllowed = true;
  EXPECT_TRUE(type(Qt::Key_Backspace));
  EXPECT_TRUE(rig.view().selection().ids().isEmpty());
  EXPECT_EQ(rig.itemIDs(), (QList<QUuid>{ids[1], ids[3]}));
  ASSERT_TRUE(test::runUntil([&] { return rig.view().tiles().size() == 2; }));
}

TEST_F(BarKeysTest, RemovingATileByOtherMeansPrunesTheSelection) {
  rig.view().selection().setIds(at({1, 2}));
  rig.view().selection().setAnchor(ids[2]);
  rig.panel.store.session()->remove(ids[2]);
  EXPECT_EQ(rig.view().selection().ids(), at({1}));
  EXPECT_EQ(rig.view().selection().anchor(), std::nullopt);
}

TEST_F(BarKeysTest, KeysOfAnotherActiveWindowAreNotTheBars) {
  QWidget other;
  other.resize(100, 100);
  other.show();
  other.activateWindow();
  ASSERT_TRUE(test::runUntil([&] { return QApplication::activeWindow() == &other; }));
  EXPECT_FALSE(type(Qt::Key_Right));
  QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
  EXPECT_FALSE(rig.view().handleKeyDown(right, &other));
  EXPECT_TRUE(rig.view().selection().ids().isEmpty());
}

TEST_F(BarKeysTest, AClickOnATileSelectsItAndMakesThePanelActive) {
  QWidget other;
  other.show();
  other.activateWindow();
  ASSERT_TRUE(test::runUntil([&] { return QApplication::activeWindow() == &other; }));
  rig.view().tile(ids[2])->handleClick(1, Qt::NoModifier);
  EXPECT_EQ(rig.view().selection().ids(), at({2}));
  EXPECT_TRUE(test::runUntil([&] { return QApplication::activeWindow() == rig.panel.panel.window(); }));
}

// The keys and the selection over a bucket far longer than the view: most items have no tile widget.
class FarBarKeysTest : public BarKeysTest {
 protected:
  void SetUp() override { fill(300); }
};

TEST_F(FarBarKeysTest, KeysReachItemsScrolledFarOutOfView) {
  ASSERT_EQ(rig.view().tile(ids.first()), nullptr);
  EXPECT_TRUE(type(Qt::Key_Down)) << "no anchor: the first item, far out of view";
  EXPECT_EQ(rig.view().selection().ids(), at({0}));
  ASSERT_TRUE(inView(ids[0])) << "the strip brings the anchor into view";
  EXPECT_TRUE(rig.view().tile(ids[0])->isSelected());
  EXPECT_EQ(rig.view().tile(ids.last()), nullptr);

  rig.view().select(ids[297], TileSelection::replace);
  ASSERT_TRUE(inView(ids[297]));
  for (int step = 0; step < 5; ++step) EXPECT_TRUE(type(Qt::Key_Right));
  EXPECT_EQ(rig.view().selection().ids(), at({299})) << "clamped at the last";
  EXPECT_TRUE(type(Qt::Key_Left, Qt::ShiftModifier));
  EXPECT_EQ(rig.view().selection().ids(), at({298, 299}));
  EXPECT_TRUE(inView(ids[298]));
  EXPECT_TRUE(rig.view().tile(ids[298])->isSelected());
}

TEST_F(FarBarKeysTest, AnArrowKeyGlidesTheStripToTheSelectedItemOnTheClock) {
  rig.view().setAnimationScale(1);
  QScrollBar* bar = rig.view().strip().verticalScrollBar();
  const int start = bar->value();
  ASSERT_GT(start, 0);
  EXPECT_TRUE(type(Qt::Key_Down)) << "the first item, far before the view";
  EXPECT_EQ(bar->value(), start) << "no jump";
  // The first tile, clear of where the start would fade: the strip's very start.
  const int target = bar->minimum();

  // Halfway through the glide's time an ease-out has covered seven eighths of the way.
  rig.panel.clock.advance(std::chrono::milliseconds(150));
  ASSERT_TRUE(test::runUntil([&] { return bar->value() != start; }));
  EXPECT_NEAR(bar->value(), start + (target - start) * 0.875, 1);
  EXPECT_TRUE(rig.view().tile(ids[0]) == nullptr || !inView(ids[0]));

  rig.panel.clock.advance(std::chrono::milliseconds(150));
  ASSERT_TRUE(test::runUntil([&] { return bar->value() == target; }));
  EXPECT_TRUE(inView(ids[0]));
  EXPECT_TRUE(rig.view().tile(ids[0])->isSelected());
}

TEST_F(FarBarKeysTest, AGlideEndsOnTimeWhenTheWallClockIsSetBackDuringIt) {
  rig.view().setAnimationScale(1);
  QScrollBar* bar = rig.view().strip().verticalScrollBar();
  EXPECT_TRUE(type(Qt::Key_Down)) << "the first item, far before the view";
  const int target = bar->minimum();
  ASSERT_NE(bar->value(), target);
  // The system's time corrected an hour back while the strip glides; the glide's own time goes on.
  rig.panel.clock.set(rig.panel.clock.now().addSecs(-3600));
  rig.panel.clock.advance(std::chrono::milliseconds(300));
  EXPECT_TRUE(test::runUntil([&] { return bar->value() == target; })) << "at " << bar->value();
  EXPECT_TRUE(inView(ids[0]));
}

TEST_F(FarBarKeysTest, TheSelectedTileStopsWhollyInViewAndClearOfTheFadingEnds) {
  // Whether the item's tile shows whole, outside the fade of an end with tiles beyond it.
  const auto clearOfTheFades = [&](const QUuid& id) {
    const ItemTile* tile = rig.view().tile(id);
    if (!tile) return false;
    const QRect view = rig.view().strip().viewport()->rect();
    const QRect shown = shownRect(rig.view(), *tile);
    const int fade = int(std::ceil(view.height() * BarEdgeFade::kFadeLength));
    const ScrollEdges edges = rig.view().edges();
    return view.contains(shown) && (!edges.start || shown.top() >= fade) &&
           (!edges.end || shown.bottom() + 1 <= view.height() - fade);
  };
  // Up from the end until the strip has scrolled a good way back, then down to the end again.
  for (const int key : {Qt::Key_Up, Qt::Key_Down}) {
    for (int press = 0; press < 15; ++press) {
      EXPECT_TRUE(type(key));
      const QUuid selected = rig.view().selection().anchor().value_or(QUuid());
      ASSERT_TRUE(test::runUntil([&] { return clearOfTheFades(selected); }))
          << (key == Qt::Key_Up ? "up" : "down") << " press " << press + 1 << ": item " << ids.indexOf(selected)
          << " at " << (rig.view().tile(selected) ? shownRect(rig.view(), *rig.view().tile(selected)).y() : -1)
          << " in a view of " << rig.view().strip().viewport()->height();
    }
    test::saveScreenshot(*rig.panel.panel.window(),
                         QStringLiteral("bar-left-selection-clear-of-the-fade-after-") +
                             (key == Qt::Key_Up ? QStringLiteral("up") : QStringLiteral("down")));
  }
  EXPECT_EQ(rig.view().selection().anchor(), ids.last()) << "back at the last";
}

TEST_F(FarBarKeysTest, ASelectionOverItemsWithoutWidgetsShowsOnEveryTileMadeLater) {
  rig.view().select(ids[2], TileSelection::replace);
  ASSERT_TRUE(inView(ids[2]));
  rig.view().select(ids[280], TileSelection::range);
  QSet<QUuid> expected;
  for (int i = 2; i <= 280; ++i) expected.insert(ids[i]);
  EXPECT_EQ(rig.view().selection().ids(), expected) << "the range spans items that have no tile";
  EXPECT_EQ(rig.view().selection().anchor(), ids[2]);
  EXPECT_TRUE(inView(ids[2])) << "a range click leaves the anchor, so the strip stays";

  QScrollBar* bar = rig.view().strip().verticalScrollBar();
  for (const int offset : {bar->maximum() / 2, bar->maximum()}) {
    bar->setValue(offset);
    for (const ItemTile* tile : rig.view().tiles()) {
      const qsizetype index = ids.indexOf(tile->item()->id());
      EXPECT_EQ(tile->isSelected(), index >= 2 && index <= 280) << "item " << index << " at " << offset;
    }
  }

  // Removing the selection reaches items without widgets and closes the gap they leave.
  rig.uploader->removalAllowed = true;
  EXPECT_TRUE(type(Qt::Key_Delete));
  const QList<QUuid> left = rig.itemIDs();
  EXPECT_EQ(left, ids.mid(0, 2) + ids.mid(281));
  ASSERT_TRUE(test::runUntil([&] {
    return rig.view().strip().widget()->height() == left.size() * BarMetrics::kTilePitch - 5 + 20;
  })) << "the strip closes up";
  const QList<QUuid> made = tileIDs(rig.view());
  ASSERT_FALSE(made.isEmpty());
  EXPECT_EQ(made, left.mid(left.indexOf(made.first()), made.size())) << "the tiles of a run of the items left";
  EXPECT_TRUE(tilesAtTheirItems(rig.view(), left));
}

// A pointer resting on the strip while the strip moves under it, with every tile settled so it reports
// its hover.
class BarHoverTest : public BarKeysTest {
 protected:
  void SetUp() override {
    fill(30);
    rig.panel.clock.advance(std::chrono::seconds(2));
  }
  // The tile the pointer is over, found as Qt finds the widget for a pointer event.
  ItemTile* tileUnderPointer() const {
    QWidget* window = rig.panel.panel.window();
    for (QWidget* widget = window->childAt(window->mapFromGlobal(QCursor::pos())); widget;
         widget = widget->parentWidget()) {
      if (auto* tile = qobject_cast<ItemTile*>(widget)) return tile;
    }
    return nullptr;
  }
  // Whether that tile alone is hovered and the label names it, beside it.
  bool hoverIsOnTileUnderPointer() const {
    const ItemTile* under = tileUnderPointer();
    if (!under) return false;
    const QList<ItemTile*> tiles = rig.view().tiles();
    if (std::any_of(tiles.begin(), tiles.end(), [&](const ItemTile* tile) { return tile->isHovering() != (tile == under); }))
      return false;
    const HoveredItemLabel& label = rig.view().hoveredOverlay().label();
    const QPoint middle = under->mapTo(&rig.view(), under->rect().center());
    return label.isVisible() && label.item().name == under->item()->name() &&
           std::abs(label.item().midY - middle.y()) <= 1;
  }
  // Rests the pointer on the middle tile of those wholly in view.
  void restOnMiddleTile() {
    QList<ItemTile*> shown;
    for (ItemTile* tile : rig.view().tiles()) {
      if (rig.view().strip().viewport()->rect().contains(shownRect(rig.view(), *tile))) shown << tile;
    }
    ASSERT_GE(shown.size(), 3);
    const ItemTile* middle = shown[shown.size() / 2];
    QCursor::setPos(middle->mapToGlobal(middle->rect().center()));
    ASSERT_TRUE(test::runUntil([&] { return tileUnderPointer() == middle && hoverIsOnTileUnderPointer(); }))
        << "hovered by moving the pointer";
  }
};

TEST_F(BarHoverTest, TheTileUnderAPointerAtRestIsTheHoveredOneWheneverTheStripMoves) {
  QScrollBar* bar = rig.view().strip().verticalScrollBar();
  const struct {
    const char* movement;
    int from;  // where the strip starts, 0 for where the case before left it
    std::function<void()> move;
  } cases[] = {
      {"one wheel step back", 0,
       [&] {
         QWidget* viewport = rig.view().strip().viewport();
         const QPointF at = viewport->mapFromGlobal(QCursor::pos());
         QWheelEvent wheel(at, QCursor::pos(), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                           Qt::NoScrollPhase, false);
         QCoreApplication::sendEvent(viewport, &wheel);
       }},
      {"an arrow key past the first tile in view", 0,
       [&] {
         const QList<ItemTile*> tiles = rig.view().tiles();
         const auto first = std::find_if(tiles.begin(), tiles.end(), [&](const ItemTile* tile) {
           return rig.view().strip().viewport()->rect().contains(shownRect(rig.view(), *tile));
         });
         ASSERT_NE(first, tiles.end());
         rig.view().selection().click((*first)->item()->id(), TileSelection::replace, rig.itemIDs());
         EXPECT_TRUE(type(Qt::Key_Up));
       }},
      {"new files followed at the end", bar->maximum(),
       [&] {
         rig.addFiles({QStringLiteral("30.png"), QStringLiteral("31.png")});
         ASSERT_TRUE(test::runUntil([&] { return rig.itemIDs().size() == 32; }));
         rig.panel.clock.advance(std::chrono::seconds(2));
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.movement);
    if (c.from > 0) bar->setValue(c.from);
    ASSERT_NO_FATAL_FAILURE(restOnMiddleTile());
    const int before = bar->value();
    const ItemTile* rested = tileUnderPointer();
    ASSERT_NO_FATAL_FAILURE(c.move());
    ASSERT_TRUE(test::runUntil([&] { return bar->value() != before && tileUnderPointer() != rested; }))
        << "the strip moved another tile under the pointer";
    EXPECT_TRUE(test::runUntil([&] { return hoverIsOnTileUnderPointer(); }))
        << "hovered: " << (rested ? rested->item()->name().toStdString() : "none") << ", under the pointer: "
        << (tileUnderPointer() ? tileUnderPointer()->item()->name().toStdString() : "none") << ", label: "
        << rig.view().hoveredOverlay().label().item().name.toStdString();
  }
  test::saveScreenshot(*rig.panel.panel.window(), QStringLiteral("bar-left-hover-after-the-strip-moved"));
}

// Finishing over a session whose files are all up.
class BarFinishTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rig.openSession();
    ASSERT_TRUE(rig.show());
    rig.addFiles({QStringLiteral("a.png")});
    ASSERT_TRUE(test::runUntil([&] { return rig.panel.store.session()->canFinish(); }));
    QGuiApplication::clipboard()->setText(QStringLiteral("earlier"));
  }
  QStringList notices() const {
    QStringList texts;
    for (const NotificationRequest& request : rig.notifier.requests())
      texts << request.title + u'|' + request.body;
    return texts;
  }

  BarRig rig;
};

// `result` as an uploader hands it back when the connection lacks `count` files nobody saw fail.
ResponseItem lacking(ResponseItem result, qint64 count) {
  result.unnamedMissingFiles = count;
  return result;
}

TEST_F(BarFinishTest, EachOutcomePutsItsTextsOnTheClipboardAndInTheNotification) {
  struct Case {
    ResponseItem result;
    QString clipboard;
    QString notice;
  };
  const QUrl link(QStringLiteral("https://share.example/b/x7?k=1"));
  const Case cases[] = {
      {ResponseItem::copied(link), link.toString(),
       QStringLiteral("Upload complete|The share link for your box is on the clipboard.")},
      {ResponseItem::copiedBox(link, QStringLiteral("correct horse")),
       link.toString() + QStringLiteral("\nPassword: correct horse"),
       QStringLiteral("Upload complete|The share link and its password are on the clipboard.")},
      {ResponseItem::done(), QStringLiteral("earlier"),
       QStringLiteral("Upload complete|Your box is on its way.")},
      // What arrived is shared all the same, and the notification says how much did not.
      {lacking(ResponseItem::copied(link), 3), link.toString(),
       QStringLiteral("Upload incomplete|The share link for your box is on the clipboard. 3 files are missing "
                      "from the box.")},
      {lacking(ResponseItem::copiedBox(link, QStringLiteral("correct horse")), 1),
       link.toString() + QStringLiteral("\nPassword: correct horse"),
       QStringLiteral("Upload incomplete|The share link and its password are on the clipboard. 1 file is "
                      "missing from the box.")},
      {lacking(ResponseItem::done(), 2), QStringLiteral("earlier"),
       QStringLiteral("Upload incomplete|Your box is on its way. 2 files are missing from the box.")},
  };
  for (const Case& c : cases) {
    if (!rig.panel.store.session()) {
      rig.openSession();
      rig.addFiles({QStringLiteral("a.png")});
      ASSERT_TRUE(test::runUntil([&] { return rig.panel.store.session()->canFinish(); }));
    }
    QGuiApplication::clipboard()->setText(QStringLiteral("earlier"));
    rig.uploader->finalizeResults = {c.result};
    const qsizetype before = rig.notifier.requests().size();
    test::wait(rig.view().finish());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), c.clipboard);
    ASSERT_TRUE(test::runUntil([&] { return rig.notifier.requests().size() == before + 1; }));
    EXPECT_EQ(notices().last(), c.notice);
  }
}

// A file that failed in the bucket counts with those the connection reports; the log names it.
TEST_F(BarFinishTest, AFileThatFailedInTheBucketIsCountedAndNamedInTheLog) {
  rig.uploader->failing = {{QStringLiteral("lost.png"), UploadError::http(500)}};
  rig.addFiles({QStringLiteral("lost.png")});
  ASSERT_TRUE(test::runUntil([&] { return rig.panel.store.session()->canFinish(); }));
  const QUrl link(QStringLiteral("https://share.example/b/x8"));
  rig.uploader->finalizeResults = {lacking(ResponseItem::copied(link), 1)};
  test::LogCapture log;
  test::wait(rig.view().finish());
  EXPECT_EQ(QGuiApplication::clipboard()->text(), link.toString());
  ASSERT_TRUE(test::runUntil([&] { return !rig.notifier.requests().isEmpty(); }));
  EXPECT_EQ(notices().last(), QStringLiteral("Upload incomplete|The share link for your box is on the clipboard. "
                                             "2 files are missing from the box."));
  const std::string lines = log.lines().join(QLatin1Char('\n')).toStdString();
  EXPECT_TRUE(log.contains(QStringLiteral("the share lacks 2 files"))) << lines;
  EXPECT_EQ(log.count(QStringLiteral("not in the share: ")), 1) << lines;
}

TEST_F(BarFinishTest, ARefusedFinishChangesNothing) {
  rig.addFiles({QStringLiteral("held.png")});
  rig.uploader->held.insert(QStringLiteral("held.png"));
  rig.panel.store.session()->enqueue({rig.panel.root.write(QStringLiteral("held.png"), "h")});
  ASSERT_TRUE(test::runUntil([&] { return !rig.panel.store.session()->canFinish(); }));
  test::wait(rig.view().finish());
  test::runUntil([] { return false; }, std::chrono::milliseconds(50));
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("earlier"));
  EXPECT_TRUE(rig.notifier.requests().isEmpty());
  EXPECT_TRUE(rig.panel.store.session());
  rig.uploader->releaseAll();
}

TEST_F(BarFinishTest, TheEndOfTheSessionClearsTheBarAndSendsThePanelAway) {
  rig.view().selection().setIds({rig.itemIDs().first()});
  rig.view().selection().setAnchor(rig.itemIDs().first());
  ASSERT_TRUE(rig.view().hasKeyMonitor());
  rig.uploader->finalizeResults = {ResponseItem::copied(QUrl(QStringLiteral("https://share.example/b/1")))};
  rig.view().finishButton().click();
  ASSERT_TRUE(test::runUntil([&] { return !rig.panel.panel.window()->isVisible(); }));
  EXPECT_FALSE(rig.panel.store.session());
  EXPECT_TRUE(rig.view().selection().ids().isEmpty());
  EXPECT_EQ(rig.view().selection().anchor(), std::nullopt);
  EXPECT_TRUE(rig.view().tiles().isEmpty()) << "the fresh bucket is empty";
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("https://share.example/b/1"));
}

TEST(UploadPanelViewScreenshots, EachEdgeWithNoneAFewAndMoreThanFit) {
  for (const PanelEdge edge : {PanelEdge::left, PanelEdge::top, PanelEdge::right}) {
    for (const int count : {0, 3, 12}) {
      BarRig rig(edge);
      rig.openSession();
      ASSERT_TRUE(rig.show());
      QStringList names;
      for (int i = 0; i < count; ++i) names << QStringLiteral("picture %1.png").arg(i);
      if (count) rig.addFiles(names);
      ASSERT_TRUE(test::runUntil([&] { return rig.view().tiles().size() == count; }));
      rig.panel.clock.advance(std::chrono::seconds(5));
      for (ItemTile* tile : rig.view().tiles()) tile->refresh();
      test::runUntil([] { return false; }, std::chrono::milliseconds(300));
      const QSize panel = rig.panel.panel.window()->size();
      const bool overflows =
          BarMetrics::tileCapacity(edge == PanelEdge::top ? panel.width() : panel.height()) < count;
      // New tiles are followed to the end: what overflows is hidden at the start.
      EXPECT_EQ(rig.view().edges(), (ScrollEdges{overflows, false}))
          << rawValue(edge).toStdString() << " " << count;
      const QString name = QStringLiteral("bar-%1-%2").arg(rawValue(edge)).arg(count);
      test::saveScreenshot(*rig.panel.panel.window(), name);
    }
  }
}

TEST(UploadPanelViewScreenshots, TilesShrinkAndFadeAsTheyScrollOutAtEitherEnd) {
  BarRig rig(PanelEdge::left);
  rig.openSession();
  ASSERT_TRUE(rig.show());
  QStringList names;
  for (int i = 0; i < 12; ++i) names << QStringLiteral("picture %1.png").arg(i);
  rig.addFiles(names);
  ASSERT_TRUE(test::runUntil([&] { return rig.view().tiles().size() == 12; }));
  rig.panel.clock.advance(std::chrono::seconds(5));
  for (ItemTile* tile : rig.view().tiles()) tile->refresh();
  QScrollBar* bar = rig.view().strip().verticalScrollBar();
  // New tiles are followed to the end: the follow must be over before the test scrolls on its own.
  ASSERT_TRUE(test::runUntil([&] {
    return bar->maximum() > 0 && bar->value() == bar->maximum() && tilesPlaced(rig.view(), PanelEdge::left);
  }));
  // The pictures load off the main thread; the screenshots below are of tiles showing theirs.
  const QList<ItemTile*> made = rig.view().tiles();
  ASSERT_TRUE(test::runUntil([&] {
    return std::all_of(made.begin(), made.end(), [](const ItemTile* tile) { return tile->thumbnail().has_value(); });
  }));
  // Halfway the tiles happen to meet the view's ends; half a tile further both ends are cut mid-tile.
  const struct {
    int offset;
    QString name;
  } stops[] = {{bar->maximum() / 2, QStringLiteral("bar-left-12-scrolled-halfway")},
               {bar->maximum() / 2 + ItemTile::kSide / 2, QStringLiteral("bar-left-12-scrolled-mid-tile")}};
  for (const auto& stop : stops) {
    bar->setValue(stop.offset);
    ASSERT_EQ(bar->value(), stop.offset);
    const QList<ItemTile*> tiles = rig.view().tiles();
    EXPECT_EQ(tiles.first()->scrollTransition().phase, -1) << "scrolled out before the view";
    EXPECT_EQ(tiles.last()->scrollTransition().phase, 1) << "still to come after it";
    const QRect visible = rig.view().strip().viewport()->rect();
    int cut = 0;
    for (ItemTile* tile : tiles) {
      const QRect shown = shownRect(rig.view(), *tile);
      const double phase = tile->scrollTransition().phase;
      if (visible.contains(shown)) {
        EXPECT_EQ(phase, 0) << "a tile in full view keeps its size";
      } else if (shown.intersects(visible)) {
        ++cut;
        EXPECT_EQ(phase > 0, shown.bottom() > visible.bottom())
            << "the phase's sign tells the end it leaves by";
        EXPECT_GT(std::abs(phase), 0);
        EXPECT_LT(std::abs(phase), 1);
      }
    }
    EXPECT_EQ(cut, 2) << "one tile cut at each end";
    test::saveScreenshot(*rig.panel.panel.window(), stop.name);
  }

  // Scrolled back, a new tile lands out of view at the end and is drawn as leaving from the start.
  bar->setValue(0);
  rig.addFiles({QStringLiteral("late.png")});
  // The new tile's phase means something once the strip has given it its place.
  ASSERT_TRUE(test::runUntil(
      [&] { return rig.view().tiles().size() == 13 && tilesPlaced(rig.view(), PanelEdge::left); }));
  EXPECT_EQ(bar->value(), 0) << "not followed";
  EXPECT_EQ(rig.view().tiles().last()->scrollTransition().phase, 1);
}

}  // namespace
}  // namespace pm
