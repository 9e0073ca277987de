#include <QAction>
#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyleHints>

#include <gtest/gtest.h>

#include <optional>

#include "panel/ItemTile.h"
#include "panel/PopoverWindow.h"
#include "panel/SensitiveFilePopover.h"
#include "panel/ThumbnailLoader.h"
#include "panel/TileBadgeButton.h"
#include "panel/TileRemoveButton.h"
#include "panel/UploadErrorPopover.h"
#include "tests/panel/TileTesting.h"

namespace pm {
namespace {

using namespace std::chrono_literals;
using State = BucketItem::State;

class ItemTileTest : public ::testing::Test {
 protected:
  std::unique_ptr<ItemTile> tileFor(std::shared_ptr<BucketItem> item, QWidget* parent = nullptr) {
    auto tile = std::make_unique<ItemTile>(std::move(item), clock, clock, files, parent);
    tile->setAnimationScale(0);
    tile->refresh();
    return tile;
  }

  test::TempRoot root;
  test::ManualClock clock;
  test::RecordingFileViewer files;
};

TEST_F(ItemTileTest, ClicksSelectOrPreviewByCountAndModifiers) {
  struct Case {
    int count;
    Qt::KeyboardModifiers modifiers;
    std::optional<TileSelection> selection;  // nothing: preview
  };
  const Qt::KeyboardModifiers none = Qt::NoModifier, shift = Qt::ShiftModifier, ctrl = Qt::ControlModifier;
  const Case cases[] = {
      {1, none, TileSelection::replace},  {1, shift, TileSelection::range},  {1, ctrl, TileSelection::toggle},
      {1, ctrl | shift, TileSelection::toggle},
      {2, none, std::nullopt},             {2, shift, std::nullopt},          {2, ctrl, std::nullopt},
      {2, ctrl | shift, std::nullopt},
      {3, none, TileSelection::replace},  {3, shift, TileSelection::range},  {3, ctrl, TileSelection::toggle},
      {3, ctrl | shift, TileSelection::toggle},
  };
  auto tile = tileFor(test::itemAged(root, QStringLiteral("a.txt"), clock, 2000));
  for (const Case& c : cases) {
    QList<TileSelection> selections;
    int previews = 0;
    auto selected = QObject::connect(tile.get(), &ItemTile::selectRequested, [&](TileSelection s) { selections << s; });
    auto previewed = QObject::connect(tile.get(), &ItemTile::previewRequested, [&] { ++previews; });
    tile->handleClick(c.count, c.modifiers);
    QObject::disconnect(selected);
    QObject::disconnect(previewed);
    SCOPED_TRACE(testing::Message() << "count " << c.count << " modifiers " << c.modifiers.toInt());
    if (c.selection) {
      EXPECT_EQ(selections, QList<TileSelection>{*c.selection});
      EXPECT_EQ(previews, 0);
    } else {
      EXPECT_TRUE(selections.isEmpty());
      EXPECT_EQ(previews, 1);
    }
  }
}

TEST_F(ItemTileTest, ATripleClickSelectsPreviewsAndSelectsAgain) {
  auto tile = tileFor(test::itemAged(root, QStringLiteral("a.txt"), clock, 2000));
  QStringList reports;
  QObject::connect(tile.get(), &ItemTile::selectRequested, [&](TileSelection) { reports << QStringLiteral("select"); });
  QObject::connect(tile.get(), &ItemTile::previewRequested, [&] { reports << QStringLiteral("preview"); });
  const QEvent::Type types[] = {QEvent::MouseButtonPress, QEvent::MouseButtonDblClick, QEvent::MouseButtonPress};
  ulong time = 10'000;
  for (QEvent::Type type : types) {
    QMouseEvent press(type, QPointF(30, 30), tile->mapToGlobal(QPointF(30, 30)), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    press.setTimestamp(time);
    QCoreApplication::sendEvent(tile.get(), &press);
    time += 50;
  }
  // A press long after the last one starts counting again.
  QMouseEvent late(QEvent::MouseButtonPress, QPointF(30, 30), tile->mapToGlobal(QPointF(30, 30)), Qt::LeftButton,
                   Qt::LeftButton, Qt::NoModifier);
  late.setTimestamp(time + ulong(QGuiApplication::styleHints()->mouseDoubleClickInterval()) + 100);
  QCoreApplication::sendEvent(tile.get(), &late);
  EXPECT_EQ(reports, (QStringList{QStringLiteral("select"), QStringLiteral("preview"), QStringLiteral("select"),
                                  QStringLiteral("select")}));
}

TEST_F(ItemTileTest, DerivedStateFollowsTheItemStateConsentAndErrors) {
  struct Case {
    const char* name;
    State state;
    bool sensitive;
    bool consented;
    bool withErrors;
    State::Case shown;
    bool needsAttention, isFinished, isActive;
    TileBadge badge;
    std::optional<double> progress;
  };
  const auto R = State::registering(), U = State::uploading(0.4), D = State::uploaded(), F = State::failed();
  using C = State::Case;
  const Case cases[] = {
      {"registering", R, false, false, false, C::registering, false, false, true, TileBadge::none, {}},
      {"uploading", U, false, false, false, C::uploading, false, false, true, TileBadge::none, 0.4},
      {"uploaded", D, false, false, false, C::uploaded, false, true, false, TileBadge::none, {}},
      {"failed without errors", F, false, false, false, C::failed, false, true, false, TileBadge::none, {}},
      {"failed with errors", F, false, false, true, C::failed, true, true, false, TileBadge::errors, {}},
      {"uploading with errors", U, false, false, true, C::uploading, true, false, true, TileBadge::errors, 0.4},
      {"held back", R, true, false, false, C::registering, true, false, false, TileBadge::sensitive, {}},
      {"held back, uploading", U, true, false, false, C::registering, true, false, false, TileBadge::sensitive, {}},
      {"held back with errors", F, true, false, true, C::registering, true, true, false, TileBadge::sensitive, {}},
      {"approved, uploading", U, true, true, false, C::uploading, false, false, true, TileBadge::none, 0.4},
      {"approved, uploaded", D, true, true, false, C::uploaded, false, true, false, TileBadge::none, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto item = test::itemAged(root, c.sensitive ? QStringLiteral(".env") : QStringLiteral("notes.txt"), clock, 2000);
    ASSERT_EQ(item->isSensitive(), c.sensitive);
    item->setState(c.state);
    item->setConsented(c.consented);
    if (c.withErrors) item->setErrors({{QStringLiteral("notes.txt"), {UploadError::http(500)}}});
    auto tile = tileFor(item);
    const TileStatus& status = tile->status();
    EXPECT_EQ(status.shownState.kind(), c.shown);
    EXPECT_EQ(status.needsAttention, c.needsAttention);
    EXPECT_EQ(status.isFinished, c.isFinished);
    EXPECT_EQ(status.isActive, c.isActive);
    EXPECT_EQ(tile->rippleActive(), c.isActive);
    EXPECT_EQ(status.badge, c.badge);
    EXPECT_EQ(tile->badge().isVisibleTo(tile.get()), c.badge != TileBadge::none);
    EXPECT_EQ(status.hoverProgress, c.progress);
  }
}

TEST_F(ItemTileTest, TheTileFollowsItemChangesAndReportsTheRipple) {
  auto item = test::itemAged(root, QStringLiteral("notes.txt"), clock, 2000);
  auto tile = tileFor(item);
  QList<bool> ripple;
  QObject::connect(tile.get(), &ItemTile::rippleActiveChanged, [&](bool active) { ripple << active; });
  item->setState(State::uploading(0.5));
  item->setState(State::failed());
  EXPECT_FALSE(tile->badge().isVisibleTo(tile.get()));
  item->setErrors({{QStringLiteral("notes.txt"), {UploadError::cancelled()}}});
  EXPECT_EQ(tile->badge().kind(), TileBadge::errors);
  EXPECT_TRUE(tile->badge().isVisibleTo(tile.get()));
  EXPECT_EQ(ripple, QList<bool>{false});
}

TEST_F(ItemTileTest, AYoungItemKeepsItsOverlaysBackUntilItSettles) {
  auto young = test::itemAged(root, QStringLiteral(".env"), clock, 500);
  auto tile = tileFor(young);
  tile->setAllowsRemoval(true);
  std::optional<HoveredItem> report;
  QObject::connect(tile.get(), &ItemTile::hoveredItemChanged, [&](const std::optional<HoveredItem>& r) { report = r; });
  test::sendEnter(*tile);
  EXPECT_TRUE(tile->isHovering());
  EXPECT_FALSE(tile->status().settled);
  EXPECT_FALSE(tile->badge().isVisibleTo(tile.get()));
  EXPECT_FALSE(tile->removeButton().isShown());
  EXPECT_FALSE(tile->hoveredItem().has_value());

  // The reveal ends 1.1 s after the item arrived; then everything shows without another event.
  clock.advance(700ms);
  ASSERT_TRUE(test::runUntil([&] { return tile->status().settled; }));
  EXPECT_TRUE(tile->badge().isVisibleTo(tile.get()));
  EXPECT_TRUE(tile->removeButton().isShown());
  ASSERT_TRUE(report.has_value());
  EXPECT_EQ(report->name, QStringLiteral(".env"));
  EXPECT_EQ(report->progress, std::nullopt) << "a held-back item shows no percentage";

  // An item that is older than the reveal shows everything at once, though its reveal never ran.
  auto older = tileFor(test::itemAged(root, QStringLiteral("id_rsa"), clock, 2000));
  older->setAllowsRemoval(true);
  test::sendEnter(*older);
  EXPECT_FALSE(older->isRevealed());
  EXPECT_TRUE(older->status().settled);
  EXPECT_TRUE(older->badge().isVisibleTo(older.get()));
  EXPECT_TRUE(older->removeButton().isShown());
  EXPECT_TRUE(older->hoveredItem().has_value());
}

TEST_F(ItemTileTest, TheHoverReportCarriesProgressAndTheMidpointInTheBarsSpace) {
  QWidget bar;
  QWidget strip(&bar);
  strip.move(10, 20);
  auto item = test::itemAged(root, QStringLiteral("movie.mov"), clock, 2000);
  item->setState(State::uploading(0.25));
  auto tile = tileFor(item, &strip);
  tile->move(65, 5);
  tile->setHoverSpace(&bar);
  test::sendEnter(*tile);
  ASSERT_TRUE(tile->hoveredItem().has_value());
  EXPECT_EQ(*tile->hoveredItem(), (HoveredItem{QStringLiteral("movie.mov"), 0.25, 10 + 65 + 30, 20 + 5 + 30}));
  item->setState(State::uploaded());
  EXPECT_EQ(tile->hoveredItem()->progress, std::nullopt);
  test::sendLeave(*tile);
  EXPECT_FALSE(tile->hoveredItem().has_value());
}

TEST_F(ItemTileTest, RingsAndRemoveButtonFollowSelectionHoverAndRemoval) {
  struct Case {
    bool selected, hovering, allowsRemoval;
    bool removeShown;
  };
  const Case cases[] = {
      {false, true, true, true}, {true, true, true, true}, {false, true, false, false}, {false, false, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.selected << c.hovering << c.allowsRemoval);
    auto tile = tileFor(test::itemAged(root, QStringLiteral("a.txt"), clock, 2000));
    tile->setSelected(c.selected);
    tile->setAllowsRemoval(c.allowsRemoval);
    if (c.hovering) test::sendEnter(*tile);
    EXPECT_EQ(tile->removeButton().isShown(), c.removeShown);
    int removals = 0;
    QObject::connect(tile.get(), &ItemTile::removeRequested, [&] { ++removals; });
    if (c.removeShown) {
      tile->removeButton().click();
      EXPECT_EQ(removals, 1);
    }
  }
}

TEST_F(ItemTileTest, TheContextMenuOffersRemovalOnlyWhenAllowed) {
  auto item = test::itemAged(root, QStringLiteral("my docs/report 100%.pdf"), clock, 2000);
  auto tile = tileFor(item);
  auto texts = [&](QMenu& menu) {
    QStringList out;
    for (QAction* action : menu.actions()) out << (action->isSeparator() ? QStringLiteral("—") : action->text());
    return out;
  };
  std::unique_ptr<QMenu> without(tile->makeContextMenu(nullptr));
  EXPECT_EQ(texts(*without), (QStringList{"Open", "Preview", "Show in Folder", "—", "Copy Path"}));

  tile->setAllowsRemoval(true);
  std::unique_ptr<QMenu> with(tile->makeContextMenu(nullptr));
  EXPECT_EQ(texts(*with), (QStringList{"Open", "Preview", "Show in Folder", "—", "Copy Path", "—", "Remove from Bucket"}));
  for (QAction* action : with->actions()) EXPECT_TRUE(action->isEnabled());

  int previews = 0, removals = 0;
  QObject::connect(tile.get(), &ItemTile::previewRequested, [&] { ++previews; });
  QObject::connect(tile.get(), &ItemTile::removeRequested, [&] { ++removals; });
  for (QAction* action : with->actions()) action->trigger();
  EXPECT_EQ(files.opened, QStringList{item->url()});
  EXPECT_EQ(files.shown, QStringList{item->url()});
  EXPECT_EQ(previews, 1);
  EXPECT_EQ(removals, 1);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), item->url()) << "the plain path, not a percent-encoded URL";
}

TEST_F(ItemTileTest, TheBadgeOpensTheMatchingPopoverOnTheInwardSide) {
  auto sensitive = test::itemAged(root, QStringLiteral(".env"), clock, 2000);
  sensitive->setErrors({{QStringLiteral(".env"), {UploadError::http(500)}}});
  auto tile = tileFor(sensitive);
  tile->setPanelEdge(PanelEdge::right);
  int approvals = 0;
  QObject::connect(tile.get(), &ItemTile::approveRequested, [&] { ++approvals; });
  tile->badge().click();
  ASSERT_NE(tile->popover(), nullptr);
  EXPECT_TRUE(tile->isShowingSensitive());
  EXPECT_EQ(tile->popover()->side(), PopoverSide::leading);
  auto* content = qobject_cast<SensitiveFilePopover*>(&tile->popover()->content());
  ASSERT_NE(content, nullptr) << "sensitive beats errors";
  content->uploadButton().click();
  EXPECT_EQ(approvals, 1);
  EXPECT_FALSE(tile->isShowingSensitive());

  auto failed = test::itemAged(root, QStringLiteral("b.txt"), clock, 2000);
  failed->setState(State::failed());
  failed->setErrors({{QStringLiteral("b.txt"), {UploadError::cancelled()}}});
  auto second = tileFor(failed);
  second->setPanelEdge(PanelEdge::top);
  second->badge().click();
  ASSERT_NE(second->popover(), nullptr);
  EXPECT_TRUE(second->isShowingErrors());
  EXPECT_EQ(second->popover()->side(), PopoverSide::bottom);
  EXPECT_NE(qobject_cast<UploadErrorPopover*>(&second->popover()->content()), nullptr);
  second->popover()->close();
  EXPECT_FALSE(second->isShowingErrors());
}

TEST_F(ItemTileTest, EffectSeamsSeeTheRevealAndTheRipple) {
  const QString picture = test::writePicture(root, QStringLiteral("pic.png"), QSize(80, 60));
  test::wait(loadThumbnail(picture, ItemTile::kSide));
  auto item = std::make_shared<BucketItem>(picture, clock.now().addMSecs(-200));
  auto tile = tileFor(item);
  int reveals = 0, ripples = 0;
  tile->setRevealPainter([&](QPainter&, const QRectF&, const QImage& content, const QDateTime& start) {
    ++reveals;
    EXPECT_EQ(content.size(), QSize(60, 60));
    EXPECT_EQ(start, item->addedAt());
  });
  tile->setRipplePainter([&](QPainter&, const QRectF&) { ++ripples; });
  EXPECT_TRUE(tile->isRevealing());
  EXPECT_TRUE(tile->rippleActive());
  tile->grab();
  EXPECT_EQ(reveals, 1);
  EXPECT_EQ(ripples, 1);
  tile->markRevealed();
  EXPECT_FALSE(tile->isRevealing());
  tile->grab();
  EXPECT_EQ(reveals, 1) << "the plain thumbnail once the reveal finished";
}

TEST_F(ItemTileTest, TheRippleIsDrawnOnlyWhileItShows) {
  const struct {
    const char* name;
    State made;
    std::optional<State> then;
    std::chrono::milliseconds later;
    bool drawn;
    // The wall clock set back by this much as the ripple fades out.
    std::chrono::seconds wallStep = 0s;
  } cases[] = {
      {"uploading", State::uploading(0.4), std::nullopt, 0ms, true},
      {"at rest from the start", State::uploaded(), std::nullopt, 0ms, false},
      {"fading out just after the upload", State::uploading(0.4), State::uploaded(), 100ms, true},
      {"faded out", State::uploading(0.4), State::uploaded(), 1000ms, false},
      {"faded out on time with the wall clock set back", State::uploading(0.4), State::uploaded(), 1000ms, false, 1h},
  };
  for (const auto& c : cases) {
    auto item = std::make_shared<BucketItem>(root.write(QStringLiteral("file.txt"), "content"), clock.now());
    item->setState(c.made);
    auto tile = tileFor(item);
    int ripples = 0;
    tile->setRipplePainter([&](QPainter&, const QRectF&) { ++ripples; });
    if (c.then) item->setState(*c.then);
    clock.set(clock.now() - c.wallStep);
    clock.advance(c.later);
    tile->grab();
    EXPECT_EQ(ripples > 0, c.drawn) << c.name;
  }
}

TEST_F(ItemTileTest, AnimatingTilesMadeAtDifferentMomentsRepaintTogether) {
  const QString picture = test::writePicture(root, QStringLiteral("pic.png"), QSize(80, 60));
  test::wait(loadThumbnail(picture, ItemTile::kSide));
  QWidget strip;
  strip.resize(4 * ItemTile::kSide, ItemTile::kSide);
  strip.show();
  ASSERT_TRUE(test::runUntil([&] { return strip.isVisible(); }));
  std::vector<std::unique_ptr<ItemTile>> tiles;
  for (int i = 0; i < 4; ++i) {
    // The clock stands still: each tile's reveal runs for the whole test.
    auto tile = tileFor(std::make_shared<BucketItem>(picture, clock.now()), &strip);
    tile->move(i * ItemTile::kSide, 0);
    tile->setRevealPainter([](QPainter&, const QRectF&, const QImage&, const QDateTime&) {});
    tile->show();
    tiles.push_back(std::move(tile));
    // A different moment for each, a third of a frame apart.
    test::runUntil([] { return false; }, 11ms);
  }
  struct Repaints : QObject {
    int count = 0;
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == QEvent::UpdateRequest) ++count;
      return false;
    }
  } repaints;
  strip.installEventFilter(&repaints);
  QElapsedTimer watched;
  watched.start();
  test::runUntil([] { return false; }, 700ms);
  const double frames = double(watched.elapsed()) / 33.0;
  strip.removeEventFilter(&repaints);
  EXPECT_GE(repaints.count, 3) << "the reveal animates";
  // One repaint of the window a frame for all four, not one for each.
  EXPECT_LE(repaints.count, int(frames * 1.5) + 2);
}

