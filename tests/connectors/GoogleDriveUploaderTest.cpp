#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>

#include "BackgroundUpload.h"
#include "LocalUnits.h"
#include "connectors/GoogleDriveUploader.h"
#include "connectors/GoogleSignIn.h"
#include "connectors/HttpExchange.h"
#include "connectors/OAuthCredentials.h"
#include "core/Identifiers.h"
#include "platform/Keychain.h"
#include "support/FakeGoogle.h"
#include "support/LogCapture.h"
#include "support/TestSupport.h"
#include "support/UploadErrorTesting.h"

namespace pm {
namespace {

using namespace std::chrono_literals;
using test::FakeGoogle;
using test::registerAndUpload;

const QString kApi = QStringLiteral("/api");

class GoogleDriveUploaderTest : public testing::Test {
 protected:
  GoogleDriveUploaderTest() {
    config_.keyPrefix = QStringLiteral("Uploads/2024/");
    storeCredentials(3600);
  }

  void storeCredentials(qint64 validForSeconds, QString refreshToken = QStringLiteral("refresh-1")) {
    OAuthCredentials::save(keychain_,
                           OAuthCredentials{std::move(refreshToken), QStringLiteral("me@example.com"),
                                            QStringLiteral("stored-access"), clock_.now().addSecs(validForSeconds)},
                           config_.id, OAuthProvider::google);
  }

  std::unique_ptr<GoogleDriveUploader> uploader() {
    return std::make_unique<GoogleDriveUploader>(config_, network_, keychain_, signIn_);
  }

  UploadUnit unit(const QString& relativePath, const QByteArray& bytes = "content") {
    const QString path = root_.write(QUuid::createUuid().toString(QUuid::WithoutBraces), bytes);
    return UploadUnit{QUuid::createUuid(), QUuid::createUuid(), path, relativePath, bytes.size()};
  }


  QString timestamp() const { return timestampFolderName(clock_.now()); }

  QStringList sessionNames() const {
    QStringList names;
    for (const auto& request : google_.requests(QStringLiteral("/api/upload/drive/v3/files")))
      names.append(QJsonDocument::fromJson(request.body).object().value(QStringLiteral("name")).toString());
    return names;
  }

  // Drive paths of every stored file that is not a folder.
  QStringList storedPaths() const {
    QStringList paths;
    for (const FakeGoogle::File& file : google_.files())
      if (file.mimeType.isEmpty()) paths.append(google_.pathOf(file.id));
    paths.sort();
    return paths;
  }

