#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "DevService.h"
#include "core/BucketHistory.h"
#include "core/DeviceFlow.h"
#include "core/ParcelmoorAPI.h"
#include "core/SessionToken.h"
#include "platform/Keychain.h"
#include "support/TestSupport.h"
#include "upload/BucketStore.h"
#include "upload/ParcelmoorUploader.h"
#include "upload/UploadSession.h"

namespace pm {
namespace {

using namespace std::chrono_literals;
using Body = ParcelmoorAPI::Body;

struct Fetched {
  int status = 0;
  QByteArray body;
  QNetworkReply::NetworkError error = QNetworkReply::NoError;
};

QByteArray randomBytes(qint64 size) {
  QByteArray bytes(size, Qt::Uninitialized);
  for (qint64 i = 0; i < size; ++i) bytes[i] = char(QRandomGenerator::global()->bounded(256));
  return bytes;
}

// The development service on a fresh state folder, and the agent's own service client aimed at it.
class DevServiceTest : public ::testing::Test {
 protected:
  DevServiceTest() : DevServiceTest(true) {}
  explicit DevServiceTest(bool started) {
    if (started) startService();
  }

  void startService() {
    service = std::make_unique<dev::DevService>(
        dev::DevService::Options{root.file(QStringLiteral("state")), 0, kPartSize});
    ASSERT_TRUE(service->start());
    ParcelmoorAPI::Options options;
    options.baseUrl = service->baseUrl();
    options.preferredLanguages = {QStringLiteral("en")};
    api = std::make_unique<ParcelmoorAPI>(network, keychain, options);
  }
  void restartService() {
    api.reset();
    service.reset();
    startService();
  }

  // A page or upload outside the client's "/api/" requests, as a browser would fetch it.
  Fetched fetch(const QByteArray& method, const QUrl& url, const QByteArray& body = {},
                const QByteArray& contentType = {}) {
    QNetworkRequest request(url);
    if (!contentType.isEmpty()) request.setHeader(QNetworkRequest::ContentTypeHeader, contentType);
    QNetworkReply* reply = network.sendCustomRequest(request, method, body);
    EXPECT_TRUE(test::runUntil([&] { return reply->isFinished(); }));
    Fetched fetched{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll(),
                    reply->error()};
    reply->deleteLater();
    return fetched;
  }
  Fetched fetch(const QByteArray& method, const QString& path) {
    return fetch(method, QUrl(service->baseUrl().toString() + path));
  }

  ParcelmoorAPI::Response call(const QString& path, const QByteArray& method, Body body,
                               std::optional<QString> token) {
    return test::wait(api->request(path, method, std::move(body), std::move(token)));
  }

  // Signs in through the device flow, approving the code on the verification page; returns the token.
  QString signIn(const QString& email = QStringLiteral("ada@example.com")) {
    DeviceFlow flow(*api);
    const DeviceFlow::Code code = test::wait(flow.requestCode());
    const Fetched page = fetch("GET", QUrl(code.verificationUriComplete));
    EXPECT_EQ(page.status, 200);
    EXPECT_TRUE(page.body.contains(code.userCode.toUtf8()));
    EXPECT_EQ(test::wait(flow.poll(code.deviceCode)), DeviceFlow::PollResult::pending());
    const Fetched approved = fetch("POST", QUrl(code.verificationUri),
                                   "user_code=" + QUrl::toPercentEncoding(code.userCode) +
                                       "&email=" + QUrl::toPercentEncoding(email) + "&decision=approve",
                                   "application/x-www-form-urlencoded");
    EXPECT_EQ(approved.status, 200);
    const DeviceFlow::PollResult result = test::wait(flow.poll(code.deviceCode));
    EXPECT_EQ(result.kind(), DeviceFlow::PollResult::Kind::approved);
    storeKeychainString(keychain, result.accessToken(), sessionTokenAccount());
    return result.accessToken();
  }

  static constexpr qint64 kPartSize = 1024 * 1024;

