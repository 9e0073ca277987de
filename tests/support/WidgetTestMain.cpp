#include <QApplication>

#include <gtest/gtest.h>

#include "platform/Async.h"
#include "BusActivationEnvironment.h"

// The main of test executables that make widgets: the plain one with a widget application. Without a
// platform named (listing the tests at build time) it draws off screen rather than look for a display.
int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  pm::test::shareHomeWithBusActivatedServices();
  const int status = RUN_ALL_TESTS();
  pm::finishWorkerPools();
  return status;
}
