#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QRandomGenerator>

#include "BackgroundUpload.h"
#include "LocalUnits.h"
#include "UploadErrorPrinting.h"
#include "connectors/OAuthCredentials.h"
#include "connectors/OneDriveSignIn.h"
#include "connectors/OneDriveUploader.h"
#include "core/Identifiers.h"
#include "platform/Keychain.h"
#include "support/FakeMicrosoft.h"
#include "support/LogCapture.h"
#include "support/TestSupport.h"
#include "support/UploadErrorTesting.h"

namespace pm {
namespace {

using namespace std::chrono_literals;
using test::FakeMicrosoft;
using test::registerAndUpload;

QByteArray randomBytes(qint64 size) {
  QByteArray bytes(size, Qt::Uninitialized);
  for (qint64 i = 0; i < size; ++i) bytes[i] = char(QRandomGenerator::global()->bounded(256));
  return bytes;
}

QByteArray sha256Of(const QString& path) {
  QFile file(path);
  QCryptographicHash hash(QCryptographicHash::Sha256);
  if (file.open(QIODevice::ReadOnly)) hash.addData(&file);
  return hash.result();
}

class OneDriveUploaderTest : public testing::Test {
 protected:
  OneDriveUploaderTest() {
    config_.keyPrefix = QStringLiteral("Uploads/");
    storeCredentials(3600);
  }

  void storeCredentials(qint64 validForSeconds) {
    OAuthCredentials::save(
        keychain_,
        OAuthCredentials{QStringLiteral("refresh-1"), QStringLiteral("ada@outlook.com"),
                         QStringLiteral("stored-access"), clock_.now().addSecs(validForSeconds)},
        config_.id, OAuthProvider::microsoft);
  }

  std::unique_ptr<OneDriveUploader> uploader(qint64 pieceSize = OneDriveUploader::kPieceSize) {
    return std::make_unique<OneDriveUploader>(config_, network_, keychain_, signIn_, temporary(), pieceSize);
  }

  QString temporary() const { return root_.file(QStringLiteral("tmp")); }

  UploadUnit unit(const QString& relativePath, const QByteArray& bytes = "content") {
    const QString path =
        root_.write(QStringLiteral("files/") + QUuid::createUuid().toString(QUuid::WithoutBraces), bytes);
    return UploadUnit{QUuid::createUuid(), QUuid::createUuid(), path, relativePath, bytes.size()};
  }

  // A unit for a file of `size` zero bytes that takes no room on disk.
  UploadUnit sparseUnit(const QString& relativePath, qint64 size) {
    UploadUnit made = unit(relativePath, {});
    QFile(made.url).resize(size);
    made.size = size;
    return made;
  }

  QString bucket() const { return QStringLiteral("Uploads/") + timestampFolderName(clock_.now()); }

  QStringList pieceRanges() const {
    QStringList ranges;
    for (const auto& request : microsoft_.requests(QStringLiteral("/upload/")))
      if (request.method == "PUT") ranges.append(QString::fromLatin1(request.header("Content-Range")));
    return ranges;
  }