  FakeGoogle google_;
  test::ManualClock clock_;
  test::TempRoot root_;
  QNetworkAccessManager network_;
  MemoryKeychain keychain_;
  UploaderConfig config_{UploaderConfig::Kind::googleDrive};
  std::shared_ptr<const GoogleSignIn> signIn_ = std::make_shared<GoogleSignIn>(
      network_,
      BundleInfo({{QStringLiteral("GOOGLE_CLIENT_ID"), QStringLiteral("client")},
                  {QStringLiteral("GOOGLE_CLIENT_SECRET"), QStringLiteral("secret")}}),
      clock_, nullptr,
      GoogleSignInOptions{GoogleEndpoints{google_.url(kApi), google_.url(QStringLiteral("/accounts")), google_.url()}, {}});
};

TEST_F(GoogleDriveUploaderTest, NoUnitsStillMakeTheBucketFolderBelowThePrefix) {
  const struct {
    const char* prefix;
    QString folder;
  } table[] = {
      {"", QStringLiteral("root/%1")},
      {"Uploads/2024/", QStringLiteral("root/Uploads/2024/%1")},
      {"//a//b ", QStringLiteral("root/a/b /%1")},
      {"Uploads/2024", QStringLiteral("root/Uploads/2024/%1")},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.prefix);
    config_.keyPrefix = QString::fromLatin1(row.prefix);
    test::LogCapture log;
    auto drive = uploader();
    const Registration registration = test::wait(drive->registerUnits({}));
    EXPECT_TRUE(registration.destinations.isEmpty());
    EXPECT_TRUE(registration.refused.isEmpty());
    ASSERT_TRUE(drive->bucketFolderID());
    EXPECT_EQ(google_.pathOf(*drive->bucketFolderID()), row.folder.arg(timestamp()));
    EXPECT_TRUE(log.contains(QStringLiteral("opened 0 of 0 upload sessions")));
  }
  // Every request carried the stored token, and the last bucket found the prefix folders the second one
  // made but made a time-stamped folder of its own beside the second one's.
  for (const auto& request : google_.requests()) EXPECT_EQ(request.header("Authorization"), "Bearer stored-access");
  EXPECT_EQ(google_.files().size(), 8);
}

TEST_F(GoogleDriveUploaderTest, NamesAreUniqueAcrossTheBucketAndFoldersFollowTheRelativePath) {
  auto drive = uploader();
  const QList<UploadUnit> units{unit(QStringLiteral("a/x.txt")),       unit(QStringLiteral("b/x.txt")),
                                unit(QStringLiteral("x.txt")),         unit(QStringLiteral("notes")),
                                unit(QStringLiteral("c/notes")),       unit(QStringLiteral("archive.tar.gz")),
                                unit(QStringLiteral("archive.tar.gz")), unit(QStringLiteral("a//b/c.txt")),
                                unit(QStringLiteral("///"))};
  const Registration registration = registerAndUpload(*drive, units);
  ASSERT_EQ(registration.destinations.size(), units.size());
  for (qsizetype i = 0; i < units.size(); ++i) {
    EXPECT_EQ(registration.destinations[i].unitID, units[i].id);
    EXPECT_EQ(registration.destinations[i].method, QStringLiteral("PUT"));
    EXPECT_TRUE(registration.destinations[i].headers.isEmpty());
  }
  EXPECT_EQ(sessionNames(), (QStringList{"x.txt", "x 2.txt", "x 3.txt", "notes", "notes 2", "archive.tar.gz",
                                         "archive.tar 2.gz", "c.txt", "///"}));
  const QString bucket = QStringLiteral("root/Uploads/2024/") + timestamp() + QLatin1Char('/');
  QStringList expected{"a/x.txt", "b/x 2.txt", "x 3.txt", "notes", "c/notes 2", "archive.tar.gz", "archive.tar 2.gz",
                       "a/b/c.txt", "///"};
  for (QString& path : expected) path.prepend(bucket);
  expected.sort();
  EXPECT_EQ(storedPaths(), expected);

  // The bytes went to the session URL without the account's token.
  for (const auto& request : google_.requests(QStringLiteral("/upload/session/"))) {
    EXPECT_EQ(request.method, "PUT");
    EXPECT_TRUE(request.header("Authorization").isEmpty());
    EXPECT_EQ(request.body, "content");
  }
  const auto session = google_.requests(QStringLiteral("/api/upload/drive/v3/files")).first();
  EXPECT_EQ(session.target, QStringLiteral("/api/upload/drive/v3/files?uploadType=resumable"));
  EXPECT_EQ(session.header("X-Upload-Content-Length"), "7");
  EXPECT_EQ(session.header("Content-Type"), "application/json");
}

TEST_F(GoogleDriveUploaderTest, QueriesQuoteApostrophesAndBackslashes) {
  config_.keyPrefix.clear();
  auto drive = uploader();
  const Registration registration = registerAndUpload(
      *drive, {unit(QStringLiteral("Bob's.txt/Bob's.txt")), unit(QStringLiteral("back\\/x.txt")),
               unit(QStringLiteral("Bob's.txt/y.txt"))});
  ASSERT_EQ(registration.destinations.size(), 3);

  QStringList targets;
  for (const auto& request : google_.requests(QStringLiteral("/api/drive/v3/files")))
    if (request.method == "GET") targets.append(request.target);
  const QString bucketID = *drive->bucketFolderID();
  const auto target = [&](const QString& encodedName) {
    return QStringLiteral("/api/drive/v3/files?q=mimeType%3D%27application%2Fvnd.google-apps.folder%27%20and%20"
                          "trashed%3Dfalse%20and%20name%3D%27") +
           encodedName + QStringLiteral("%27%20and%20%27") + bucketID +
           QStringLiteral("%27%20in%20parents&fields=files(id)&pageSize=1");
  };
  EXPECT_TRUE(targets.contains(target(QStringLiteral("Bob%5C%27s.txt")))) << targets.join(QLatin1Char('\n')).toStdString();
  EXPECT_TRUE(targets.contains(target(QStringLiteral("back%5C%5C"))));
  // The escaped names found their folders again instead of making second ones.
  const QString bucket = QStringLiteral("root/") + timestamp() + QLatin1Char('/');
  EXPECT_EQ(storedPaths(),
            (QStringList{bucket + "Bob's.txt/Bob's.txt", bucket + "Bob's.txt/y.txt", bucket + "back\\/x.txt"}));
  EXPECT_EQ(sessionNames().first(), QStringLiteral("Bob's.txt"));
}

TEST_F(GoogleDriveUploaderTest, RefusedSessionsStayWithTheirUnitAndCarryDrivesText) {
  const QByteArray message = R"({"error":{"code":403,"message":"The user's Drive storage quota has been exceeded."}})";
  const struct {
    FakeGoogle::Answer answer;
    QString text;
  } table[] = {
      {{401, message, {}, {}}, QStringLiteral("Google refused this account. Connect it again.")},
      {{403, message, {}, {}}, QStringLiteral("The user's Drive storage quota has been exceeded.")},
      {{403, {}, {}, {}}, QStringLiteral("Google refused this account. Connect it again.")},
      {{500, {}, {}, {}}, QStringLiteral("Google Drive refused the upload (500).")},
      {{500, R"({"error":{"code":500,"message":""}})", {}, {}}, QStringLiteral("Google Drive refused the upload (500).")},
      {{403, R"({"error":{"message":""}})", {}, {}}, QStringLiteral("Google refused this account. Connect it again.")},
      {{200, message, {}, {}}, QStringLiteral("The user's Drive storage quota has been exceeded.")},
      {{200, {}, {}, {}}, QStringLiteral("Google Drive refused the upload (200).")},
      {{200, {}, {{"Location", "not a url"}}, {}}, QStringLiteral("Google Drive refused the upload (200).")},
      {{201, {}, {{"Location", "http://127.0.0.1:1/s"}}, {}}, QStringLiteral("Google Drive refused the upload (201).")},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.text.toStdString());
    auto drive = uploader();
    google_.script("POST", QStringLiteral("/api/upload/drive/v3/files"), row.answer, "\"refused.txt\"");
    const QList<UploadUnit> units{unit(QStringLiteral("refused.txt")), unit(QStringLiteral("fine.txt"))};
    const Registration registration = test::wait(drive->registerUnits(units));
    ASSERT_EQ(registration.destinations.size(), 1);
    EXPECT_EQ(registration.destinations.first().unitID, units[1].id);
    ASSERT_TRUE(registration.refused.contains(units[0].id));
    EXPECT_EQ(*registration.refused.constFind(units[0].id), UploadError::rejected(row.text));
    EXPECT_FALSE(drive->placed().contains(units[0].id));
  }
}

