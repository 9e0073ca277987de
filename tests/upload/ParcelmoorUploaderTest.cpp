#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTimer>

#include <memory>
#include <vector>

#include "SealedStreamReader.h"
#include "core/Identifiers.h"
#include "core/JsonDecoding.h"
#include "platform/Crypto.h"
#include "support/FakeServiceBuckets.h"
#include "support/FakeUploadServer.h"
#include "support/ServiceHarness.h"
#include "support/StallingSink.h"
#include "support/TestSupport.h"
#include "support/UploadErrorTesting.h"
#include "upload/ParcelmoorUploader.h"
#include "upload/SealedParts.h"

namespace pm {
namespace {

using namespace std::chrono_literals;
using ::testing::DoubleNear;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Not;
using Reply = test::FakeService::Reply;

const QString kChanged = QStringLiteral("This file changed while it was being uploaded.");
constexpr qint64 kOneGiB = qint64(1) << 30;
// The fake service numbers everything it makes from one counter: the first bucket is "bucket-1".
const QString kFirstBucket = QStringLiteral("bucket-1");

using test::failureOf;

// What the process has read so far through read calls of any kind ("rchar"): sealing reads every byte it
// seals, so this tells how far the sealing got.
qint64 bytesReadByProcess() {
  QFile io(QStringLiteral("/proc/self/io"));
  if (!io.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : io.readAll().split('\n'))
    if (line.startsWith("rchar:")) return line.mid(6).trimmed().toLongLong();
  return -1;
}

QByteArray randomBytes(qint64 size) {
  QByteArray bytes(size, Qt::Uninitialized);
  for (char& byte : bytes) byte = char(QRandomGenerator::global()->bounded(256));
  return bytes;
}

using test::RandomSourceFailing;

class ParcelmoorUploaderTest : public ::testing::Test {
 protected:
  ParcelmoorUploaderTest() : buckets(harness.service) {
    QDir().mkpath(temporary);
    qputenv("TMPDIR", temporary.toLocal8Bit());
    harness.signIn();
    uploader = makeUploader();
  }
  ~ParcelmoorUploaderTest() override {
    if (formerTemporary.isNull()) {
      qunsetenv("TMPDIR");
    } else {
      qputenv("TMPDIR", formerTemporary);
    }
  }

  std::unique_ptr<ParcelmoorUploader> makeUploader() {
    return std::make_unique<ParcelmoorUploader>(harness.network, harness.api);
  }

  // A unit of a file written with `bytes` under `relativePath`.
  UploadUnit unit(const QString& relativePath, const QByteArray& bytes = QByteArrayLiteral("hello")) {
    const QString path = root.write(QStringLiteral("files/%1/%2").arg(++written).arg(relativePath), bytes);
    return UploadUnit{QUuid::createUuid(), QUuid::createUuid(), path, relativePath, bytes.size()};
  }

  Registration registerUnits(const QList<UploadUnit>& units) {
    return test::wait(uploader->registerUnits(units));
  }

  void upload(const UploadUnit& unit, ProgressCallback progress) {
    test::wait(uploader->upload(unit, {}, std::move(progress), {}));
  }

  // The "files" of every announcement, in the order they were sent.
  QList<QJsonObject> announced() const {
    QList<QJsonObject> files;
    for (const auto& request :
         harness.service.requests("POST", QStringLiteral("buckets/%1/files").arg(kFirstBucket)))
      for (const QJsonValue& file : request.json().value(QStringLiteral("files")).toArray())
        files.append(file.toObject());
    return files;
  }

  QStringList announcedPaths() const {
    QStringList paths;
    for (const QJsonObject& file : announced()) paths.append(file.value(QStringLiteral("path")).toString());
    return paths;
  }

  QByteArray bucketKey() const { return buckets.bucket(kFirstBucket).value().key; }

  // The next announcement is answered with `files` (and `rejected`, when given) instead of a real plan.
  void scriptPlan(const QJsonArray& files, const QJsonObject& rejected = {}) {
    QJsonObject answer{{QStringLiteral("files"), files}};
    if (!rejected.isEmpty()) answer.insert(QStringLiteral("rejected"), rejected);
    harness.service.script("POST", QStringLiteral("buckets/%1/files").arg(kFirstBucket), Reply::json(answer));
  }

  // What the system's temporary folder (pointed at `temporary` for the test) holds.
  QStringList temporaryFolder() const {
    return QDir(temporary).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
  }

  // A unit of a file of `size` bytes that takes no room on disk.
  UploadUnit sparseUnit(const QString& relativePath, qint64 size) {
    const QString path = root.write(QStringLiteral("files/%1/%2").arg(++written).arg(relativePath), {});
    EXPECT_TRUE(QFile::resize(path, size));
    return UploadUnit{QUuid::createUuid(), QUuid::createUuid(), path, relativePath, size};
  }

