#include <QApplication>

#include <gtest/gtest.h>

#include "platform/Async.h"
#include "tests/support/BusActivationEnvironment.h"

// Widget tests need a full application object (styles, fonts, clipboard) rather than a core one. They
// draw offscreen, also when CTest lists them without the test environment.
int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  pm::test::shareHomeWithBusActivatedServices();
  const int status = RUN_ALL_TESTS();
  pm::finishWorkerPools();
  return status;
}
