#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QTemporaryDir>
#include <QTimer>

#include "BackgroundUpload.h"
#include "LocalUnits.h"
#include "UploadErrorPrinting.h"
#include "connectors/DropboxApiArg.h"
#include "connectors/DropboxSignIn.h"
#include "connectors/DropboxUploader.h"
#include "connectors/OAuthCredentials.h"
#include "platform/Keychain.h"
#include "support/FakeDropbox.h"
#include "support/LogCapture.h"
#include "support/TestSupport.h"
#include "support/UploadErrorTesting.h"

namespace pm {
namespace {

using namespace std::chrono_literals;
using test::failureOf;
using test::localUnit;

UploadError rejected(const char* text) {
  return UploadError::rejected(QString::fromUtf8(text));
}

class DropboxUploaderTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(files_.isValid() && temporary_.isValid());
    config_.keyPrefix = QStringLiteral("Inbox//Shared/");
    signIn_ = std::make_shared<DropboxSignIn>(
        network_, BundleInfo({{QStringLiteral("DROPBOX_APP_KEY"), QStringLiteral("app-key-1")}}), clock_,
        nullptr, nullptr,
        DropboxSignInOptions{{dropbox_.apiEndpoint(), dropbox_.contentEndpoint(), dropbox_.apiEndpoint()}});
    signInAccount();
  }
  void signInAccount() {
    ASSERT_TRUE(
        OAuthCredentials::save(keychain_,
                               OAuthCredentials{QStringLiteral("refresh"), QStringLiteral("me"),
                                                QStringLiteral("token-1"), clock_.now().addSecs(3600)},
                               config_.id, OAuthProvider::dropbox));
  }
  std::unique_ptr<DropboxUploader> uploader(DropboxUploadSizes sizes = {}) {
    return std::make_unique<DropboxUploader>(config_, network_, keychain_, signIn_, temporary_.path(), sizes);
  }
  QString folder() const { return QStringLiteral("/Inbox/Shared/") + timestampFolderName(clock_.now()); }
  // The requests that carried file data, leaving out the one that made the bucket's folder.
  QList<test::FakeDropbox::Request> contentRequests() const {
    QList<test::FakeDropbox::Request> content;
    for (const auto& request : dropbox_.requests())
      if (request.host == QLatin1String("content")) content.append(request);
    return content;
  }
  // Registers and uploads `unit`; returns the fractions reported.
  QList<double> send(DropboxUploader& dropbox, const UploadUnit& unit) {
    const Registration registration = test::wait(dropbox.registerUnits({unit}));
    EXPECT_EQ(registration.destinations.size(), 1);
    QList<double> fractions;
    test::wait(
        dropbox.upload(unit, registration.destinations.value(0), [&](double f) { fractions.append(f); }, {}),
        std::chrono::seconds(120));
    return fractions;
  }

  QTemporaryDir files_;
  QTemporaryDir temporary_;
  test::FakeDropbox dropbox_;
  test::ManualClock clock_;
  QNetworkAccessManager network_;
  MemoryKeychain keychain_;
  UploaderConfig config_{UploaderConfig::Kind::dropbox};
  std::shared_ptr<DropboxSignIn> signIn_;
};

