#include <QNetworkAccessManager>

#include <cmath>

#include <QCoroTask>
#include <gtest/gtest.h>

#include "core/BucketHistory.h"
#include "support/ScriptedUploader.h"
#include "support/TestSupport.h"
#include "upload/BucketStore.h"
#include "upload/UploadSession.h"

namespace pm {
namespace {

using namespace std::chrono_literals;
using test::ScriptedUploader;
using State = BucketItem::State::Case;

class UploadSessionTest : public ::testing::Test {
 protected:
  UploadSessionTest()
      : history(root.file(QStringLiteral("support/buckets.json")), clock),
        store(history, [this](const std::optional<SharedInbox::OpenBucket>& open) { published.append(open); }, clock) {}

  // Opens the store's session with a fresh scripted uploader and returns both.
  std::shared_ptr<UploadSession> open(UploaderConfig config = UploaderConfig(UploaderConfig::Kind::customS3)) {
    return store.session(config, [this] {
      auto made = std::make_unique<ScriptedUploader>(network);
      uploader = made.get();
      return made;
    });
  }

  QString file(const QString& relative, qsizetype size = 10) {
    return root.write(QStringLiteral("files/") + relative, QByteArray(size, 'x'));
  }

  Bucket::ItemPointer itemFor(const QString& url) const {
    for (const auto& item : store.current().items()) {
      if (item->url() == url) return item;
    }
    return nullptr;
  }

  bool settled(const QString& url) const {
    const auto item = itemFor(url);
    return item && (item->state().kind() == State::uploaded || item->state().kind() == State::failed);
  }

