#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "AgentRig.h"
#include "app/SettingsProgram.h"
#include "core/AppSettings.h"
#include "core/Bucket.h"
#include "core/UploadError.h"
#include "upload/BucketStore.h"

namespace pm {
namespace {

// The connections every inbox case runs with: the own service (not signed in, so not ready), an FTP
// server and an S3 bucket (both ready) and a Google Drive connection without an account (not ready).
enum class Target { none, ftp, s3, drive, unknown };

struct Connections {
  UploaderConfig own{UploaderConfig::Kind::parcelmoor};
  UploaderConfig ftp{UploaderConfig::Kind::ftp};
  UploaderConfig s3{UploaderConfig::Kind::customS3};
  UploaderConfig drive{UploaderConfig::Kind::googleDrive};

  Connections() {
    ftp.endpoint = QStringLiteral("ftp.example.com");
    s3.endpoint = QStringLiteral("https://s3.example.com");
    s3.bucketName = QStringLiteral("shared");
  }
  QList<UploaderConfig> all() const { return {own, ftp, s3, drive}; }
  std::optional<QUuid> id(Target target) const {
    switch (target) {
      case Target::none:
        return std::nullopt;
      case Target::ftp:
        return ftp.id;
      case Target::s3:
        return s3.id;
      case Target::drive:
        return drive.id;
      case Target::unknown:
        return QUuid::createUuid();
    }
    return std::nullopt;
  }
};

struct PlannedBatch {
  QStringList files;  // names under the rig's files folder; absolute paths are taken as they are
  Target target = Target::none;
};

struct DrainRow {
  const char* name;
  QList<PlannedBatch> earlier = {};  // drained before the case's own batches
  bool completeBucket = false;    // the bucket is completed before the case's batches arrive
  QList<PlannedBatch> batches = {};
  QStringList items = {};             // the bucket's items afterwards, by name
  Target uploaderFor = Target::none;  // the one connection an uploader was made for
  QStringList uploaded = {};          // files the uploader registered, in order
  QStringList failed = {};            // items that failed, each with the unreadable-file error
  int shows = 1;                      // panel shows of the case's own drain
};

struct Fixture {
  Fixture() {
    rig.storeConnections(connections.all());
    rig.launch();
    fifo = rig.root.file(QStringLiteral("files/pipe"));
    ::mkfifo(QFile::encodeName(fifo).constData(), 0600);
  }
  QString path(const QString& file) {
    if (file.startsWith(QLatin1Char('/'))) return file;
    if (file == QLatin1String("pipe")) return fifo;
    const QString existing = rig.root.file(QStringLiteral("files/") + file);
    return QFileInfo::exists(existing) ? existing : rig.writeFile(file);
  }
  void drain(const QList<PlannedBatch>& batches) {
    for (const PlannedBatch& planned : batches) {
      QStringList paths;
      for (const QString& file : planned.files) paths.append(path(file));
      rig.writeBatch(paths, connections.id(planned.target));
      // One batch per drain: their order in a listing of the folder is not defined.
      rig.delegate->drainInbox();
    }
  }
  QStringList itemNames() const {
    QStringList names;
    for (const Bucket::ItemPointer& item : rig.delegate->store().current().items())
      names.append(item->name());
    return names;
  }
  QStringList registeredNames() const {
    QStringList names;
    for (const test::ScriptedUploader* uploader : rig.uploaders)
      for (const QList<UploadUnit>& batch : uploader->registered)
        for (const UploadUnit& unit : batch) names.append(unit.relativePath);
    return names;
  }
  QStringList failedNames() const {
    QStringList names;
    for (const Bucket::ItemPointer& item : rig.delegate->store().current().items()) {
      if (item->state().kind() != BucketItem::State::Case::failed) continue;
      const QList<QList<UploadError>> errors = item->errors().values();
      if (errors == QList<QList<UploadError>>{{UploadError::fileUnreadable()}}) names.append(item->name());
    }
    return names;
  }

