#include <QTcpServer>

#include <gtest/gtest.h>

#include "connectors/FTPTransfer.h"
#include "curl/FTPCalls.h"
#include "support/TestSupport.h"
#include "support/UploadErrorTesting.h"
#include "UploadErrorPrinting.h"

namespace pm {
namespace {

TEST(FTPTransferTest, MapsLibcurlResultsToTexts) {
  const QString tlsText =
      QStringLiteral("The server's TLS could not be used. Check whether it wants explicit or implicit TLS.");
  const struct {
    int code;
    long responseCode;
    const char* detail;
    UploadError expected;
  } table[] = {
      {6, 0, "x", UploadError::transport(QStringLiteral("That server name could not be found."))},
      {7, 0, "x", UploadError::transport(QStringLiteral("Nothing answered on that host and port."))},
      {28, 0, "x", UploadError::transport(QStringLiteral("The server did not answer in time."))},
      {35, 0, "x", UploadError::rejected(tlsText)},
      {60, 0, "x", UploadError::rejected(tlsText)},
      {64, 0, "x", UploadError::rejected(tlsText)},
      {83, 0, "x", UploadError::rejected(tlsText)},
      {67, 530, "x", UploadError::rejected(QStringLiteral("The server refused this username and password."))},
      {9, 550, "x", UploadError::rejected(QStringLiteral("That folder could not be opened with this account."))},
      {78, 550, "x", UploadError::rejected(QStringLiteral("That folder could not be opened with this account."))},
      {26, 0, "The file could not be opened.", UploadError::rejected(QStringLiteral("The file could not be opened."))},
      {21, 550, "", UploadError::rejected(QStringLiteral("The server refused the transfer (550)."))},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.code);
    EXPECT_EQ(FTPTransfer::transferError(row.code, row.responseCode, QString::fromUtf8(row.detail)), row.expected);
  }
}

TEST(FTPTransferTest, PerformReadsTheErrorBufferAsUTF8) {
  try {
    FTPTransfer::perform([](char* buffer, std::size_t capacity, long* responseCode) {
      EXPECT_EQ(capacity, 256u);
      EXPECT_EQ(buffer[0], '\0');
      *responseCode = 451;
      std::snprintf(buffer, capacity, "Fehler \xC3\xA4 \xFF");
      return 55;
    });
    FAIL() << "no error";
  } catch (const UploadError& error) {
    EXPECT_EQ(error, UploadError::rejected(QStringLiteral("Fehler ä \uFFFD")));
  }
  EXPECT_NO_THROW(FTPTransfer::perform([](char*, std::size_t, long*) { return 0; }));
}

TEST(FTPTransferTest, ProgressFractions) {
  EXPECT_EQ(FTPTransfer::progressFraction(10, 0), std::nullopt);
  EXPECT_EQ(FTPTransfer::progressFraction(0, -1), std::nullopt);
  EXPECT_EQ(FTPTransfer::progressFraction(5, 10), 0.5);
  EXPECT_EQ(FTPTransfer::progressFraction(11, 10), 1.0);
}

TEST(FTPTransferTest, TrampolinePassesUploadFiguresAndTheAnswer) {
  struct Seen {
    std::int64_t sent = -1;
    std::int64_t total = -1;
  } seen;
  struct Record {
    ftp_progress_fn function;
    void* context;
  } record{[](void* context, std::int64_t sent, std::int64_t total) {
             *static_cast<Seen*>(context) = {sent, total};
             return 7;
           },
           &seen};
  EXPECT_EQ(ftp_progress_trampoline(&record, 100, 50, 30, 20), 7);
  EXPECT_EQ(seen.sent, 20);
  EXPECT_EQ(seen.total, 30);
  EXPECT_EQ(ftp_progress_trampoline(nullptr, 1, 1, 1, 1), 0);
  Record empty{nullptr, nullptr};
  EXPECT_EQ(ftp_progress_trampoline(&empty, 1, 1, 1, 1), 0);
}

TEST(FTPTransferTest, CommandsWithControlCharactersAreNeverSent) {
  QTcpServer server;
  ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
  QUrl url(QStringLiteral("ftp://127.0.0.1/"));
  url.setPort(server.serverPort());
  for (const char* command : {"DELE a\r\nDELE b", "DELE a\nb", "DELE a\x7F", "DELE \tx"}) {
    SCOPED_TRACE(command);
    EXPECT_EQ(test::failureOf(FTPTransfer::sendCommand(QString::fromUtf8(command), url, FTPSecurity::plain,
                                                       {QStringLiteral("u"), QStringLiteral("p")},
                                                       std::chrono::seconds(5))),
              UploadError::rejected(QStringLiteral("That file name cannot be sent to an FTP server.")));
  }
  test::spin(std::chrono::milliseconds(100));
  EXPECT_FALSE(server.hasPendingConnections());
}

}  // namespace
}  // namespace pm
