#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <functional>

#include "QStringPrinting.h"
#include "model/ICloudCheck.h"
#include "platform/SharedDefaults.h"
#include "platform/Signals.h"
#include "support/TestSupport.h"

namespace pm::settings {
namespace {

using namespace std::chrono_literals;

const QString kCheckICloud = QStringLiteral("com.wrenfold.Parcelmoor.checkICloud");
const QString kCheckedAt = QStringLiteral("icloudCheckedAt");
const QString kState = QStringLiteral("icloudState");
constexpr ICloudCheckTiming kTiming{10, 20ms};

class ICloudCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    defaults.set(kCheckedAt, 1'700'000'000.0);
    defaults.set(kState, QStringLiteral("an old problem"));
    signals.observeDarwinNotification(kCheckICloud);
  }
  // The agent's side: what it does when the request arrives.
  void agentAnswers(std::function<void()> answer) {
    signals.onNotification(kCheckICloud, &signals, std::move(answer));
  }

  MemorySharedDefaults defaults;
  LocalSignals signals;
};

TEST_F(ICloudCheck, AnAnswerInTheFirstTickIsSeenAfterOneSleep) {
  agentAnswers([this] {
    defaults.set(kState, QString());
    defaults.set(kCheckedAt, 1'700'000'001.0);
  });
  QElapsedTimer elapsed;
  elapsed.start();

  EXPECT_EQ(test::wait(testICloudConnection(defaults, signals, kTiming)), std::nullopt);
  EXPECT_GE(elapsed.elapsed(), kTiming.interval.count());
  EXPECT_EQ(signals.posted(), QStringList{kCheckICloud});
}

TEST_F(ICloudCheck, TheAgentsProblemIsReturnedAsItIsStored) {
  agentAnswers([this] {
    defaults.set(kState, QStringLiteral("The synced folder is switched off on this computer."));
    defaults.set(kCheckedAt, 1'700'000'000.5);
  });

  EXPECT_EQ(test::wait(testICloudConnection(defaults, signals, kTiming)),
            QStringLiteral("The synced folder is switched off on this computer."));
}

TEST_F(ICloudCheck, NoNewerStampIsNoAnswer) {
  struct Case {
    const char* what;
    std::function<void()> agent;
  };
  const Case cases[] = {
      {"the agent never answers", [] {}},
      {"usable, but the stamp is unchanged", [this] { defaults.set(kState, QString()); }},
      {"an older stamp",
       [this] {
         defaults.set(kState, QString());
         defaults.set(kCheckedAt, 1'600'000'000.0);
       }},
  };
  for (const Case& c : cases) {
    SetUp();
    LocalSignals fresh;
    fresh.observeDarwinNotification(kCheckICloud);
    fresh.onNotification(kCheckICloud, &fresh, c.agent);
    QElapsedTimer elapsed;
    elapsed.start();

    EXPECT_EQ(test::wait(testICloudConnection(defaults, fresh, kTiming)),
              QStringLiteral("Parcelmoor did not answer about the synced folder."))
        << c.what;
    EXPECT_GE(elapsed.elapsed(), kTiming.rounds * kTiming.interval.count()) << c.what;
    EXPECT_EQ(fresh.posted(), QStringList{kCheckICloud}) << c.what;
  }
}

}  // namespace
}  // namespace pm::settings