  // The next announcement plans `file` as one request to `url`.
  void scriptSinglePlan(const UploadUnit& file, const QUrl& url) {
    scriptPlan(QJsonArray{QJsonObject{{QStringLiteral("id"), QStringLiteral("f1")},
                                      {QStringLiteral("path"), file.relativePath},
                                      {QStringLiteral("url"), url.toString()}}});
    registerUnits({file});
  }

  int uploadsReceived() const {
    int count = 0;
    for (const auto& request : harness.service.requests()) count += request.method == "PUT" ? 1 : 0;
    return count;
  }

  test::TempRoot root;
  const QString temporary = root.file(QStringLiteral("tmp"));
  const QByteArray formerTemporary = qgetenv("TMPDIR");
  // A peer that takes the first bytes of a request and then stops reading, as a slow network would.
  test::StallingSink sink;
  const CancelTokenPtr cancel = makeCancelToken();
  // Before the harness, so the harness's network access manager closes its connections before the
  // server stops instead of the server waiting them out.
  test::FakeUploadServer storage;
  test::ServiceHarness harness;
  test::FakeServiceBuckets buckets;
  std::unique_ptr<ParcelmoorUploader> uploader;
  int written = 0;
};

// ---- opening the bucket ---------------------------------------------------------------------------------

TEST_F(ParcelmoorUploaderTest, BucketOpensOnceUnderOneKeyAndAFailedOpeningIsTriedAgain) {
  harness.service.script("POST", QStringLiteral("buckets"), Reply::error(503, QStringLiteral("UNAVAILABLE")));
  EXPECT_EQ(failureOf(uploader->registerUnits({unit(QStringLiteral("a.txt"))})).kind(),
            UploadError::Kind::rejected);
  EXPECT_EQ(harness.service.requests().size(), 1) << "nothing is announced without a bucket";

  registerUnits({unit(QStringLiteral("b.txt"))});
  registerUnits({});
  const auto openings = harness.service.requests("POST", QStringLiteral("buckets"));
  ASSERT_EQ(openings.size(), 2);
  const QString sentKey = openings.at(0).json().value(QStringLiteral("key")).toString();
  EXPECT_EQ(sentKey.size(), 44);
  EXPECT_EQ(openings.at(1).json().value(QStringLiteral("key")).toString(), sentKey) << "the same key again";
  EXPECT_EQ(QByteArray::fromBase64(sentKey.toLatin1()), bucketKey());
  EXPECT_EQ(harness.service.count("POST", QStringLiteral("buckets/%1/files").arg(kFirstBucket)), 2)
      << "an empty announcement is still sent";
  EXPECT_EQ(test::wait(uploader->ensureBucket()), kFirstBucket);
}

TEST_F(ParcelmoorUploaderTest, FailedRandomSourceLeavesNoKeyAndSendsNothing) {
  {
    const RandomSourceFailing failing;
    uploader = makeUploader();
  }
  const UploadError error = failureOf(uploader->registerUnits({unit(QStringLiteral("a.txt"))}));
  EXPECT_EQ(error.kind(), UploadError::Kind::rejected);
  EXPECT_THAT(error.message().toStdString(), ::testing::HasSubstr("random"));
  EXPECT_THAT(harness.service.requests(), IsEmpty());
}

TEST_F(ParcelmoorUploaderTest, FailedRandomSourceWhileSealingFailsTheUnitAndSendsNoPart) {
  const UploadUnit file = unit(QStringLiteral("a.txt"));
  registerUnits({file});
  const RandomSourceFailing failing;
  const UploadError error = failureOf(uploader->upload(file, {}, {}, {}));
  EXPECT_EQ(error.kind(), UploadError::Kind::transport);
  EXPECT_THAT(error.message().toStdString(), ::testing::HasSubstr("random"));
  EXPECT_EQ(uploadsReceived(), 0);
  EXPECT_THAT(temporaryFolder(), IsEmpty());
}

// ---- announcing -----------------------------------------------------------------------------------------

TEST_F(ParcelmoorUploaderTest, DuplicatePathsAreNumberedAndStayTakenAfterAWithdrawal) {
  const QList<UploadUnit> three{unit(QStringLiteral("a/b.txt")), unit(QStringLiteral("a/b.txt")),
                                unit(QStringLiteral("a/b.txt"))};
  const Registration first = registerUnits(three);
  ASSERT_EQ(first.destinations.size(), 3);
  test::wait(uploader->withdraw({three.at(0)}));
  registerUnits({unit(QStringLiteral("a/b.txt"))});

  EXPECT_THAT(announcedPaths(), ElementsAre(QStringLiteral("a/b.txt"), QStringLiteral("a/b 2.txt"),
                                            QStringLiteral("a/b 3.txt"), QStringLiteral("a/b 4.txt")));
  const auto withdrawn = buckets.bucket(kFirstBucket).value().file(QStringLiteral("a/b.txt"));
  ASSERT_TRUE(withdrawn);
  EXPECT_TRUE(withdrawn->withdrawn);
  EXPECT_EQ(harness.service
                .requests("DELETE", QStringLiteral("buckets/%1/files/%2").arg(kFirstBucket, withdrawn->id))
                .size(),
            1);
}

TEST_F(ParcelmoorUploaderTest, AnnouncementCarriesTheSealedLengthAndTheContentType) {
  struct Case {
    QString path;
    qint64 size;
    qint64 announced;
    QString contentType;
  };
  const QList<Case> cases{
      {QStringLiteral("empty.txt"), 0, 36, QStringLiteral("text/plain")},
      {QStringLiteral("one chunk.png"), 4'194'304, 4'194'340, QStringLiteral("image/png")},
      {QStringLiteral("two chunks"), 4'194'305, 4'194'369, QStringLiteral("application/octet-stream")},
  };
  QList<UploadUnit> units;
  for (const Case& c : cases)
    units.append(UploadUnit{QUuid::createUuid(), QUuid::createUuid(), root.file(c.path), c.path, c.size});
  registerUnits(units);

  const QList<QJsonObject> files = announced();
  ASSERT_EQ(files.size(), cases.size());
  for (qsizetype i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(files.at(i).value(QStringLiteral("path")).toString(), cases.at(i).path);
    EXPECT_EQ(files.at(i).value(QStringLiteral("size")).toInteger(), cases.at(i).announced)
        << cases.at(i).path.toStdString();
    EXPECT_EQ(files.at(i).value(QStringLiteral("contentType")).toString(), cases.at(i).contentType);
  }
}

TEST_F(ParcelmoorUploaderTest, RefusalsAndUnusablePlansBecomeTheUnitsFailures) {
  const QMap<QString, UploadError> expected{
      {QStringLiteral("path.txt"),
       UploadError::rejected(QStringLiteral("The service would not accept this file's name."))},
      {QStringLiteral("size.txt"),
       UploadError::rejected(QStringLiteral("The service would not accept this file's size."))},
      {QStringLiteral("large.txt"),
       UploadError::rejected(QStringLiteral("This file is too large for a box."))},
      {QStringLiteral("lower.txt"), UploadError::rejected(QStringLiteral("too_large"))},
      {QStringLiteral("other.txt"), UploadError::rejected(QStringLiteral("QUOTA_EXCEEDED"))},
      {QStringLiteral("no-url.txt"), UploadError::notRegistered()},
      {QStringLiteral("relative-url.txt"), UploadError::notRegistered()},
      {QStringLiteral("bad-part.txt"), UploadError::notRegistered()},
  };
  QMap<QString, UploadUnit> units;
  for (const QString& path : expected.keys()) units.insert(path, unit(path));
  const UploadUnit accepted = unit(QStringLiteral("fine.txt"));

  const QString url = storage.url(QStringLiteral("/fine")).toString();
  scriptPlan(
      QJsonArray{
          QJsonObject{{QStringLiteral("id"), QStringLiteral("f1")},
                      {QStringLiteral("path"), QStringLiteral("fine.txt")},
                      {QStringLiteral("url"), url}},
          QJsonObject{{QStringLiteral("id"), QStringLiteral("f2")},
                      {QStringLiteral("path"), QStringLiteral("no-url.txt")},
                      {QStringLiteral("partSize"), 100},
                      {QStringLiteral("parts"), QJsonArray{}}},
          QJsonObject{{QStringLiteral("id"), QStringLiteral("f3")},
                      {QStringLiteral("path"), QStringLiteral("relative-url.txt")},
                      {QStringLiteral("url"), QStringLiteral("/uploads/f3")}},
          QJsonObject{
              {QStringLiteral("id"), QStringLiteral("f4")},
              {QStringLiteral("path"), QStringLiteral("bad-part.txt")},
              {QStringLiteral("partSize"), 100},
              {QStringLiteral("parts"),
               QJsonArray{QJsonObject{{QStringLiteral("partNumber"), 1}, {QStringLiteral("url"), url}},
                          QJsonObject{{QStringLiteral("partNumber"), 2},
                                      {QStringLiteral("url"), QStringLiteral("not a url")}}}}},
          QJsonObject{{QStringLiteral("id"), QStringLiteral("f5")},
                      {QStringLiteral("path"), QStringLiteral("nobody.txt")},
                      {QStringLiteral("url"), url}},
      },
      QJsonObject{{QStringLiteral("path.txt"), QStringLiteral("INVALID_PATH")},
                  {QStringLiteral("size.txt"), QStringLiteral("INVALID_SIZE")},
                  {QStringLiteral("large.txt"), QStringLiteral("TOO_LARGE")},
                  {QStringLiteral("lower.txt"), QStringLiteral("too_large")},
                  {QStringLiteral("other.txt"), QStringLiteral("QUOTA_EXCEEDED")},
                  {QStringLiteral("nobody-either.txt"), QStringLiteral("TOO_LARGE")}});

  QList<UploadUnit> all = units.values();
  all.append(accepted);
  const Registration registration = registerUnits(all);

  EXPECT_THAT(registration.destinations,
              ElementsAre(UploadDestination{accepted.id, QUrl(url), QStringLiteral("PUT"), {}}));
  EXPECT_EQ(registration.refused.size(), expected.size());
  for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
    const auto refusal = registration.refused.constFind(units.value(it.key()).id);
    ASSERT_NE(refusal, registration.refused.cend()) << it.key().toStdString();
    EXPECT_EQ(*refusal, it.value()) << it.key().toStdString();
  }
  EXPECT_EQ(failureOf(uploader->upload(units.value(QStringLiteral("no-url.txt")), {}, {}, {})),
            UploadError::notRegistered());
}

TEST_F(ParcelmoorUploaderTest, AnswerThatDoesNotDecodeFailsTheRegistrationAndKeepsThePathsTaken) {
  for (const QByteArray& body :
       {QByteArray(R"({"rejected": {}})"),
        QByteArray(R"({"files": [{"id": "f1", "path": "a.txt", "partSize": "big"}]})"),
        QByteArray(R"({"files": [], "rejected": {"a.txt": 4}})")}) {
    harness.service.script("POST", QStringLiteral("buckets/%1/files").arg(kFirstBucket),
                           Reply::raw(200, body, "application/json"));
    EXPECT_THROW(registerUnits({unit(QStringLiteral("a.txt"))}), std::exception) << body.toStdString();
  }
  const UploadUnit last = unit(QStringLiteral("a.txt"));
  const Registration registration = registerUnits({last});
  EXPECT_EQ(announcedPaths().last(), QStringLiteral("a 4.txt"));
  ASSERT_EQ(registration.destinations.size(), 1);
  EXPECT_EQ(registration.destinations.first().unitID, last.id);
}

// Naming the files, writing the announcement and reading the plan happen on a worker and come back whole:
// every file of a folder of many thousand is planned. (How long the main thread is held meanwhile depends
// on the machine; scripts/bench-agent-cost measures the agent's cost at such sizes.)
TEST_F(ParcelmoorUploaderTest, RegisteringTwentyThousandFilesPlansEveryOne) {
  QList<UploadUnit> units;
  QJsonArray plan;
  for (int i = 0; i < 20'000; ++i) {
    const QString path = QStringLiteral("folder/file %1.txt").arg(i);
    units.append(UploadUnit{QUuid::createUuid(), QUuid::createUuid(), root.file(path), path, 1024});
    plan.append(QJsonObject{{QStringLiteral("id"), QStringLiteral("file-%1").arg(i)},
                            {QStringLiteral("path"), path},
                            {QStringLiteral("url"), QStringLiteral("http://127.0.0.1:9/u/%1").arg(i)}});
  }
  // Answered ready-made, and uncompressed: the fake service would take seconds to plan and compress so
  // many files, none of which the test is about.
  harness.service.script(
      "POST", QStringLiteral("buckets/%1/files").arg(kFirstBucket),
      Reply::raw(200,
                 QJsonDocument(QJsonObject{{QStringLiteral("files"), plan}}).toJson(QJsonDocument::Compact),
                 "application/octet-stream"));
  const Registration registration = registerUnits(units);
  EXPECT_EQ(registration.destinations.size(), units.size());
  EXPECT_TRUE(registration.refused.isEmpty());
}

// A folder of a hundred thousand files would be planned in one answer far larger than an answer may be: a
// batch is announced a slice at a time, each slice's plan within the limit, and every file is planned once.
TEST_F(ParcelmoorUploaderTest, ALargeBatchIsAnnouncedInSlicesWhosePlansEachFitAnAnswer) {
  ParcelmoorAPI::Options options = test::ServiceHarness::optionsFor(harness.service);
  options.maximumAnswerSize = 1 << 20;
  ParcelmoorAPI api(harness.network, harness.keychain, options);
  ParcelmoorUploader sliced(harness.network, api);
  const qsizetype count = 2 * ParcelmoorUploader::kFilesPerAnnouncement + 1;
  QList<UploadUnit> units;
  for (qsizetype i = 0; i < count; ++i) {
    const QString path = QStringLiteral("folder/a file with a longish name %1.txt").arg(i);
    units.append(UploadUnit{QUuid::createUuid(), QUuid::createUuid(), root.file(path), path, 1024});
  }
  const Registration registration = test::wait(sliced.registerUnits(units));

  EXPECT_EQ(registration.destinations.size(), count);
  EXPECT_TRUE(registration.refused.isEmpty());
  EXPECT_EQ(harness.service.count("POST", QStringLiteral("buckets/%1/files").arg(kFirstBucket)), 3);
  const QStringList paths = announcedPaths();
  EXPECT_EQ(paths.size(), count);
  EXPECT_EQ(QSet<QString>(paths.begin(), paths.end()).size(), count);
}

// ---- uploading ------------------------------------------------------------------------------------------

TEST_F(ParcelmoorUploaderTest, SingleRequestPlanSendsTheWholeStreamWithThePlannedMethodAndHeaders) {
  const QByteArray bytes = randomBytes(5000);
  const UploadUnit file = unit(QStringLiteral("photo.jpg"), bytes);
  // A part size with no parts is still a single-request plan.
  scriptPlan(QJsonArray{QJsonObject{
      {QStringLiteral("id"), QStringLiteral("f1")},
      {QStringLiteral("path"), QStringLiteral("photo.jpg")},
      {QStringLiteral("url"), storage.url(QStringLiteral("/whole")).toString()},
      {QStringLiteral("method"), QStringLiteral("POST")},
      {QStringLiteral("headers"), QJsonObject{{QStringLiteral("X-Upload-Token"), QStringLiteral("t-1")}}},
      {QStringLiteral("partSize"), 1000},
      {QStringLiteral("parts"), QJsonArray{}}}});
  registerUnits({file});
  std::vector<double> progress;
  upload(file, [&progress](double fraction) { progress.push_back(fraction); });

  const auto received = storage.requests();
  ASSERT_EQ(received.size(), 1);
  EXPECT_EQ(received.first().method, "POST");
  EXPECT_EQ(received.first().headers.value("x-upload-token"), "t-1");
  EXPECT_EQ(received.first().body.size(), sealedLength(bytes.size()));
  const test::OpenedStream opened = test::openSealedStream(bucketKey(), received.first().body);
  ASSERT_TRUE(opened.ok()) << opened.failure.toStdString();
  EXPECT_EQ(opened.plaintext, bytes);
  EXPECT_EQ(harness.service.count("POST", QStringLiteral("buckets/%1/files/f1").arg(kFirstBucket)), 0)
      << "a single request needs no confirmation";
  ASSERT_FALSE(progress.empty());
  EXPECT_DOUBLE_EQ(progress.back(), 1.0);
}

TEST_F(ParcelmoorUploaderTest, PartsAreSentInOrderAndConfirmedWithTheirTagsAsReceived) {
  // 2,000 bytes seal into 2,036: with parts of 1,000 bytes that is three part files.
  const QByteArray bytes = randomBytes(2000);
  const UploadUnit file = unit(QStringLiteral("big.bin"), bytes);
  const auto part = [this](int number) {
    return QJsonObject{{QStringLiteral("partNumber"), number},
                       {QStringLiteral("url"), storage.url(QStringLiteral("/p%1").arg(number)).toString()}};
  };
  scriptPlan(QJsonArray{QJsonObject{{QStringLiteral("id"), QStringLiteral("f1")},
                                    {QStringLiteral("path"), QStringLiteral("big.bin")},
                                    {QStringLiteral("partSize"), 1000},
                                    {QStringLiteral("parts"), QJsonArray{part(3), part(1), part(2)}}}});
  storage.setAnswer(QStringLiteral("/p1"), {200, {{"ETag", R"("tag-one")"}}, {}, 0ms});
  storage.setAnswer(QStringLiteral("/p2"), {200, {{"etag", "tag-two"}}, {}, 0ms});
  storage.setAnswer(QStringLiteral("/p3"), {200, {{"Etag", R"(W/"tag-three")"}}, {}, 0ms});
  const QString confirmation = QStringLiteral("buckets/%1/files/f1").arg(kFirstBucket);
  harness.service.script("POST", confirmation, Reply::json(QJsonObject{}));
  registerUnits({file});

  std::vector<double> progress;
  upload(file, [&progress](double fraction) { progress.push_back(fraction); });

  QStringList order;
  QByteArray stream;
  for (const auto& request : storage.requests()) {
    order.append(request.path);
    EXPECT_EQ(request.method, "PUT");
    stream += request.body;
  }
  EXPECT_THAT(order, ElementsAre(QStringLiteral("/p1"), QStringLiteral("/p2"), QStringLiteral("/p3")));
  const test::OpenedStream opened = test::openSealedStream(bucketKey(), stream);
  ASSERT_TRUE(opened.ok()) << opened.failure.toStdString();
  EXPECT_EQ(opened.plaintext, bytes);

  const auto confirmations = harness.service.requests("POST", confirmation);
  ASSERT_EQ(confirmations.size(), 1);
  EXPECT_EQ(QJsonDocument(confirmations.first().json()).toJson(QJsonDocument::Compact),
            QByteArray(R"({"parts":[{"etag":"\"tag-one\"","partNumber":1},{"etag":"tag-two","partNumber":2},)"
                       R"({"etag":"W/\"tag-three\"","partNumber":3}]})"));

  ASSERT_FALSE(progress.empty());
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
  for (const double completed : {1.0 / 3, 2.0 / 3, 1.0})
    EXPECT_THAT(progress, ::testing::Contains(DoubleNear(completed, 1e-9)));
  EXPECT_DOUBLE_EQ(progress.back(), 1.0);
}

