#include "StallingSink.h"

#include <QTcpSocket>

namespace pm::test {

StallingSink::StallingSink(qint64 limit) : limit_(limit) {
  server_.listen(QHostAddress::LocalHost);
  QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
      // Qt would otherwise drain the kernel's buffers into its own without bound.
      socket->setReadBufferSize(16 * 1024);
      QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { readFrom(socket); });
      readFrom(socket);
    }
  });
}

QUrl StallingSink::url() const {
  return QUrl(QStringLiteral("http://127.0.0.1:%1/sink").arg(server_.serverPort()));
}

void StallingSink::takeEverything() {
  limit_ = std::numeric_limits<qint64>::max();
  for (QTcpSocket* socket : server_.findChildren<QTcpSocket*>()) {
    socket->setReadBufferSize(0);
    readFrom(socket);
  }
}

void StallingSink::readFrom(QTcpSocket* socket) {
  if (limit_ == std::numeric_limits<qint64>::max()) {
    socket->readAll();
    return;
  }
  const qint64 room = limit_ - received_.size();
  if (room > 0) received_ += socket->read(room);
}

}  // namespace pm::test
