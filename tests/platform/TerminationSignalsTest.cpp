#include <QList>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>

#include "platform/TerminationSignals.h"
#include "support/TestSupport.h"

namespace pm {
namespace {

using namespace std::chrono_literals;

volatile sig_atomic_t reachedBefore = 0;

TEST(TerminationSignals, TheRequestArrivesOnTheEventLoopAndTheHandlersBeforeComeBack) {
  struct sigaction before {};
  before.sa_handler = [](int signalNumber) { reachedBefore = signalNumber; };
  sigemptyset(&before.sa_mask);
  struct sigaction saved[3]{};
  const int numbers[] = {SIGTERM, SIGINT, SIGHUP};
  for (int i = 0; i < 3; ++i) ASSERT_EQ(::sigaction(numbers[i], &before, &saved[i]), 0);

  // Each instance takes its own first request.
  for (const int signalNumber : numbers) {
    TerminationSignals termination;
    ASSERT_TRUE(termination.isWatching());
    TerminationSignals second;
    EXPECT_FALSE(second.isWatching()) << "one instance watches";
    QList<int> requested;
    QObject::connect(&termination, &TerminationSignals::requested,
                     [&](int number) { requested.append(number); });
    ASSERT_EQ(::raise(signalNumber), 0);
    ASSERT_TRUE(test::runUntil([&] { return !requested.isEmpty(); }, 30s)) << signalNumber;
    EXPECT_EQ(requested, QList<int>{signalNumber});
    EXPECT_EQ(reachedBefore, 0);
  }

  for (const int signalNumber : numbers) {
    reachedBefore = 0;
    ASSERT_EQ(::raise(signalNumber), 0);
    EXPECT_EQ(reachedBefore, signalNumber);
  }
  for (int i = 0; i < 3; ++i) ::sigaction(numbers[i], &saved[i], nullptr);
}

// Once the event loop has the first request, nothing waits on a second one: it ends the process as the
// signal does by default, even before the loop took up the first.
TEST(TerminationSignalsDeathTest, ASecondSignalEndsTheProcessAtOnce) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const struct {
    int first;
    int second;
  } rows[] = {{SIGTERM, SIGTERM}, {SIGHUP, SIGINT}};
  for (const auto& row : rows) {
    EXPECT_EXIT(
        {
          TerminationSignals termination;
          bool requested = false;
          QObject::connect(&termination, &TerminationSignals::requested, [&] { requested = true; });
          ::raise(row.first);
          test::runUntil([&] { return requested; }, 30s);
          ::raise(row.second);
          std::_Exit(requested ? 0 : 1);
        },
        ::testing::KilledBySignal(row.second), "")
        << row.first << " then " << row.second;
  }
}

}  // namespace
}  // namespace pm