TEST_F(ParcelmoorUploaderTest, PartFailuresStopTheUnitWithoutConfirmation) {
  struct Case {
    const char* name;
    test::FakeUploadServer::Answer first;
    UploadError expected;
  };
  const QList<Case> cases{
      {"no entity tag",
       {200, {}, {}, 0ms},
       UploadError::transport(QStringLiteral("The storage service did not confirm every part."))},
      {"refused", {500, {{"ETag", "x"}}, {}, 0ms}, UploadError::http(500)},
  };
  for (qsizetype i = 0; i < cases.size(); ++i) {
    const Case& c = cases.at(i);
    // 1,000 bytes seal into 1,036: two parts of at most 1,000.
    const QString path = QStringLiteral("case-%1.bin").arg(i);
    const QString fileID = QStringLiteral("f%1").arg(i);
    const UploadUnit file = unit(path, randomBytes(1000));
    QJsonArray parts;
    for (int number = 1; number <= 2; ++number) {
      const QString partPath = QStringLiteral("/%1-p%2").arg(i).arg(number);
      parts.append(QJsonObject{{QStringLiteral("partNumber"), number},
                               {QStringLiteral("url"), storage.url(partPath).toString()}});
      storage.setAnswer(
          partPath, number == 1 ? c.first : test::FakeUploadServer::Answer{200, {{"ETag", "y"}}, {}, 0ms});
    }
    scriptPlan(QJsonArray{QJsonObject{{QStringLiteral("id"), fileID},
                                      {QStringLiteral("path"), path},
                                      {QStringLiteral("partSize"), 1000},
                                      {QStringLiteral("parts"), parts}}});
    registerUnits({file});

    EXPECT_EQ(failureOf(uploader->upload(file, {}, {}, {})), c.expected) << c.name;
    EXPECT_EQ(storage.requests().size(), i + 1) << c.name << ": nothing after the failed part";
    EXPECT_EQ(harness.service.count("POST", QStringLiteral("buckets/%1/files/%2").arg(kFirstBucket, fileID)),
              0)
        << c.name;
    EXPECT_THAT(temporaryFolder(), IsEmpty()) << c.name;
  }
}

