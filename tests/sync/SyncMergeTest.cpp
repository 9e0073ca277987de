#include <QJsonArray>
#include <QJsonObject>
#include <QTimeZone>
#include <QUuid>

#include <gtest/gtest.h>

#include "../core/UploaderConfigPrinting.h"
#include "SyncPayloadPrinting.h"
#include "core/Identifiers.h"
#include "sync/SyncMerge.h"

namespace pm {
namespace {

QDateTime at(int h, int mi, int s) {
  return QDateTime(QDate(2024, 2, 20), QTime(h, mi, s), QTimeZone::utc());
}

const QUuid kA = QUuid::fromString(QStringLiteral("11111111-1111-1111-1111-111111111111"));
const QUuid kB = QUuid::fromString(QStringLiteral("22222222-2222-2222-2222-222222222222"));

SyncEntry entry(const QUuid& id, const QString& name, const QDateTime& updatedAt,
                std::optional<S3Credentials> credentials = std::nullopt) {
  UploaderConfig config(UploaderConfig::Kind::customS3);
  config.id = id;
  config.name = name;
  config.updatedAt = updatedAt;
  return SyncEntry{config, std::move(credentials), std::nullopt, std::nullopt, std::nullopt};
}

QStringList names(const SyncPayload& payload) {
  QStringList list;
  for (const SyncEntry& e : payload.uploaders) list.append(e.config.name);
  return list;
}

struct ConnectionRow {
  const char* name;
  SyncPayload local;
  SyncPayload other;
  QStringList kept;
};

class MergeConnections : public ::testing::TestWithParam<ConnectionRow> {};

TEST_P(MergeConnections, KeepsTheLaterChangeAndThisComputersOnEqualDates) {
  const ConnectionRow& row = GetParam();
  EXPECT_EQ(names(merge(row.local, row.other)), row.kept);
}

SyncPayload withEntries(QList<SyncEntry> entries, QMap<QString, QDateTime> deleted = {}) {
  SyncPayload payload;
  payload.uploaders = std::move(entries);
  payload.deleted = std::move(deleted);
  return payload;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, MergeConnections,
    ::testing::Values(ConnectionRow{"sameDateDifferentNames",
                                    withEntries({entry(kA, "local", at(10, 0, 0))}),
                                    withEntries({entry(kA, "remote", at(10, 0, 0))}),
                                    {"local"}},
                      ConnectionRow{"laterRemote",
                                    withEntries({entry(kA, "local", at(10, 0, 0))}),
                                    withEntries({entry(kA, "remote", at(10, 0, 1))}),
                                    {"remote"}},
                      ConnectionRow{"laterLocal",
                                    withEntries({entry(kA, "local", at(10, 0, 2))}),
                                    withEntries({entry(kA, "remote", at(10, 0, 1))}),
                                    {"local"}},
                      ConnectionRow{"deletedAtTheSameSecond",
                                    withEntries({}, {{uuidText(kA), at(10, 0, 0)}}),
                                    withEntries({entry(kA, "edited", at(10, 0, 0))}),
                                    {}},
                      ConnectionRow{"editedAfterTheDeletion",
                                    withEntries({}, {{uuidText(kA), at(10, 0, 0)}}),
                                    withEntries({entry(kA, "edited", at(10, 0, 1))}),
                                    {"edited"}},
                      ConnectionRow{"remoteTombstoneRemovesLocal",
                                    withEntries({entry(kA, "local", at(9, 0, 0))}),
                                    withEntries({}, {{uuidText(kA), at(10, 0, 0)}}),
                                    {}},
                      // Stored without a date and deleted nowhere: it must survive.
                      ConnectionRow{"undatedWithoutTombstone",
                                    withEntries({entry(kA, "undated", UploaderConfig::distantPast())}),
                                    withEntries({}),
                                    {"undated"}},
                      ConnectionRow{
                          "sortedOldestFirst",
                          withEntries({entry(kA, "newer", at(11, 0, 0)), entry(kB, "older", at(9, 0, 0))}),
                          withEntries({}),
                          {"older", "newer"}}),
    [](const ::testing::TestParamInfo<ConnectionRow>& info) { return std::string(info.param.name); });

TEST(Merge, TheWinningEntryTravelsWithAllItsCredentials) {
  const S3Credentials localKeys{QStringLiteral("LOCAL"), QStringLiteral("l")};
  const S3Credentials remoteKeys{QStringLiteral("REMOTE"), QStringLiteral("r")};
  const SyncPayload merged = merge(withEntries({entry(kA, "local", at(10, 0, 0), localKeys)}),
                                   withEntries({entry(kA, "remote", at(10, 0, 5))}));
  ASSERT_EQ(merged.uploaders.size(), 1);
  EXPECT_EQ(merged.uploaders.first().credentials, std::nullopt) << "not the loser's keys";

  const SyncPayload kept = merge(withEntries({entry(kA, "local", at(10, 0, 9), localKeys)}),
                                 withEntries({entry(kA, "remote", at(10, 0, 5), remoteKeys)}));
  EXPECT_EQ(kept.uploaders.first().credentials, localKeys);
}

struct CredentialRow {
  const char* name;
  SyncEntry local;
  SyncEntry other;
  const char* keptName;
  const char* keptSecret;
  QDateTime keptDate;
};

SyncEntry dated(const char* name, const QDateTime& updatedAt, const char* secret,
                std::optional<QDateTime> credentialsUpdatedAt) {
  SyncEntry made =
      entry(kA, name, updatedAt, S3Credentials{QStringLiteral("AK"), QString::fromLatin1(secret)});
  made.credentialsUpdatedAt = std::move(credentialsUpdatedAt);
  return made;
}

class MergeCredentials : public ::testing::TestWithParam<CredentialRow> {};

TEST_P(MergeCredentials, TakesTheConnectionAndItsCredentialsEachByItsOwnDate) {
  const CredentialRow& row = GetParam();
  const SyncPayload merged = merge(withEntries({row.local}), withEntries({row.other}));
  ASSERT_EQ(merged.uploaders.size(), 1);
  const SyncEntry& kept = merged.uploaders.first();
  EXPECT_EQ(kept.config.name, QString::fromLatin1(row.keptName));
  EXPECT_EQ(kept.credentials->secretAccessKey, QString::fromLatin1(row.keptSecret));
  EXPECT_EQ(kept.credentialsUpdatedAt, row.keptDate);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, MergeCredentials,
    ::testing::Values(
        CredentialRow{"renewedHereBeforeTheEditThere", dated("old", at(10, 0, 0), "renewed", at(10, 1, 0)),
                      dated("new", at(10, 2, 0), "first", at(10, 0, 0)), "new", "renewed", at(10, 1, 0)},
        CredentialRow{"renewedHereAfterTheEditThere", dated("old", at(10, 0, 0), "renewed", at(10, 3, 0)),
                      dated("new", at(10, 2, 0), "first", at(10, 0, 0)), "new", "renewed", at(10, 3, 0)},
        CredentialRow{"renewedThereAfterTheEditHere", dated("new", at(10, 2, 0), "first", at(10, 0, 0)),
                      dated("old", at(10, 0, 0), "renewed", at(10, 3, 0)), "new", "renewed", at(10, 3, 0)},
        CredentialRow{"sameCredentialDateKeepsThisComputers", dated("a", at(10, 0, 0), "mine", at(10, 1, 0)),
                      dated("a", at(10, 0, 0), "theirs", at(10, 1, 0)), "a", "mine", at(10, 1, 0)},
        // An entry an earlier version wrote: its connection's date is its credentials' too.
        CredentialRow{"undatedThereAndLater", dated("a", at(10, 0, 0), "mine", at(10, 1, 0)),
                      dated("b", at(10, 2, 0), "theirs", std::nullopt), "b", "theirs", at(10, 2, 0)},
        CredentialRow{"undatedThereButOlderThanTheRenewalHere",
                      dated("a", at(10, 0, 0), "mine", at(10, 3, 0)),
                      dated("b", at(10, 2, 0), "theirs", std::nullopt), "b", "mine", at(10, 3, 0)},
        CredentialRow{"undatedOnBothSides", dated("a", at(10, 0, 0), "mine", std::nullopt),
                      dated("b", at(10, 2, 0), "theirs", std::nullopt), "b", "theirs", at(10, 2, 0)},
        // Dated before the later connection replaces the undated one's record.
        CredentialRow{"undatedHereAndOlderThanTheEditThere", dated("a", at(10, 1, 0), "mine", std::nullopt),
                      dated("b", at(10, 2, 0), "theirs", at(10, 0, 0)), "b", "mine", at(10, 1, 0)}),
    [](const ::testing::TestParamInfo<CredentialRow>& info) { return std::string(info.param.name); });

TEST(Merge, ARenewalAfterADeletionDoesNotBringTheConnectionBack) {
  const SyncPayload merged = merge(withEntries({dated("a", at(10, 0, 0), "renewed", at(10, 5, 0))}),
                                   withEntries({}, {{uuidText(kA), at(10, 2, 0)}}));
  EXPECT_TRUE(merged.uploaders.isEmpty());
}

TEST(Merge, TombstonesAndPreferencesTakeStrictlyLaterDates) {
  SyncPayload local;
  local.deleted = {{uuidText(kA), at(10, 0, 0)}, {uuidText(kB), at(10, 0, 0)}};
  local.preferences = {{QStringLiteral("panelEdge"), SyncPref{QStringLiteral("left"), at(10, 0, 0)}},
                       {QStringLiteral("uploadFailedSound"), SyncPref{QStringLiteral("true"), at(10, 0, 0)}}};
  SyncPayload other;
  other.deleted = {{uuidText(kA), at(9, 0, 0)}, {uuidText(kB), at(11, 0, 0)}};
  other.preferences = {
      {QStringLiteral("panelEdge"), SyncPref{QStringLiteral("top"), at(10, 0, 0)}},
      {QStringLiteral("uploadFailedSound"), SyncPref{QStringLiteral("false"), at(10, 0, 1)}},
      {QStringLiteral("uploadWarningSound"), SyncPref{QStringLiteral("false"), at(8, 0, 0)}}};
  const SyncPayload merged = merge(local, other);
  EXPECT_EQ(merged.deleted.value(uuidText(kA)), at(10, 0, 0));
  EXPECT_EQ(merged.deleted.value(uuidText(kB)), at(11, 0, 0));
  EXPECT_EQ(merged.preferences.value(QStringLiteral("panelEdge")).value, QStringLiteral("left"))
      << "the same second keeps this computer's value";
  EXPECT_EQ(merged.preferences.value(QStringLiteral("uploadFailedSound")),
            (SyncPref{QStringLiteral("false"), at(10, 0, 1)}));
  EXPECT_EQ(merged.preferences.value(QStringLiteral("uploadWarningSound")).value, QStringLiteral("false"));
}

TEST(Merge, SameContentIgnoresOrderAndCredentialsButNotTheirDates) {
  const SyncPayload one = withEntries({entry(kA, "a", at(10, 0, 0)), entry(kB, "b", at(10, 0, 0))});
  SyncPayload reordered = withEntries({entry(kB, "b", at(10, 0, 0)), entry(kA, "a", at(10, 0, 0))});
  EXPECT_TRUE(hasSameContent(one, reordered));
  EXPECT_EQ(differingParts(one, reordered), QStringList{QStringLiteral("connections")});

  reordered.uploaders[0].credentials = S3Credentials{QStringLiteral("K"), QStringLiteral("S")};
  EXPECT_TRUE(hasSameContent(one, reordered));
  reordered.uploaders[0].credentialsUpdatedAt = at(10, 0, 0);
  EXPECT_TRUE(hasSameContent(one, reordered)) << "undated, the connection's date is the credentials'";
  reordered.uploaders[0].credentialsUpdatedAt = at(10, 0, 1);
  EXPECT_FALSE(hasSameContent(one, reordered)) << "newer credentials are worth storing";
  EXPECT_EQ(differingParts(one, reordered), QStringList{QStringLiteral("connections")});

  SyncPayload renamed = one;
  renamed.uploaders[1].config.name = QStringLiteral("c");
  EXPECT_FALSE(hasSameContent(one, renamed));

  SyncPayload redated = one;
  redated.preferences.insert(QStringLiteral("panelEdge"), SyncPref{QStringLiteral("top"), at(10, 0, 0)});
  redated.deleted.insert(uuidText(kB), at(9, 0, 0));
  EXPECT_FALSE(hasSameContent(one, redated));
  EXPECT_EQ(differingParts(one, redated),
            (QStringList{QStringLiteral("deletions"), QStringLiteral("preferences")}));
}

TEST(Merge, KeepsWhatEitherSideHoldsUnreadAndComparesAsStored) {
  SyncPayload local = withEntries({entry(kA, "a", at(10, 0, 0))}, {{uuidText(kB), at(10, 0, 0)}});
  local.unread.uploaders = {QJsonValue(QJsonObject{{QStringLiteral("config"), QStringLiteral("mine")}})};
  SyncPayload other;
  other.unread.uploaders = {QJsonValue(7), local.unread.uploaders.first()};
  other.unread.deleted = {{uuidText(kB), QStringLiteral("2024-02-20T09:00:00.5Z")}};
  other.unread.preferences = {{QStringLiteral("panelEdge"), QJsonValue(true)}};
  other.unread.others = {{QStringLiteral("folders"), QJsonArray{1}}};

  const SyncPayload merged = merge(local, other);
  EXPECT_EQ(merged.unread.uploaders, (QList<QJsonValue>{local.unread.uploaders.first(), QJsonValue(7)}));
  EXPECT_EQ(merged.unread.deleted, other.unread.deleted);
  EXPECT_EQ(merged.unread.preferences, other.unread.preferences);
  EXPECT_EQ(merged.unread.others, other.unread.others);
  EXPECT_EQ(merged.deleted.value(uuidText(kB)), at(10, 0, 0)) << "this computer keeps its readable tombstone";

  // The readable tombstone is stored as the unread one it stands beside: a copy without it is no
  // different, so pulling it again stores nothing.
  SyncPayload stored = merged;
  stored.deleted.remove(uuidText(kB));
  EXPECT_TRUE(hasSameContent(merged, stored));
  stored.unread.deleted.clear();
  EXPECT_FALSE(hasSameContent(merged, stored));
  EXPECT_EQ(differingParts(merged, stored), QStringList{QStringLiteral("deletions")});
}

}  // namespace
}  // namespace pm