TEST_F(GoogleDriveUploaderTest, NoAnswerForOneUnitEndsTheWholeRegistration) {
  auto drive = uploader();
  drive->setRequestTimeout(1s);
  google_.script("POST", QStringLiteral("/api/upload/drive/v3/files"), {200, {}, {}, 10s}, "\"c.txt\"");
  const QList<UploadUnit> units{unit(QStringLiteral("a.txt")), unit(QStringLiteral("b.txt")), unit(QStringLiteral("c.txt")),
                                unit(QStringLiteral("d.txt")), unit(QStringLiteral("e.txt"))};
  EXPECT_THROW(test::wait(drive->registerUnits(units)), NetworkFailure);
  EXPECT_EQ(drive->placed().size(), 2);
  EXPECT_EQ(sessionNames(), (QStringList{"a.txt", "b.txt", "c.txt"}));
  // The names of the first two stay taken.
  EXPECT_EQ(drive->uniqueName(QStringLiteral("a.txt")), QStringLiteral("a 2.txt"));
  EXPECT_EQ(UploadError::from(std::make_exception_ptr(NetworkFailure(QStringLiteral("x")))).kind(),
            UploadError::Kind::transport);
}

TEST_F(GoogleDriveUploaderTest, WithdrawDeletesOnlyTheFileThisBucketUploaded) {
  // Two buckets started in the same second each make a folder of that time.
  auto first = uploader();
  auto second = uploader();
  const UploadUnit mine = unit(QStringLiteral("x.txt"));
  const UploadUnit theirs = unit(QStringLiteral("x.txt"));
  const UploadUnit neverSent = unit(QStringLiteral("y.txt"));
  registerAndUpload(*second, {theirs});
  const Registration registration = test::wait(first->registerUnits({mine, neverSent}));
  test::wait(first->upload(mine, registration.destinations.first(), {}, {}));
  EXPECT_NE(*first->bucketFolderID(), *second->bucketFolderID());
  EXPECT_EQ(google_.pathOf(*first->bucketFolderID()), google_.pathOf(*second->bucketFolderID()));
  const QString bucket = QStringLiteral("root/Uploads/2024/") + timestamp() + QLatin1Char('/');
  ASSERT_EQ(storedPaths(), (QStringList{bucket + "x.txt", bucket + "x.txt"}));
  const QString theirID = second->placed().value(theirs.id).fileID;
  const QString myID = first->placed().value(mine.id).fileID;
  ASSERT_FALSE(myID.isEmpty());

  test::wait(first->withdraw({mine, neverSent, unit(QStringLiteral("unknown.txt"))}));
  EXPECT_TRUE(first->placed().isEmpty());
  EXPECT_TRUE(google_.file(theirID));
  EXPECT_FALSE(google_.file(myID));
  const auto deletions = google_.requests(QStringLiteral("/api/drive/v3/files/"));
  ASSERT_EQ(deletions.size(), 1);
  EXPECT_EQ(deletions.first().method, "DELETE");
  EXPECT_EQ(deletions.first().target, QStringLiteral("/api/drive/v3/files/") + myID);
}