TEST_F(ParcelmoorUploaderTest, FileThatChangedSizeSinceItsRegistrationIsNotSent) {
  struct Case {
    const char* name;
    qint64 registeredSize;
    qint64 sizeAtUpload;
  };
  // Announced sizes above 1,000 get parts of 1,000; 500 bytes go in one request.
  buckets.setPartSize(1000);
  const QList<Case> cases{{"single, grown", 500, 5500},  {"single, shrunk", 500, 250},
                          {"parts, grown", 3000, 8000},  {"parts, grown by a byte", 3000, 3001},
                          {"parts, shrunk", 3000, 1500}, {"parts, emptied", 3000, 0}};
  for (const Case& c : cases) {
    const UploadUnit file = unit(QStringLiteral("file.bin"), randomBytes(c.registeredSize));
    registerUnits({file});
    ASSERT_TRUE(QFile::resize(file.url, c.sizeAtUpload));

    EXPECT_EQ(failureOf(uploader->upload(file, {}, {}, {})), UploadError::rejected(kChanged)) << c.name;
  }
  EXPECT_EQ(uploadsReceived(), 0);
  EXPECT_THAT(temporaryFolder(), IsEmpty());
}

TEST_F(ParcelmoorUploaderTest, NothingIsWrittenToTheTemporaryFolderWhileUnitsUpload) {
  // 3,000,000 bytes seal into 3,000,036: three parts of at most 1,048,576 bytes, each answered slowly.
  buckets.setPartSize(1'048'576);
  const QByteArray bytes = randomBytes(3'000'000);
  const UploadUnit file = unit(QStringLiteral("large.bin"), bytes);
  registerUnits({file});
  const QString fileID = buckets.bucket(kFirstBucket)->file(QStringLiteral("large.bin"))->id;
  for (int number = 1; number <= 3; ++number)
    harness.service.delayNext("PUT", QStringLiteral("uploads/%1/%2/%3").arg(kFirstBucket, fileID).arg(number),
                              100ms);
  QCoro::Task<> running = uploader->upload(file, {}, {}, {});

  int uploadsSeen = 0;
  while (test::runUntil([&] { return uploadsReceived() > uploadsSeen; }) && uploadsReceived() < 3) {
    uploadsSeen = uploadsReceived();
    EXPECT_THAT(temporaryFolder(), IsEmpty()) << "after part " << uploadsSeen;
  }
  EXPECT_NO_THROW(test::wait(std::move(running)));
  EXPECT_EQ(uploadsReceived(), 3);
  const auto stored = buckets.bucket(kFirstBucket)->file(QStringLiteral("large.bin"));
  ASSERT_TRUE(stored && stored->isComplete());
  EXPECT_EQ(test::openSealedStream(bucketKey(), stored->stream()).plaintext, bytes);
  EXPECT_THAT(temporaryFolder(), IsEmpty());
}

