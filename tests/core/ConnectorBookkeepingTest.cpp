#include <QUuid>

#include <QCoroTask>

#include <gtest/gtest.h>

#include "core/ConnectorBookkeeping.h"
#include "core/S3Credentials.h"
#include "core/UploaderConfig.h"
#include "platform/SharedDefaults.h"
#include "support/LogCapture.h"
#include "support/ServiceHarness.h"
#include "support/TestSupport.h"

namespace pm {
namespace {

using test::FakeService;

const QString kRegistered = QStringLiteral("registeredConnectors");

UploaderConfig connection(UploaderConfig::Kind kind, bool links) {
  UploaderConfig config(kind);
  config.parcelmoorDownloads = links;
  return config;
}

struct ConnectorBookkeepingTest : ::testing::Test {
  void storeConnections(const QList<UploaderConfig>& configs) {
    defaults.set(QStringLiteral("uploaderConfigs"), UploaderConfig::encodeList(configs).value());
  }
  // Registered here and at the service.
  QString registerConnector(const UploaderConfig& config) {
    markConnectorRegistered(defaults, config.id);
    harness.service.addConnector(uuidText(config.id));
    return uuidText(config.id);
  }
  QStringList registered() const {
    QStringList list = defaults.stringArrayValue(kRegistered).value_or(QStringList());
    list.sort();
    return list;
  }
  void withdraw() { test::wait(withdrawStaleConnectors(harness.api, defaults)); }
  int deletes() const {
    int count = 0;
    for (const auto& request : harness.service.requests()) count += request.method == "DELETE" ? 1 : 0;
    return count;
  }

  test::ServiceHarness harness;
  MemorySharedDefaults defaults;
  test::LogCapture log;
};

TEST_F(ConnectorBookkeepingTest, MarkingTwiceKeepsOneUpperCaseEntry) {
  const QUuid id = QUuid::createUuid();
  markConnectorRegistered(defaults, id);
  markConnectorRegistered(defaults, id);
  EXPECT_EQ(registered(), QStringList{uuidText(id)});
  EXPECT_EQ(registered().first(), registered().first().toUpper());
}

TEST_F(ConnectorBookkeepingTest, ConnectorsNoLongerWantedAreWithdrawn) {
  const UploaderConfig kept = connection(UploaderConfig::Kind::customS3, true);
  const UploaderConfig keptR2 = connection(UploaderConfig::Kind::r2, true);
  const UploaderConfig linksOff = connection(UploaderConfig::Kind::r2, false);
  const UploaderConfig nowFtp = connection(UploaderConfig::Kind::ftp, true);
  const UploaderConfig deleted = connection(UploaderConfig::Kind::customS3, true);
  storeConnections({UploaderConfig(UploaderConfig::Kind::parcelmoor), kept, keptR2, linksOff, nowFtp});
  harness.signIn();
  for (const auto& config : {kept, keptR2, linksOff, nowFtp, deleted}) registerConnector(config);

  withdraw();

  QStringList expected{uuidText(kept.id), uuidText(keptR2.id)};
  expected.sort();
  EXPECT_EQ(registered(), expected);
  EXPECT_EQ(deletes(), 3);
  for (const auto& gone : {linksOff, nowFtp, deleted}) {
    EXPECT_FALSE(harness.service.hasConnector(uuidText(gone.id)));
    EXPECT_TRUE(log.contains(QStringLiteral("connector %1 withdrawn").arg(uuidText(gone.id))));
  }
  EXPECT_TRUE(harness.service.hasConnector(uuidText(kept.id)));
}

TEST_F(ConnectorBookkeepingTest, WithoutATokenNothingIsSent) {
  storeConnections({UploaderConfig(UploaderConfig::Kind::parcelmoor)});
  const QString id = registerConnector(connection(UploaderConfig::Kind::customS3, true));
  withdraw();
  EXPECT_TRUE(harness.service.requests().isEmpty());
  EXPECT_EQ(registered(), QStringList{id});
}

TEST_F(ConnectorBookkeepingTest, AnUnreadableConnectionListWithdrawsNothing) {
  harness.signIn();
  const QString id = registerConnector(connection(UploaderConfig::Kind::customS3, true));
  for (const QByteArray& stored : {QByteArray("not json"), QByteArray("[]")}) {
    defaults.set(QStringLiteral("uploaderConfigs"), stored);
    withdraw();
  }
  EXPECT_TRUE(harness.service.requests().isEmpty());
  EXPECT_EQ(registered(), QStringList{id});
}

TEST_F(ConnectorBookkeepingTest, TheServicesAnswerDecides) {
  const struct {
    FakeService::Reply reply;
    bool removed;
    const char* logged;
  } table[] = {
      {FakeService::Reply::error(404, QStringLiteral("NOT_FOUND")), true, "withdrawn"},
      {FakeService::Reply::raw(204, ""), true, "withdrawn"},
      {FakeService::Reply::raw(500, ""), false, "withdraw: HTTP 500"},
  };
  harness.signIn();
  storeConnections({UploaderConfig(UploaderConfig::Kind::parcelmoor)});
  for (const auto& row : table) {
    SCOPED_TRACE(row.logged);
    defaults.remove(kRegistered);
    log.clear();
    const QString id = registerConnector(connection(UploaderConfig::Kind::customS3, true));
    harness.service.script("DELETE", QStringLiteral("connectors/") + id, row.reply);
    withdraw();
    EXPECT_EQ(registered().isEmpty(), row.removed);
    EXPECT_TRUE(log.contains(QStringLiteral("connector %1 %2").arg(id, QString::fromLatin1(row.logged))));
  }
}

TEST_F(ConnectorBookkeepingTest, AnUnreachableServiceKeepsEveryIdentifier) {
  storeConnections({UploaderConfig(UploaderConfig::Kind::parcelmoor)});
  ParcelmoorAPI unreachable(harness.network, harness.keychain, harness.unreachableOptions());
  harness.signIn();
  registerConnector(connection(UploaderConfig::Kind::customS3, true));
  registerConnector(connection(UploaderConfig::Kind::r2, true));
  test::wait(withdrawStaleConnectors(unreachable, defaults));
  EXPECT_EQ(registered().size(), 2);
  EXPECT_TRUE(log.lines().isEmpty());
}

}  // namespace
}  // namespace pm