// Another bucket of the same connection, in the same second, has a finished file of the same name and size.
// This bucket's file is removed before its answer named it: the upload session says what it stored, and
// only that is deleted; where the session cannot say, nothing is.
TEST_F(GoogleDriveUploaderTest, WithoutAnAnswerNamingItOnlyWhatItsUploadSessionStoredIsDeleted) {
  const struct {
    const char* name;
    std::optional<FakeGoogle::Answer> upload;  // instead of storing the file
    std::optional<FakeGoogle::Answer> status;  // instead of the session's own
    bool deleted;
    bool couldNotRemove;
  } table[] = {
      {"stored", std::nullopt, std::nullopt, true, false},
      {"refusedBeforeStoring", FakeGoogle::Answer{503, {}, {}, {}}, std::nullopt, false, false},
      {"sessionExpired", std::nullopt, FakeGoogle::Answer{404, {}, {}, {}}, false, true},
      {"statusWithoutAnID", std::nullopt, FakeGoogle::Answer{200, "{}", {}, {}}, false, true},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    // A second of its own for each case, stamped by Drive's clock as by this computer's.
    clock_.advance(std::chrono::seconds(1));
    google_.setNow(clock_.now());
    auto finished = uploader();
    auto open = uploader();
    const UploadUnit theirs = unit(QStringLiteral("twin.txt"), "7 bytes");
    const UploadUnit mine = unit(QStringLiteral("twin.txt"), "7 bytes");
    google_.nameStoredFiles(true);
    registerAndUpload(*finished, {theirs});
    const QString theirID = finished->placed().value(theirs.id).fileID;
    ASSERT_FALSE(theirID.isEmpty());
    google_.nameStoredFiles(false);
    const Registration registration = test::wait(open->registerUnits({mine}));
    if (row.upload) google_.script("PUT", QStringLiteral("/upload/session/"), *row.upload);
    bool failed = false;
    try {
      test::wait(open->upload(mine, registration.destinations.first(), {}, {}));
    } catch (const UploadError&) {
      failed = true;
    }
    EXPECT_EQ(failed, row.upload.has_value());
    if (row.status) google_.script("PUT", QStringLiteral("/upload/session/"), *row.status);
    const qsizetype before = storedPaths().size();

    test::LogCapture log;
    test::wait(open->withdraw({mine}));
    EXPECT_EQ(storedPaths().size(), before - (row.deleted ? 1 : 0));
    EXPECT_TRUE(google_.file(theirID)) << "the other bucket's file stays";
    EXPECT_EQ(log.contains(QStringLiteral("could not remove")), row.couldNotRemove);
  }
}

