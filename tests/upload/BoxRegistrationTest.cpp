#include <gtest/gtest.h>

#include <QJsonObject>
#include <QRegularExpression>

#include "ManifestReader.h"
#include "S3UploaderRig.h"
#include "core/Identifiers.h"
#include "platform/Crypto.h"
#include "platform/SharedDefaults.h"
#include "support/FakeServiceBoxes.h"
#include "support/ServiceHarness.h"
#include "support/TestSupport.h"
#include "upload/BoxRegistration.h"

namespace pm {
namespace {

using Kind = UploaderConfig::Kind;

const S3Credentials kCredentials{QStringLiteral("AKIDEXAMPLE"), QStringLiteral("wJalr/K7MDENG+bPxRfiCY")};
const QString kPrefix = QStringLiteral("shared/2024-03-01 12-00-00/");

UploaderConfig connection(Kind kind, const QString& region) {
  UploaderConfig config(kind);
  config.endpoint = QStringLiteral(" https://s3.eu-west-1.amazonaws.com/ ");  // sent as stored
  config.bucketName = QStringLiteral("holiday-bucket");
  config.region = region;
  config.parcelmoorDownloads = true;
  return config;
}

QList<PMRM1::File> twoFiles() {
  return {{QStringLiteral("b.txt"), kPrefix + QStringLiteral("a/b.txt"), 12},
          {QStringLiteral("c.jpg"), kPrefix + QStringLiteral("c.jpg"), 70'000}};
}

class BoxRegistration : public testing::Test {
 protected:
  BoxRegistration() { harness_.signIn(); }

  QCoro::Task<ResponseItem> registerBox(const UploaderConfig& config, const QList<PMRM1::File>& files,
                                        const QUuid& key = QUuid::createUuid()) {
    return pm::registerBox(harness_.api, defaults_, config, kCredentials, kPrefix, files, key);
  }

  QStringList registeredConnectors() const {
    return defaults_.object(QStringLiteral("registeredConnectors")).toStringList();
  }
  QStringList routes() const {
    QStringList lines;
    for (const auto& request : harness_.service.requests())
      lines.append(QString::fromLatin1(request.method) + QLatin1Char(' ') + request.path);
    return lines;
  }

  test::ServiceHarness harness_;
  test::FakeServiceBoxes boxes_{harness_.service};
  MemorySharedDefaults defaults_;
};

TEST(ConnectorType, FollowsTheConnectionKind) {
  const std::pair<Kind, const char*> cases[] = {
      {Kind::parcelmoor, "s3"}, {Kind::customS3, "s3"},   {Kind::r2, "r2"},         {Kind::ftp, "ftp"},
      {Kind::icloud, "icloud"}, {Kind::googleDrive, "drive"}, {Kind::oneDrive, "onedrive"}, {Kind::dropbox, "dropbox"},
  };
  for (const auto& [kind, type] : cases) EXPECT_EQ(connectorType(kind).toStdString(), type);
}

TEST_F(BoxRegistration, SendsTheConnectorThenASealedBoxAndHandsBackTheGroupedPassword) {
  const UploaderConfig config = connection(Kind::customS3, QString());
  const QUuid key = QUuid::createUuid();
  const ResponseItem result = test::wait(registerBox(config, twoFiles(), key));

  EXPECT_EQ(routes(), (QStringList{QStringLiteral("PUT connectors"), QStringLiteral("POST boxes")}));
  const QJsonObject connector = boxes_.connectorBodies().value(0);
  EXPECT_EQ(connector, (QJsonObject{{QStringLiteral("connectorId"), uuidText(config.id)},
                                    {QStringLiteral("type"), QStringLiteral("s3")},
                                    {QStringLiteral("endpoint"), config.endpoint},
                                    {QStringLiteral("bucket"), QStringLiteral("holiday-bucket")},
                                    {QStringLiteral("region"), QStringLiteral("auto")},
                                    {QStringLiteral("accessKeyId"), kCredentials.accessKeyID},
                                    {QStringLiteral("secretAccessKey"), kCredentials.secretAccessKey}}));
  EXPECT_EQ(registeredConnectors(), QStringList{uuidText(config.id)});

  ASSERT_EQ(boxes_.boxes().size(), 1);
  const test::FakeServiceBoxes::Box box = boxes_.boxes().first();
  EXPECT_EQ(box.body.value(QStringLiteral("kind")), connector.value(QStringLiteral("type")));
  EXPECT_EQ(box.body.value(QStringLiteral("connectorId")), connector.value(QStringLiteral("connectorId")));
  EXPECT_EQ(box.body.value(QStringLiteral("prefix")).toString(), kPrefix);
  EXPECT_EQ(box.body.value(QStringLiteral("fileCount")).toInteger(), 2);
  EXPECT_EQ(box.body.value(QStringLiteral("idempotencyKey")).toString(), uuidText(key));

  EXPECT_EQ(result.type, ResponseItem::Kind::copiedBox);
  EXPECT_EQ(result.url.toString(), box.url);
  const QString alphabet = QString(PMRM1::alphabet);
  const QRegularExpression grouped(QStringLiteral("^[%1]{4}-[%1]{4}-[%1]{2}$").arg(alphabet));
  EXPECT_TRUE(grouped.match(result.password).hasMatch()) << result.password.toStdString();

  const QByteArray sealed = QByteArray::fromBase64(box.body.value(QStringLiteral("manifest")).toString().toLatin1());
  const QString ungrouped = QString(result.password).remove(QLatin1Char('-'));
  const std::optional<QByteArray> derived = test::manifestReader::derive(sealed, ungrouped);
  ASSERT_TRUE(derived);
  EXPECT_EQ(box.body.value(QStringLiteral("verifierHash")).toString(),
            QString::fromLatin1(crypto::sha256(derived->sliced(32)).toHex()));
  EXPECT_EQ(test::manifestReader::open(sealed, *derived), PMRM1::Manifest{twoFiles()}.toJson());
  EXPECT_FALSE(test::manifestReader::open(sealed, result.password));
}

TEST_F(BoxRegistration, EveryRegistrationSendsTheConnectorFirstAndAnEmptyListIsCounted) {
  const UploaderConfig config = connection(Kind::r2, QStringLiteral("weur"));
  test::wait(registerBox(config, {}));
  test::wait(registerBox(config, twoFiles()));

  EXPECT_EQ(routes(), (QStringList{QStringLiteral("PUT connectors"), QStringLiteral("POST boxes"),
                                   QStringLiteral("PUT connectors"), QStringLiteral("POST boxes")}));
  for (const QJsonObject& connector : boxes_.connectorBodies()) {
    EXPECT_EQ(connector.value(QStringLiteral("type")).toString(), QStringLiteral("r2"));
    EXPECT_EQ(connector.value(QStringLiteral("region")).toString(), QStringLiteral("weur"));
  }
  ASSERT_EQ(boxes_.boxes().size(), 2);
  EXPECT_EQ(boxes_.boxes()[0].body.value(QStringLiteral("kind")).toString(), QStringLiteral("r2"));
  EXPECT_EQ(boxes_.boxes()[0].body.value(QStringLiteral("fileCount")).toInteger(-1), 0);
  EXPECT_EQ(boxes_.boxes()[1].body.value(QStringLiteral("fileCount")).toInteger(-1), 2);
  EXPECT_EQ(registeredConnectors(), QStringList{uuidText(config.id)});
}

TEST_F(BoxRegistration, AFailingConnectorRequestSendsNoBoxAndRecordsNothing) {
  harness_.service.script("PUT", QStringLiteral("connectors"),
                          test::FakeService::Reply::error(403, QStringLiteral("FORBIDDEN"), QStringLiteral("No.")));
  const UploadError error = test::failureOf(registerBox(connection(Kind::customS3, QString()), twoFiles()));

  EXPECT_EQ(error.message(), QStringLiteral("No."));
  EXPECT_EQ(routes(), QStringList{QStringLiteral("PUT connectors")});
  EXPECT_TRUE(registeredConnectors().isEmpty());
}

TEST_F(BoxRegistration, AFailingBoxRequestKeepsTheConnectorRecorded) {
  harness_.service.script("POST", QStringLiteral("boxes"), test::FakeService::Reply::error(429));
  const UploaderConfig config = connection(Kind::customS3, QString());
  const UploadError error = test::failureOf(registerBox(config, twoFiles()));

  EXPECT_EQ(error.message(), QStringLiteral("Too many boxes in a short time. Try again in a little while."));
  EXPECT_EQ(registeredConnectors(), QStringList{uuidText(config.id)});
}

TEST_F(BoxRegistration, AnAnswerWithoutAUsableLinkIsATransportError) {
  const QByteArray answers[] = {
      R"({"id":"B1"})",
      R"({"id":"B1","url":"not a link"})",
      R"({"url":"https://parcelmoor.example/b/B1"})",
      "<html>",
  };
  for (const QByteArray& answer : answers) {
    harness_.service.script("POST", QStringLiteral("boxes"), test::FakeService::Reply::raw(200, answer));
    const UploadError error = test::failureOf(registerBox(connection(Kind::customS3, QString()), {}));
    EXPECT_EQ(error.kind(), UploadError::Kind::transport) << answer.toStdString();
    EXPECT_EQ(error.message(), QStringLiteral("The service sent a share link we could not read."));
  }
}

TEST_F(BoxRegistration, ABrokenRandomSourceStopsBeforeTheBox) {
  const UploadError error = [&] {
    test::RandomSourceFailing failing;
    return test::failureOf(registerBox(connection(Kind::customS3, QString()), twoFiles()));
  }();

  EXPECT_EQ(error.message(), QStringLiteral("The share password could not be prepared."));
  EXPECT_EQ(harness_.service.count("POST", QStringLiteral("boxes")), 0);
}

TEST_F(BoxRegistration, WithoutASessionNothingIsSent) {
  deleteKeychainString(harness_.keychain, sessionTokenAccount());
  const UploadError error = test::failureOf(registerBox(connection(Kind::customS3, QString()), twoFiles()));

  EXPECT_EQ(error.kind(), UploadError::Kind::signedOut);
  EXPECT_TRUE(harness_.service.requests().isEmpty());
}

}  // namespace
}  // namespace pm
