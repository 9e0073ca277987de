#include <QApplication>

#include <gtest/gtest.h>

// Widget tests need a full application object (styles, fonts, clipboard) rather than a core one.
int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