TEST_F(ParcelmoorUploaderTest, FirstBytesLeaveBeforeTheFileIsSealedToItsEnd) {
  const UploadUnit file = sparseUnit(QStringLiteral("disk.img"), kOneGiB);
  scriptSinglePlan(file, sink.url());
  const qint64 readBefore = bytesReadByProcess();
  QCoro::Task<> running = uploader->upload(file, {}, {}, cancel);

  ASSERT_TRUE(test::runUntil([&] { return sink.received().contains("\r\n\r\nPMR1"); }));
  EXPECT_LT(bytesReadByProcess() - readBefore, kOneGiB / 8) << "only the first records are sealed";
  // The network stops taking bytes, so the sealing stops too: a few records ahead, never the file.
  test::spin(300ms);
  EXPECT_LT(bytesReadByProcess() - readBefore, kOneGiB / 8);
  EXPECT_THAT(temporaryFolder(), IsEmpty());

  cancel->cancel();
  EXPECT_EQ(failureOf(std::move(running)), UploadError::cancelled());
}

TEST_F(ParcelmoorUploaderTest, CancellingStopsTheSealingAtOnce) {
  const UploadUnit file = sparseUnit(QStringLiteral("disk.img"), kOneGiB);
  scriptSinglePlan(file, sink.url());
  const qint64 readBefore = bytesReadByProcess();
  QCoro::Task<> running = uploader->upload(file, {}, {}, cancel);
  // The sink in this process reads through the same counter: it has taken all it takes before the count.
  ASSERT_TRUE(test::runUntil([&] {
    return bytesReadByProcess() - readBefore >= kSealedChunkSize && sink.received().size() >= 64 * 1024;
  }));

  cancel->cancel();
  const qint64 readAtCancel = bytesReadByProcess();
  UploadError outcome = UploadError::notImplemented();
  try {
    test::wait(std::move(running));
  } catch (const UploadError& error) {
    outcome = error;
  }
  EXPECT_EQ(outcome, UploadError::cancelled()) << "ends at once, not after sealing the file";
  // The records already under way (two at most) finish; nothing after them. (Measuring reads a little.)
  test::spin(300ms);
  EXPECT_LE(bytesReadByProcess() - readAtCancel, 2 * kSealedChunkSize + 64 * 1024);
  EXPECT_THAT(temporaryFolder(), IsEmpty());
}