TEST_F(DropboxUploaderTest, PathsJoinPrefixFolderAndRelativePathAndNumberRepeats) {
  const auto dropbox = uploader();
  struct Case {
    const char* relative;
    const char* expected;
  };
  const Case cases[] = {
      {"a.txt", "a.txt"},
      {"a.txt", "a 2.txt"},
      {"/a.txt", "a 3.txt"},
      {"Photos/a.jpg", "Photos/a.jpg"},
      {"archive.tar.gz", "archive.tar.gz"},
      {"archive.tar.gz", "archive.tar 2.gz"},
      {"README", "README"},
      {"README", "README 2"},
  };
  QList<UploadUnit> units;
  for (const Case& c : cases) units.append(localUnit(files_, QString::fromUtf8(c.relative), "x"));
  const Registration registration = test::wait(dropbox->registerUnits(units));

  ASSERT_EQ(registration.destinations.size(), units.size());
  EXPECT_TRUE(registration.refused.isEmpty());
  for (qsizetype i = 0; i < units.size(); ++i) {
    SCOPED_TRACE(cases[i].relative);
    EXPECT_EQ(dropbox->paths().value(units[i].id),
              folder() + QLatin1Char('/') + QString::fromUtf8(cases[i].expected));
    EXPECT_EQ(registration.destinations[i].unitID, units[i].id);
    EXPECT_EQ(registration.destinations[i].url.toString(),
              dropbox_.contentEndpoint().toString() + QStringLiteral("/2/files/upload"));
  }
  // The one request made the bucket's folder.
  const auto requests = dropbox_.requests();
  ASSERT_EQ(requests.size(), 1);
  EXPECT_EQ(requests[0].path, QStringLiteral("/2/files/create_folder_v2"));
  EXPECT_EQ(QJsonDocument::fromJson(requests[0].body).object(),
            (QJsonObject{{"autorename", true}, {"path", folder()}}));

  config_.keyPrefix.clear();
  const auto unprefixed = uploader();
  const UploadUnit photo = localUnit(files_, QStringLiteral("Photos/a.jpg"), "x");
  test::wait(unprefixed->registerUnits({photo}));
  EXPECT_EQ(unprefixed->paths().value(photo.id),
            QLatin1Char('/') + timestampFolderName(clock_.now()) + QStringLiteral("/Photos/a.jpg"));
}

// Buckets of one connection that start in the same second (files sent quickly one after the other, or
// another computer on the connection) each make a folder of their own, and removing an item of one never
// deletes the other's finished file of the same name and size.
TEST_F(DropboxUploaderTest, BucketsOfTheSameSecondKeepApartAndRemovalNeverReachesTheOther) {
  const struct {
    const char* name;
    bool stored;  // else the upload is refused before anything is stored
  } table[] = {{"refusedBeforeStoring", false}, {"storedWithoutAnAnswerNamingIt", true}};
  dropbox_.setNow(clock_.now());
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    clock_.advance(1s);
    dropbox_.setNow(clock_.now());
    const auto finished = uploader();
    const auto open = uploader();
    const UploadUnit theirs = localUnit(files_, QStringLiteral("twin.txt"), "same");
    const UploadUnit mine = localUnit(files_, QStringLiteral("twin.txt"), "same");
    dropbox_.nameStoredFiles(true);
    send(*finished, theirs);
    const QString theirPath = finished->paths().value(theirs.id);
    dropbox_.nameStoredFiles(false);
    const Registration registration = test::wait(open->registerUnits({mine}));
    ASSERT_TRUE(finished->bucketFolder() && open->bucketFolder());
    EXPECT_EQ(*finished->bucketFolder(), folder());
    EXPECT_EQ(*open->bucketFolder(), folder() + QStringLiteral(" (1)"));
    if (!row.stored) dropbox_.script(QStringLiteral("/2/files/upload"), {503, {}, {}});
    bool failed = false;
    try {
      test::wait(open->upload(mine, registration.destinations.first(), {}, {}));
    } catch (const UploadError&) {
      failed = true;
    }
    EXPECT_EQ(failed, !row.stored);
    const qsizetype before = dropbox_.files().size();

    test::wait(open->withdraw({mine}));
    EXPECT_EQ(dropbox_.files().size(), before - (row.stored ? 1 : 0));
    EXPECT_TRUE(dropbox_.file(theirPath)) << "the other bucket's file stays";
  }
}

