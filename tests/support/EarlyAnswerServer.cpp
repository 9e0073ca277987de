#include "EarlyAnswerServer.h"

#include <QTcpSocket>

namespace pm::test {

EarlyAnswerServer::EarlyAnswerServer(QByteArray answer) : answer_(std::move(answer)) {
  server_.listen(QHostAddress::LocalHost, 0);
  connect(&server_, &QTcpServer::newConnection, this, [this] {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
      connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
      auto received = std::make_shared<QByteArray>();
      connect(socket, &QTcpSocket::readyRead, socket, [this, socket, received] {
        if (received->contains("\r\n\r\n")) return;  // answered already
        *received += socket->readAll();
        if (!received->contains("\r\n\r\n")) return;
        ++requests_;
        socket->write(answer_);
        socket->flush();
        // Closing with the body still arriving resets the connection, as a refusing server does.
        socket->close();
      });
    }
  });
}

QUrl EarlyAnswerServer::url(const QString& path) const {
  return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(path));
}

}  // namespace pm::test