TEST_F(ParcelmoorUploaderTest, FileThatChangesWhileItStreamsFailsAsChanged) {
  const UploadUnit file = sparseUnit(QStringLiteral("disk.img"), kOneGiB);
  scriptSinglePlan(file, sink.url());
  QCoro::Task<> running = uploader->upload(file, {}, {}, cancel);
  ASSERT_TRUE(test::runUntil([&] { return sink.received().contains("\r\n\r\nPMR1"); }));

  ASSERT_TRUE(QFile::resize(file.url, 8 * kSealedChunkSize));
  sink.takeEverything();
  EXPECT_EQ(failureOf(std::move(running)), UploadError::rejected(kChanged));
}

// ---- without a plan -------------------------------------------------------------------------------------

TEST_F(ParcelmoorUploaderTest, NothingIsSentForWhatWasNeverRegistered) {
  const UploadUnit stranger = unit(QStringLiteral("stranger.txt"));
  EXPECT_EQ(failureOf(uploader->finalize()), UploadError::notRegistered());
  EXPECT_EQ(failureOf(uploader->upload(stranger, {}, {}, {})), UploadError::notRegistered());
  test::wait(uploader->withdraw({stranger}));
  EXPECT_THAT(harness.service.requests(), IsEmpty());

  registerUnits({unit(QStringLiteral("known.txt"))});
  harness.service.clearLog();
  test::wait(uploader->withdraw({stranger}));
  EXPECT_EQ(failureOf(uploader->upload(stranger, {}, {}, {})), UploadError::notRegistered());
  EXPECT_THAT(harness.service.requests(), IsEmpty());
}

