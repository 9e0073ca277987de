#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSet>

#include <gtest/gtest.h>

#include <memory>

#include "DevStore.h"
#include "support/TestSupport.h"

namespace pm {
namespace {

using namespace std::chrono_literals;

// The program on `port` (0: any free one), its URL read from its first line.
class Program {
 public:
  Program(const QString& stateDirectory, quint16 port = 0) {
    process.start(QStringLiteral(PM_DEVSERVICE_PROGRAM), {QStringLiteral("--port"), QString::number(port),
                                                          QStringLiteral("--state-dir"), stateDirectory});
    EXPECT_TRUE(
        test::runUntil([&] { return process.canReadLine() || process.state() == QProcess::NotRunning; }));
    url = QUrl(QString::fromUtf8(process.readLine()).trimmed());
  }
  ~Program() {
    process.terminate();
    test::runUntil([&] { return process.state() == QProcess::NotRunning; });
  }

  QProcess process;
  QUrl url;
};

// Sends `body` (JSON when not empty) to `path` of `base` under the session `token`.
QNetworkReply* send(QNetworkAccessManager& network, const QUrl& base, const QByteArray& method,
                    const QString& path, const QString& token, const QJsonObject& body = {}) {
  QNetworkRequest request(base.resolved(QUrl(path)));
  request.setRawHeader("Authorization", "Bearer " + token.toUtf8());
  request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
  return network.sendCustomRequest(
      request, method, body.isEmpty() ? QByteArray() : QJsonDocument(body).toJson(QJsonDocument::Compact));
}

QJsonObject announcement(const QString& path) {
  return QJsonObject{{QStringLiteral("files"), QJsonArray{QJsonObject{{QStringLiteral("path"), path},
                                                                      {QStringLiteral("size"), 40},
                                                                      {QStringLiteral("contentType"),
                                                                       QStringLiteral("text/plain")}}}}};
}

// The program as scripts/run and the end-to-end tests start it: the URL comes on the first line, and a
// plain kill stops it cleanly.
TEST(DevServiceProgram, PrintsItsUrlFirstAndStopsOnTerminate) {
  test::TempRoot root;
  const QString state = root.file(QStringLiteral("state"));
  QProcess program;
  program.start(QStringLiteral(PM_DEVSERVICE_PROGRAM),
                {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--state-dir"), state});
  ASSERT_TRUE(test::runUntil([&] { return program.canReadLine(); }));
  const QUrl url(QString::fromUtf8(program.readLine()).trimmed());
  EXPECT_EQ(url.host(), QStringLiteral("127.0.0.1"));
  EXPECT_GT(url.port(), 0);

  QNetworkAccessManager network;
  QNetworkReply* reply = network.get(QNetworkRequest(url.resolved(QUrl(QStringLiteral("/device")))));
  ASSERT_TRUE(test::runUntil([&] { return reply->isFinished(); }));
  EXPECT_EQ(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
  delete reply;

  program.terminate();
  ASSERT_TRUE(test::runUntil([&] { return program.state() == QProcess::NotRunning; }));
  EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(program.exitCode(), 0);
  EXPECT_TRUE(QFileInfo(state).isDir());
}

TEST(DevServiceProgram, RefusesOptionsItCannotUse) {
  const QStringList cases[] = {{QStringLiteral("--port"), QStringLiteral("http")},
                               {QStringLiteral("--part-size"), QStringLiteral("0")}};
  for (const QStringList& arguments : cases) {
    QProcess program;
    program.start(QStringLiteral(PM_DEVSERVICE_PROGRAM), arguments);
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitCode(), 2) << arguments.join(' ').toStdString();
  }
}

// Killed while requests are in flight, the service loses at most those it had not answered: every file it
// confirmed is in its store, which opens whole at the next start.
TEST(DevServiceProgram, AKilledServiceKeepsEveryRequestItAnswered) {
  test::TempRoot root;
  const QString state = root.file(QStringLiteral("state"));
  const QString token = dev::DevStore(state).createSession(QStringLiteral("ada@example.com"));
  QNetworkAccessManager network;
  QString bucket;
  QSet<QString> answered;
  {
    Program program(state);
    ASSERT_TRUE(program.url.isValid());
    QNetworkReply* opened =
        send(network, program.url, "POST", QStringLiteral("/api/buckets"), token,
             {{QStringLiteral("key"), QString::fromLatin1(QByteArray(32, 'k').toBase64())}});
    ASSERT_TRUE(test::runUntil([&] { return opened->isFinished(); }));
    bucket = QJsonDocument::fromJson(opened->readAll()).object().value(QStringLiteral("id")).toString();
    ASSERT_FALSE(bucket.isEmpty());

    constexpr int kRequests = 200;
    std::vector<std::unique_ptr<QNetworkReply>> replies;
    for (int i = 0; i < kRequests; ++i) {
      const QString path = QStringLiteral("file-%1.txt").arg(i);
      replies.emplace_back(send(network, program.url, "POST",
                                QStringLiteral("/api/buckets/%1/files").arg(bucket), token,
                                announcement(path)));
      QObject::connect(replies.back().get(), &QNetworkReply::finished,
                       [&, reply = replies.back().get(), path] {
                         if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() != 200)
                           return;
                         answered.insert(path);
                         if (answered.size() == 50) program.process.kill();
                       });
    }
    ASSERT_TRUE(test::runUntil(
        [&] {
          return std::all_of(replies.cbegin(), replies.cend(),
                             [](const auto& reply) { return reply->isFinished(); });
        },
        30s));
    ASSERT_EQ(program.process.exitStatus(), QProcess::CrashExit);
    ASSERT_LT(answered.size(), kRequests) << "killed before it answered them all";
  }

  QSet<QString> stored;
  for (const dev::StoredFile& file :
       dev::DevStore(state).read([&](dev::StoreTransaction& t) { return t.files(bucket); }))
    stored.insert(file.path);
  for (const QString& path : std::as_const(answered))
    EXPECT_TRUE(stored.contains(path)) << path.toStdString();

  Program restarted(state);
  QNetworkReply* again =
      send(network, restarted.url, "POST", QStringLiteral("/api/buckets/%1/files").arg(bucket), token,
           announcement(*answered.cbegin()));
  ASSERT_TRUE(test::runUntil([&] { return again->isFinished(); }));
  EXPECT_EQ(again->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
  EXPECT_TRUE(QJsonDocument::fromJson(again->readAll())
                  .object()
                  .value(QStringLiteral("rejected"))
                  .toObject()
                  .contains(*answered.cbegin()))
      << "the path is taken in the bucket the restarted service knows";
  delete again;
}

// scripts/run tries the usual port and takes any other when it is taken: that works only if a second
// service refuses a port the first one listens on.
TEST(DevServiceProgram, ASecondServiceOnATakenPortFailsAndTheFirstKeepsServing) {
  test::TempRoot root;
  Program first(root.file(QStringLiteral("first")));
  ASSERT_TRUE(first.url.isValid());

  QProcess second;
  second.start(QStringLiteral(PM_DEVSERVICE_PROGRAM),
               {QStringLiteral("--port"), QString::number(first.url.port()), QStringLiteral("--state-dir"),
                root.file(QStringLiteral("second"))});
  ASSERT_TRUE(second.waitForFinished(10000));
  EXPECT_EQ(second.exitCode(), 1);
  EXPECT_TRUE(second.readAllStandardOutput().isEmpty()) << "no URL";
  const QByteArray error = second.readAllStandardError();
  EXPECT_TRUE(
      error.contains("127.0.0.1:" + QByteArray::number(first.url.port()) + ": Address already in use"))
      << error.toStdString();

  QNetworkAccessManager network;
  for (int i = 0; i < 10; ++i) {
    std::unique_ptr<QNetworkReply> reply(
        network.get(QNetworkRequest(first.url.resolved(QUrl(QStringLiteral("/device"))))));
    ASSERT_TRUE(test::runUntil([&] { return reply->isFinished(); }));
    EXPECT_EQ(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
  }
}

}  // namespace
}  // namespace pm