TEST_F(DropboxUploaderTest, TheArgumentHeaderIsSortedEscapedAscii) {
  const QString path = QStringLiteral("/Inbox/Shared/caf\u00e9 \U0001F600.txt");
  EXPECT_EQ(
      dropboxapiarg::header(DropboxUploader::commitInfo(path)),
      QByteArray(
          R"({"autorename":true,"mode":"add","mute":true,"path":"\/Inbox\/Shared\/caf\u00e9 \ud83d\ude00.txt"})"));
  const DropboxUploader::Headers append =
      DropboxUploader::appendHeaders(QStringLiteral("s-1"), 5'000'000'000, "t");
  EXPECT_EQ(append.value("Dropbox-API-Arg"),
            QStringLiteral(R"({"close":false,"cursor":{"offset":5000000000,"session_id":"s-1"}})"));
  EXPECT_EQ(append.value("Authorization"), QStringLiteral("Bearer t"));
  EXPECT_EQ(append.value("Content-Type"), QStringLiteral("application/octet-stream"));
  EXPECT_EQ(dropboxapiarg::json({{"q", "a\"b\\c\n\x01"}}), QStringLiteral(R"({"q":"a\"b\\c\n\u0001"})"));
  // DEL may not travel raw in a header either.
  EXPECT_EQ(dropboxapiarg::header(DropboxUploader::commitInfo(QStringLiteral("/a\x7f.txt"))),
            QByteArray(R"({"autorename":true,"mode":"add","mute":true,"path":"\/a\u007f.txt"})"));

  // A lone surrogate cannot be written as UTF-8, so Dropbox could not be told the name.
  const QString broken = QStringLiteral("/a") + QChar(char16_t(0xD800));
  try {
    DropboxUploader::uploadHeaders(broken, "t");
    ADD_FAILURE() << "a header was made of a broken name";
  } catch (const UploadError& error) {
    EXPECT_EQ(error, rejected("Dropbox could not be told where to put this file."));
  }
}

TEST_F(DropboxUploaderTest, ASmallFileGoesInOneRequestWithItsHeaders) {
  const auto dropbox = uploader();
  const UploadUnit unit = localUnit(files_, QStringLiteral("caf\u00e9.txt"), "hello");
  const QList<double> fractions = send(*dropbox, unit);

  EXPECT_EQ(fractions.last(), 1.0);
  const QList<test::FakeDropbox::Request> requests = contentRequests();
  ASSERT_EQ(requests.size(), 1);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].host, QStringLiteral("content"));
  EXPECT_EQ(requests[0].path, QStringLiteral("/2/files/upload"));
  EXPECT_EQ(requests[0].header("Authorization"), "Bearer token-1");
  EXPECT_EQ(requests[0].header("Content-Type"), "application/octet-stream");
  QString escapedFolder = folder();
  escapedFolder.replace(QLatin1Char('/'), QLatin1String("\\/"));
  EXPECT_EQ(requests[0].header("Dropbox-API-Arg"), R"({"autorename":true,"mode":"add","mute":true,"path":")" +
                                                       escapedFolder.toLatin1() + R"(\/caf\u00e9.txt"})");
  const auto stored = dropbox_.file(folder() + QStringLiteral("/caf\u00e9.txt"));
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->bytes, "hello");
}

TEST_F(DropboxUploaderTest, ALargerFileGoesThroughASessionInPieces) {
  const auto dropbox = uploader(DropboxUploadSizes{100, 32});
  QByteArray bytes;
  for (int i = 0; i < 101; ++i) bytes.append(char('a' + i % 26));
  const UploadUnit exact = localUnit(files_, QStringLiteral("exact.bin"), bytes.left(100));
  send(*dropbox, exact);
  EXPECT_EQ(contentRequests().size(), 1);

  const UploadUnit unit = localUnit(files_, QStringLiteral("big.bin"), bytes);
  const QList<double> fractions = send(*dropbox, unit);
  const QList<test::FakeDropbox::Request> requests = contentRequests().mid(1);
  QStringList routes;
  QList<qint64> offsets;
  QList<qint64> sizes;
  for (const auto& request : requests) {
    routes.append(request.path.section(QLatin1Char('/'), -1));
    offsets.append(request.argument().value("cursor").toObject().value("offset").toInteger(-1));
    sizes.append(request.bodySize);
  }
  EXPECT_EQ(routes, (QStringList{"start", "append_v2", "append_v2", "append_v2", "append_v2", "finish"}));
  EXPECT_EQ(offsets, (QList<qint64>{-1, 0, 32, 64, 96, 101}));
  EXPECT_EQ(sizes, (QList<qint64>{0, 32, 32, 32, 5, 0}));
  EXPECT_EQ(requests.last().argument().value("commit").toObject(),
            DropboxUploader::commitInfo(folder() + "/big.bin"));
  EXPECT_EQ(dropbox_.file(folder() + "/big.bin")->bytes, bytes);
  ASSERT_FALSE(fractions.isEmpty());
  EXPECT_TRUE(std::is_sorted(fractions.cbegin(), fractions.cend()));
  EXPECT_EQ(fractions.last(), 1.0);
  EXPECT_TRUE(QDir(temporary_.path()).isEmpty());
}