  test::TempRoot root;
  test::ManualClock clock;
  QNetworkAccessManager network;
  BucketHistory history;
  QList<std::optional<SharedInbox::OpenBucket>> published;
  BucketStore store;
  ScriptedUploader* uploader = nullptr;
};

TEST_F(UploadSessionTest, AtMostFourItemsUploadAtOnceAndTheFifthStartsWhenOneEnds) {
  auto session = open();
  QStringList urls;
  for (int n = 0; n < 5; ++n) urls.append(file(QStringLiteral("f%1.txt").arg(n)));
  uploader->held = {QStringLiteral("f0.txt"), QStringLiteral("f1.txt"), QStringLiteral("f2.txt"),
                    QStringLiteral("f3.txt"), QStringLiteral("f4.txt")};
  session->enqueue(urls);
  ASSERT_TRUE(test::runUntil([&] { return uploader->started.size() == 4; }));
  test::spin(30ms);
  EXPECT_EQ(uploader->started.size(), 4);
  EXPECT_EQ(session->queued().size(), 1);
  EXPECT_EQ(uploader->registered.size(), 1) << "one batch for everything that was pending";

  const QString first = uploader->started.first();
  uploader->release(first);
  ASSERT_TRUE(test::runUntil([&] { return uploader->started.size() == 5; }));
  uploader->releaseAll();
  ASSERT_TRUE(test::runUntil([&] { return session->canFinish(); }));
  EXPECT_EQ(uploader->maxInFlight, 4);
  for (const QString& url : urls) EXPECT_EQ(itemFor(url)->state().kind(), State::uploaded);
}

TEST_F(UploadSessionTest, ALargeBatchEntersOverSeveralTurnsInTheOrderGivenAndUploadsInThatOrder) {
  auto session = open();
  constexpr qsizetype kSlice = UploadSession::kItemsAddedPerTurn;
  QStringList first;
  for (qsizetype n = 0; n < 2 * kSlice + 7; ++n) first.append(file(QStringLiteral("a%1.txt").arg(n)));
  QStringList second{file(QStringLiteral("b0.txt")), first.at(3), file(QStringLiteral("b1.txt"))};
  int changes = 0;
  QObject::connect(&store.current(), &Bucket::itemsChanged, [&] { ++changes; });

  session->enqueue(first + QStringList{first.at(kSlice + 1)});
  EXPECT_EQ(store.current().items().size(), kSlice) << "only the first slice enters before enqueue returns";
  EXPECT_FALSE(session->canFinish());
  // Arriving while the first batch still enters: behind it, and a path already given counts once.
  session->enqueue(second);
  ASSERT_TRUE(test::runUntil([&] { return session->arriving().isEmpty() && session->canFinish(); }));
  EXPECT_GE(changes, 3);

  const QStringList expected = first + QStringList{second.at(0), second.at(2)};
  QStringList inBucket;
  for (const auto& item : store.current().items()) inBucket.append(item->url());
  EXPECT_EQ(inBucket, expected);
  QStringList uploaded;
  for (const QString& started : uploader->started) uploaded.append(root.path() + QStringLiteral("/files/") + started);
  EXPECT_EQ(uploaded, expected) << "uploads start in the order the files came";
  for (const QString& url : expected) EXPECT_EQ(itemFor(url)->state().kind(), State::uploaded);
}

// A drop hands its list over and lets go of it at once; batches given so, one behind another, still enter
// whole and in order, slices running across their ends.
TEST_F(UploadSessionTest, BatchesLetGoOfByTheirCallerEnterWholeAndInOrder) {
  auto session = open();
  constexpr qsizetype kSlice = UploadSession::kItemsAddedPerTurn;
  QStringList expected;
  for (const qsizetype size : {kSlice + 5, qsizetype(3), 2 * kSlice - 1}) {
    QStringList batch;
    for (qsizetype n = 0; n < size; ++n)
      batch.append(file(QStringLiteral("%1-%2.txt").arg(expected.size() + n).arg(size)));
    expected.append(batch);
    session->enqueue(std::exchange(batch, {}));
  }
  EXPECT_EQ(session->arriving(), expected.sliced(kSlice));
  ASSERT_TRUE(test::runUntil([&] { return session->arriving().isEmpty() && session->canFinish(); }));

  QStringList inBucket;
  for (const auto& item : store.current().items()) inBucket.append(item->url());
  EXPECT_EQ(inBucket, expected);
  QStringList uploaded;
  for (const QString& started : uploader->started) uploaded.append(root.path() + QStringLiteral("/files/") + started);
  EXPECT_EQ(uploaded, expected);
}

// Which files are folders is read beside the main thread for every slice after the first; each item still
// gets its own answer.
TEST_F(UploadSessionTest, FoldersInLaterSlicesAreTakenAsFolders) {
  auto session = open();
  constexpr qsizetype kSlice = UploadSession::kItemsAddedPerTurn;
  QStringList urls;
  for (qsizetype n = 0; n < kSlice + 3; ++n) urls.append(file(QStringLiteral("f%1.txt").arg(n)));
  file(QStringLiteral("album/one.jpg"));
  file(QStringLiteral("album/two.jpg"));
  const QString album = root.path() + QStringLiteral("/files/album");
  urls.insert(kSlice + 1, album);
  session->enqueue(urls);
  ASSERT_TRUE(test::runUntil([&] { return session->arriving().isEmpty() && session->canFinish(); }));

  QStringList inBucket;
  for (const auto& item : store.current().items()) {
    inBucket.append(item->url());
    EXPECT_EQ(item->isDirectory(), item->url() == album) << qPrintable(item->url());
    EXPECT_EQ(item->state().kind(), State::uploaded) << qPrintable(item->url());
  }
  EXPECT_EQ(inBucket, urls);
  EXPECT_EQ(session->units(itemFor(album)->id()).size(), 2);
}

TEST_F(UploadSessionTest, SettleRulesForFoldersAndSingleFiles) {
  auto session = open();
  const QString folder = QFileInfo(file(QStringLiteral("Three/a.txt"))).absolutePath();
  file(QStringLiteral("Three/b.txt"));
  file(QStringLiteral("Three/c.txt"));
  const QString both = QFileInfo(file(QStringLiteral("Two/x.txt"))).absolutePath();
  file(QStringLiteral("Two/y.txt"));
  const QString single = file(QStringLiteral("single.txt"));
  uploader->failing = {{QStringLiteral("Three/b.txt"), UploadError::http(500)},
                       {QStringLiteral("Two/x.txt"), UploadError::http(500)},
                       {QStringLiteral("Two/y.txt"), UploadError::http(503)},
                       {QStringLiteral("single.txt"), UploadError::transport(QStringLiteral("reset"))}};
  session->enqueue({folder, both, single});
  ASSERT_TRUE(test::runUntil([&] { return settled(folder) && settled(both) && settled(single); }));

  const auto three = itemFor(folder);
  EXPECT_EQ(three->state().kind(), State::uploaded) << "one failed file of three does not fail the folder";
  EXPECT_EQ(three->errors().value(QStringLiteral("Three/b.txt")), QList<UploadError>{UploadError::http(500)});
  EXPECT_EQ(uploader->started.count(QStringLiteral("Three/c.txt")) + uploader->started.count(QStringLiteral("Three/a.txt")), 2);
  EXPECT_EQ(session->itemSent(three->id()), session->itemTotal(three->id()));
  EXPECT_EQ(itemFor(both)->state().kind(), State::failed);
  EXPECT_EQ(itemFor(single)->state().kind(), State::failed);
  EXPECT_TRUE(session->canFinish());
}

TEST_F(UploadSessionTest, UnitWithoutDestinationOrRefusalIsNotRegistered) {
  auto session = open();
  const QString folder = QFileInfo(file(QStringLiteral("F/1.txt"))).absolutePath();
  file(QStringLiteral("F/2.txt"));
  file(QStringLiteral("F/3.txt"));
  QString dropped;
  uploader->registerScript = [&](const QList<UploadUnit>& units) {
    Registration registration;
    for (qsizetype n = 0; n < units.size() - 1; ++n) registration.destinations.append({units[n].id, QUrl(), {}, {}});
    dropped = units.last().relativePath;
    return registration;
  };
  session->enqueue({folder});
  ASSERT_TRUE(test::runUntil([&] { return settled(folder); }));
  const auto item = itemFor(folder);
  EXPECT_EQ(item->state().kind(), State::uploaded);
  EXPECT_EQ(item->errors().value(dropped), QList<UploadError>{UploadError::notRegistered()});
  EXPECT_EQ(uploader->started.size(), 2);
}

TEST_F(UploadSessionTest, RefusedUnitCarriesTheRefusal) {
  auto session = open();
  const QString url = file(QStringLiteral("big.iso"));
  uploader->registerScript = [](const QList<UploadUnit>& units) {
    Registration registration;
    registration.refused.insert(units.first().id, UploadError::rejected(QStringLiteral("Too large.")));
    registration.refused.insert(QUuid::createUuid(), UploadError::rejected(QStringLiteral("ignored")));
    return registration;
  };
  session->enqueue({url});
  ASSERT_TRUE(test::runUntil([&] { return settled(url); }));
  EXPECT_EQ(itemFor(url)->state().kind(), State::failed);
  EXPECT_EQ(itemFor(url)->errors().value(QStringLiteral("big.iso")),
            QList<UploadError>{UploadError::rejected(QStringLiteral("Too large."))});
}

TEST_F(UploadSessionTest, FailingRegistrationFailsItsItemsAndQueuesNothing) {
  auto session = open();
  const QString a = file(QStringLiteral("a.txt"));
  const QString folder = QFileInfo(file(QStringLiteral("D/1.txt"))).absolutePath();
  file(QStringLiteral("D/2.txt"));
  uploader->registerFailure = UploadError::quotaExceeded(QStringLiteral("Over quota."));
  session->enqueue({a, folder});
  ASSERT_TRUE(test::runUntil([&] { return settled(a) && settled(folder); }));
  EXPECT_EQ(itemFor(a)->state().kind(), State::failed);
  EXPECT_EQ(itemFor(folder)->state().kind(), State::failed) << "one error per unit reaches the unit count";
  EXPECT_EQ(itemFor(folder)->errors().size(), 2);
  EXPECT_TRUE(session->queued().isEmpty());
  EXPECT_TRUE(uploader->started.isEmpty());
  EXPECT_FALSE(session->canFinish()) << "nothing was uploaded";
}

TEST_F(UploadSessionTest, SensitiveItemWaitsForApprovalOrRemoval) {
  auto session = open();
  const QString plain = file(QStringLiteral("notes.txt"));
  const QString secret = file(QStringLiteral("prod.env"));
  session->enqueue({plain, secret});
  ASSERT_TRUE(test::runUntil([&] { return settled(plain); }));
  test::spin(20ms);
  EXPECT_EQ(itemFor(secret)->state().kind(), State::registering);
  EXPECT_FALSE(session->canFinish());

  session->approve(itemFor(secret)->id());
  ASSERT_TRUE(test::runUntil([&] { return settled(secret); }));
  EXPECT_TRUE(session->canFinish());

  const QString another = file(QStringLiteral("id_rsa"));
  session->enqueue({another});
  EXPECT_FALSE(session->canFinish());
  session->remove(itemFor(another)->id());
  EXPECT_TRUE(session->canFinish());
}

TEST_F(UploadSessionTest, RemovingTheOnlyUploadingItemCancelsWithdrawsAndDiscards) {
  auto session = open();
  const QString url = file(QStringLiteral("movie.mov"));
  uploader->held = {QStringLiteral("movie.mov")};
  session->enqueue({url});
  ASSERT_TRUE(test::runUntil([&] { return session->runningItemCount() == 1; }));
  const QUuid id = itemFor(url)->id();
  session->remove(id);
  EXPECT_FALSE(store.session());
  EXPECT_TRUE(store.current().items().isEmpty());
  EXPECT_EQ(published.last(), std::nullopt);
  ASSERT_TRUE(test::runUntil([&] { return !uploader->withdrawn.isEmpty() && !uploader->finished.isEmpty(); }));
  EXPECT_EQ(uploader->withdrawn.first().itemID, id);
  EXPECT_TRUE(history.records().isEmpty());
}

TEST_F(UploadSessionTest, RemovingAQueuedItemDropsItBeforeItStarts) {
  auto session = open();
  QStringList urls;
  for (int n = 0; n < 5; ++n) urls.append(file(QStringLiteral("q%1.txt").arg(n)));
  for (int n = 0; n < 5; ++n) uploader->held.insert(QStringLiteral("q%1.txt").arg(n));
  session->enqueue(urls);
  ASSERT_TRUE(test::runUntil([&] { return session->queued().size() == 1; }));
  const QUuid waiting = session->queued().first();
  session->remove(waiting);
  EXPECT_TRUE(session->queued().isEmpty());
  uploader->releaseAll();
  ASSERT_TRUE(test::runUntil([&] { return session->canFinish(); }));
  EXPECT_EQ(uploader->started.size(), 4);
  ASSERT_EQ(uploader->withdrawn.size(), 1);
  EXPECT_EQ(uploader->withdrawn.first().itemID, waiting);
}

TEST_F(UploadSessionTest, RemovalIsRefusedWhenTheUploaderForbidsIt) {
  auto session = open();
  const QString url = file(QStringLiteral("a.txt"));
  session->enqueue({url});
  ASSERT_TRUE(test::runUntil([&] { return settled(url); }));
  uploader->removalAllowed = false;
  session->remove(itemFor(url)->id());
  EXPECT_TRUE(itemFor(url));
}

TEST_F(UploadSessionTest, FailedFinishKeepsEverythingAndASecondFinishSucceeds) {
  auto session = open();
  const QString url = file(QStringLiteral("a.txt"));
  session->enqueue({url});
  ASSERT_TRUE(test::runUntil([&] { return session->canFinish(); }));
  const QUrl link(QStringLiteral("https://share.example/b/1"));
  uploader->finalizeFailures = {UploadError::http(502)};
  uploader->finalizeResults = {ResponseItem::copiedBox(link, QStringLiteral("ABCD-EFGH-JK"))};

  EXPECT_EQ(test::wait(session->finish()), std::nullopt);
  EXPECT_EQ(session->phase(), UploadSession::Phase::failed(UploadError::http(502)));
  EXPECT_TRUE(session->canFinish());
  EXPECT_EQ(store.session(), session);
  EXPECT_TRUE(history.records().isEmpty());

  const auto result = test::wait(session->finish());
  EXPECT_EQ(result, ResponseItem::copiedBox(link, QStringLiteral("ABCD-EFGH-JK")));
  EXPECT_EQ(session->phase(), UploadSession::Phase::done(link));
  EXPECT_EQ(uploader->finalizeCalls, 2);
  ASSERT_EQ(history.records().size(), 1);
  EXPECT_EQ(history.records().first().shareURL, link);
  EXPECT_FALSE(session->canFinish());
  EXPECT_EQ(test::wait(session->finish()), std::nullopt) << "done is final";
}

// The share goes without what failed in the bucket, whichever way it failed; the finished result names
// those files so the user learns of them. An empty folder lacks no file.
TEST_F(UploadSessionTest, TheFinishedResultNamesTheFilesThatFailed) {
  auto session = open();
  const QString folder = QFileInfo(file(QStringLiteral("Three/a.txt"))).absolutePath();
  file(QStringLiteral("Three/b.txt"));
  file(QStringLiteral("Three/c.txt"));
  const QString refused = file(QStringLiteral("big.iso"));
  const QString whole = file(QStringLiteral("whole.txt"));
  const QString empty = root.file(QStringLiteral("files/Empty"));
  ASSERT_TRUE(QDir().mkpath(empty));
  uploader->failing = {{QStringLiteral("Three/b.txt"), UploadError::http(500)}};
  uploader->registerScript = [](const QList<UploadUnit>& units) {
    Registration registration;
    for (const UploadUnit& unit : units) {
      if (unit.relativePath == QLatin1String("big.iso")) {
        registration.refused.insert(unit.id, UploadError::rejected(QStringLiteral("Too large.")));
      } else {
        registration.destinations.append({unit.id, QUrl(), {}, {}});
      }
    }
    return registration;
  };
  session->enqueue({folder, refused, whole, empty});
  ASSERT_TRUE(test::runUntil([&] { return session->canFinish(); }));
  uploader->finalizeResults = {ResponseItem::copied(QUrl(QStringLiteral("https://share.example/b/1")))};

  const std::optional<ResponseItem> result = test::wait(session->finish());
  ASSERT_TRUE(result);
  QStringList missing = result->missingFiles;
  missing.sort();
  EXPECT_EQ(missing, (QStringList{QStringLiteral("Three/b.txt"), QStringLiteral("big.iso")}));
  EXPECT_EQ(result->missingCount(), 2);
}

TEST_F(UploadSessionTest, AWholeShareNamesNoMissingFile) {
  auto session = open();
  session->enqueue({file(QStringLiteral("a.txt")), file(QStringLiteral("b.txt"))});
  ASSERT_TRUE(test::runUntil([&] { return session->canFinish(); }));
  const std::optional<ResponseItem> result = test::wait(session->finish());
  ASSERT_TRUE(result);
  EXPECT_EQ(result->missingCount(), 0);
}

TEST_F(UploadSessionTest, ProgressCountsEndedUnitsPlusTheShareInFlight) {
  auto session = open();
  const QString folder = QFileInfo(file(QStringLiteral("P/a.bin"), 400)).absolutePath();
  file(QStringLiteral("P/b.bin"), 600);
  qint64 firstSize = 0;
  qint64 secondSize = 0;
  uploader->onStart = [&](const UploadUnit& unit, const ProgressCallback& progress) {
    if (firstSize == 0) {
      firstSize = unit.size;
      return;
    }
    secondSize = unit.size;
    uploader->held.insert(unit.relativePath);
    progress(0.5);
  };
  session->enqueue({folder});
  const auto expected = [&] { return (double(firstSize) + 0.5 * double(secondSize)) / 1000.0; };
  ASSERT_TRUE(test::runUntil(
      [&] { return secondSize != 0 && std::abs(itemFor(folder)->state().fraction() - expected()) < 1e-9; }));
  test::spin(10ms);  // nothing moves it further
  EXPECT_DOUBLE_EQ(itemFor(folder)->state().fraction(), (double(firstSize) + 0.5 * double(secondSize)) / 1000.0);
  EXPECT_DOUBLE_EQ(itemFor(folder)->state().fraction(), firstSize == 400 ? 0.7 : 0.8);

  uploader->releaseAll();
  ASSERT_TRUE(test::runUntil([&] { return settled(folder); }));
  EXPECT_EQ(itemFor(folder)->state().kind(), State::uploaded);
}

TEST_F(UploadSessionTest, AFinishedUnitsLastReportIsNotCountedTwice) {
  auto session = open();
  const QString folder = QFileInfo(file(QStringLiteral("Q/a.bin"), 400)).absolutePath();
  file(QStringLiteral("Q/b.bin"), 600);
  qint64 firstSize = 0;
  bool secondStarted = false;
  // The first unit reports 1.0 as it ends; the second stays in flight without a report.
  uploader->onStart = [&](const UploadUnit& unit, const ProgressCallback&) {
    if (firstSize == 0) {
      firstSize = unit.size;
      return;
    }
    uploader->held.insert(unit.relativePath);
    secondStarted = true;
  };
  session->enqueue({folder});
  ASSERT_TRUE(test::runUntil([&] {
    return secondStarted && std::abs(itemFor(folder)->state().fraction() - double(firstSize) / 1000.0) < 1e-9;
  }));
  test::spin(20ms);  // a second count of the ended unit would show by now
  EXPECT_DOUBLE_EQ(itemFor(folder)->state().fraction(), double(firstSize) / 1000.0);

  uploader->releaseAll();
  ASSERT_TRUE(test::runUntil([&] { return settled(folder); }));
}

TEST_F(UploadSessionTest, LateProgressNeverMovesASettledItem) {
  auto session = open();
  const QString url = file(QStringLiteral("late.txt"));
  ProgressCallback keep;
  uploader->onStart = [&](const UploadUnit&, const ProgressCallback& progress) { keep = progress; };
  session->enqueue({url});
  ASSERT_TRUE(test::runUntil([&] { return settled(url); }));
  keep(0.3);
  test::spin(20ms);
  EXPECT_EQ(itemFor(url)->state(), BucketItem::State::uploaded());
}

TEST_F(UploadSessionTest, CancellationTheSessionDidNotCauseIsAFailure) {
  auto session = open();
  const QString url = file(QStringLiteral("a.txt"));
  uploader->failing = {{QStringLiteral("a.txt"), UploadError::cancelled()}};
  session->enqueue({url});
  ASSERT_TRUE(test::runUntil([&] { return settled(url); }));
  EXPECT_EQ(itemFor(url)->state().kind(), State::failed);
  EXPECT_EQ(itemFor(url)->errors().value(QStringLiteral("a.txt")), QList<UploadError>{UploadError::cancelled()});
}

TEST_F(UploadSessionTest, FilesArrivingWhileFinishingJoinTheNextBucketAndRemovalWaits) {
  auto session = open();
  const QString first = file(QStringLiteral("first.txt"));
  session->enqueue({first});
  ASSERT_TRUE(test::runUntil([&] { return session->canFinish(); }));
  const QUrl link(QStringLiteral("https://share.example/b/2"));
  uploader->finalizeResults = {ResponseItem::copied(link)};
  ScriptedUploader* finishing = uploader;

  auto finishing_task = session->finish();
  ASSERT_EQ(session->phase().kind(), UploadSession::Phase::Case::finalizing);
  const QString late = file(QStringLiteral("late.txt"));
  session->enqueue({late});
  session->remove(itemFor(first)->id());
  EXPECT_TRUE(itemFor(first)) << "the item is already part of the share being finished";
  EXPECT_EQ(store.current().items().size(), 1);

  const auto result = test::wait(std::move(finishing_task));
  EXPECT_EQ(result, ResponseItem::copied(link));
  ASSERT_TRUE(store.session());
  EXPECT_NE(store.session(), session);
  EXPECT_NE(uploader, finishing);
  EXPECT_EQ(store.buckets().size(), 2);
  ASSERT_EQ(store.current().items().size(), 1);
  EXPECT_EQ(store.current().items().first()->url(), late);
  ASSERT_TRUE(test::runUntil([&] { return settled(late); }));
}

TEST_F(UploadSessionTest, FilesArrivingWhileAFinishFailsJoinTheSameBucket) {
  auto session = open();
  const QString first = file(QStringLiteral("first.txt"));
  session->enqueue({first});
  ASSERT_TRUE(test::runUntil([&] { return session->canFinish(); }));
  uploader->finalizeFailures = {UploadError::http(500)};
  auto finishing = session->finish();
  const QString late = file(QStringLiteral("late.txt"));
  session->enqueue({late});
  test::wait(std::move(finishing));
  ASSERT_TRUE(test::runUntil([&] { return settled(late); }));
  EXPECT_EQ(store.current().items().size(), 2);
  EXPECT_EQ(store.buckets().size(), 1);
}

// ---- the store ----------------------------------------------------------------------------------------

TEST_F(UploadSessionTest, StoreKeepsOneSessionWhateverTheConnection) {
  UploaderConfig s3(UploaderConfig::Kind::customS3);
  s3.name = QStringLiteral("Archive");
  auto first = open(s3);
  ASSERT_EQ(published.size(), 1);
  EXPECT_EQ(published.first()->uploaderID, s3.id);
  EXPECT_EQ(published.first()->displayName, QStringLiteral("Archive"));
  EXPECT_EQ(published.first()->startedAt, clock.now());
  EXPECT_EQ(first->store(), &store);

  int made = 0;
  auto second = store.session(UploaderConfig(UploaderConfig::Kind::ftp), [&] {
    ++made;
    return std::make_unique<ScriptedUploader>(network);
  });
  EXPECT_EQ(second, first);
  EXPECT_EQ(made, 0);
  EXPECT_EQ(published.size(), 1);
}

TEST_F(UploadSessionTest, StoreCompletesWithAndWithoutALink) {
  for (const std::optional<QUrl>& link : {std::optional<QUrl>(QUrl(QStringLiteral("https://s.example/1"))),
                                          std::optional<QUrl>()}) {
    open();
    const auto finished = store.currentPointer();
    const qsizetype before = history.records().size();
    store.complete(link);
    EXPECT_EQ(finished->state(), Bucket::State::completed(link));
    ASSERT_EQ(history.records().size(), before + 1);
    EXPECT_EQ(history.records().last().shareURL, link);
    EXPECT_FALSE(store.session());
    EXPECT_EQ(published.last(), std::nullopt);
    EXPECT_NE(store.currentPointer(), finished);
    EXPECT_EQ(store.buckets().last(), store.currentPointer());
    EXPECT_TRUE(store.current().state().isOpen());
    EXPECT_TRUE(store.current().items().isEmpty());
  }
}

TEST_F(UploadSessionTest, DiscardingLeavesTheBucketAndTheHistoryAlone) {
  auto session = open();
  const auto bucket = store.currentPointer();
  store.discardSession();
  EXPECT_FALSE(store.session());
  EXPECT_EQ(store.currentPointer(), bucket);
  EXPECT_EQ(store.buckets().size(), 1);
  EXPECT_TRUE(history.records().isEmpty());
  EXPECT_EQ(published.last(), std::nullopt);
  session->enqueue({file(QStringLiteral("after.txt"))});
  EXPECT_TRUE(bucket->items().isEmpty()) << "a discarded session starts nothing";
}

}  // namespace
}  // namespace pm
