#include "LoopbackListener.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QPointer>
#include <QStringDecoder>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <QCoroSignal>

#include "connectors/QueryItems.h"
#include "platform/Log.h"

namespace pm {

// The outcome of code(), kept apart from the listener so a wait that outlives it still ends cleanly.
struct LoopbackListener::Wait final : public QObject {
  Q_OBJECT

 public:
  void settle(ParseResult result) {
    if (outcome) return;
    outcome = std::move(result);
    Q_EMIT settled();
  }

  std::optional<ParseResult> outcome;

 Q_SIGNALS:
  void settled();
};

namespace {

bool isThisMachine(const QHostAddress& peer) {
  bool isIPv4 = false;
  const quint32 address = peer.toIPv4Address(&isIPv4);
  return isIPv4 && address == 0x7F000001;
}

// Bytes that are not UTF-8 read as no request at all.
QString requestText(const QByteArray& bytes) {
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = decoder(bytes);
  return decoder.hasError() ? QString() : text;
}

}  // namespace

LoopbackListener::LoopbackListener(QString state, LoopbackTiming timing, QObject* parent)
    : QObject(parent), state_(std::move(state)), timing_(timing), wait_(std::make_shared<Wait>()) {
  if (!server_.listen(QHostAddress(QHostAddress::LocalHost), 0)) throw OAuthFailure::noAnswer();
  port_ = server_.serverPort();
  if (port_ == 0) {
    server_.close();
    throw OAuthFailure::noAnswer();
  }
  // Connections wait in the queue until code() runs.
  server_.pauseAccepting();
}

LoopbackListener::~LoopbackListener() {
  server_.close();
  wait_->settle(OAuthFailure::noAnswer());
}

QCoro::Task<QString> LoopbackListener::code() {
  const std::shared_ptr<Wait> wait = wait_;
  if (!wait->outcome) {
    const QPointer<LoopbackListener> alive(this);
    QTimer overall;
    overall.setSingleShot(true);
    connect(&overall, &QTimer::timeout, wait.get(), [wait] { wait->settle(OAuthFailure::noAnswer()); });
    overall.start(timing_.overall);
    connect(&server_, &QTcpServer::newConnection, this, &LoopbackListener::takeConnections);
    server_.resumeAccepting();
    takeConnections();
    if (!wait->outcome) co_await qCoro(wait.get(), &Wait::settled);
    if (alive) server_.close();
  }
  // A second call finds the first one's outcome spent.
  const ParseResult result = std::exchange(wait->outcome, ParseResult(OAuthFailure::noAnswer())).value();
  if (const auto* failure = std::get_if<OAuthFailure>(&result)) throw *failure;
  co_return std::get<QString>(result);
}

void LoopbackListener::takeConnections() {
  while (QTcpSocket* socket = server_.nextPendingConnection()) {
    if (!isThisMachine(socket->peerAddress())) {
      qCWarning(lcDrive, "something that is not this machine knocked on the OAuth port");
      socket->abort();
      socket->deleteLater();
      continue;
    }
    auto* silence = new QTimer(socket);
    silence->setSingleShot(true);
    connect(silence, &QTimer::timeout, this, [this, socket] { answer(socket); });
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { answer(socket); });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] { answer(socket); });
    silence->start(timing_.read);
    if (socket->bytesAvailable() > 0) answer(socket);
  }
}

// One read, one answer, then the connection is done with.
void LoopbackListener::answer(QTcpSocket* socket) {
  disconnect(socket, nullptr, this, nullptr);
  for (QTimer* timer : socket->findChildren<QTimer*>(Qt::FindDirectChildrenOnly)) timer->stop();

  const QByteArray request = socket->isReadable() ? socket->read(kMaxRequestBytes) : QByteArray();
  const ParseResult result = parse(requestText(request), state_);
  const bool connected = std::holds_alternative<QString>(result);
  if (socket->state() == QAbstractSocket::ConnectedState) {
    socket->write(answerPage(connected));
    socket->flush();
    socket->disconnectFromHost();
  }
  connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
  if (socket->state() == QAbstractSocket::UnconnectedState) socket->deleteLater();

  const auto* failure = std::get_if<OAuthFailure>(&result);
  if (failure && failure->kind() == OAuthFailure::Kind::badResponse) return;  // keep listening
  settle(result);
}

void LoopbackListener::settle(ParseResult result) {
  server_.close();
  wait_->settle(std::move(result));
}

LoopbackListener::ParseResult LoopbackListener::parse(const QString& request, const QString& state) {
  const QStringList lines = request.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
  if (lines.isEmpty()) return OAuthFailure::badResponse();
  const QStringList pieces = lines.first().split(QLatin1Char(' '), Qt::SkipEmptyParts);
  if (pieces.size() < 2) return OAuthFailure::badResponse();
  const QString target = pieces[1];
  if (!QUrl(QStringLiteral("http://127.0.0.1") + target, QUrl::StrictMode).isValid())
    return OAuthFailure::badResponse();

  const qsizetype question = target.indexOf(QLatin1Char('?'));
  QStringView query;
  if (question >= 0) query = QStringView(target).mid(question + 1);
  const qsizetype hash = query.indexOf(QLatin1Char('#'));
  if (hash >= 0) query = query.left(hash);
  const QList<QueryItem> items = parseQueryItems(query);

  if (firstQueryValue(items, u"state") != state) return OAuthFailure::badResponse();
  if (const std::optional<QString> code = firstQueryValue(items, u"code"); code && !code->isEmpty()) return *code;
  // The provider writes its texts form-encoded: "+" stands for a space there.
  if (const std::optional<QString> error = firstQueryValue(parseQueryItems(query, PlusSign::space), u"error"))
    return OAuthFailure::refused(*error);
  return OAuthFailure::badResponse();
}

QByteArray LoopbackListener::answerPage(bool connected) {
  const QString message =
      connected ? QCoreApplication::translate("LoopbackListener", "Parcelmoor is connected. You can close this tab.")
                : QCoreApplication::translate("LoopbackListener", "Parcelmoor could not connect this account.");
  return QStringLiteral(
             "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nConnection: close\r\n\r\n"
             "<!doctype html><meta charset=\"utf-8\"><title>Parcelmoor</title>"
             "<body style=\"font: 16px -apple-system, sans-serif; padding: 3rem\"><p>%1</p>")
      .arg(message)
      .toUtf8();
}

}  // namespace pm

#include "LoopbackListener.moc"