TEST_F(ItemTileTest, TheHoverRingIsLightOnADarkPictureWhateverThePalette) {
  QImage dark(QSize(120, 120), QImage::Format_RGB32);
  dark.fill(QColor(20, 24, 60));
  const QString picture = root.file(QStringLiteral("night.png"));
  ASSERT_TRUE(dark.save(picture));
  test::wait(loadThumbnail(picture, ItemTile::kSide));
  // A light desktop theme: its text colour is black.
  QPalette light;
  light.setColor(QPalette::WindowText, Qt::black);
  auto tile = tileFor(std::make_shared<BucketItem>(picture, clock.now().addSecs(-5)));
  tile->setPalette(light);
  tile->setAllowsRemoval(true);
  test::sendEnter(*tile);
  ASSERT_TRUE(tile->isHovering());
  const QImage image = tile->grab().toImage();
  // The middle of the left side, inside the 2-point ring; the picture itself is dark there.
  const QColor ring = image.pixelColor(image.width() * 1 / 60, image.height() / 2);
  EXPECT_GT(ring.lightness(), 200) << ring.name().toStdString();
  const QColor inside = image.pixelColor(image.width() / 2, image.height() / 2);
  EXPECT_LT(inside.lightness(), 80) << "the picture is dark: " << inside.name().toStdString();
}

