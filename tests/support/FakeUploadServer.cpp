#include "FakeUploadServer.h"

#include <httplib.h>

namespace pm::test {

namespace {

QByteArray bytes(const std::string& text) { return QByteArray(text.data(), qsizetype(text.size())); }

}  // namespace

FakeUploadServer::FakeUploadServer()
    : server_([this](const httplib::Request& request, httplib::Response& response) { handle(request, response); }) {}

void FakeUploadServer::setAnswer(const QString& path, Answer answer) {
  std::lock_guard lock(mutex_);
  answers_.insert(path, std::move(answer));
}

void FakeUploadServer::setStatus(const QString& path, int status) {
  Answer answer;
  answer.status = status;
  setAnswer(path, std::move(answer));
}

QList<FakeUploadServer::Request> FakeUploadServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

QByteArray FakeUploadServer::lastBody(const QString& path) const {
  std::lock_guard lock(mutex_);
  for (auto it = requests_.crbegin(); it != requests_.crend(); ++it) {
    if (it->path == path) return it->body;
  }
  return {};
}

void FakeUploadServer::handle(const httplib::Request& request, httplib::Response& response) {
  Request logged;
  logged.method = bytes(request.method);
  logged.path = QString::fromStdString(request.path);
  for (const auto& [name, value] : request.headers) logged.headers.insert(bytes(name).toLower(), bytes(value));
  logged.body = bytes(request.body);
  logged.clientPort = request.remote_port;

  Answer answer;
  {
    std::lock_guard lock(mutex_);
    answer = answers_.value(logged.path);
    requests_.append(std::move(logged));
  }
  server_.pause(answer.delay);
  response.status = answer.status;
  for (auto it = answer.headers.cbegin(); it != answer.headers.cend(); ++it)
    response.set_header(it.key().toStdString(), it.value().toStdString());
  if (!answer.body.isEmpty()) response.set_content(answer.body.toStdString(), "application/octet-stream");
}

}  // namespace pm::test
