#include <gtest/gtest.h>

#include "ManualSchedule.h"
#include "views/SignInLoadingWindow.h"

namespace pm::settings {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

TEST(SignInLoadingWindowTest, ClosesTenSecondsAfterTheLatestOpening) {
  test::ManualSchedule time;
  SignInLoadingWindow window(time.schedule());
  QList<bool> changes;
  QObject::connect(&window, &SignInLoadingWindow::openChanged, [&](bool open) { changes.append(open); });

  window.open();
  time.advanceTo(seconds(6));
  window.open();  // a second press, 6 seconds after the first
  time.advanceTo(seconds(10));
  EXPECT_TRUE(window.isOpen()) << "the first wait found a newer window and left it";
  time.advanceTo(seconds(16) - milliseconds(1));
  EXPECT_TRUE(window.isOpen());
  time.advanceTo(seconds(16));
  EXPECT_FALSE(window.isOpen());
  EXPECT_EQ(changes, QList<bool>({true, false}));

  // Opened again after closing, it waits its full time once more.
  window.open();
  time.advance(seconds(10));
  EXPECT_FALSE(window.isOpen());
  EXPECT_EQ(changes, QList<bool>({true, false, true, false}));
}

}  // namespace
}  // namespace pm::settings
