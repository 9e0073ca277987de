#include <QSignalSpy>

#include <gtest/gtest.h>

#include "panel/BarSelection.h"

namespace pm {
namespace {

// Five items, referred to by their position in the bucket.
struct Five {
  QList<QUuid> order{QUuid::createUuid(), QUuid::createUuid(), QUuid::createUuid(), QUuid::createUuid(),
                     QUuid::createUuid()};
  QSet<QUuid> at(std::initializer_list<int> positions) const {
    QSet<QUuid> ids;
    for (int position : positions) ids.insert(order[position]);
    return ids;
  }
};

enum class Step { replace, toggle, range, left, right, shiftLeft, shiftRight };

struct SelectionCase {
  const char* name;
  std::optional<int> anchor;  // before the step
  std::vector<int> selected;  // before the step
  Step step;
  int target;  // the clicked position (clicks only)
  std::vector<int> expected;
  std::optional<int> expectedAnchor;
};

const SelectionCase kCases[] = {
    {"plain click replaces", 1, {1, 3}, Step::replace, 2, {2}, 2},
    {"shift-click without anchor acts as a click", std::nullopt, {}, Step::range, 3, {3}, 3},
    {"shift-click adds the range forward and keeps the anchor", 1, {0, 1}, Step::range, 3, {0, 1, 2, 3}, 1},
    {"shift-click adds the range backward", 3, {3}, Step::range, 1, {1, 2, 3}, 3},
    {"ctrl-click on a selected tile deselects it but anchors there", 0, {0, 2}, Step::toggle, 2, {0}, 2},
    {"ctrl-click adds an unselected tile", 0, {0}, Step::toggle, 4, {0, 4}, 4},
    {"right without anchor selects the first", std::nullopt, {}, Step::right, 0, {0}, 0},
    {"left without anchor selects the last", std::nullopt, {}, Step::left, 0, {4}, 4},
    {"shift-right without anchor ignores the extension", std::nullopt, {2}, Step::shiftRight, 0, {0}, 0},
    {"right on the last tile stays there", 4, {4}, Step::right, 0, {4}, 4},
    {"shift-right on the last tile adds nothing", 4, {2, 4}, Step::shiftRight, 0, {2, 4}, 4},
    {"shift-right adds the next tile", 1, {0, 1}, Step::shiftRight, 0, {0, 1, 2}, 2},
    {"plain right replaces with the next tile", 1, {0, 1}, Step::right, 0, {2}, 2},
    {"left on the first tile stays there", 0, {0}, Step::left, 0, {0}, 0},
    {"shift-left adds the previous tile", 3, {3}, Step::shiftLeft, 0, {2, 3}, 2},
};

class BarSelectionRules : public ::testing::TestWithParam<SelectionCase> {};

TEST_P(BarSelectionRules, Apply) {
  const SelectionCase& c = GetParam();
  Five five;
  BarSelection selection;
  QSet<QUuid> before;
  for (int position : c.selected) before.insert(five.order[position]);
  selection.setIds(before);
  if (c.anchor) selection.setAnchor(five.order[*c.anchor]);
  switch (c.step) {
    case Step::replace:
      selection.click(five.order[c.target], TileSelection::replace, five.order);
      break;
    case Step::toggle:
      selection.click(five.order[c.target], TileSelection::toggle, five.order);
      break;
    case Step::range:
      selection.click(five.order[c.target], TileSelection::range, five.order);
      break;
    case Step::left:
      selection.move(-1, false, five.order);
      break;
    case Step::right:
      selection.move(1, false, five.order);
      break;
    case Step::shiftLeft:
      selection.move(-1, true, five.order);
      break;
    case Step::shiftRight:
      selection.move(1, true, five.order);
      break;
  }
  QSet<QUuid> expected;
  for (int position : c.expected) expected.insert(five.order[position]);
  EXPECT_EQ(selection.ids(), expected);
  EXPECT_EQ(selection.anchor(),
            c.expectedAnchor ? std::optional(five.order[*c.expectedAnchor]) : std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Table, BarSelectionRules, ::testing::ValuesIn(kCases), [](const auto& info) {
  std::string name = info.param.name;
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
});

TEST(BarSelectionTest, NotifiesOnlyOnChange) {
  Five five;
  BarSelection selection;
  QSignalSpy ids(&selection, &BarSelection::idsChanged);
  QSignalSpy anchor(&selection, &BarSelection::anchorChanged);
  selection.setIds(five.at({1}));
  selection.setIds(five.at({1}));
  selection.setAnchor(five.order[1]);
  selection.setAnchor(five.order[1]);
  EXPECT_EQ(ids.count(), 1);
  EXPECT_EQ(anchor.count(), 1);
}

TEST(BarSelectionTest, ARangeFromAStaleAnchorActsAsAClick) {
  Five five;
  BarSelection selection;
  selection.setIds(five.at({0}));
  selection.setAnchor(QUuid::createUuid());
  selection.click(five.order[2], TileSelection::range, five.order);
  EXPECT_EQ(selection.ids(), five.at({2}));
  EXPECT_EQ(selection.anchor(), five.order[2]);
}

TEST(BarSelectionTest, PruningDropsGoneItemsAndAGoneAnchor) {
  Five five;
  BarSelection selection;
  selection.setIds(five.at({1, 2, 3}));
  selection.setAnchor(five.order[2]);
  QList<QUuid> left = five.order;
  left.removeAt(2);
  selection.prune(left);
  EXPECT_EQ(selection.ids(), five.at({1, 3}));
  EXPECT_EQ(selection.anchor(), std::nullopt);

  selection.setAnchor(five.order[1]);
  selection.prune(left);
  EXPECT_EQ(selection.anchor(), five.order[1]) << "an anchor still in the bucket stays";
}

TEST(BarSelectionTest, FirstSelectedFollowsBucketOrderNotTheAnchor) {
  Five five;
  BarSelection selection;
  selection.setIds(five.at({3, 1}));
  selection.setAnchor(five.order[3]);
  EXPECT_EQ(selection.firstSelected(five.order), five.order[1]);
  selection.clear();
  EXPECT_EQ(selection.firstSelected(five.order), std::nullopt);
}

TEST(BarSelectionTest, MovingInAnEmptyBucketDoesNothing) {
  BarSelection selection;
  selection.move(1, false, {});
  EXPECT_TRUE(selection.ids().isEmpty());
  EXPECT_EQ(selection.anchor(), std::nullopt);
}

}  // namespace
}  // namespace pm
