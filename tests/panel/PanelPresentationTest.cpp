#include <QSignalSpy>

#include <gtest/gtest.h>

#include "panel/PanelPresentation.h"

namespace pm {
namespace {

TEST(PanelPresentation, NotifiesOnlyWhenAValueChanges) {
  PanelPresentation presentation;
  QSignalSpy visible(&presentation, &PanelPresentation::visibleChanged);
  QSignalSpy sliding(&presentation, &PanelPresentation::slidingChanged);
  QSignalSpy edge(&presentation, &PanelPresentation::edgeChanged);

  presentation.setVisible(false);
  presentation.setSliding(false);
  presentation.setEdge(PanelEdge::left);
  EXPECT_EQ(visible.count() + sliding.count() + edge.count(), 0) << "the initial values again";

  presentation.setVisible(true);
  presentation.setVisible(true);
  presentation.setSliding(true);
  presentation.setEdge(PanelEdge::top);
  presentation.setEdge(PanelEdge::top);
  presentation.setEdge(PanelEdge::right);
  EXPECT_EQ(visible.count(), 1);
  EXPECT_EQ(sliding.count(), 1);
  EXPECT_EQ(edge.count(), 2);
  EXPECT_EQ(presentation.edge(), PanelEdge::right);
}

}  // namespace
}  // namespace pm
