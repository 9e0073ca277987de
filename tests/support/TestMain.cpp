#include <QCoreApplication>

#include <gtest/gtest.h>

#include "platform/Async.h"

// Every test runs with a Qt application object, so timers, sockets and coroutines have an event loop.
int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  const int status = RUN_ALL_TESTS();
  pm::finishWorkerPools();
  return status;
}