TEST_F(ParcelmoorUploaderTest, FailedWithdrawalIsIgnoredAndTheNextUnitFollows) {
  const UploadUnit first = unit(QStringLiteral("first.txt"));
  const UploadUnit second = unit(QStringLiteral("second.txt"));
  registerUnits({first, second});
  const auto bucket = buckets.bucket(kFirstBucket).value();
  const QString firstPath =
      QStringLiteral("buckets/%1/files/%2").arg(kFirstBucket, bucket.file(QStringLiteral("first.txt"))->id);
  const QString secondPath =
      QStringLiteral("buckets/%1/files/%2").arg(kFirstBucket, bucket.file(QStringLiteral("second.txt"))->id);
  harness.service.script("DELETE", firstPath, Reply::error(500));

  EXPECT_NO_THROW(test::wait(uploader->withdraw({first, second})));
  EXPECT_EQ(harness.service.count("DELETE", firstPath), 1);
  EXPECT_EQ(harness.service.count("DELETE", secondPath), 1);
  EXPECT_TRUE(buckets.bucket(kFirstBucket)->file(QStringLiteral("second.txt"))->withdrawn);
  EXPECT_EQ(failureOf(uploader->upload(first, {}, {}, {})), UploadError::notRegistered())
      << "its plan is gone";
}

