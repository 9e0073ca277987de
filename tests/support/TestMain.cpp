#include <QCoreApplication>

#include <gtest/gtest.h>

// Every test runs with a Qt application object, so timers, sockets and coroutines have an event loop.
int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
