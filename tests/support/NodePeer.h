#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace pm::test {

// A peer script of tests/peers run with node for the lifetime of the object. The script says where it
// listens with one line, "listening 127.0.0.1:<port>", and stops when its standard input closes.
class NodePeer {
 public:
  NodePeer(const QString& script, const QStringList& arguments);
  ~NodePeer();
  NodePeer(const NodePeer&) = delete;
  NodePeer& operator=(const NodePeer&) = delete;

  // Empty when the peer runs; otherwise why it does not.
  const QString& failure() const { return failure_; }
  int port() const { return port_; }
  // "http://127.0.0.1:<port>"
  QString endpoint() const;

 private:
  QProcess process_;
  int port_ = 0;
  QString failure_;
};

}  // namespace pm::test