// At the real sizes, with a sparse file so the disk holds next to nothing.
TEST_F(DropboxUploaderTest, TheRealThresholdAndPieceSizes) {
  const auto dropbox = uploader();
  const qint64 limit = 157'286'400;
  const QString path = files_.filePath(QStringLiteral("sparse.bin"));
  {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.resize(limit));
  }
  send(*dropbox,
       UploadUnit{QUuid::createUuid(), QUuid::createUuid(), path, QStringLiteral("exact.bin"), limit});
  ASSERT_EQ(contentRequests().size(), 1);
  EXPECT_EQ(contentRequests()[0].bodySize, limit);

  ASSERT_TRUE(QFile::resize(path, limit + 1));
  const QList<double> fractions = send(*dropbox, UploadUnit{QUuid::createUuid(), QUuid::createUuid(), path,
                                                            QStringLiteral("big.bin"), limit + 1});
  QList<std::pair<qint64, qint64>> pieces;
  for (const auto& request : dropbox_.requests(QStringLiteral("/2/files/upload_session/append_v2")))
    pieces.append(
        {request.argument().value("cursor").toObject().value("offset").toInteger(), request.bodySize});
  EXPECT_EQ(pieces, (QList<std::pair<qint64, qint64>>{{0, 33'554'432},
                                                      {33'554'432, 33'554'432},
                                                      {67'108'864, 33'554'432},
                                                      {100'663'296, 33'554'432},
                                                      {134'217'728, 23'068'673}}));
  const auto finish = dropbox_.requests(QStringLiteral("/2/files/upload_session/finish"));
  ASSERT_EQ(finish.size(), 1);
  EXPECT_EQ(finish[0].argument().value("cursor").toObject().value("offset").toInteger(), limit + 1);
  EXPECT_EQ(dropbox_.file(folder() + "/big.bin")->size, limit + 1);
  EXPECT_TRUE(std::is_sorted(fractions.cbegin(), fractions.cend()));
  EXPECT_EQ(fractions.last(), 1.0);
  EXPECT_TRUE(QDir(temporary_.path()).isEmpty());
}

TEST_F(DropboxUploaderTest, RefusalsBecomeDropboxsTexts) {
  struct Case {
    int status;
    QByteArray body;
    const char* text;
  };
  const Case cases[] = {
      {507, R"({"error_summary":"insufficient_space/.."})", "This Dropbox is full."},
      {401, R"({"error_summary":"invalid_access_token/"})",
       "Dropbox refused this account. Connect it again."},
      {409, R"({"error_summary":"path/conflict/file/.."})", "Dropbox refused the upload: path/conflict/file"},
      {409, R"({"error_summary":" ./ "})", "Dropbox refused the upload (409)."},
      {500, R"({"error_summary":3})", "Dropbox refused the upload (500)."},
      {0, "", "Dropbox refused the upload (0)."},
  };
  for (const Case& c : cases)
    EXPECT_EQ(DropboxUploader::dropboxFailure(c.status, c.body), rejected(c.text)) << c.status;

  const Case transfers[] = {
      {507, {}, "This Dropbox is full."},
      {401,
       {},
       "Dropbox would not accept this upload. Connect the account again — a token keeps the permissions it "
       "was given when it was made."},
      {409, {}, "Dropbox refused the upload (409)."},
  };
  for (const Case& c : transfers) {
    EXPECT_EQ(DropboxUploader::uploadFailure(UploadError::http(c.status)), rejected(c.text)) << c.status;
  }
  EXPECT_EQ(DropboxUploader::uploadFailure(UploadError::transport("gone")), UploadError::transport("gone"));
}