  test::TempRoot root;
  test::ManualClock clock;
  MemoryKeychain keychain;
  QNetworkAccessManager network;
  std::unique_ptr<dev::DevService> service;
  std::unique_ptr<ParcelmoorAPI> api;
};

TEST_F(DevServiceTest, ACodeApprovedInTheBrowserSignsTheAgentIn) {
  const QString token = signIn(QStringLiteral("grace@example.com"));
  DeviceFlow flow(*api);
  EXPECT_EQ(test::wait(flow.session(token)), QStringLiteral("grace@example.com"));
  EXPECT_TRUE(test::wait(flow.isSubscribed(token)));

  const ParcelmoorAPI::Response billing =
      call(QStringLiteral("billing"), "POST", Body::form(QStringLiteral("intent=portal&return=app")), token);
  EXPECT_EQ(billing.status, 200);
  EXPECT_EQ(
      fetch("GET",
            QUrl(QJsonDocument::fromJson(billing.body).object().value(QStringLiteral("url")).toString()))
          .status,
      200);

  test::wait(flow.signOut(token));
  EXPECT_EQ(test::wait(flow.session(token)), std::nullopt);
}

TEST_F(DevServiceTest, ADeniedCodeEndsTheSignInAndAnUnknownCodeIsSaidSo) {
  DeviceFlow flow(*api);
  const DeviceFlow::Code code = test::wait(flow.requestCode());
  EXPECT_EQ(
      fetch("POST", QUrl(code.verificationUri), "user_code=" + code.userCode.toUtf8() + "&decision=deny",
            "application/x-www-form-urlencoded")
          .status,
      200);
  EXPECT_EQ(test::wait(flow.poll(code.deviceCode)), DeviceFlow::PollResult::denied());
  // Used up: a second poll meets a code the service no longer knows.
  EXPECT_EQ(test::wait(flow.poll(code.deviceCode)), DeviceFlow::PollResult::pending());

  const Fetched unknown = fetch("GET", QStringLiteral("/device?user_code=%3Cb%3EZZZZ"));
  EXPECT_EQ(unknown.status, 404);
  EXPECT_TRUE(unknown.body.contains("&lt;b&gt;ZZZZ"));
  EXPECT_FALSE(unknown.body.contains("<b>ZZZZ"));
}

TEST_F(DevServiceTest, FilesUploadedByTheAgentAreServedDecryptedBehindTheShareLink) {
  signIn();
  const QMap<QString, QByteArray> contents{
      {QStringLiteral("empty.txt"), QByteArray()},
      {QStringLiteral("notes <1>.txt"), randomBytes(3000)},
      // Two chunks, sent in parts of the service's (small) part size.
      {QStringLiteral("big.bin"), randomBytes(4 * 1024 * 1024 + 17)},
  };
  QStringList paths;
  for (auto it = contents.cbegin(); it != contents.cend(); ++it)
    paths.append(root.write(QStringLiteral("drop/") + it.key(), it.value()));

  BucketHistory history(root.file(QStringLiteral("support/buckets.json")), clock);
  BucketStore store(
      history, [](const std::optional<SharedInbox::OpenBucket>&) {}, clock);
  const auto session = store.session(UploaderConfig(UploaderConfig::Kind::parcelmoor),
                                     [&] { return std::make_unique<ParcelmoorUploader>(network, *api); });
  session->enqueue(paths);
  ASSERT_TRUE(test::runUntil([&] { return session->canFinish(); }));
  const std::optional<ResponseItem> finished = test::wait(session->finish());
  ASSERT_TRUE(finished.has_value());
  ASSERT_EQ(finished->type, ResponseItem::Kind::copied);
  const QUrl link = finished->url;

  const Fetched listing = fetch("GET", link);
  ASSERT_EQ(listing.status, 200);
  static const QRegularExpression kEntry(QStringLiteral("<a href=\"([^\"]+)\">([^<]+)</a>"));
  QMap<QString, QString> downloads;  // shown name → link
  for (const auto& match : kEntry.globalMatch(QString::fromUtf8(listing.body)))
    downloads.insert(match.captured(2), match.captured(1));
  ASSERT_EQ(downloads.size(), contents.size()) << listing.body.toStdString();
  for (auto it = contents.cbegin(); it != contents.cend(); ++it) {
    const QString shown = it.key().toHtmlEscaped();
    ASSERT_TRUE(downloads.contains(shown)) << shown.toStdString();
    const Fetched file = fetch("GET", downloads.value(shown));
    EXPECT_EQ(file.status, 200);
    EXPECT_EQ(file.body, it.value()) << it.key().toStdString();
  }

  // Everything survives a restart of the service: the session and the shared files.
  restartService();
  EXPECT_EQ(call(QStringLiteral("auth/get-session"), "GET", Body::none(),
                 loadKeychainString(keychain, sessionTokenAccount()))
                .status,
            200);
  const QString bigLink = downloads.value(QStringLiteral("big.bin"));
  EXPECT_EQ(fetch("GET", QUrl(service->baseUrl().toString() + QUrl(bigLink).path())).body,
            contents.value(QStringLiteral("big.bin")));
}

TEST_F(DevServiceTest, BucketRoutesRefuseWhatWouldNotOpenLater) {
  const QString token = signIn();
  const auto json = [](const ParcelmoorAPI::Response& response) {
    return QJsonDocument::fromJson(response.body).object();
  };
  EXPECT_EQ(call(QStringLiteral("buckets"), "POST", Body::json(QJsonObject{}), std::nullopt).status, 401);
  EXPECT_EQ(call(QStringLiteral("buckets"), "POST",
                 Body::json(QJsonObject{{QStringLiteral("key"), QStringLiteral("c2hvcnQ=")}}), token)
                .status,
            400);

  const QString key = QString::fromLatin1(QByteArray(32, 'k').toBase64());
  const QString bucket = json(call(QStringLiteral("buckets"), "POST",
                                   Body::json(QJsonObject{{QStringLiteral("key"), key}}), token))
                             .value(QStringLiteral("id"))
                             .toString();
  const QJsonArray files{QJsonObject{{QStringLiteral("path"), QStringLiteral("a.txt")},
                                     {QStringLiteral("size"), 40},
                                     {QStringLiteral("contentType"), QStringLiteral("text/plain")}},
                         QJsonObject{{QStringLiteral("path"), QStringLiteral("../b.txt")},
                                     {QStringLiteral("size"), 40},
                                     {QStringLiteral("contentType"), QStringLiteral("text/plain")}},
                         QJsonObject{{QStringLiteral("path"), QStringLiteral("c.txt")},
                                     {QStringLiteral("size"), 12},
                                     {QStringLiteral("contentType"), QStringLiteral("text/plain")}}};
  const QJsonObject plan = json(call(QStringLiteral("buckets/") + bucket + QStringLiteral("/files"), "POST",
                                     Body::json(QJsonObject{{QStringLiteral("files"), files}}), token));
  EXPECT_EQ(plan.value(QStringLiteral("rejected")).toObject(),
            (QJsonObject{{QStringLiteral("../b.txt"), QStringLiteral("INVALID_PATH")},
                         {QStringLiteral("c.txt"), QStringLiteral("INVALID_SIZE")}}));
  const QUrl upload(
      plan.value(QStringLiteral("files")).toArray().at(0).toObject().value(QStringLiteral("url")).toString());

  // A body of another length than the sealed length announced is refused before it is stored.
  EXPECT_EQ(fetch("PUT", upload, QByteArray(39, 'x')).status, 400);
  EXPECT_EQ(fetch("PUT", upload, QByteArray(40, 'x')).status, 200);
  // Not sealed yet: nothing to share.
  EXPECT_EQ(fetch("GET", QStringLiteral("/s/") + bucket).status, 404);
  EXPECT_EQ(
      json(call(QStringLiteral("buckets/") + bucket + QStringLiteral("/seal"), "POST", Body::none(), token))
          .value(QStringLiteral("files"))
          .toInt(),
      1);
  // Sealed: no more uploads, and a file whose bytes are no sealed stream is not served.
  EXPECT_EQ(fetch("PUT", upload, QByteArray(40, 'x')).status, 404);
  const Fetched listing = fetch("GET", QStringLiteral("/s/") + bucket);
  EXPECT_EQ(listing.status, 200);
  EXPECT_NE(fetch("GET", QStringLiteral("/s/") + bucket + QLatin1Char('/') +
                             plan.value(QStringLiteral("files"))
                                 .toArray()
                                 .at(0)
                                 .toObject()
                                 .value(QStringLiteral("id"))
                                 .toString())
                .status,
            200);
}

TEST_F(DevServiceTest, ConnectorsAndBoxesAreKeptAndABoxIsRegisteredOnce) {
  const QString token = signIn();
  const QString connector = QStringLiteral("0F8E2A4C-6B1D-4E3F-9A7C-2D5B8E1F4A6C");
  const QJsonObject body{{QStringLiteral("connectorId"), connector},
                         {QStringLiteral("type"), QStringLiteral("r2")},
                         {QStringLiteral("endpoint"), QStringLiteral("https://acct.r2.example")},
                         {QStringLiteral("bucket"), QStringLiteral("photos")},
                         {QStringLiteral("region"), QStringLiteral("auto")},
                         {QStringLiteral("accessKeyId"), QStringLiteral("AK")},
                         {QStringLiteral("secretAccessKey"), QStringLiteral("SK")}};
  const QJsonObject box{
      {QStringLiteral("kind"), QStringLiteral("r2")},
      {QStringLiteral("connectorId"), connector},
      {QStringLiteral("prefix"), QStringLiteral("2024-03-01 12.00.00/")},
      {QStringLiteral("manifest"), QString::fromLatin1(QByteArray("sealed").toBase64())},
      {QStringLiteral("verifierHash"), QString(64, QLatin1Char('a'))},
      {QStringLiteral("fileCount"), 2},
      {QStringLiteral("idempotencyKey"), QStringLiteral("6F1C7A52-0D3B-4E7A-9A51-2B7C1D9E0F11")}};

  EXPECT_EQ(call(QStringLiteral("boxes"), "POST", Body::json(box), token).status, 404);
  EXPECT_EQ(call(QStringLiteral("connectors"), "PUT", Body::json(body), token).status, 200);
  const ParcelmoorAPI::Response first = call(QStringLiteral("boxes"), "POST", Body::json(box), token);
  const ParcelmoorAPI::Response again = call(QStringLiteral("boxes"), "POST", Body::json(box), token);
  EXPECT_EQ(first.status, 200);
  EXPECT_EQ(again.body, first.body);
  const QString url = QJsonDocument::fromJson(first.body).object().value(QStringLiteral("url")).toString();
  const Fetched page = fetch("GET", QUrl(url));
  EXPECT_EQ(page.status, 200);
  EXPECT_TRUE(page.body.contains("photos"));

  EXPECT_EQ(call(QStringLiteral("connectors/") + connector, "DELETE", Body::none(), token).status, 200);
  EXPECT_EQ(call(QStringLiteral("connectors/") + connector, "DELETE", Body::none(), token).status, 404);
}

// Sockets a browser or a probe opened and left: silent ones, and ones that stopped in the middle of a
// request's head. None of them may hold up the agent's requests.
TEST_F(DevServiceTest, IdleConnectionsDoNotHoldUpTheAgentsRequests) {
  const QString token = signIn();
  std::vector<std::unique_ptr<QTcpSocket>> idle;
  int connected = 0;
  for (int i = 0; i < 32; ++i) {
    auto socket = std::make_unique<QTcpSocket>();
    QTcpSocket* opened = socket.get();
    QObject::connect(opened, &QTcpSocket::connected, opened, [opened, i, &connected] {
      ++connected;
      if (i % 2 == 0) opened->write("GET /api/me HTTP/1.1\r\nHost: 127.0.0.1\r\n");
    });
    socket->connectToHost(QHostAddress::LocalHost, quint16(service->baseUrl().port()));
    idle.push_back(std::move(socket));
  }
  // The service drops a silent one after a second; by then it must have been taken.
  ASSERT_TRUE(test::runUntil([&] { return connected == 32; }, 30s));

  QElapsedTimer answered;
  answered.start();
  EXPECT_EQ(call(QStringLiteral("me"), "GET", Body::none(), token).status, 200);
  // Served at once, it takes milliseconds; behind the idle sockets it took seconds for each few of them.
  EXPECT_LT(answered.elapsed(), 3000);
  idle.clear();  // closed, so stopping the service does not wait for their time-outs
}

// The sync rules run on the account's records as the store keeps them: a pairing answered before a restart
// is handed over after it, and a refused request changes nothing.
TEST_F(DevServiceTest, SyncedCopiesAndPairingsAreKeptAcrossARestart) {
  const QString token = signIn();
  const auto sync = [&](const QString& path, const QByteArray& method, const QJsonObject& body = {}) {
    return call(QStringLiteral("sync/") + path, method, body.isEmpty() ? Body::none() : Body::json(body),
                token);
  };
  const QJsonObject first{{QStringLiteral("blob"), QStringLiteral("b25l")}, {QStringLiteral("version"), 0}};
  EXPECT_EQ(sync(QStringLiteral("uploaders"), "PUT", first).status, 200);
  EXPECT_EQ(sync(QStringLiteral("uploaders"), "PUT", first).status, 409);
  EXPECT_EQ(
      sync(QStringLiteral("pairings"), "POST", {{QStringLiteral("salt"), QStringLiteral("c2FsdA==")}}).status,
      201);
  const QJsonObject answer{{QStringLiteral("publicKey"), QStringLiteral("cGs=")},
                           {QStringLiteral("mac"), QStringLiteral("bWFj")},
                           {QStringLiteral("salt"), QStringLiteral("c2FsdA==")}};
  EXPECT_EQ(sync(QStringLiteral("pairings"), "PUT", answer).status, 200);

  restartService();
  EXPECT_EQ(QJsonDocument::fromJson(sync(QStringLiteral("uploaders"), "GET").body).object(),
            (QJsonObject{{QStringLiteral("blob"), QStringLiteral("b25l")}, {QStringLiteral("version"), 1}}));
  EXPECT_EQ(sync(QStringLiteral("pairings"), "PUT", answer).status, 409) << "answered before the restart";
  const QJsonObject handover{{QStringLiteral("senderPublicKey"), QStringLiteral("cGs=")},
                             {QStringLiteral("handover"), QStringLiteral("aA==")},
                             {QStringLiteral("nonce"), QStringLiteral("bg==")}};
  EXPECT_EQ(sync(QStringLiteral("pairings"), "PUT", handover).status, 200);
  const ParcelmoorAPI::Response claimed = sync(QStringLiteral("pairings/claim"), "POST");
  EXPECT_EQ(claimed.status, 200);
  EXPECT_EQ(QJsonDocument::fromJson(claimed.body).object(), handover);
  EXPECT_EQ(sync(QStringLiteral("pairings/claim"), "POST").status, 410) << "handed out once";
}

// A state folder as the service kept it in one JSON file, with a developer's account signed in, a finished
// share of one file, a synced copy, a connector and a box.
class EarlierStateTest : public DevServiceTest {
 protected:
  EarlierStateTest() : DevServiceTest(false) {
    const QString earlier = QStringLiteral(PARCELMOOR_SOURCE_DIR "/tests/tools/devservice/earlier-state");
    QDirIterator files(earlier, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
      const QString file = files.next();
      QFile source(file);
      EXPECT_TRUE(source.open(QIODevice::ReadOnly));
      root.write(QStringLiteral("state/") + QDir(earlier).relativeFilePath(file), source.readAll());
    }
    startService();
  }

