#include <gtest/gtest.h>

#include "platform/SharedDefaults.h"
#include "platform/Signals.h"
#include "sync/SyncState.h"

namespace pm {
namespace {

using Failure = SyncState::Failure;

const QString kKey = QStringLiteral("syncState");
const QString kSyncChanged = QStringLiteral("com.wrenfold.Parcelmoor.syncChanged");

TEST(SyncState, EveryCaseRoundTripsThroughItsJson) {
  const struct {
    SyncState state;
    const char* json;
  } table[] = {
      {SyncState::off(), R"({"off":{}})"},
      {SyncState::starting(), R"({"starting":{}})"},
      {SyncState::enterCode(), R"({"enterCode":{}})"},
      {SyncState::joining(), R"({"joining":{}})"},
      {SyncState::offering(QStringLiteral("7K2MXQ")), R"({"offering":{"code":"7K2MXQ"}})"},
      {SyncState::offering(QString()), R"({"offering":{"code":""}})"},
      {SyncState::on(), R"({"on":{}})"},
      {SyncState::failed(Failure::network, false), R"({"failed":{"_0":"network","stillOn":false}})"},
      {SyncState::failed(Failure::refused, true), R"({"failed":{"_0":"refused","stillOn":true}})"},
      {SyncState::failed(Failure::expired, false), R"({"failed":{"_0":"expired","stillOn":false}})"},
      {SyncState::failed(Failure::mismatch, false), R"({"failed":{"_0":"mismatch","stillOn":false}})"},
      {SyncState::failed(Failure::noPairing, false), R"({"failed":{"_0":"noPairing","stillOn":false}})"},
      {SyncState::failed(Failure::keyMismatch, true), R"({"failed":{"_0":"keyMismatch","stillOn":true}})"},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.json);
    EXPECT_EQ(row.state.toJson(), QByteArray(row.json));
    EXPECT_EQ(SyncState::fromJson(row.json), row.state);

    MemorySharedDefaults defaults;
    LocalSignals signals;
    row.state.save(defaults, signals);
    EXPECT_EQ(defaults.dataValue(kKey), QByteArray(row.json));
    EXPECT_EQ(signals.posted(), QStringList{kSyncChanged});
    EXPECT_EQ(SyncState::load(defaults), row.state);
  }
}

TEST(SyncState, LoadReadsAnythingUnreadableAsOffAndLeavesItStored) {
  const struct {
    const char* json;
    SyncState expected;
  } table[] = {
      {R"({"on":{},"off":{}})", SyncState::off()},
      {R"({"on":{},"x":1})", SyncState::on()},
      {R"({"failed":{"_0":"lost","stillOn":true}})", SyncState::off()},
      {R"({"failed":{"_0":"network"}})", SyncState::off()},
      {R"({"failed":{"_0":"network","stillOn":"yes"}})", SyncState::off()},
      {R"({"offering":{}})", SyncState::off()},
      {R"({"offering":{"code":7}})", SyncState::off()},
      {R"({"joining":true})", SyncState::off()},
      {R"({"joining":{"extra":1}})", SyncState::joining()},
      {R"({})", SyncState::off()},
      {"garbled", SyncState::off()},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.json);
    MemorySharedDefaults defaults;
    defaults.set(kKey, QByteArray(row.json));
    EXPECT_EQ(SyncState::load(defaults), row.expected);
    EXPECT_EQ(defaults.dataValue(kKey), QByteArray(row.json));
  }
  QString error;
  EXPECT_EQ(SyncState::fromJson(R"({"on":{},"off":{}})", &error), std::nullopt);
  EXPECT_EQ(error, QStringLiteral("Invalid number of keys found, expected one."));

  MemorySharedDefaults empty;
  EXPECT_EQ(SyncState::load(empty), SyncState::off());
  empty.set(kKey, QStringLiteral(R"({"on":{}})"));
  EXPECT_EQ(SyncState::load(empty), SyncState::off()) << "text is not the data the agent stores";
}

TEST(SyncState, EqualityLooksAtTheValuesOfTheCase) {
  EXPECT_NE(SyncState::offering(QStringLiteral("AAAAAA")), SyncState::offering(QStringLiteral("AAAAAB")));
  EXPECT_NE(SyncState::failed(Failure::network, true), SyncState::failed(Failure::network, false));
  EXPECT_NE(SyncState::failed(Failure::network, true), SyncState::failed(Failure::refused, true));
  EXPECT_NE(SyncState::on(), SyncState::off());
  EXPECT_EQ(SyncState::failed(Failure::expired, true), SyncState::failed(Failure::expired, true));
}

TEST(SyncState, SentenceFollowsTheFailureWhateverStillOnSays) {
  const QString general = QStringLiteral(
      "Sync your Apps, Uploads and Settings across devices. All data is end-to-end encrypted.");
  const struct {
    Failure failure;
    const char* sentence;
  } table[] = {
      {Failure::network, "Could not reach Parcelmoor."},
      {Failure::refused, "Parcelmoor refused this. Check that both devices run the same version."},
      {Failure::expired, "The code expired before the pairing finished. Show or enter a fresh one."},
      {Failure::mismatch, "The codes did not match. Nothing was handed over — try again."},
      {Failure::noPairing,
       "No code is being shown right now. On your other device, click Connect Another Device first."},
      {Failure::keyMismatch,
       "This device's key does not match what is stored. Turn sync off and on to join your other device "
       "again."},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.sentence);
    EXPECT_EQ(SyncState::failed(row.failure, true).sentence(), QString::fromUtf8(row.sentence));
    EXPECT_EQ(SyncState::failed(row.failure, false).sentence(), QString::fromUtf8(row.sentence));
  }
  for (const SyncState& state :
       {SyncState::off(), SyncState::starting(), SyncState::enterCode(), SyncState::joining(),
        SyncState::offering(QStringLiteral("ABCDEF")), SyncState::on()})
    EXPECT_EQ(state.sentence(), general);
}

}  // namespace
}  // namespace pm
