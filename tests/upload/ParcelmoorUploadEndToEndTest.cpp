#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QDir>
#include <QMap>
#include <QRandomGenerator>

#include <memory>

#include "SealedStreamReader.h"
#include "core/BucketHistory.h"
#include "support/FakeServiceBuckets.h"
#include "support/ServiceHarness.h"
#include "support/TestSupport.h"
#include "upload/BucketStore.h"
#include "upload/ParcelmoorUploader.h"
#include "upload/UploadSession.h"

namespace pm {
namespace {

using namespace std::chrono_literals;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAreArray;

QByteArray randomBytes(qint64 size) {
  QList<quint32> words((size + 3) / 4);
  QRandomGenerator::global()->fillRange(words.data(), words.size());
  return QByteArray(reinterpret_cast<const char*>(words.constData()), size);
}

// The own-service uploader driven by the real session and store against the fake service: what a user
// drops arrives at the service sealed, and the share link ends up in the history.
class ParcelmoorUploadEndToEndTest : public ::testing::Test {
 protected:
  ParcelmoorUploadEndToEndTest()
      : buckets(harness.service),
        history(root.file(QStringLiteral("support/buckets.json")), clock),
        store(
            history, [](const std::optional<SharedInbox::OpenBucket>&) {}, clock) {
    QDir().mkpath(temporary);
    harness.signIn();
  }

  std::shared_ptr<UploadSession> openSession() {
    return store.session(UploaderConfig(UploaderConfig::Kind::parcelmoor), [this] {
      return std::make_unique<ParcelmoorUploader>(harness.network, harness.api);
    });
  }

  test::TempRoot root;
  const QString temporary = root.file(QStringLiteral("tmp"));
  test::ManualClock clock;
  test::ServiceHarness harness;
  test::FakeServiceBuckets buckets;
  BucketHistory history;
  BucketStore store;
};

TEST_F(ParcelmoorUploadEndToEndTest, DroppedFilesAndAFolderArriveSealedAndTheLinkIsRecorded) {
  // Announced sizes above 2 MiB travel in parts of 2 MiB, listed last part first; everything smaller goes
  // in one request.
  buckets.setPartSize(2 * 1024 * 1024);
  buckets.setPartsListedInReverse(true);
  const QMap<QString, QByteArray> contents{
      {QStringLiteral("notes.txt"), randomBytes(3000)},
      {QStringLiteral("trip/big.bin"), randomBytes(5'000'000)},
      {QStringLiteral("trip/notes.txt"), randomBytes(100)},
      {QStringLiteral("trip/empty.txt"), QByteArray()},
      {QStringLiteral("notes 2.txt"), randomBytes(700)},
  };
  const QString firstNotes =
      root.write(QStringLiteral("drop/desk/notes.txt"), contents.value(QStringLiteral("notes.txt")));
  for (const QString& inFolder :
       {QStringLiteral("trip/big.bin"), QStringLiteral("trip/notes.txt"), QStringLiteral("trip/empty.txt")})
    root.write(QStringLiteral("drop/") + inFolder, contents.value(inFolder));
  // A second file of the same name, from elsewhere.
  const QString secondNotes =
      root.write(QStringLiteral("drop/elsewhere/notes.txt"), contents.value(QStringLiteral("notes 2.txt")));

  const std::shared_ptr<UploadSession> session = openSession();
  const std::shared_ptr<Bucket> bucket = store.currentPointer();
  session->enqueue({firstNotes, root.file(QStringLiteral("drop/trip")), secondNotes});
  ASSERT_TRUE(test::runUntil(
      [&] {
        const auto items = bucket->items();
        return items.size() == 3 && std::all_of(items.cbegin(), items.cend(), [](const auto& item) {
                 return item->state().kind() == BucketItem::State::Case::uploaded;
               });
      },
      20s));
  ASSERT_TRUE(session->canFinish());

  const std::optional<ResponseItem> finished = test::wait(session->finish());
  ASSERT_EQ(buckets.buckets().size(), 1);
  const test::FakeServiceBuckets::Bucket stored = buckets.buckets().first();
  const QUrl link = buckets.shareUrl(stored.id);
  EXPECT_EQ(finished, ResponseItem::copied(link));
  EXPECT_TRUE(stored.sealed);
  ASSERT_FALSE(history.records().isEmpty());
  EXPECT_EQ(history.records().last().shareURL, link);
  EXPECT_EQ(history.records().last().id, bucket->id());

  QStringList paths;
  for (const auto& file : stored.files) {
    paths.append(file.path);
    EXPECT_TRUE(file.isComplete()) << file.path.toStdString();
    EXPECT_EQ(file.partSize.has_value(), file.path == QLatin1String("trip/big.bin"))
        << file.path.toStdString();
    const test::OpenedStream opened = test::openSealedStream(stored.key, file.stream());
    ASSERT_TRUE(opened.ok()) << file.path.toStdString() << ": " << opened.failure.toStdString();
    EXPECT_EQ(opened.plaintext, contents.value(file.path)) << file.path.toStdString();
  }
  EXPECT_THAT(paths, UnorderedElementsAreArray(contents.keys()));
  EXPECT_EQ(stored.file(QStringLiteral("trip/big.bin"))->partCount, 3);
  EXPECT_THAT(QDir(temporary).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), IsEmpty());
}

}  // namespace
}  // namespace pm