// Screenshots of the states a user sees, on the bar's dark ground.
TEST_F(ItemTileTest, ScreenshotsOfEveryState) {
  const QString picture = test::writePicture(root, QStringLiteral("photo.png"), QSize(160, 120));
  test::wait(loadThumbnail(picture, ItemTile::kSide));
  const QString document = root.write(QStringLiteral("notes.txt"), "notes");
  const QString secret = root.write(QStringLiteral(".env"), "KEY=1");
  test::wait(loadThumbnail(document, ItemTile::kSide));
  test::wait(loadThumbnail(secret, ItemTile::kSide));

  struct Shot {
    const char* name;
    QString path;
    State state;
    bool errors = false;
    bool selected = false;
    bool hovered = false;
  };
  const Shot shots[] = {
      {"tile-registering", picture, State::registering()},
      {"tile-uploading-40", picture, State::uploading(0.4)},
      {"tile-uploaded", picture, State::uploaded()},
      {"tile-failed-badge", document, State::failed(), true},
      {"tile-sensitive-badge", secret, State::registering()},
      {"tile-selected", picture, State::uploaded(), false, true},
      {"tile-hovered-remove", picture, State::uploaded(), false, false, true},
  };
  for (const Shot& shot : shots) {
    QWidget ground;
    ground.setPalette(test::barPalette());
    ground.setAutoFillBackground(true);
    ground.resize(100, 100);
    auto item = std::make_shared<BucketItem>(shot.path, clock.now().addSecs(-5));
    item->setState(shot.state);
    if (shot.errors) item->setErrors({{item->name(), {UploadError::http(500)}}});
    auto tile = tileFor(item, &ground);
    tile->move(20, 20);
    tile->setSelected(shot.selected);
    tile->setAllowsRemoval(true);
    if (shot.hovered) test::sendEnter(*tile);
    ground.show();
    const QImage image = QImage(test::saveScreenshot(ground, QString::fromLatin1(shot.name)));
    ASSERT_FALSE(image.isNull()) << shot.name;
  }
}

}  // namespace
}  // namespace pm
