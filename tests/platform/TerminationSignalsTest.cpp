#include <QList>

#include <gtest/gtest.h>

#include <csignal>

#include "platform/TerminationSignals.h"
#include "support/TestSupport.h"

namespace pm {
namespace {

using namespace std::chrono_literals;

volatile sig_atomic_t reachedBefore = 0;

TEST(TerminationSignals, EachRequestArrivesOnTheEventLoopAndTheHandlersBeforeComeBack) {
  struct sigaction before {};
  before.sa_handler = [](int signalNumber) { reachedBefore = signalNumber; };
  sigemptyset(&before.sa_mask);
  struct sigaction saved[3]{};
  const int numbers[] = {SIGTERM, SIGINT, SIGHUP};
  for (int i = 0; i < 3; ++i) ASSERT_EQ(::sigaction(numbers[i], &before, &saved[i]), 0);

  {
    TerminationSignals termination;
    ASSERT_TRUE(termination.isWatching());
    TerminationSignals second;
    EXPECT_FALSE(second.isWatching()) << "one instance watches";
    QList<int> requested;
    QObject::connect(&termination, &TerminationSignals::requested,
                     [&](int signalNumber) { requested.append(signalNumber); });
    for (const int signalNumber : numbers) {
      ASSERT_EQ(::raise(signalNumber), 0);
      ASSERT_TRUE(test::runUntil([&] { return requested.contains(signalNumber); }, 30s)) << signalNumber;
    }
    EXPECT_EQ(requested, QList<int>(std::begin(numbers), std::end(numbers)));
    EXPECT_EQ(reachedBefore, 0);
  }

  for (const int signalNumber : numbers) {
    reachedBefore = 0;
    ASSERT_EQ(::raise(signalNumber), 0);
    EXPECT_EQ(reachedBefore, signalNumber);
  }
  for (int i = 0; i < 3; ++i) ::sigaction(numbers[i], &saved[i], nullptr);
}

}  // namespace
}  // namespace pm