  QStringList leftInTemporary() const {
    QStringList left;
    QDir folder(temporary());
    for (const QFileInfo& entry :
         folder.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
      left.append(entry.fileName());
    return left;
  }

  FakeMicrosoft microsoft_;
  test::ManualClock clock_;
  test::TempRoot root_;
  QNetworkAccessManager network_;
  MemoryKeychain keychain_;
  UploaderConfig config_{UploaderConfig::Kind::oneDrive};
  std::shared_ptr<const OneDriveSignIn> signIn_ = std::make_shared<OneDriveSignIn>(
      network_, BundleInfo({{QStringLiteral("MICROSOFT_CLIENT_ID"), QStringLiteral("client")}}), clock_,
      nullptr, nullptr,
      OneDriveSignInOptions{{microsoft_.url(QStringLiteral("/v1.0/")), microsoft_.url()}, {}});
};

TEST_F(OneDriveUploaderTest, PiecesFollowGraphsRangeRules) {
  constexpr qint64 piece = OneDriveUploader::kPieceSize;
  static_assert(piece == 32'768'000 && piece % FakeMicrosoft::kRangeUnit == 0);
  const struct {
    const char* name;
    qint64 size;
    QStringList ranges;
  } table[] = {
      {"empty", 0, {QString()}},
      {"one byte", 1, {QStringLiteral("bytes 0-0/1")}},
      {"exactly one piece", piece, {QStringLiteral("bytes 0-32767999/32768000")}},
      {"one piece and a byte",
       piece + 1,
       {QStringLiteral("bytes 0-32767999/32768001"), QStringLiteral("bytes 32768000-32768000/32768001")}},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    const qsizetype before = microsoft_.requests(QStringLiteral("/upload/")).size();
    auto drive = uploader();
    const UploadUnit sent = sparseUnit(QStringLiteral("%1.bin").arg(QLatin1String(row.name)), row.size);
    const Registration registration = test::wait(drive->registerUnits({sent}));
    ASSERT_EQ(registration.destinations.size(), 1);
    QList<double> progress;
    test::wait(
        drive->upload(sent, registration.destinations.first(), [&](double f) { progress.append(f); }, {}));

    EXPECT_EQ(pieceRanges().mid(before), row.ranges);
    for (const auto& request : microsoft_.requests(QStringLiteral("/upload/")).mid(before)) {
      EXPECT_EQ(request.method, "PUT");
      EXPECT_FALSE(request.headers.contains("authorization"));
      EXPECT_EQ(request.headers.contains("content-range"), row.size > 0);
    }
    ASSERT_FALSE(progress.isEmpty());
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(progress.last(), 1.0);
    const QString name = QStringLiteral("%1.bin").arg(QLatin1String(row.name));
    const QList<FakeMicrosoft::Item> items = microsoft_.items();
    const auto stored =
        std::find_if(items.begin(), items.end(), [&](const auto& item) { return item.name == name; });
    ASSERT_NE(stored, items.end());
    EXPECT_EQ(stored->parent, drive->bucketFolderID().value_or(QString()));
    EXPECT_EQ(stored->size, row.size);
    EXPECT_EQ(stored->sha256, sha256Of(sent.url));
    EXPECT_EQ(microsoft_.openSessions(), 0);
    EXPECT_TRUE(leftInTemporary().isEmpty()) << leftInTemporary().join(QLatin1Char(' ')).toStdString();
  }
}

TEST_F(OneDriveUploaderTest, EveryRangeButTheLastIsAMultipleOf320KiB) {
  // 1,000,000 requested: 983,040 bytes (three units) a piece.
  auto drive = uploader(1'000'000);
  const QByteArray bytes = randomBytes(2'500'000);
  const UploadUnit sent = unit(QStringLiteral("random.bin"), bytes);
  const Registration registration = test::wait(drive->registerUnits({sent}));
  QList<double> progress;
  test::wait(
      drive->upload(sent, registration.destinations.first(), [&](double f) { progress.append(f); }, {}));

  EXPECT_EQ(pieceRanges(), (QStringList{"bytes 0-983039/2500000", "bytes 983040-1966079/2500000",
                                        "bytes 1966080-2499999/2500000"}));
  const QList<FakeMicrosoft::Request> puts = microsoft_.requests(QStringLiteral("/upload/"));
  for (qsizetype i = 0; i + 1 < puts.size(); ++i) EXPECT_EQ(puts[i].body.size() % 327'680, 0);
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
  EXPECT_GT(progress.size(), 3);
  EXPECT_EQ(progress.last(), 1.0);
  bool found = false;
  for (const FakeMicrosoft::Item& item : microsoft_.items()) {
    if (item.folder) continue;
    found = true;
    EXPECT_EQ(item.size, bytes.size());
    EXPECT_EQ(item.sha256, QCryptographicHash::hash(bytes, QCryptographicHash::Sha256));
  }
  EXPECT_TRUE(found);
  EXPECT_TRUE(leftInTemporary().isEmpty());
}

TEST_F(OneDriveUploaderTest, PathsKeepTheirPiecesNumberRepeatsAndArriveEncoded) {
  config_.keyPrefix = QStringLiteral("a//b/");
  auto drive = uploader();
  const QList<UploadUnit> units{unit(QStringLiteral("/x.txt")),
                                unit(QStringLiteral("a.jpg")),
                                unit(QStringLiteral("a.jpg")),
                                unit(QStringLiteral("a.jpg")),
                                unit(QStringLiteral("notes")),
                                unit(QStringLiteral("notes")),
                                unit(QStringLiteral("Photos/#1 100%.txt")),
                                unit(QStringLiteral("Photos/é.txt")),
                                unit(QStringLiteral("Holiday (1).jpg"))};
  const Registration registration = registerAndUpload(*drive, units);
  ASSERT_EQ(registration.destinations.size(), units.size());
  EXPECT_TRUE(registration.refused.isEmpty());

  const QString folder = QStringLiteral("a/b/") + timestampFolderName(clock_.now());
  QStringList expected{
      "x.txt",        "a.jpg",          "a 2.jpg", "a 3.jpg", "notes", "notes 2", "Photos/#1 100%.txt",
      "Photos/é.txt", "Holiday (1).jpg"};
  for (qsizetype i = 0; i < units.size(); ++i) EXPECT_EQ(drive->paths().value(units[i].id), expected[i]);
  for (QString& path : expected) path.prepend(folder + QLatin1Char('/'));
  expected.sort();
  EXPECT_EQ(microsoft_.filePaths(), expected);

  // The bucket's folder was made in the prefix's, and the sessions are opened below it by its id.
  ASSERT_TRUE(drive->bucketFolderID());
  EXPECT_EQ(microsoft_.pathOf(*drive->bucketFolderID()), folder);
  QStringList sessionTargets;
  for (const auto& request : microsoft_.requests(QStringLiteral("/v1.0/me/drive/items/")))
    if (request.target.endsWith(QLatin1String(":/createUploadSession")))
      sessionTargets.append(request.target);
  const QString encodedFolder = QStringLiteral("/v1.0/me/drive/items/") + *drive->bucketFolderID() + ':';
  EXPECT_EQ(sessionTargets.value(6),
            encodedFolder + QStringLiteral("/Photos/%231%20100%25.txt:/createUploadSession"));
  EXPECT_EQ(sessionTargets.value(7),
            encodedFolder + QStringLiteral("/Photos/%C3%A9.txt:/createUploadSession"));
  EXPECT_EQ(sessionTargets.value(8),
            encodedFolder + QStringLiteral("/Holiday%20(1).jpg:/createUploadSession"));

  const auto session = microsoft_.requests(encodedFolder).last();
  EXPECT_EQ(session.header("Authorization"), "Bearer stored-access");
  EXPECT_EQ(session.header("Content-Type"), "application/json");
  EXPECT_EQ(QJsonDocument::fromJson(session.body).object(),
            (QJsonObject{{"item", QJsonObject{{"@microsoft.graph.conflictBehavior", "rename"}}}}));
}

TEST_F(OneDriveUploaderTest, EveryUnitSendsItsFolderChainAndFoldersThatExistAreFine) {
  auto drive = uploader();
  const Registration registration =
      registerAndUpload(*drive, {unit(QStringLiteral("Photos/a.jpg")), unit(QStringLiteral("Photos/b.jpg"))});
  EXPECT_EQ(registration.destinations.size(), 2);
  const QString stamp = timestampFolderName(clock_.now());
  QStringList folders;
  QList<int> statuses;
  for (const auto& request : microsoft_.requests(QStringLiteral("/v1.0/me/drive/items/")))
    if (request.target.endsWith(QLatin1String("/children")))
      folders.append(request.path + QLatin1Char(' ') +
                     QJsonDocument::fromJson(request.body).object().value(QStringLiteral("name")).toString());
  // The prefix and the bucket's folder once, the unit's folders below the bucket's for every unit.
  ASSERT_TRUE(drive->bucketFolderID());
  const QString photos = QStringLiteral("/v1.0/me/drive/items/%1/children Photos").arg(*drive->bucketFolderID());
  EXPECT_EQ(folders, (QStringList{QStringLiteral("/v1.0/me/drive/items/approot-0/children Uploads"),
                                  QStringLiteral("/v1.0/me/drive/items/approot-0:/Uploads:/children ") + stamp,
                                  photos, photos}));
  const auto create = microsoft_.requests(QStringLiteral("/v1.0/me/drive/items/approot-0/children")).first();
  EXPECT_EQ(
      QJsonDocument::fromJson(create.body).object(),
      (QJsonObject{
          {"name", "Uploads"}, {"folder", QJsonObject()}, {"@microsoft.graph.conflictBehavior", "fail"}}));
  const auto bucketFolder = microsoft_.requests(QStringLiteral("/v1.0/me/drive/items/approot-0:/Uploads:/children"));
  EXPECT_EQ(QJsonDocument::fromJson(bucketFolder.first().body).object(),
            (QJsonObject{{"name", stamp}, {"folder", QJsonObject()}, {"@microsoft.graph.conflictBehavior", "rename"}}));
  EXPECT_EQ(microsoft_.filePaths(), (QStringList{bucket() + "/Photos/a.jpg", bucket() + "/Photos/b.jpg"}));
}

TEST_F(OneDriveUploaderTest, RefusedSessionsStayWithTheirUnitAndCarryGraphsText) {
  const QByteArray message =
      R"({"error":{"code":"quotaLimitReached","message":"Insufficient Space Available"}})";
  const QString reconnect = QStringLiteral("Microsoft refused this account. Connect it again.");
  const struct {
    FakeMicrosoft::Answer answer;
    QString text;
  } table[] = {
      {{401, message, {}, {}}, reconnect},
      {{403, message, {}, {}}, QStringLiteral("Insufficient Space Available")},
      {{403, {}, {}, {}}, reconnect},
      {{507, message, {}, {}}, QStringLiteral("Insufficient Space Available")},
      {{500, "<html/>", {}, {}}, QStringLiteral("OneDrive refused the upload (500).")},
      {{500, R"({"error":{"code":"generalException","message":""}})", {}, {}},
       QStringLiteral("OneDrive refused the upload (500).")},
      {{403, R"({"error":{"message":""}})", {}, {}}, reconnect},
      {{200, R"({"expirationDateTime":"2030-01-01T00:00:00Z"})", {}, {}},
       QStringLiteral("OneDrive refused the upload (200).")},
      {{200, message, {}, {}}, QStringLiteral("Insufficient Space Available")},
      {{200, R"({"uploadUrl":"not a url"})", {}, {}}, QStringLiteral("OneDrive refused the upload (200).")},
      {{200, R"({"uploadUrl":"file:///etc/passwd"})", {}, {}},
       QStringLiteral("OneDrive refused the upload (200).")},
      {{200, R"({"uploadUrl":7})", {}, {}}, QStringLiteral("OneDrive refused the upload (200).")},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.text.toStdString());
    test::LogCapture log;
    auto drive = uploader();
    microsoft_.script("POST", QStringLiteral("/v1.0/me/drive/items/folder-"), row.answer, "\"item\"");
    const QList<UploadUnit> units{unit(QStringLiteral("refused.txt")), unit(QStringLiteral("fine.txt"))};
    const Registration registration = test::wait(drive->registerUnits(units));
    ASSERT_EQ(registration.destinations.size(), 1);
    EXPECT_EQ(registration.destinations.first().unitID, units[1].id);
    ASSERT_TRUE(registration.refused.contains(units[0].id));
    EXPECT_EQ(*registration.refused.constFind(units[0].id), UploadError::rejected(row.text));
    EXPECT_FALSE(drive->paths().contains(units[0].id));
    EXPECT_TRUE(log.contains(QStringLiteral("graph refused %1: %2")
                                 .arg(row.answer.status)
                                 .arg(QString::fromUtf8(row.answer.body))));
    EXPECT_TRUE(log.contains(QStringLiteral("opened 1 of 2 upload sessions")));
  }
}

TEST_F(OneDriveUploaderTest, ARefusedFolderFailsOnlyItsUnit) {
  auto drive = uploader();
  microsoft_.script(
      "POST", QStringLiteral("/v1.0/me/drive/items/folder-"),
      {423, R"({"error":{"message":"The resource you are attempting to access is locked"}})", {}, {}},
      "\"Locked\"");
  const QList<UploadUnit> units{unit(QStringLiteral("Locked/a.txt")), unit(QStringLiteral("b.txt"))};
  const Registration registration = test::wait(drive->registerUnits(units));
  EXPECT_EQ(registration.destinations.size(), 1);
  EXPECT_EQ(*registration.refused.constFind(units[0].id),
            UploadError::rejected(QStringLiteral("The resource you are attempting to access is locked")));
}

TEST_F(OneDriveUploaderTest, AnUnreadableAppFolderAnswerEndsTheWholeRegistration) {
  const FakeMicrosoft::Answer answers[] = {
      {200, R"({"name":"Apps"})", {}, {}}, {200, R"({"id":""})", {}, {}}, {200, "[]", {}, {}}};
  for (const auto& answer : answers) {
    SCOPED_TRACE(answer.body.toStdString());
    microsoft_.script("GET", QStringLiteral("/v1.0/me/drive/special/approot"), answer);
    EXPECT_EQ(test::failureOf(uploader()->registerUnits({unit(QStringLiteral("a.txt"))})),
              UploadError::transport(QStringLiteral("OneDrive sent an answer we could not read.")));
  }
  microsoft_.script("GET", QStringLiteral("/v1.0/me/drive/special/approot"), {401, {}, {}, {}});
  EXPECT_EQ(test::failureOf(uploader()->registerUnits({unit(QStringLiteral("a.txt"))})),
            UploadError::rejected(QStringLiteral("Microsoft refused this account. Connect it again.")));
  const auto approot = microsoft_.requests(QStringLiteral("/v1.0/me/drive/special/approot")).first();
  EXPECT_EQ(approot.target, QStringLiteral("/v1.0/me/drive/special/approot?$select=id"));
  EXPECT_TRUE(microsoft_.requests(QStringLiteral("/v1.0/me/drive/items/")).isEmpty());
}

TEST_F(OneDriveUploaderTest, WithdrawDeletesTheItemThisBucketStoredAndCancelsOpenSessions) {
  // Two buckets started in the same second: the second to register gets its folder renamed.
  auto first = uploader();
  auto second = uploader();
  const UploadUnit theirs = unit(QStringLiteral("x.txt"), "theirs");
  const UploadUnit mine = unit(QStringLiteral("x.txt"), "mine");
  const UploadUnit neverSent = unit(QStringLiteral("y.txt"));
  registerAndUpload(*second, {theirs});
  const Registration registration = test::wait(first->registerUnits({mine, neverSent}));
  test::wait(first->upload(mine, registration.destinations.first(), {}, {}));
  ASSERT_EQ(microsoft_.filePaths(), (QStringList{bucket() + " 1/x.txt", bucket() + "/x.txt"}));
  EXPECT_EQ(microsoft_.openSessions(), 1);

  test::LogCapture log;
  test::wait(first->withdraw({mine, neverSent, unit(QStringLiteral("unknown.txt"))}));
  EXPECT_TRUE(first->paths().isEmpty());
  EXPECT_EQ(microsoft_.filePaths(), QStringList{bucket() + "/x.txt"});
  EXPECT_EQ(microsoft_.openSessions(), 0);
  EXPECT_FALSE(log.contains(QStringLiteral("could not delete")));

  QStringList deletions;
  for (const auto& request : microsoft_.requests())
    if (request.method == "DELETE") deletions.append(request.target);
  ASSERT_EQ(deletions.size(), 2);
  EXPECT_TRUE(deletions[0].startsWith(QLatin1String("/v1.0/me/drive/items/file-")))
      << deletions[0].toStdString();
  EXPECT_EQ(deletions[1], registration.destinations.last().url.path());
  const auto cancel = microsoft_.requests(registration.destinations.last().url.path()).last();
  EXPECT_FALSE(cancel.headers.contains("authorization"));

  // Withdrawn again, or never registered: nothing is sent.
  const qsizetype sent = microsoft_.requests().size();
  test::wait(first->withdraw({mine, neverSent}));
  EXPECT_EQ(microsoft_.requests().size(), sent);
}

// OneDrive holds every byte, but its answer has not arrived when the item is removed: withdrawing waits
// for the answer that names the item, then deletes it.
TEST_F(OneDriveUploaderTest, AFileStoredWhileItsAnswerWasUnderWayIsDeletedWhenItsItemIsRemoved) {
  auto drive = uploader();
  microsoft_.holdUploads(1s);
  const UploadUnit sent = unit(QStringLiteral("held.txt"));
  const Registration registration = test::wait(drive->registerUnits({sent}));
  const CancelTokenPtr cancel = makeCancelToken();
  const auto upload = test::startUpload(drive.get(), sent, registration.destinations.first(), cancel);
  ASSERT_TRUE(test::runUntil([&] { return microsoft_.filePaths().size() == 1; }, 30s));

  cancel->cancel();
  test::wait(drive->withdraw({sent}), 30s);
  EXPECT_TRUE(upload->done) << "the withdrawal waited for the transfer";
  EXPECT_TRUE(microsoft_.filePaths().isEmpty());
  EXPECT_TRUE(drive->paths().isEmpty());
}

// An answer that named no item leaves the path, the content, the size and the time to go by: an item at
// the path that differs in any is someone else's.
TEST_F(OneDriveUploaderTest, WithoutAnAnswerNamingItTheItemAtItsPathIsDeletedOnlyWhenItIsSurelyTheOneSent) {
  const struct {
    const char* name;
    std::optional<QByteArray> theirs;  // an item at the path before the upload
    qint64 theirSecondsEarlier;
    bool deleted;
  } table[] = {
      {"alone", std::nullopt, 0, true},
      {"renamedPastAnOlderOne", QByteArray("7 bytes"), 3600, false},
      {"renamedPastAnotherSize", QByteArray("99 bytes"), 0, false},
      {"renamedPastOtherBytesOfTheSameSizeAndTime", QByteArray("7 bytez"), 0, false},
  };
  microsoft_.nameStoredFiles(false);
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    auto drive = uploader();
    const UploadUnit sent = unit(QString::fromLatin1(row.name) + QStringLiteral(".txt"), "7 bytes");
    const Registration registration = test::wait(drive->registerUnits({sent}));
    ASSERT_TRUE(drive->bucketFolderID());
    if (row.theirs) {
      microsoft_.setNow(clock_.now().addSecs(-row.theirSecondsEarlier));
      microsoft_.addFile(sent.relativePath, *drive->bucketFolderID(), *row.theirs);
    }
    microsoft_.setNow(clock_.now());
    test::wait(drive->upload(sent, registration.destinations.first(), {}, {}));
    const qsizetype before = microsoft_.filePaths().size();

    test::LogCapture log;
    test::wait(drive->withdraw({sent}));
    EXPECT_EQ(microsoft_.filePaths().size(), before - (row.deleted ? 1 : 0));
    if (row.theirs) {
      EXPECT_TRUE(microsoft_.filePaths().contains(microsoft_.pathOf(*drive->bucketFolderID()) + QLatin1Char('/') +
                                                  sent.relativePath));
    }
    EXPECT_EQ(log.contains(QStringLiteral("could not remove")), !row.deleted);
  }
}

// Buckets of one connection that start in the same second (files sent quickly one after the other, or
// another computer on the connection) each make a folder of their own, and removing an item of one never
// deletes the other's finished file of the same name and size: a session still open is cancelled and
// stores nothing, and one that completed without naming its item leads only to this bucket's folder.
TEST_F(OneDriveUploaderTest, BucketsOfTheSameSecondKeepApartAndRemovalNeverReachesTheOther) {
  const struct {
    const char* name;
    bool stored;  // else the upload is refused before anything is stored
  } table[] = {{"refusedBeforeStoring", false}, {"storedWithoutAnAnswerNamingIt", true}};
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    clock_.advance(1s);
    microsoft_.setNow(clock_.now());
    auto finished = uploader();
    auto open = uploader();
    const UploadUnit theirs = unit(QStringLiteral("twin.txt"), "same");
    const UploadUnit mine = unit(QStringLiteral("twin.txt"), "same");
    microsoft_.nameStoredFiles(true);
    registerAndUpload(*finished, {theirs});
    microsoft_.nameStoredFiles(false);
    const Registration registration = test::wait(open->registerUnits({mine}));
    ASSERT_TRUE(finished->bucketFolderID() && open->bucketFolderID());
    EXPECT_NE(*finished->bucketFolderID(), *open->bucketFolderID());
    EXPECT_EQ(microsoft_.pathOf(*open->bucketFolderID()), bucket() + QStringLiteral(" 1"));
    if (!row.stored) microsoft_.script("PUT", QStringLiteral("/upload/"), {503, {}, {}, {}});
    bool failed = false;
    try {
      test::wait(open->upload(mine, registration.destinations.first(), {}, {}));
    } catch (const UploadError&) {
      failed = true;
    }
    EXPECT_EQ(failed, !row.stored);
    const qsizetype before = microsoft_.filePaths().size();

    test::wait(open->withdraw({mine}));
    EXPECT_EQ(microsoft_.filePaths().size(), before - (row.stored ? 1 : 0));
    EXPECT_TRUE(microsoft_.filePaths().contains(bucket() + QStringLiteral("/twin.txt")))
        << "the other bucket's file stays";
    EXPECT_EQ(microsoft_.openSessions(), 0);
  }
}

// A later try of the same unit keeps the time of the first, which may have stored the file long before.
TEST_F(OneDriveUploaderTest, ALaterTryStillRemovesWhatTheFirstStored) {
  microsoft_.nameStoredFiles(false);
  microsoft_.setNow(clock_.now());
  auto drive = uploader();
  const UploadUnit sent = unit(QStringLiteral("again.txt"));
  const Registration registration = test::wait(drive->registerUnits({sent}));
  test::wait(drive->upload(sent, registration.destinations.first(), {}, {}));
  clock_.advance(std::chrono::minutes(10));
  EXPECT_THROW(test::wait(drive->upload(sent, registration.destinations.first(), {}, {})), UploadError);
  ASSERT_EQ(microsoft_.filePaths().size(), 1);

  test::wait(drive->withdraw({sent}));
  EXPECT_TRUE(microsoft_.filePaths().isEmpty());
}

// "." and ".." pieces in a unit's path or in the folder prefix never reach Graph: resolved, they would climb
// out of the bucket's folder, or out of the app folder to another endpoint.
TEST_F(OneDriveUploaderTest, DotPiecesNeverMoveAFileOutOfItsBucketFolder) {
  config_.keyPrefix = QStringLiteral("../../Elsewhere/./Uploads/..");
  registerAndUpload(*uploader(), {unit(QStringLiteral("../inner.txt")), unit(QStringLiteral("./Sub/../deeper.txt"))});
  const QString bucket = QStringLiteral("Elsewhere/Uploads/") + timestampFolderName(clock_.now());
  EXPECT_EQ(microsoft_.filePaths(), (QStringList{bucket + "/Sub/deeper.txt", bucket + "/inner.txt"}));
  for (const auto& request : microsoft_.requests(QStringLiteral("/v1.0/")))
    EXPECT_FALSE(request.target.contains(QLatin1String("/..")) || request.target.contains(QLatin1String("/./")))
        << request.target.toStdString();
}

TEST_F(OneDriveUploaderTest, AFailedDeletionIsLoggedAndA404CountsAsDone) {
  auto drive = uploader();
  const QList<UploadUnit> units{unit(QStringLiteral("gone.txt")), unit(QStringLiteral("locked.txt"))};
  registerAndUpload(*drive, units);
  microsoft_.script("DELETE", QStringLiteral("/v1.0/me/drive/items/"), {404, {}, {}, {}});
  microsoft_.script("DELETE", QStringLiteral("/v1.0/me/drive/items/"),
                    {403, R"({"error":{"message":"Access denied"}})", {}, {}});
  test::LogCapture log;
  test::wait(drive->withdraw(units));
  EXPECT_EQ(log.count(QStringLiteral("could not delete")), 1);
  EXPECT_TRUE(log.contains(QStringLiteral("Access denied")));
  EXPECT_TRUE(drive->paths().isEmpty());
}

TEST_F(OneDriveUploaderTest, WithoutAMicrosoftAccountNothingIsSent) {
  auto drive = uploader();
  const UploadUnit registered = unit(QStringLiteral("a.txt"));
  registerAndUpload(*drive, {registered});
  const qsizetype sent = microsoft_.requests().size();
  for (const bool emptyRefreshToken : {false, true}) {
    if (emptyRefreshToken) {
      keychain_.store(
          keychainService(OAuthProvider::microsoft), uuidText(config_.id),
          OAuthCredentials{QString(), {}, QStringLiteral("a"), clock_.now().addSecs(3600)}.toJson());
    } else {
      OAuthCredentials::save(keychain_, std::nullopt, config_.id, OAuthProvider::microsoft);
    }
    EXPECT_EQ(test::failureOf(uploader()->registerUnits({unit(QStringLiteral("b.txt"))})),
              UploadError::rejected(QStringLiteral("This connection has no Microsoft account yet.")));
    test::wait(drive->withdraw({registered}));
  }
  EXPECT_EQ(microsoft_.requests().size(), sent);
}

TEST_F(OneDriveUploaderTest, AnExpiringTokenIsRenewedAndStored) {
  const struct {
    qint64 validFor;
    QByteArray bearer;
    int renewals;
  } table[] = {{59, "Bearer renewed-1", 1}, {61, "Bearer stored-access", 0}};
  for (const auto& row : table) {
    SCOPED_TRACE(row.validFor);
    storeCredentials(row.validFor);
    const qsizetype before = microsoft_.tokenForms().size();
    test::wait(uploader()->registerUnits({}));
    EXPECT_EQ(microsoft_.tokenForms().size() - before, row.renewals);
    EXPECT_EQ(microsoft_.requests(QStringLiteral("/v1.0/")).last().header("Authorization"), row.bearer);
    const auto stored = OAuthCredentials::load(keychain_, config_.id, OAuthProvider::microsoft);
    ASSERT_TRUE(stored);
    EXPECT_EQ("Bearer " + stored->accessToken.toUtf8(), row.bearer);
    EXPECT_EQ(stored->refreshToken, QStringLiteral("refresh-1"));
    EXPECT_EQ(stored->account, QStringLiteral("ada@outlook.com"));
  }
}

TEST_F(OneDriveUploaderTest, AFileThatShrankOrARefusedPieceLeavesNoPieceFile) {
  auto drive = uploader(327'680);
  UploadUnit shrunk = unit(QStringLiteral("shrunk.bin"), randomBytes(400'000));
  shrunk.size = 700'000;
  const UploadUnit refused = unit(QStringLiteral("refused.bin"), randomBytes(700'000));
  const Registration registration = test::wait(drive->registerUnits({shrunk, refused}));
  ASSERT_EQ(registration.destinations.size(), 2);

  EXPECT_EQ(test::failureOf(drive->upload(shrunk, registration.destinations[0], {}, {})),
            UploadError::rejected(QStringLiteral("This file changed while it was being uploaded.")));
  EXPECT_TRUE(leftInTemporary().isEmpty());

  microsoft_.script("PUT", registration.destinations[1].url.path(), {503, {}, {}, {}});
  EXPECT_EQ(test::failureOf(drive->upload(refused, registration.destinations[1], {}, {})),
            UploadError::http(503));
  EXPECT_TRUE(leftInTemporary().isEmpty());
}

// An upload of two pieces, each held up by the fake for a while, started and left running.
class HeldUpload : public OneDriveUploaderTest {
 protected:
  std::shared_ptr<test::BackgroundUpload> start(CancelTokenPtr cancel = {}) {
    const Registration registration = test::wait(drive_->registerUnits({sent_}));
    destination_ = registration.destinations.first();
    microsoft_.holdUploads(1s);
    return test::startUpload(drive_.get(), sent_, destination_, std::move(cancel));
  }

  // The piece files, once the second piece has been copied beside the first one the fake holds up.
  QFileInfoList piecesBothCopied() {
    QFileInfoList pieces;
    const bool copied = test::runUntil([&] {
      const QStringList folders = leftInTemporary();
      if (folders.size() != 1) return false;
      pieces = QDir(temporary() + QLatin1Char('/') + folders.first()).entryInfoList(QDir::Files);
      return pieces.size() == 2 && pieces.last().size() == kSize - kPiece;
    });
    EXPECT_TRUE(copied);
    return pieces;
  }

  static constexpr qint64 kPiece = 327'680;
  static constexpr qint64 kSize = 500'000;
  std::unique_ptr<OneDriveUploader> drive_ = uploader(kPiece);
  const UploadUnit sent_ = unit(QStringLiteral("held.bin"), randomBytes(kSize));
  UploadDestination destination_;
};

TEST_F(HeldUpload, PieceFilesLiveInAFolderOnlyTheOwnerCanEnter) {
  const auto outcome = start();
  const QFileInfoList pieces = piecesBothCopied();
  ASSERT_EQ(pieces.size(), 2);
  const QFileInfo folder(pieces.first().absolutePath());
  // Nothing for the group or others; the "User" flags only repeat the owner's for the owner.
  constexpr auto kOwnerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser;
  constexpr auto kOwnerFolder = kOwnerOnly | QFile::ExeOwner | QFile::ExeUser;
  EXPECT_EQ(folder.permissions() & ~kOwnerFolder, QFile::Permissions());
  EXPECT_TRUE(folder.permissions() & QFile::ExeOwner);
  for (const QFileInfo& piece : pieces) {
    EXPECT_TRUE(piece.fileName().startsWith(QStringLiteral("pmr-onedrive-") + uuidText(sent_.id)));
    EXPECT_EQ(piece.permissions() & ~kOwnerOnly, QFile::Permissions());
  }
  ASSERT_TRUE(test::runUntil([&] { return outcome->done; }, 10s));
  EXPECT_FALSE(outcome->failure);
  EXPECT_TRUE(leftInTemporary().isEmpty());
}

TEST_F(HeldUpload, CancellingMidwayLeavesNoPieceAndWithdrawingEndsTheSession) {
  const CancelTokenPtr cancel = makeCancelToken();
  const auto outcome = start(cancel);
  EXPECT_EQ(piecesBothCopied().size(), 2);
  cancel->cancel();
  ASSERT_TRUE(test::runUntil([&] { return outcome->done; }, 30s));
  EXPECT_EQ(outcome->failure, UploadError::cancelled());
  EXPECT_TRUE(leftInTemporary().isEmpty());

  test::wait(drive_->withdraw({sent_}));
  // The held piece and the session's cancellation travel on connections of their own, so the fake may take
  // them in either order: what counts is that the cancellation reached it and nothing of the file is left.
  const auto sessionCancelled = [&] {
    const auto requests = microsoft_.requests(destination_.url.path());
    return std::any_of(requests.begin(), requests.end(), [](const auto& request) { return request.method == "DELETE"; });
  };
  EXPECT_TRUE(test::runUntil(sessionCancelled, 30s));
  EXPECT_EQ(microsoft_.openSessions(), 0);
  EXPECT_TRUE(microsoft_.filePaths().isEmpty());
}

TEST_F(OneDriveUploaderTest, FinishingSendsNothing) {
  auto drive = uploader();
  EXPECT_EQ(test::wait(drive->finalize()), ResponseItem::done());
  EXPECT_TRUE(drive->allowsRemoval());
  EXPECT_TRUE(microsoft_.requests().isEmpty());
}

}  // namespace
}  // namespace pm
