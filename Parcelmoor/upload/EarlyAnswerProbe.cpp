#include "EarlyAnswerProbe.h"

#include <QDeadlineTimer>
#include <QSslSocket>
#include <QTcpSocket>

#include <QCoroAbstractSocket>
#include <QCoroSignal>

#include <memory>

#include "platform/NetworkRequest.h"

namespace pm {

namespace {

QByteArray requestHeader(const UploadDestination& destination, qint64 bodyLength) {
  const QUrl& url = destination.url;
  QByteArray target = url.path(QUrl::FullyEncoded).toLatin1();
  if (target.isEmpty()) target = "/";
  if (url.hasQuery()) target += '?' + url.query(QUrl::FullyEncoded).toLatin1();

  QByteArray header = destination.method.toLatin1() + ' ' + target + " HTTP/1.1\r\n";
  header += "Host: " + hostField(url) + "\r\n";
  for (auto it = destination.headers.cbegin(); it != destination.headers.cend(); ++it)
    header += it.key().toUtf8() + ": " + it.value().toUtf8() + "\r\n";
  header += "Content-Length: " + QByteArray::number(bodyLength) + "\r\n";
  header += "Expect: 100-continue\r\nConnection: close\r\n\r\n";
  return header;
}

struct ParsedHead {
  int status = 0;
  qint64 contentLength = -1;
  qsizetype size = 0;  // bytes of the status line and the header fields, blank line included
};

// The head of one answer at the start of `bytes`; nothing while it is incomplete or when it is no HTTP.
std::optional<ParsedHead> parseHead(const QByteArray& bytes) {
  const qsizetype end = bytes.indexOf("\r\n\r\n");
  if (end < 0) return std::nullopt;
  const QList<QByteArray> lines = bytes.left(end).split('\n');
  const QList<QByteArray> statusLine = lines.value(0).trimmed().split(' ');
  if (statusLine.size() < 2 || !statusLine[0].startsWith("HTTP/1.")) return ParsedHead{0, -1, end + 4};
  ParsedHead head{statusLine[1].toInt(), -1, end + 4};
  for (qsizetype i = 1; i < lines.size(); ++i) {
    const qsizetype colon = lines[i].indexOf(':');
    if (colon > 0 && lines[i].left(colon).trimmed().compare("content-length", Qt::CaseInsensitive) == 0)
      head.contentLength = lines[i].mid(colon + 1).trimmed().toLongLong();
  }
  return head;
}

}  // namespace

QCoro::Task<std::optional<EarlyAnswer>> probeEarlyAnswer(UploadDestination destination, qint64 bodyLength,
                                                         std::chrono::milliseconds wait) {
  const QUrl url = destination.url;
  const bool secure = url.scheme() == QLatin1String("https");
  if (url.host().isEmpty() || (!secure && url.scheme() != QLatin1String("http"))) co_return std::nullopt;

  const QDeadlineTimer deadline(wait);
  // Never 0, which QCoro would take as "no limit".
  auto left = [&deadline] { return std::chrono::milliseconds(std::max<qint64>(deadline.remainingTime(), 1)); };
  std::unique_ptr<QTcpSocket> socket;
  if (secure) {
    auto ssl = std::make_unique<QSslSocket>();
    ssl->connectToHostEncrypted(url.host(), quint16(url.port(443)));
    socket = std::move(ssl);
  } else {
    socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(url.host(), quint16(url.port(80)));
  }
  // QCoro's waitForConnected() does not wake on a refused connection; every state change does.
  while (socket->state() != QAbstractSocket::ConnectedState) {
    if (socket->state() == QAbstractSocket::UnconnectedState || deadline.hasExpired()) co_return std::nullopt;
    const auto changed = co_await qCoro(socket.get(), &QAbstractSocket::stateChanged, left());
    if (!changed) co_return std::nullopt;
  }
  // A secure socket holds the header back until its handshake is done.
  socket->write(requestHeader(destination, bodyLength));

  // Waits for more bytes; false once none can come any more.
  auto more = [&socket, &deadline, &left]() -> QCoro::Task<bool> {
    if (deadline.hasExpired()) co_return false;
    if (socket->state() != QAbstractSocket::ConnectedState) co_return socket->bytesAvailable() > 0;
    co_return co_await qCoro(*socket).waitForReadyRead(left());
  };

  QByteArray received;
  std::optional<ParsedHead> head;
  while (received.size() <= kEarlyAnswerBodyLimit) {
    received += socket->readAll();
    head = parseHead(received);
    if (head && head->status > 100 && head->status < 200) {
      received.remove(0, head->size);  // an interim answer; the final one follows
      head.reset();
      continue;
    }
    if (head || !co_await more()) break;
  }
  // No HTTP, no answer, or the header was accepted (100 Continue): the server did not refuse it early.
  if (!head || head->status < 200) {
    socket->abort();
    co_return std::nullopt;
  }

  const qint64 wanted = std::min<qint64>(head->contentLength < 0 ? kEarlyAnswerBodyLimit : head->contentLength,
                                         kEarlyAnswerBodyLimit);
  while (received.size() - head->size < wanted && co_await more()) received += socket->readAll();
  received += socket->readAll();
  socket->abort();
  co_return EarlyAnswer{head->status, received.mid(head->size, wanted)};
}

}  // namespace pm
