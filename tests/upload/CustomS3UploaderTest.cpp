#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <QUrlQuery>

#include "ManifestReader.h"
#include "S3UploaderRig.h"
#include "core/Identifiers.h"
#include "support/EarlyAnswerServer.h"
#include "support/FakeUploadServer.h"

namespace pm {
namespace {

using test::failureOf;
using test::FakeUploadServer;

const QByteArray kS3Namespace = "xmlns=\"http://s3.amazonaws.com/doc/2006-03-01/\"";

// The storage service is a scripted HTTP server here; the uploads against a real S3 peer are elsewhere.
class CustomS3UploaderTest : public testing::Test {
 protected:
  std::unique_ptr<CustomS3Uploader> uploader(qint64 partSize = test::S3UploaderRig::kDefaultPartSize,
                                             qint64 threshold = test::S3UploaderRig::kDefaultThreshold) {
    return rig_.uploader(clock_, partSize, threshold);
  }

  // The path the storage server sees for an object key.
  static QString objectPath(const QString& key) { return QStringLiteral("/bucket/") + key; }

  QStringList storageLog() const {
    QStringList lines;
    for (const FakeUploadServer::Request& request : storage_.requests())
      lines.append(QString::fromLatin1(request.method) + QLatin1Char(' ') + request.path);
    return lines;
  }

