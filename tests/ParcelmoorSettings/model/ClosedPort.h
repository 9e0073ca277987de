#pragma once

#include <QHostAddress>
#include <QTcpServer>

namespace pm::test {

// A port on 127.0.0.1 that nothing listens on: one the system just handed out and took back.
inline int closedPort() {
  QTcpServer server;
  if (!server.listen(QHostAddress::LocalHost, 0)) return 0;
  const int port = server.serverPort();
  server.close();
  return port;
}

}  // namespace pm::test