TEST_F(DropboxUploaderTest, FailedTransfersAndSessionsReachTheItem) {
  const auto dropbox = uploader(DropboxUploadSizes{10, 4});
  const UploadUnit small = localUnit(files_, QStringLiteral("small.txt"), "hi");
  const UploadUnit big = localUnit(files_, QStringLiteral("big.txt"), "0123456789abc");
  const Registration registration = test::wait(dropbox->registerUnits({small, big}));

  dropbox_.script(QStringLiteral("/2/files/upload"), {401, {}});
  EXPECT_EQ(failureOf(dropbox->upload(small, registration.destinations[0], {}, {})),
            DropboxUploader::uploadFailure(UploadError::http(401)));

  dropbox_.script(QStringLiteral("/2/files/upload_session/start"), {200, R"({"other":1})"});
  EXPECT_EQ(failureOf(dropbox->upload(big, registration.destinations[1], {}, {})),
            rejected("Dropbox refused the upload (200)."));
  dropbox_.script(QStringLiteral("/2/files/upload_session/start"), {200, R"({"error_summary":"too_many/"})"});
  EXPECT_EQ(failureOf(dropbox->upload(big, registration.destinations[1], {}, {})),
            rejected("Dropbox refused the upload: too_many"));
  dropbox_.script(QStringLiteral("/2/files/upload_session/finish"), {507, {}});
  EXPECT_EQ(failureOf(dropbox->upload(big, registration.destinations[1], {}, {})),
            rejected("This Dropbox is full."));

  EXPECT_EQ(
      failureOf(dropbox->upload(localUnit(files_, "never.txt", "x"), registration.destinations[0], {}, {})),
      UploadError::notRegistered());
  EXPECT_TRUE(QDir(temporary_.path()).isEmpty());
}

TEST_F(DropboxUploaderTest, AFileThatShrinksDuringASessionFailsAndLeavesNoPiece) {
  const auto dropbox = uploader(DropboxUploadSizes{10, 4});
  UploadUnit unit = localUnit(files_, QStringLiteral("shrinking.txt"), "0123456789");
  unit.size = 15;  // the size it had when it was added
  const Registration registration = test::wait(dropbox->registerUnits({unit}));

  EXPECT_EQ(failureOf(dropbox->upload(unit, registration.destinations[0], {}, {})),
            rejected("This file changed while it was being uploaded."));
  EXPECT_TRUE(dropbox_.requests(QStringLiteral("/2/files/upload_session/finish")).isEmpty());
  EXPECT_TRUE(QDir(temporary_.path()).isEmpty());
}

TEST_F(DropboxUploaderTest, ACancelledSessionStopsAndLeavesNoPiece) {
  const auto dropbox = uploader(DropboxUploadSizes{10, 4});
  const UploadUnit unit = localUnit(files_, QStringLiteral("big.txt"), "0123456789abcdef");
  const Registration registration = test::wait(dropbox->registerUnits({unit}));
  const CancelTokenPtr cancel = makeCancelToken();
  // Cancelled once Dropbox has the first piece and while its answer is still on the way (the answer is
  // read: the piece went out whole).
  dropbox_.holdPieces(1s);
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (!dropbox_.requests(QStringLiteral("/2/files/upload_session/append_v2")).isEmpty()) cancel->cancel();
  });
  watch.start(1);

  EXPECT_EQ(failureOf(dropbox->upload(unit, registration.destinations[0], {}, cancel)),
            UploadError::cancelled());
  EXPECT_EQ(dropbox_.requests(QStringLiteral("/2/files/upload_session/append_v2")).size(), 1);
  EXPECT_TRUE(dropbox_.requests(QStringLiteral("/2/files/upload_session/finish")).isEmpty());
  EXPECT_TRUE(QDir(temporary_.path()).isEmpty());
}

TEST_F(DropboxUploaderTest, AnAccountWithoutCredentialsFailsAtRegistration) {
  ASSERT_TRUE(OAuthCredentials::save(keychain_, std::nullopt, config_.id, OAuthProvider::dropbox));
  EXPECT_EQ(failureOf(uploader()->registerUnits({localUnit(files_, "a.txt", "a")})),
            rejected("This connection has no Dropbox account yet."));
}

