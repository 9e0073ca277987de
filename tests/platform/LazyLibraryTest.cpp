#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "platform/LazyLibrary.h"
#include "platform/SoundPlayer.h"
#include "support/LogCapture.h"

namespace pm {
namespace {

constexpr const char* kMissingLibrary = "libparcelmoor-nowhere.so.0";

TEST(LazyLibrary, OpensOnFirstUseAndResolvesWhatItHas) {
  LazyLibrary library("libm.so.6");
  const auto cosine = library.function<double (*)(double)>("cos");
  ASSERT_NE(cosine, nullptr) << library.error();
  EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
  EXPECT_EQ(library.symbol("no_such_function_here"), nullptr);
  EXPECT_TRUE(library.load());
  EXPECT_TRUE(library.error().empty());
}

TEST(LazyLibrary, ResolvesASetOfFunctionsAndNamesTheFirstOneMissing) {
  LazyLibrary library("libm.so.6");
  double (*cosine)(double) = nullptr;
  double (*absent)(double) = nullptr;
  double (*alsoAbsent)(double) = nullptr;
  std::string missing;
  library.resolve(cosine, "cos", missing);
  EXPECT_EQ(library.problem("libm", missing), "");
  library.resolve(absent, "no_such_function_here", missing);
  library.resolve(alsoAbsent, "nor_this_one", missing);
  EXPECT_NE(cosine, nullptr);
  EXPECT_EQ(absent, nullptr);
  EXPECT_EQ(library.problem("libm", missing), "libm (libm.so.6) lacks no_such_function_here");
}

TEST(LazyLibrary, AMissingLibraryFailsEveryLookupAndSaysWhy) {
  LazyLibrary library(kMissingLibrary);
  EXPECT_EQ(library.symbol("anything"), nullptr);
  EXPECT_FALSE(library.load());
  EXPECT_NE(library.error().find(kMissingLibrary), std::string::npos) << library.error();
  EXPECT_EQ(library.problem("libnowhere", "anything"), "libnowhere could not be loaded: " + library.error());
}

TEST(CanberraSoundPlayer, WithoutItsLibraryStaysSilentAndSaysSoOnce) {
  test::LogCapture log;
  CanberraSoundPlayer sounds(kMissingLibrary);
  EXPECT_FALSE(log.contains(QStringLiteral("Sounds are off"))) << "nothing is loaded before a sound is asked for";
  sounds.play(QStringLiteral("complete"));
  sounds.play(QStringLiteral("dialog-error"));
  EXPECT_EQ(log.count(QStringLiteral("Sounds are off: libcanberra could not be loaded: ")), 1);
  EXPECT_TRUE(log.contains(QString::fromLatin1(kMissingLibrary)));
}

}  // namespace
}  // namespace pm
