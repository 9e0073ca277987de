#include "support/RawHttpServer.h"

#include <QHostAddress>
#include <QTcpSocket>

#include <optional>

namespace pm::test {

namespace {

constexpr qint64 kFillerChunk = 64 * 1024;
// Enough queued to keep the socket busy, little enough that an abandoned stream stops soon.
constexpr qint64 kQueuedFiller = 4 * kFillerChunk;

// The request's length: its head and the body its Content-Length announces; nothing until the head is in.
std::optional<qsizetype> requestLength(const QByteArray& received) {
  const qsizetype headEnd = received.indexOf("\r\n\r\n");
  if (headEnd < 0) return std::nullopt;
  qsizetype bodyLength = 0;
  for (const QByteArray& line : received.left(headEnd).split('\n')) {
    const QByteArray trimmed = line.trimmed();
    if (trimmed.toLower().startsWith("content-length:")) bodyLength = trimmed.mid(15).trimmed().toLongLong();
  }
  return headEnd + 4 + bodyLength;
}

}  // namespace

struct RawHttpServer::Connection {
  QTcpSocket* socket = nullptr;
  QByteArray received;
  bool answered = false;
};

RawHttpServer::RawHttpServer(Answer answer, QObject* parent) : QObject(parent), answer_(std::move(answer)) {
  connect(&server_, &QTcpServer::newConnection, this, &RawHttpServer::accept);
  server_.listen(QHostAddress::LocalHost, 0);
}

RawHttpServer::~RawHttpServer() {
  server_.close();
  for (const auto& connection : connections_) {
    connection->socket->disconnect(this);
    connection->socket->abort();
  }
}

QUrl RawHttpServer::url(const QString& path) const {
  return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(path));
}

void RawHttpServer::accept() {
  while (QTcpSocket* socket = server_.nextPendingConnection()) {
    socket->setParent(this);
    auto connection = std::make_unique<Connection>();
    connection->socket = socket;
    Connection* raw = connection.get();
    connections_.push_back(std::move(connection));
    ++open_;
    connect(socket, &QTcpSocket::readyRead, this, [this, raw] { readRequest(*raw); });
    connect(socket, &QTcpSocket::bytesWritten, this, [this, raw] { feed(*raw); });
    connect(socket, &QTcpSocket::disconnected, this, [this] { --open_; });
  }
}

void RawHttpServer::readRequest(Connection& connection) {
  connection.received += connection.socket->readAll();
  if (connection.answered) return;
  const auto length = requestLength(connection.received);
  if (!length || connection.received.size() < *length) return;
  connection.answered = true;
  ++requests_;
  sent_ += connection.socket->write(answer_.bytes);
  if (answer_.endless) {
    feed(connection);
  } else if (!answer_.heldOpen || cutting_) {
    connection.socket->disconnectFromHost();
  }
}

void RawHttpServer::closeConnections() {
  cutting_ = true;
  for (const auto& connection : connections_) {
    if (connection->socket->state() == QAbstractSocket::ConnectedState) connection->socket->disconnectFromHost();
  }
}

void RawHttpServer::feed(Connection& connection) {
  if (!answer_.endless || !connection.answered) return;
  if (connection.socket->state() != QAbstractSocket::ConnectedState) return;
  static const QByteArray filler(kFillerChunk, 'x');
  while (connection.socket->bytesToWrite() < kQueuedFiller) sent_ += connection.socket->write(filler);
}

}  // namespace pm::test