  FakeUploadServer storage_;
  test::S3UploaderRig rig_{storage_.url(QString()).toString()};
  test::ManualClock clock_;
};

// ---- registering --------------------------------------------------------------------------------------

TEST_F(CustomS3UploaderTest, KeysLiveInOneTimestampedFolderAndRepeatedPathsAreNumbered) {
  auto s3 = uploader();
  const QString folder =
      QStringLiteral("photos/") + clock_.now().toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH-mm-ss/"));
  EXPECT_EQ(s3->folder(), folder);

  const QList<UploadUnit> units{rig_.unit(QStringLiteral("a/b.txt"), "1"), rig_.unit(QStringLiteral("a/b.txt"), "2"),
                                rig_.unit(QStringLiteral("a/b.txt"), "3")};
  const Registration registration = test::wait(s3->registerUnits(units));

  ASSERT_EQ(registration.destinations.size(), 3);
  EXPECT_TRUE(registration.refused.isEmpty());
  const QStringList keys{folder + QStringLiteral("a/b.txt"), folder + QStringLiteral("a/b 2.txt"),
                         folder + QStringLiteral("a/b 3.txt")};
  for (int i = 0; i < 3; ++i) {
    const UploadDestination& destination = registration.destinations[i];
    EXPECT_EQ(destination.unitID, units[i].id);
    EXPECT_EQ(destination.method, QStringLiteral("PUT"));
    EXPECT_EQ(destination.url.path(), objectPath(keys[i]));
    EXPECT_EQ(destination.headers, (QMap<QString, QString>{{QStringLiteral("Content-Type"), QStringLiteral("text/plain")}}));
    const QUrlQuery query(destination.url);
    EXPECT_EQ(query.queryItemValue(QStringLiteral("X-Amz-Expires")), QStringLiteral("21600"));
    EXPECT_TRUE(query.hasQueryItem(QStringLiteral("X-Amz-Signature")));
  }

  // A withdrawn unit's key stays taken.
  test::wait(s3->withdraw({units[0]}));
  const Registration later = test::wait(s3->registerUnits({rig_.unit(QStringLiteral("a/b.txt"), "4")}));
  ASSERT_EQ(later.destinations.size(), 1);
  EXPECT_EQ(later.destinations[0].url.path(), objectPath(folder + QStringLiteral("a/b 4.txt")));
}

TEST_F(CustomS3UploaderTest, WithoutAKeyPairNothingIsRegistered) {
  S3Credentials::save(rig_.harness.keychain, std::nullopt, rig_.config.id);
  const UploadError error = failureOf(uploader()->registerUnits({rig_.unit(QStringLiteral("a.txt"), "a")}));
  EXPECT_EQ(error.kind(), UploadError::Kind::rejected);
  EXPECT_EQ(error.message(), QStringLiteral("Add an access key and secret to this connection in Settings."));
}

TEST_F(CustomS3UploaderTest, AnUnaddressableEndpointRefusesEachUnitButStillTakesItsKey) {
  rig_.config.endpoint = QStringLiteral("https://");
  auto s3 = uploader();
  const QList<UploadUnit> units{rig_.unit(QStringLiteral("a.txt"), "1"), rig_.unit(QStringLiteral("a.txt"), "2")};
  const Registration registration = test::wait(s3->registerUnits(units));

  EXPECT_TRUE(registration.destinations.isEmpty());
  ASSERT_EQ(registration.refused.size(), 2);
  for (const UploadUnit& unit : units) {
    ASSERT_TRUE(registration.refused.contains(unit.id));
    EXPECT_EQ(registration.refused.find(unit.id)->message(),
              QStringLiteral("The endpoint or bucket name could not be read as an address."));
  }
  EXPECT_EQ(s3->uniqueKey(QStringLiteral("a.txt")), s3->folder() + QStringLiteral("a 3.txt"));
}

// ---- single uploads -----------------------------------------------------------------------------------

TEST_F(CustomS3UploaderTest, ASmallFileGoesInOnePutWithItsContentType) {
  auto s3 = uploader();
  const UploadUnit unit = rig_.unit(QStringLiteral("notes.txt"), "hello, bucket");
  const Registration registration = test::wait(s3->registerUnits({unit}));
  std::vector<double> progress;
  test::wait(s3->upload(unit, registration.destinations.value(0), [&](double f) { progress.push_back(f); }, {}));

  const QString path = objectPath(s3->folder() + QStringLiteral("notes.txt"));
  EXPECT_EQ(storageLog(), QStringList{QStringLiteral("PUT ") + path});
  EXPECT_EQ(storage_.lastBody(path), QByteArray("hello, bucket"));
  EXPECT_EQ(storage_.requests().value(0).headers.value("content-type"), QByteArray("text/plain"));
  EXPECT_EQ(storage_.requests().value(0).headers.value("authorization"), QByteArray());
  ASSERT_FALSE(progress.empty());
  EXPECT_DOUBLE_EQ(progress.back(), 1.0);
}

TEST_F(CustomS3UploaderTest, AFailedPutTellsWhatTheStatusMeans) {
  const std::pair<int, const char*> cases[] = {
      {404, "The bucket was not found. Check its name and the endpoint."},
      {403, "The bucket refused the request. Check the access key, the secret and its permissions."},
      {301, "The bucket did not accept the request. Check the region and the endpoint."},
      {307, "The bucket did not accept the request. Check the region and the endpoint."},
      {400, "The bucket did not accept the request. Check the region and the endpoint."},
      {500, "The storage service responded with HTTP 500."},
  };
  auto s3 = uploader();
  for (const auto& [status, text] : cases) {
    const UploadUnit unit = rig_.unit(QStringLiteral("f.bin"), "x");
    const Registration registration = test::wait(s3->registerUnits({unit}));
    storage_.setStatus(registration.destinations.value(0).url.path(), status);
    const UploadError error = failureOf(s3->upload(unit, registration.destinations.value(0), {}, {}));
    EXPECT_EQ(error.kind(), UploadError::Kind::rejected) << status;
    EXPECT_EQ(error.message().toStdString(), text);
    EXPECT_EQ(s3StatusMessage(status).toStdString(), text);
  }
}

TEST_F(CustomS3UploaderTest, ARedirectIsReportedAndNeverFollowed) {
  const std::pair<int, const char*> cases[] = {
      {301, "The bucket did not accept the request. Check the region and the endpoint."},
      {302, "The storage service responded with HTTP 302."},
      {303, "The storage service responded with HTTP 303."},
      {307, "The bucket did not accept the request. Check the region and the endpoint."},
  };
  storage_.setStatus(QStringLiteral("/elsewhere"), 200);
  FakeUploadServer::Answer redirect;
  redirect.headers.insert("Location", storage_.url(QStringLiteral("/elsewhere")).toEncoded());
  auto s3 = uploader();
  for (const auto& [status, text] : cases) {
    redirect.status = status;
    const UploadUnit unit = rig_.unit(QStringLiteral("f.bin"), "x");
    const UploadDestination destination = test::wait(s3->registerUnits({unit})).destinations.value(0);
    storage_.setAnswer(destination.url.path(), redirect);
    const UploadError put = failureOf(s3->upload(unit, destination, {}, {}));
    EXPECT_EQ(put.message().toStdString(), text) << "PUT " << status;

    const UploadError control = failureOf(s3->s3Request(QStringLiteral("POST"), destination.url, {}, QByteArray("<x/>")));
    EXPECT_EQ(control.message().toStdString(), text) << "POST " << status;
  }
  for (const FakeUploadServer::Request& request : storage_.requests()) EXPECT_NE(request.path, QStringLiteral("/elsewhere"));
}

// How S3 refuses a large PUT with a bad signature: the error document right after the header, then the
// connection reset on the body still under way. Qt drops that answer; the user still gets its words.
TEST_F(CustomS3UploaderTest, ARefusalBeforeTheBodyIsInIsReportedInTheStorageServicesWords) {
  const QByteArray document = "<Error><Code>SignatureDoesNotMatch</Code><Message>The request signature we "
                              "calculated does not match the signature you provided.</Message></Error>";
  test::EarlyAnswerServer refusing("HTTP/1.1 403 Forbidden\r\nContent-Type: application/xml\r\nContent-Length: " +
                                   QByteArray::number(document.size()) + "\r\nConnection: close\r\n\r\n" + document);
  test::EarlyAnswerServer silent{QByteArray()};
  const std::pair<test::EarlyAnswerServer*, const char*> cases[] = {
      {&refusing, "The request signature we calculated does not match the signature you provided."},
      {&silent, "The storage service closed the connection without an answer, as it does when it refuses an "
                "upload. Check the access key, the secret, the region and the bucket's permissions."},
  };
  for (const auto& [server, text] : cases) {
    rig_.config.endpoint = server->url(QString()).toString();
    auto s3 = uploader();
    const UploadUnit unit = rig_.unit(QStringLiteral("one.bin"), test::patternBytes(32 * 1024 * 1024));
    const UploadDestination destination = test::wait(s3->registerUnits({unit})).destinations.value(0);

    const UploadError error = failureOf(s3->upload(unit, destination, {}, {}));
    EXPECT_EQ(error.message().toStdString(), text);
    EXPECT_NE(error.message(), QStringLiteral("Unknown error"));
  }
  // The upload and then its header alone, never a third time.
  EXPECT_EQ(refusing.requestCount(), 2);
}

TEST_F(CustomS3UploaderTest, AFileThatChangedSizeSinceRegistrationIsNeverSent) {
  struct Case {
    const char* name;
    qint64 threshold;  // 0: the file goes multipart
    QByteArray nowHolds;
  };
  const Case cases[] = {
      {"single put, grown", test::S3UploaderRig::kDefaultThreshold, "registered+more"},
      {"single put, shrunk", test::S3UploaderRig::kDefaultThreshold, "reg"},
      {"multipart, grown", 0, "registered+more"},
      {"multipart, shrunk", 0, "reg"},
  };
  for (const Case& c : cases) {
    auto s3 = uploader(4, c.threshold);
    const UploadUnit unit = rig_.unit(QStringLiteral("f.bin"), "registered");
    const Registration registration = test::wait(s3->registerUnits({unit}));
    QFile file(unit.url);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(c.nowHolds);
    file.close();

    const UploadError error = failureOf(s3->upload(unit, registration.destinations.value(0), {}, {}));
    EXPECT_EQ(error.message(), QStringLiteral("This file changed while it was being uploaded.")) << c.name;
  }
  EXPECT_TRUE(storage_.requests().isEmpty());
}

TEST_F(CustomS3UploaderTest, AStartWithoutAnUploadIdFailsWithoutAnAbort) {
  auto s3 = uploader(4, 4);
  const UploadUnit unit = rig_.unit(QStringLiteral("big.bin"), "0123456789");
  const Registration registration = test::wait(s3->registerUnits({unit}));
  const QString path = registration.destinations.value(0).url.path();
  storage_.setAnswer(path, {200, {}, "<InitiateMultipartUploadResult " + kS3Namespace + "/>", {}});

  const UploadError error = failureOf(s3->upload(unit, registration.destinations.value(0), {}, {}));
  EXPECT_EQ(error.kind(), UploadError::Kind::transport);
  EXPECT_EQ(error.message(), QStringLiteral("The storage service did not start a multipart upload."));
  EXPECT_EQ(storageLog(), QStringList{QStringLiteral("POST ") + path});
  EXPECT_FALSE(s3->hasOpenMultipart(unit.id));
}

// ---- control requests ---------------------------------------------------------------------------------

TEST_F(CustomS3UploaderTest, ControlRequestsTurnS3ErrorsIntoTheirMessages) {
  struct Case {
    const char* name;
    FakeUploadServer::Answer answer;
    const char* failure;  // nullptr: the body comes back
  };
  const Case cases[] = {
      {"plain success", {200, {}, "<Done/>", {}}, nullptr},
      {"error document in a success",
       {200, {}, "<Error><Code>InternalError</Code><Message>Please try again.</Message></Error>", {}},
       "Please try again."},
      {"error code alone in a success", {200, {}, "<Error><Code>SlowDown</Code></Error>", {}}, "SlowDown"},
      {"status without a body", {403, {}, {}, {}},
       "The bucket refused the request. Check the access key, the secret and its permissions."},
      {"status with a namespaced message",
       {503, {}, "<Error " + kS3Namespace + "><Code>SlowDown</Code><Message>Reduce your rate.</Message></Error>", {}},
       "Reduce your rate."},
      {"status with a code only", {409, {}, "<Error><Code>Busy</Code></Error>", {}},
       "The storage service responded with HTTP 409."},
  };
  auto s3 = uploader();
  const QUrl object = storage_.url(QStringLiteral("/bucket/k"));
  for (const Case& c : cases) {
    storage_.setAnswer(QStringLiteral("/bucket/k"), c.answer);
    if (!c.failure) {
      EXPECT_EQ(test::wait(s3->s3Request(QStringLiteral("DELETE"), object, {})), c.answer.body) << c.name;
      continue;
    }
    const UploadError error = failureOf(s3->s3Request(QStringLiteral("POST"), object, {}, QByteArray("<x/>")));
    EXPECT_EQ(error.kind(), UploadError::Kind::rejected) << c.name;
    EXPECT_EQ(error.message().toStdString(), c.failure) << c.name;
  }
  const FakeUploadServer::Request sent = storage_.requests().last();
  EXPECT_EQ(sent.headers.value("content-type"), QByteArray("application/xml"));
  EXPECT_EQ(sent.body, QByteArray("<x/>"));
}

TEST_F(CustomS3UploaderTest, AControlRequestWithoutAnAnswerIsATransportFailure) {
  auto s3 = uploader();
  s3->setRequestTimeout(std::chrono::milliseconds(100));
  storage_.setAnswer(QStringLiteral("/bucket/slow"), {200, {}, {}, std::chrono::seconds(5)});
  const UploadError slow = failureOf(s3->s3Request(QStringLiteral("DELETE"), storage_.url(QStringLiteral("/bucket/slow")), {}));
  EXPECT_EQ(slow.kind(), UploadError::Kind::transport);
  EXPECT_EQ(slow.message(), QStringLiteral("The request timed out."));

  const UploadError refused =
      failureOf(s3->s3Request(QStringLiteral("DELETE"), QUrl(QStringLiteral("http://127.0.0.1:1/bucket/k")), {}));
  EXPECT_EQ(refused.kind(), UploadError::Kind::transport);

  auto token = makeCancelToken();
  token->cancel();
  const UploadError cancelled =
      failureOf(s3->s3Request(QStringLiteral("DELETE"), storage_.url(QStringLiteral("/bucket/k")), {}, {}, token));
  EXPECT_EQ(cancelled.kind(), UploadError::Kind::cancelled);
}

TEST(S3Xml, FindsTheFirstElementByLocalNameInAWellFormedDocument) {
  const QByteArray initiated = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<InitiateMultipartUploadResult " +
                               kS3Namespace + "><Bucket>b</Bucket><UploadId>VXBsb2FkSUQ</UploadId></InitiateMultipartUploadResult>";
  EXPECT_EQ(xmlValue(u"UploadId", initiated), QStringLiteral("VXBsb2FkSUQ"));
  EXPECT_EQ(xmlValue(u"Code", "<a><Code>One</Code><Code>Two</Code></a>"), QStringLiteral("One"));
  EXPECT_EQ(xmlValue(u"Message", "<a><Message>Mixed <b>text</b> here</Message></a>"), QStringLiteral("Mixed text here"));
  EXPECT_EQ(xmlValue(u"Code", "<a><Code/></a>"), QString());
  EXPECT_EQ(xmlValue(u"Code", "<a><Other>x</Other></a>"), std::nullopt);
  EXPECT_EQ(xmlValue(u"Code", "<a><Code>cut</Code>"), std::nullopt);
  EXPECT_EQ(xmlValue(u"Code", "not xml"), std::nullopt);
  EXPECT_EQ(xmlValue(u"Code", QByteArray()), std::nullopt);
}

// ---- withdrawing --------------------------------------------------------------------------------------

TEST_F(CustomS3UploaderTest, WithdrawingDeletesPlacedObjectsOnly) {
  auto s3 = uploader();
  const UploadUnit placed = rig_.unit(QStringLiteral("placed.txt"), "p");
  const UploadUnit stranger = rig_.unit(QStringLiteral("stranger.txt"), "s");
  const Registration registration = test::wait(s3->registerUnits({placed}));
  test::wait(s3->withdraw({stranger, placed, placed}));

  EXPECT_EQ(storageLog(), QStringList{QStringLiteral("DELETE ") + registration.destinations.value(0).url.path()});
}

// ---- finishing ----------------------------------------------------------------------------------------

class CustomS3UploaderFinishing : public CustomS3UploaderTest {
 protected:
  // Registers and uploads `names`; the ones in `failing` are answered 500 by the storage service.
  QList<UploadUnit> place(CustomS3Uploader& s3, const QStringList& names, const QStringList& failing = {}) {
    QList<UploadUnit> units;
    for (const QString& name : names) units.append(rig_.unit(name, name.toUtf8()));
    const Registration registration = test::wait(s3.registerUnits(units));
    for (int i = 0; i < units.size(); ++i) {
      const UploadDestination destination = registration.destinations.value(i);
      if (failing.contains(names[i])) {
        storage_.setStatus(destination.url.path(), 500);
        failureOf(s3.upload(units[i], destination, {}, {}));
      } else {
        test::wait(s3.upload(units[i], destination, {}, {}));
      }
    }
    return units;
  }
};

TEST_F(CustomS3UploaderFinishing, WithShareableLinksOffItIsDoneWithoutAskingTheService) {
  auto s3 = uploader();
  place(*s3, {QStringLiteral("a.txt")});
  EXPECT_EQ(test::wait(s3->finalize()), ResponseItem::done());
  EXPECT_TRUE(rig_.harness.service.requests().isEmpty());
}

TEST_F(CustomS3UploaderFinishing, WithNothingStoredItIsDoneWithoutAskingTheService) {
  rig_.config.parcelmoorDownloads = true;
  auto s3 = uploader();
  EXPECT_EQ(test::wait(s3->finalize()), ResponseItem::done());
  place(*s3, {QStringLiteral("a.txt")}, {QStringLiteral("a.txt")});
  EXPECT_EQ(test::wait(s3->finalize()), ResponseItem::done());
  EXPECT_TRUE(rig_.harness.service.requests().isEmpty());
}

TEST_F(CustomS3UploaderFinishing, TheBoxListsOnlyStoredObjectsAndAgainUnderTheSameKey) {
  rig_.config.parcelmoorDownloads = true;
  auto s3 = uploader();
  const QList<UploadUnit> units = place(
      *s3, {QStringLiteral("kept/a.txt"), QStringLiteral("failed.txt"), QStringLiteral("removed.txt"), QStringLiteral("kept/d.jpg")},
      {QStringLiteral("failed.txt")});
  test::wait(s3->withdraw({units[2]}));
  const QList<UploadUnit> notSent{rig_.unit(QStringLiteral("never.txt"), "n")};
  test::wait(s3->registerUnits(notSent));

  const ResponseItem first = test::wait(s3->finalize());
  const ResponseItem second = test::wait(s3->finalize());

  ASSERT_EQ(rig_.boxes.boxes().size(), 1);
  EXPECT_EQ(rig_.harness.service.count("POST", QStringLiteral("boxes")), 2);
  const test::FakeServiceBoxes::Box box = rig_.boxes.boxes().first();
  EXPECT_EQ(first.type, ResponseItem::Kind::copiedBox);
  EXPECT_EQ(first.url.toString(), box.url);
  EXPECT_EQ(second.url, first.url);
  const QList<test::FakeService::Request> sent = rig_.harness.service.requests("POST", QStringLiteral("boxes"));
  EXPECT_EQ(sent[0].json().value(QStringLiteral("idempotencyKey")), sent[1].json().value(QStringLiteral("idempotencyKey")));
  EXPECT_EQ(box.body.value(QStringLiteral("prefix")).toString(), s3->folder());
  EXPECT_EQ(box.body.value(QStringLiteral("connectorId")).toString(), uuidText(rig_.config.id));
  EXPECT_EQ(box.body.value(QStringLiteral("fileCount")).toInteger(), 2);

  const QByteArray sealed = QByteArray::fromBase64(box.body.value(QStringLiteral("manifest")).toString().toLatin1());
  const std::optional<QByteArray> manifest =
      test::manifestReader::open(sealed, QString(first.password).remove(QLatin1Char('-')));
  ASSERT_TRUE(manifest);
  const QString folder = s3->folder();
  const PMRM1::Manifest expected{{{QStringLiteral("a.txt"), folder + QStringLiteral("kept/a.txt"), 10},
                                  {QStringLiteral("d.jpg"), folder + QStringLiteral("kept/d.jpg"), 10}}};
  EXPECT_EQ(*manifest, expected.toJson());
}

// The service keeps the first box registered under an idempotency key. When the answer to that
// registration is lost and the user finishes again, the password handed out must open that box.
TEST_F(CustomS3UploaderFinishing, ARepeatedFinishHandsOutThePasswordOfTheBoxTheServiceHolds) {
  rig_.config.parcelmoorDownloads = true;
  auto s3 = uploader();
  place(*s3, {QStringLiteral("a.txt")});
  auto opens = [](const test::FakeServiceBoxes::Box& box, const ResponseItem& result) {
    const QByteArray sealed = QByteArray::fromBase64(box.body.value(QStringLiteral("manifest")).toString().toLatin1());
    return test::manifestReader::open(sealed, QString(result.password).remove(QLatin1Char('-')));
  };

  test::wait(s3->finalize());  // stored by the service, its answer never seen
  const ResponseItem retried = test::wait(s3->finalize());
  ASSERT_EQ(rig_.boxes.boxes().size(), 1);
  EXPECT_EQ(retried.url.toString(), rig_.boxes.boxes()[0].url);
  EXPECT_TRUE(opens(rig_.boxes.boxes()[0], retried));
  const QList<test::FakeService::Request> sent = rig_.harness.service.requests("POST", QStringLiteral("boxes"));
  ASSERT_EQ(sent.size(), 2);
  EXPECT_EQ(sent[0].json(), sent[1].json());

  // Another file stored since: another box, under a key of its own, that lists both files.
  place(*s3, {QStringLiteral("b.txt")});
  const ResponseItem grown = test::wait(s3->finalize());
  ASSERT_EQ(rig_.boxes.boxes().size(), 2);
  const test::FakeServiceBoxes::Box second = rig_.boxes.boxes()[1];
  EXPECT_NE(second.body.value(QStringLiteral("idempotencyKey")), sent[0].json().value(QStringLiteral("idempotencyKey")));
  EXPECT_EQ(grown.url.toString(), second.url);
  EXPECT_EQ(second.body.value(QStringLiteral("fileCount")).toInteger(), 2);
  EXPECT_TRUE(opens(second, grown));
}

TEST_F(CustomS3UploaderFinishing, AKeyPairRemovedMeanwhileStopsTheBox) {
  rig_.config.parcelmoorDownloads = true;
  auto s3 = uploader();
  place(*s3, {QStringLiteral("a.txt")});
  S3Credentials::save(rig_.harness.keychain, std::nullopt, rig_.config.id);

  const UploadError error = failureOf(s3->finalize());
  EXPECT_EQ(error.message(), QStringLiteral("Add an access key and secret to this connection in Settings."));
  EXPECT_TRUE(rig_.harness.service.requests().isEmpty());
}

}  // namespace
}  // namespace pm