// A second try of the same unit, long after the first stored the file and lost its answer, still finds the
// file through the session the first try used.
TEST_F(GoogleDriveUploaderTest, ALaterTryStillRemovesWhatTheFirstStored) {
  google_.setNow(clock_.now());
  google_.nameStoredFiles(false);
  auto drive = uploader();
  const UploadUnit sent = unit(QStringLiteral("again.txt"));
  const Registration registration = test::wait(drive->registerUnits({sent}));
  test::wait(drive->upload(sent, registration.destinations.first(), {}, {}));
  clock_.advance(std::chrono::minutes(10));
  try {
    test::wait(drive->upload(sent, registration.destinations.first(), {}, {}));
  } catch (const UploadError&) {
  }
  ASSERT_EQ(storedPaths().size(), 1);

  test::wait(drive->withdraw({sent}));
  EXPECT_TRUE(storedPaths().isEmpty());
}

// Drive holds every byte, but its answer has not arrived when the item is removed: withdrawing waits for
// the answer that names the file, then deletes it.
TEST_F(GoogleDriveUploaderTest, AFileStoredWhileItsAnswerWasUnderWayIsDeletedWhenItsItemIsRemoved) {
  auto drive = uploader();
  google_.holdUploads(1s);
  const UploadUnit sent = unit(QStringLiteral("held.txt"));
  const Registration registration = test::wait(drive->registerUnits({sent}));
  const CancelTokenPtr cancel = makeCancelToken();
  const auto upload = test::startUpload(drive.get(), sent, registration.destinations.first(), cancel);
  ASSERT_TRUE(test::runUntil([&] { return storedPaths().size() == 1; }, 30s));

  cancel->cancel();
  test::wait(drive->withdraw({sent}), 30s);
  EXPECT_TRUE(upload->done) << "the withdrawal waited for the transfer";
  EXPECT_TRUE(storedPaths().isEmpty());
  EXPECT_TRUE(drive->placed().isEmpty());
}

// "." and ".." pieces in a unit's path or in the folder prefix are no folders of their own.
TEST_F(GoogleDriveUploaderTest, DotPiecesNeverBecomeFolders) {
  config_.keyPrefix = QStringLiteral("../../Elsewhere/./Uploads/..");
  registerAndUpload(*uploader(), {unit(QStringLiteral("../inner.txt")), unit(QStringLiteral("./Sub/../deeper.txt"))});
  const QString bucket = QStringLiteral("root/Elsewhere/Uploads/") + timestamp() + QLatin1Char('/');
  EXPECT_EQ(storedPaths(), (QStringList{bucket + "Sub/deeper.txt", bucket + "inner.txt"}));
}

TEST_F(GoogleDriveUploaderTest, AFailedDeletionIsLoggedAndA404CountsAsDone) {
  auto drive = uploader();
  const QList<UploadUnit> units{unit(QStringLiteral("gone.txt")), unit(QStringLiteral("locked.txt"))};
  registerAndUpload(*drive, units);
  google_.script("DELETE", QStringLiteral("/api/drive/v3/files/"), {404, {}, {}, {}});
  google_.script("DELETE", QStringLiteral("/api/drive/v3/files/"),
                 {403, R"({"error":{"message":"Insufficient permissions"}})", {}, {}});
  test::LogCapture log;
  test::wait(drive->withdraw(units));
  EXPECT_EQ(log.count(QStringLiteral("could not delete")), 1);
  EXPECT_TRUE(log.contains(QStringLiteral("Insufficient permissions")));
  EXPECT_TRUE(drive->placed().isEmpty());
}