TEST_F(ParcelmoorUploaderTest, AStoredFileKeepsOnlyWhatWithdrawingItNeeds) {
  const UploadUnit file = unit(QStringLiteral("stored.txt"));
  registerUnits({file});
  upload(file, {});
  ASSERT_EQ(uploadsReceived(), 1);
  const QString filePath =
      QStringLiteral("buckets/%1/files/%2")
          .arg(kFirstBucket, buckets.bucket(kFirstBucket)->file(QStringLiteral("stored.txt"))->id);

  EXPECT_EQ(failureOf(uploader->upload(file, {}, {}, {})), UploadError::notRegistered())
      << "its upload URLs were let go once it was stored";
  EXPECT_EQ(uploadsReceived(), 1);
  test::wait(uploader->withdraw({file}));
  EXPECT_EQ(harness.service.count("DELETE", filePath), 1);
  EXPECT_TRUE(buckets.bucket(kFirstBucket)->file(QStringLiteral("stored.txt"))->withdrawn);
}

// ---- sealing the bucket ---------------------------------------------------------------------------------

TEST_F(ParcelmoorUploaderTest, OnlyASealWithAReadableLinkEndsRemoval) {
  registerUnits({unit(QStringLiteral("a.txt"))});
  const QString seal = QStringLiteral("buckets/%1/seal").arg(kFirstBucket);
  harness.service.script("POST", seal, Reply::error(502));
  harness.service.script("POST", seal,
                         Reply::json(QJsonObject{{QStringLiteral("url"), QStringLiteral("no link")},
                                                 {QStringLiteral("files"), 1},
                                                 {QStringLiteral("missing"), 0}}));
  harness.service.script(
      "POST", seal, Reply::json(QJsonObject{{QStringLiteral("url"), QStringLiteral("https://s.example/1")}}));

  EXPECT_EQ(failureOf(uploader->finalize()).kind(), UploadError::Kind::rejected) << "the service refused";
  EXPECT_TRUE(uploader->allowsRemoval());
  EXPECT_EQ(failureOf(uploader->finalize()),
            UploadError::transport(QStringLiteral("The service sent a share link we could not read.")));
  EXPECT_TRUE(uploader->allowsRemoval());
  EXPECT_THROW(test::wait(uploader->finalize()), JsonDecodingError);
  EXPECT_TRUE(uploader->allowsRemoval());

  EXPECT_EQ(test::wait(uploader->finalize()), ResponseItem::copied(buckets.shareUrl(kFirstBucket)));
  EXPECT_FALSE(uploader->allowsRemoval());
  EXPECT_TRUE(buckets.bucket(kFirstBucket)->sealed);
}

// The service counts every listed file it does not hold. Those whose upload failed here the session names
// itself; only what the service lacks beyond them is left for the result to count.
TEST_F(ParcelmoorUploaderTest, TheSealCountsOnlyTheMissingFilesNoFailureHereExplains) {
  const UploadUnit stored = unit(QStringLiteral("stored.txt"));
  const UploadUnit failed = unit(QStringLiteral("failed.txt"));
  const UploadUnit withdrawn = unit(QStringLiteral("withdrawn.txt"));
  registerUnits({stored, failed, withdrawn});
  upload(stored, {});
  test::wait(uploader->withdraw({withdrawn}));
  const QString seal = QStringLiteral("buckets/%1/seal").arg(kFirstBucket);
  const struct {
    std::optional<qint64> answered;  // nothing: the fake service counts
    qint64 unnamed;
  } rows[] = {{std::nullopt, 0}, {1, 0}, {4, 3}, {0, 0}};
  for (const auto& row : rows) {
    if (row.answered)
      harness.service.script("POST", seal,
                             Reply::json(QJsonObject{{QStringLiteral("url"), QStringLiteral("https://s.example/1")},
                                                     {QStringLiteral("files"), 1},
                                                     {QStringLiteral("missing"), *row.answered}}));
    const ResponseItem result = test::wait(uploader->finalize());
    EXPECT_EQ(result.unnamedMissingFiles, row.unnamed) << row.answered.value_or(-1);
    EXPECT_TRUE(result.missingFiles.isEmpty());
  }
}

}  // namespace
}  // namespace pm
