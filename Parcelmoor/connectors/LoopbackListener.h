#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTcpServer>

#include <QCoroTask>

#include <chrono>
#include <memory>
#include <variant>

#include "connectors/OAuthFailure.h"

class QTcpSocket;

namespace pm {

// How long a loopback listener waits.
struct LoopbackTiming {
  // How long code() waits for a usable redirect in all.
  std::chrono::milliseconds overall = std::chrono::seconds(300);
  // How long one connection may stay silent before it is answered with the failure page.
  std::chrono::milliseconds read = std::chrono::seconds(10);
};

// Receives the OAuth redirect of a sign-in in the user's browser: a one-shot HTTP server on 127.0.0.1 at a
// port the system picks. It takes connections until one carries a usable answer for its state, answers
// every request with a small page, and gives up after a while. Each connection is read once; one that
// says nothing is answered with the failure page after a short time-out while the others go on. Main
// thread only.
class LoopbackListener final : public QObject {
  Q_OBJECT

 public:
  // What one read takes at most; a request is never read twice.
  static constexpr qint64 kMaxRequestBytes = 8192;

  using ParseResult = std::variant<QString, OAuthFailure>;

  // Listens at once (connections queue up, nothing is read before code()). Throws OAuthFailure
  // `noAnswer` when no port can be had.
  explicit LoopbackListener(QString state, LoopbackTiming timing = {}, QObject* parent = nullptr);
  // Closes the port; a code() still waiting fails with `noAnswer`.
  ~LoopbackListener() override;

  quint16 port() const { return port_; }
  bool isListening() const { return server_.isListening(); }

  // The authorisation code of the first request that carries this listener's state and a code. Throws
  // OAuthFailure: `refused` with the provider's error code, `noAnswer` when nothing usable came in time.
  // Called once; the port is closed when it ends, however it ends.
  QCoro::Task<QString> code();

  // A request's first line against `state`: its code, `refused` with its "error", else `badResponse`.
  static ParseResult parse(const QString& request, const QString& state);
  // The whole HTTP answer: the success page for a code, the failure page otherwise.
  static QByteArray answerPage(bool connected);

 private:
  struct Wait;

  void takeConnections();
  void answer(QTcpSocket* socket);
  void settle(ParseResult result);

  QTcpServer server_;
  quint16 port_ = 0;
  const QString state_;
  const LoopbackTiming timing_;
  std::shared_ptr<Wait> wait_;
};

}  // namespace pm
