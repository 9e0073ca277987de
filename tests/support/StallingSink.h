#pragma once

#include <QByteArray>
#include <QTcpServer>
#include <QUrl>

#include <limits>

namespace pm::test {

// A peer on 127.0.0.1 that accepts connections and reads the first bytes of what arrives (headers and
// the start of a body) and then stops reading, as a congested network would: the sender's buffers fill
// and it has to wait. It never answers. Lives on the test's thread; runs with its event loop.
class StallingSink {
 public:
  // Keeps at most `limit` bytes of all connections together until takeEverything().
  explicit StallingSink(qint64 limit = 64 * 1024);

  QUrl url() const;
  // What the connections sent, up to the limit, in arrival order.
  QByteArray received() const { return received_; }
  // From now on reads (and drops) everything that arrives.
  void takeEverything();

 private:
  void readFrom(QTcpSocket* socket);

  QTcpServer server_;
  qint64 limit_;
  QByteArray received_;
};

}  // namespace pm::test
