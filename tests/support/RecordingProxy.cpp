#include "RecordingProxy.h"

#include <httplib.h>

#include <QStringList>

namespace pm::test {

namespace {

constexpr std::chrono::seconds kPeerTimeout{30};

QByteArray bytes(const std::string& text) { return QByteArray(text.data(), qsizetype(text.size())); }

// Framing belongs to each hop; the rest passes through.
bool isHopHeader(const std::string& name) {
  const QByteArray lower = bytes(name).toLower();
  return lower == "host" || lower == "content-length" || lower == "transfer-encoding" || lower == "connection";
}

}  // namespace

RecordingProxy::RecordingProxy(int targetPort)
    : targetPort_(targetPort), server_([this](const httplib::Request& in, httplib::Response& out) { handle(in, out); }) {}

QString RecordingProxy::endpoint() const { return server_.url().toString(); }

void RecordingProxy::setRewrite(Rewrite rewrite) {
  std::lock_guard guard(mutex_);
  rewrite_ = std::move(rewrite);
}

QList<RecordingProxy::Request> RecordingProxy::requests() const {
  std::lock_guard guard(mutex_);
  return requests_;
}

QStringList RecordingProxy::summary() const {
  QStringList lines;
  for (const Request& request : requests()) {
    QStringList names;
    for (auto it = request.query.cbegin(); it != request.query.cend(); ++it) {
      if (!it.key().startsWith(QLatin1String("X-Amz-"))) names.append(it.key());
    }
    QString line = QString::fromLatin1(request.method) + QLatin1Char(' ') + request.path;
    if (!names.isEmpty()) line += QLatin1String(" ?") + names.join(QLatin1Char('&'));
    lines.append(line);
  }
  return lines;
}

void RecordingProxy::handle(const httplib::Request& in, httplib::Response& out) {
  Request request{bytes(in.method), QString::fromStdString(in.path), {}, 0};
  for (const auto& [name, value] : in.params)
    request.query.insert(QString::fromStdString(name), QString::fromStdString(value));
  qsizetype index = 0;
  Rewrite rewrite;
  {
    std::lock_guard guard(mutex_);
    requests_.append(request);
    index = requests_.size() - 1;
    rewrite = rewrite_;
  }

  httplib::Client client("127.0.0.1", targetPort_);
  client.set_url_encode(false);
  client.set_read_timeout(kPeerTimeout);
  httplib::Request forward;
  forward.method = in.method;
  forward.path = in.target;
  forward.body = in.body;
  for (const auto& [name, value] : in.headers) {
    if (!isHopHeader(name)) forward.headers.emplace(name, value);
  }

  Answer answer;
  httplib::Response upstream;
  httplib::Error error = httplib::Error::Success;
  if (client.send(forward, upstream, error)) {
    answer.status = upstream.status;
    for (const auto& [name, value] : upstream.headers) {
      if (!isHopHeader(name)) answer.headers.insert(bytes(name), bytes(value));
    }
    answer.body = bytes(upstream.body);
  } else {
    answer.status = 502;
  }
  if (rewrite) rewrite(request, answer);

  {
    std::lock_guard guard(mutex_);
    requests_[index].status = answer.status;
  }
  out.status = answer.status;
  for (auto it = answer.headers.cbegin(); it != answer.headers.cend(); ++it)
    out.set_header(it.key().toStdString(), it.value().toStdString());
  out.body = answer.body.toStdString();
}

}  // namespace pm::test
