#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>

#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace pm {
namespace {

using namespace std::chrono_literals;

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

}  // namespace
}  // namespace pm