TEST_F(GoogleDriveUploaderTest, AnExpiringTokenIsRenewedAndStoredAFreshOneIsUsedAsItIs) {
  const struct {
    qint64 validFor;
    QByteArray bearer;
    int renewals;
  } table[] = {{59, "Bearer renewed-1", 1}, {61, "Bearer stored-access", 0}, {-10, "Bearer renewed-2", 1}};
  for (const auto& row : table) {
    SCOPED_TRACE(row.validFor);
    storeCredentials(row.validFor);
    const int before = google_.tokenForms().size();
    auto drive = uploader();
    test::wait(drive->registerUnits({}));
    EXPECT_EQ(google_.tokenForms().size() - before, row.renewals);
    EXPECT_EQ(google_.requests(QStringLiteral("/api/")).last().header("Authorization"), row.bearer);
    const auto stored = OAuthCredentials::load(keychain_, config_.id, OAuthProvider::google);
    ASSERT_TRUE(stored);
    EXPECT_EQ("Bearer " + stored->accessToken.toUtf8(), row.bearer);
    EXPECT_EQ(stored->refreshToken, QStringLiteral("refresh-1"));
    EXPECT_EQ(stored->account, QStringLiteral("me@example.com"));
  }
}

TEST_F(GoogleDriveUploaderTest, WithoutAGoogleAccountNothingIsSent) {
  for (const bool emptyRefreshToken : {false, true}) {
    if (emptyRefreshToken) {
      keychain_.store(keychainService(OAuthProvider::google), uuidText(config_.id),
                      OAuthCredentials{QString(), {}, QStringLiteral("a"), clock_.now().addSecs(3600)}.toJson());
    } else {
      OAuthCredentials::save(keychain_, std::nullopt, config_.id, OAuthProvider::google);
    }
    auto drive = uploader();
    EXPECT_EQ(test::failureOf(drive->registerUnits({unit(QStringLiteral("a.txt"))})),
              UploadError::rejected(QStringLiteral("This connection has no Google account yet.")));
    EXPECT_FALSE(drive->bucketFolderID());
    test::wait(drive->withdraw({unit(QStringLiteral("a.txt"))}));
  }
  EXPECT_TRUE(google_.requests().isEmpty());
}

TEST_F(GoogleDriveUploaderTest, TheAccountLabelIsTheEmailAddress) {
  const GoogleEndpoints endpoints = signIn_->endpoints();
  EXPECT_EQ(test::wait(GoogleDriveUploader::fetchAccountLabel(network_, endpoints, QStringLiteral("tok"))),
            QStringLiteral("someone@example.com"));
  const auto about = google_.requests().last();
  EXPECT_EQ(about.target, QStringLiteral("/api/drive/v3/about?fields=user(emailAddress)"));
  EXPECT_EQ(about.header("Authorization"), "Bearer tok");

  google_.setEmail(std::nullopt);
  EXPECT_EQ(test::wait(GoogleDriveUploader::fetchAccountLabel(network_, endpoints, QStringLiteral("tok"))), QString());

  google_.script("GET", QStringLiteral("/api/drive/v3/about"), {401, R"({"error":{"message":"Invalid Credentials"}})", {}, {}});
  EXPECT_EQ(test::failureOf(GoogleDriveUploader::fetchAccountLabel(network_, endpoints, QStringLiteral("tok"))),
            UploadError::rejected(QStringLiteral("Google refused this account. Connect it again.")));
}

TEST_F(GoogleDriveUploaderTest, FinishingSendsNothing) {
  auto drive = uploader();
  EXPECT_EQ(test::wait(drive->finalize()), ResponseItem::done());
  EXPECT_TRUE(drive->allowsRemoval());
  EXPECT_TRUE(google_.requests().isEmpty());
}

}  // namespace
}  // namespace pm