  test::AgentRig rig;
  Connections connections;
  QString fifo;
};

class InboxDrain : public ::testing::TestWithParam<DrainRow> {};

TEST_P(InboxDrain, TurnsBatchesIntoItemsOfTheOpenBucket) {
  const DrainRow& row = GetParam();
  Fixture fixture;
  test::AgentRig& rig = fixture.rig;
  fixture.drain(row.earlier);
  ASSERT_TRUE(
      test::runUntil([&] { return fixture.registeredNames().size() == qsizetype(row.earlier.size()); }));
  if (row.completeBucket) rig.delegate->store().current().setState(Bucket::State::completed(std::nullopt));
  const int showsBefore = rig.panel.shows;

  fixture.drain(row.batches);
  // Everything the drain leads to, the panel's showing included, may arrive on later turns of the loop.
  const auto drained = [&] {
    return fixture.registeredNames() == row.uploaded && fixture.failedNames() == row.failed &&
           fixture.itemNames() == row.items && rig.panel.shows - showsBefore == row.shows &&
           rig.inbox.loadBatches().isEmpty();
  };
  EXPECT_TRUE(test::runUntil(drained));

  EXPECT_EQ(fixture.itemNames(), row.items);
  EXPECT_EQ(fixture.registeredNames(), row.uploaded);
  EXPECT_EQ(fixture.failedNames(), row.failed);
  EXPECT_EQ(rig.uploadersMadeFor, QList<QUuid>{*fixture.connections.id(row.uploaderFor)});
  EXPECT_EQ(rig.panel.shows - showsBefore, row.shows);
  EXPECT_TRUE(rig.inbox.loadBatches().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InboxDrain,
    ::testing::Values(DrainRow{.name = "secondConnectionJoinsTheOpenBucket",
                               .earlier = {{{"a.txt"}, Target::ftp}},
                               .batches = {{{"b.txt"}, Target::s3}},
                               .items = {"a.txt", "b.txt"},
                               .uploaderFor = Target::ftp,
                               .uploaded = {"a.txt", "b.txt"}},
                      DrainRow{.name = "driveWithoutAccountGoesToTheFirstReady",
                               .batches = {{{"a.txt"}, Target::drive}},
                               .items = {"a.txt"},
                               .uploaderFor = Target::ftp,
                               .uploaded = {"a.txt"}},
                      DrainRow{.name = "unknownConnectionGoesToTheFirstReady",
                               .batches = {{{"a.txt"}, Target::unknown}},
                               .items = {"a.txt"},
                               .uploaderFor = Target::ftp,
                               .uploaded = {"a.txt"}},
                      DrainRow{.name = "noConnectionGoesToTheFirstReady",
                               .batches = {{{"a.txt"}, Target::none}},
                               .items = {"a.txt"},
                               .uploaderFor = Target::ftp,
                               .uploaded = {"a.txt"}},
                      DrainRow{.name = "ownConnectionWhenReady",
                               .batches = {{{"a.txt"}, Target::s3}},
                               .items = {"a.txt"},
                               .uploaderFor = Target::s3,
                               .uploaded = {"a.txt"}},
                      DrainRow{.name = "pathsAlreadyInTheBucketAddNothing",
                               .earlier = {{{"a.txt"}, Target::s3}},
                               .batches = {{{"a.txt"}, Target::s3}},
                               .items = {"a.txt"},
                               .uploaderFor = Target::s3,
                               .uploaded = {"a.txt"}},
                      DrainRow{.name = "completedBucketTakesNothing",
                               .earlier = {{{"a.txt"}, Target::s3}},
                               .completeBucket = true,
                               .batches = {{{"b.txt"}, Target::s3}},
                               .items = {"a.txt"},
                               .uploaderFor = Target::s3,
                               .uploaded = {"a.txt"}},
                      DrainRow{.name = "sensitiveFileWaitsForConsent",
                               .batches = {{{"notes.txt", "id_rsa"}, Target::s3}},
                               .items = {"notes.txt", "id_rsa"},
                               .uploaderFor = Target::s3,
                               .uploaded = {"notes.txt"}},
                      DrainRow{.name = "missingAndSpecialPathsFailWithoutStoppingTheDrain",
                               .batches = {{{"/no/such/file", "pipe"}, Target::s3}, {{"c.txt"}, Target::s3}},
                               .items = {"file", "pipe", "c.txt"},
                               .uploaderFor = Target::s3,
                               .uploaded = {"c.txt"},
                               .failed = {"file", "pipe"},
                               .shows = 2}),
    [](const ::testing::TestParamInfo<DrainRow>& info) { return std::string(info.param.name); });

// ---- reopening ------------------------------------------------------------------------------------

struct ReopenRow {
  const char* name;
  std::optional<int> markerAgeSeconds;
  bool drains;
};

class Reopen : public ::testing::TestWithParam<ReopenRow> {};

TEST_P(Reopen, AFreshWakeMarkerDrainsAnythingElseOpensTheSettings) {
  const ReopenRow& row = GetParam();
  test::AgentRig rig;
  AppDelegate& delegate = rig.launch();
  const QString file = rig.writeFile(QStringLiteral("a.txt"));
  rig.writeBatch({file});
  const QString marker = rig.root.paths().uploadWake();
  if (row.markerAgeSeconds) {
    rig.root.write(QStringLiteral("group/upload-wake"), {});
    rig.clock.set(QFileInfo(marker).lastModified().toUTC().addSecs(*row.markerAgeSeconds));
  }

  // Before the event loop runs, so the watcher cannot take the batch first.
  EXPECT_TRUE(delegate.reopen());

  EXPECT_EQ(rig.handedPaths(), row.drains ? QStringList{file} : QStringList{});
  EXPECT_EQ(rig.workspace.openedPrograms, row.drains ? QStringList{} : QStringList{*rig.settingsProgram});
  EXPECT_FALSE(QFile::exists(marker));
}

INSTANTIATE_TEST_SUITE_P(Rows, Reopen,
                         ::testing::Values(ReopenRow{"after9Seconds", 9, true},
                                           ReopenRow{"after11Seconds", 11, false},
                                           ReopenRow{"withoutMarker", std::nullopt, false}),
                         [](const ::testing::TestParamInfo<ReopenRow>& info) {
                           return std::string(info.param.name);
                         });

// ---- opened URLs ----------------------------------------------------------------------------------

struct UrlRow {
  const char* name;
  QStringList urls;
  QStringList accepting;
  QStringList offered;
  bool opensSettings;
};

class OpenedUrls : public ::testing::TestWithParam<UrlRow> {};

TEST_P(OpenedUrls, GoToAWaitingSignInFirstElseToTheSettings) {
  const UrlRow& row = GetParam();
  test::AgentRig rig;
  AppDelegate& delegate = rig.launch();
  for (const QString& url : row.accepting) rig.oauth.accepting.insert(url);

  delegate.openUrls(row.urls);

  EXPECT_EQ(rig.oauth.offered, row.offered);
  EXPECT_EQ(rig.workspace.openedPrograms.size(), row.opensSettings ? 1 : 0);
  EXPECT_TRUE(rig.workspace.openedUrls.isEmpty()) << "nothing handed over is opened";
}

const QString kFirst = QStringLiteral("parcelmoor://oauth/dropbox?state=s1&code=c1");
const QString kSecond = QStringLiteral("parcelmoor://oauth/onedrive?state=s2&code=c2");

INSTANTIATE_TEST_SUITE_P(
    Rows, OpenedUrls,
    ::testing::Values(UrlRow{"firstAcceptedEndsTheRound", {kFirst, kSecond}, {kFirst}, {kFirst}, false},
                      UrlRow{"laterAccepted", {kFirst, kSecond}, {kSecond}, {kFirst, kSecond}, false},
                      UrlRow{"noneAccepted", {kFirst}, {}, {kFirst}, true}, UrlRow{"empty", {}, {}, {}, true},
                      UrlRow{"otherSchemesAreNeverOffered",
                             {QStringLiteral("https://example.com/oauth?state=s1&code=c1"),
                              QStringLiteral("file:///etc/passwd")},
                             {},
                             {},
                             true},
                      UrlRow{"otherSchemeBeforeAnAcceptedOne",
                             {QStringLiteral("https://example.com/"), kFirst},
                             {kFirst},
                             {kFirst},
                             false}),
    [](const ::testing::TestParamInfo<UrlRow>& info) { return std::string(info.param.name); });

// ---- the settings program -------------------------------------------------------------------------

struct HelperRow {
  const char* name;
  bool inside;           // a settings program in Helpers/ inside the agent's folder
  bool override;         // a program named for the run
  const char* expected;  // relative to the test root
};

class SettingsProgram : public ::testing::TestWithParam<HelperRow> {};

TEST_P(SettingsProgram, IsFoundInsideElseBesideTheAgentsFolder) {
  const HelperRow& row = GetParam();
  test::AgentRig rig;
  rig.settingsProgram =
      row.override ? std::optional<QString>(rig.root.file(QStringLiteral("chosen"))) : std::nullopt;
  if (row.inside) rig.root.write(QStringLiteral("bin/Helpers/ParcelmoorSettings"), "#!/bin/sh\n");
  rig.launch().openSettingsApp();
  EXPECT_EQ(rig.workspace.openedPrograms, QStringList{rig.root.file(QString::fromLatin1(row.expected))});
}

INSTANTIATE_TEST_SUITE_P(Rows, SettingsProgram,
                         ::testing::Values(HelperRow{"inside", true, false, "bin/Helpers/ParcelmoorSettings"},
                                           HelperRow{"beside", false, false, "Helpers/ParcelmoorSettings"},
                                           HelperRow{"override", true, true, "chosen"}),
                         [](const ::testing::TestParamInfo<HelperRow>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace pm