TEST_F(DropboxUploaderTest, WithdrawDeletesOnlyWhatTheUploadStored) {
  const auto dropbox = uploader();
  const UploadUnit renamed = localUnit(files_, QStringLiteral("a.txt"), "mine");
  const UploadUnit unsent = localUnit(files_, QStringLiteral("b.txt"), "later");
  const UploadUnit stranger = localUnit(files_, QStringLiteral("c.txt"), "never registered");
  const Registration registration = test::wait(dropbox->registerUnits({renamed, unsent}));
  // Someone else's file sits where the upload asked to go, so Dropbox renames the upload.
  dropbox_.addFile(folder() + QStringLiteral("/a.txt"), "theirs");
  test::wait(dropbox->upload(renamed, registration.destinations[0], {}, {}));
  ASSERT_TRUE(dropbox_.file(folder() + QStringLiteral("/a (1).txt")));
  const QString renamedID = dropbox_.file(folder() + QStringLiteral("/a (1).txt"))->id;
  const qsizetype sent = dropbox_.requests().size();

  test::wait(dropbox->withdraw({stranger, unsent}));
  EXPECT_EQ(dropbox_.requests().size(), sent);

  test::wait(dropbox->withdraw({renamed}));
  const auto deletes = dropbox_.requests(QStringLiteral("/2/files/delete_v2"));
  ASSERT_EQ(deletes.size(), 1);
  EXPECT_EQ(deletes[0].host, QStringLiteral("api"));
  EXPECT_EQ(deletes[0].header("Content-Type"), "application/json");
  EXPECT_EQ(QJsonDocument::fromJson(deletes[0].body).object(), (QJsonObject{{"path", renamedID}}));

  EXPECT_FALSE(dropbox_.file(folder() + QStringLiteral("/a (1).txt")));
  ASSERT_TRUE(dropbox_.file(folder() + QStringLiteral("/a.txt")));
  EXPECT_EQ(dropbox_.file(folder() + QStringLiteral("/a.txt"))->bytes, "theirs");
  EXPECT_TRUE(dropbox->paths().isEmpty());

  // Withdrawing again, or without credentials, sends nothing and does not fail.
  test::wait(dropbox->withdraw({renamed}));
  ASSERT_TRUE(OAuthCredentials::save(keychain_, std::nullopt, config_.id, OAuthProvider::dropbox));
  test::wait(dropbox->withdraw({renamed, unsent}));
  EXPECT_EQ(dropbox_.requests(QStringLiteral("/2/files/delete_v2")).size(), 1);
}

// Dropbox holds every byte, but its answer has not arrived when the item is removed: withdrawing waits for
// the answer that names the file, then deletes it.
TEST_F(DropboxUploaderTest, AFileStoredWhileItsAnswerWasUnderWayIsDeletedWhenItsItemIsRemoved) {
  const auto dropbox = uploader();
  dropbox_.holdUploads(1s);
  const UploadUnit sent = localUnit(files_, QStringLiteral("held.txt"), "held");
  const Registration registration = test::wait(dropbox->registerUnits({sent}));
  const CancelTokenPtr cancel = makeCancelToken();
  const auto upload = test::startUpload(dropbox.get(), sent, registration.destinations.first(), cancel);
  ASSERT_TRUE(test::runUntil([&] { return dropbox_.files().size() == 1; }, 30s));

  cancel->cancel();
  test::wait(dropbox->withdraw({sent}), 30s);
  EXPECT_TRUE(upload->done) << "the withdrawal waited for the transfer";
  EXPECT_TRUE(dropbox_.files().isEmpty());
  EXPECT_TRUE(dropbox->paths().isEmpty());
}

// An answer that named no file leaves the path, the content, the size and the time to go by: a file at
// the path that differs in any is someone else's.
TEST_F(DropboxUploaderTest, WithoutAnAnswerNamingItTheFileAtItsPathIsDeletedOnlyWhenItIsSurelyTheOneSent) {
  const struct {
    const char* name;
    std::optional<QByteArray> theirs;  // a file at the path before the upload
    qint64 theirSecondsEarlier;
    bool deleted;
  } table[] = {
      {"alone", std::nullopt, 0, true},
      {"renamedPastAnOlderOne", QByteArray("mine"), 3600, false},
      {"renamedPastAnotherSize", QByteArray("theirs"), 0, false},
      {"renamedPastOtherBytesOfTheSameSizeAndTime", QByteArray("mind"), 0, false},
  };
  dropbox_.nameStoredFiles(false);
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    const auto dropbox = uploader();
    const UploadUnit sent = localUnit(files_, QString::fromLatin1(row.name) + QStringLiteral(".txt"), "mine");
    const Registration registration = test::wait(dropbox->registerUnits({sent}));
    const QString path = dropbox->paths().value(sent.id);
    if (row.theirs) {
      dropbox_.setNow(clock_.now().addSecs(-row.theirSecondsEarlier));
      dropbox_.addFile(path, *row.theirs);
    }
    dropbox_.setNow(clock_.now());
    test::wait(dropbox->upload(sent, registration.destinations.first(), {}, {}));
    const qsizetype before = dropbox_.files().size();

    test::LogCapture log;
    test::wait(dropbox->withdraw({sent}));
    EXPECT_EQ(dropbox_.files().size(), before - (row.deleted ? 1 : 0));
    if (row.theirs) {
      EXPECT_TRUE(dropbox_.file(path)) << "someone else's file stays";
    }
    EXPECT_EQ(log.contains(QStringLiteral("could not remove")), !row.deleted);
  }
}