  static inline const QString kToken = QStringLiteral("dev-session-c3b29939a84f46d8aa93f954bdc7ba7d");
  static inline const QString kBucket = QStringLiteral("bucket-c84d773a355f4eb590bca5ea8e23beb2");
  static inline const QString kBox = QStringLiteral("box-05f95160e0a94610a9f90d41f53e7d74");
};

TEST_F(EarlierStateTest, AccountsSharesAndSyncedCopiesSurviveTheMoveIntoTheDatabase) {
  const auto check = [&] {
    DeviceFlow flow(*api);
    EXPECT_EQ(test::wait(flow.session(kToken)), QStringLiteral("ada@example.com"));
    EXPECT_TRUE(test::wait(flow.isSubscribed(kToken)));

    const Fetched listing = fetch("GET", QStringLiteral("/s/") + kBucket);
    ASSERT_EQ(listing.status, 200);
    static const QRegularExpression kEntry(QStringLiteral("<a href=\"([^\"]+)\">notes.txt</a>"));
    const QRegularExpressionMatch entry = kEntry.match(QString::fromUtf8(listing.body));
    ASSERT_TRUE(entry.hasMatch()) << listing.body.toStdString();
    EXPECT_EQ(fetch("GET", entry.captured(1)).body, QByteArray("Kept across the upgrade.\n"));

    const QJsonObject copy =
        QJsonDocument::fromJson(call(QStringLiteral("sync/uploaders"), "GET", Body::none(), kToken).body)
            .object();
    EXPECT_EQ(copy.value(QStringLiteral("version")).toInt(), 1);
    EXPECT_EQ(copy.value(QStringLiteral("blob")).toString(), QStringLiteral("c2VhbGVkIHNldHRpbmdz"));

    const Fetched box = fetch("GET", QStringLiteral("/b/") + kBox);
    EXPECT_EQ(box.status, 200);
    EXPECT_TRUE(box.body.contains("photos"));
  };
  check();
  const QString state = root.file(QStringLiteral("state"));
  EXPECT_FALSE(QFile::exists(state + QStringLiteral("/state.json")));
  EXPECT_EQ(QDir(state).entryList({QStringLiteral("state.json.migrated-*")}, QDir::Files).size(), 1);

  // What changes after the move is kept from then on, and the share stays.
  const QJsonObject newer{{QStringLiteral("blob"), QStringLiteral("bmV3ZXI=")},
                          {QStringLiteral("version"), 1}};
  EXPECT_EQ(call(QStringLiteral("sync/uploaders"), "PUT", Body::json(newer), kToken).status, 200);
  restartService();
  EXPECT_EQ(QJsonDocument::fromJson(call(QStringLiteral("sync/uploaders"), "GET", Body::none(), kToken).body)
                .object()
                .value(QStringLiteral("version"))
                .toInt(),
            2);
  EXPECT_EQ(fetch("GET", QStringLiteral("/s/") + kBucket).status, 200);
}

// Two services on one port would each take some of the agent's connections, and each keep only the
// uploads it happened to receive.
TEST_F(DevServiceTest, ASecondServiceCannotTakeThePortTheFirstListensOn) {
  const QString token = signIn();
  dev::DevService second(dev::DevService::Options{root.file(QStringLiteral("second")),
                                                  quint16(service->baseUrl().port()), kPartSize});
  EXPECT_FALSE(second.start());
  EXPECT_TRUE(second.failure().contains(QString::number(service->baseUrl().port())))
      << second.failure().toStdString();
  EXPECT_TRUE(second.failure().contains(QStringLiteral("in use"))) << second.failure().toStdString();

  // Every request still reaches the first one, which knows the session.
  for (int i = 0; i < 20; ++i)
    ASSERT_EQ(call(QStringLiteral("me"), "GET", Body::none(), token).status, 200) << "request " << i;
}

TEST(DevService, DoesNotStartWithoutAPlaceForItsState) {
  test::TempRoot root;
  const QString occupied = root.write(QStringLiteral("state"), "a file where the folder should be");
  dev::DevService service(dev::DevService::Options{occupied, 0, 1024});
  EXPECT_FALSE(service.start());
}

}  // namespace
}  // namespace pm