// A later try of the same unit keeps the time of the first, which may have stored the file long before.
TEST_F(DropboxUploaderTest, ALaterTryStillRemovesWhatTheFirstStored) {
  dropbox_.nameStoredFiles(false);
  dropbox_.setNow(clock_.now());
  const auto dropbox = uploader();
  const UploadUnit sent = localUnit(files_, QStringLiteral("again.txt"), "again");
  const Registration registration = test::wait(dropbox->registerUnits({sent}));
  test::wait(dropbox->upload(sent, registration.destinations.first(), {}, {}));
  clock_.advance(std::chrono::minutes(10));
  dropbox_.script(QStringLiteral("/2/files/upload"), {503, {}, {}});
  EXPECT_THROW(test::wait(dropbox->upload(sent, registration.destinations.first(), {}, {})), UploadError);
  ASSERT_EQ(dropbox_.files().size(), 1);

  test::wait(dropbox->withdraw({sent}));
  EXPECT_TRUE(dropbox_.files().isEmpty());
}

// "." and ".." pieces in a unit's path or in the folder prefix never reach Dropbox, which would resolve them.
TEST_F(DropboxUploaderTest, DotPiecesNeverMoveAFileOutOfItsBucketFolder) {
  config_.keyPrefix = QStringLiteral("../../Elsewhere/./Uploads/..");
  const auto dropbox = uploader();
  send(*dropbox, localUnit(files_, QStringLiteral("../inner.txt"), "inner"));
  send(*dropbox, localUnit(files_, QStringLiteral("./Sub/../deeper.txt"), "deeper"));
  const QString bucket = QStringLiteral("/Elsewhere/Uploads/") + timestampFolderName(clock_.now());
  QStringList stored;
  for (const test::FakeDropbox::File& file : dropbox_.files()) stored.append(file.path);
  stored.sort();
  EXPECT_EQ(stored, (QStringList{bucket + "/Sub/deeper.txt", bucket + "/inner.txt"}));
  EXPECT_EQ(dropbox_.file(bucket + QStringLiteral("/inner.txt"))->bytes, "inner");
}

TEST_F(DropboxUploaderTest, TheAccountLabelIsTheEmailElseTheDisplayName) {
  struct Case {
    std::optional<QString> email;
    std::optional<QString> name;
    QString expected;
  };
  const Case cases[] = {
      {QStringLiteral("me@example.com"), QStringLiteral("Me"), QStringLiteral("me@example.com")},
      {QString(), QStringLiteral("Me"), QStringLiteral("Me")},
      {std::nullopt, QString(), QString()},
      {std::nullopt, std::nullopt, QString()},
  };
  for (const Case& c : cases) {
    dropbox_.setAccount(c.email, c.name);
    EXPECT_EQ(test::wait(DropboxUploader::fetchAccountLabel(network_, signIn_->endpoints(), "t")),
              c.expected);
  }
  const auto lookups = dropbox_.requests(QStringLiteral("/2/users/get_current_account"));
  ASSERT_FALSE(lookups.isEmpty());
  EXPECT_EQ(lookups[0].host, QStringLiteral("api"));
  EXPECT_EQ(lookups[0].header("Authorization"), "Bearer t");
  EXPECT_TRUE(lookups[0].header("Content-Type").isEmpty());
  EXPECT_EQ(lookups[0].bodySize, 0);

  dropbox_.script(QStringLiteral("/2/users/get_current_account"), {401, {}});
  EXPECT_EQ(failureOf(DropboxUploader::fetchAccountLabel(network_, signIn_->endpoints(), "t")),
            rejected("Dropbox refused this account. Connect it again."));
}

}  // namespace
}  // namespace pm
