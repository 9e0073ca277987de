#include "FakeExchanges.h"

#include <httplib.h>

namespace pm::test {

namespace {

QByteArray bytes(const std::string& text) {
  return QByteArray(text.data(), qsizetype(text.size()));
}

}  // namespace

FakeRequest FakeRequest::from(const httplib::Request& raw) {
  FakeRequest request;
  request.method = bytes(raw.method);
  request.target = QString::fromStdString(raw.target);
  request.path = QString::fromStdString(raw.path);
  for (const auto& [name, value] : raw.headers) request.headers.insert(bytes(name).toLower(), bytes(value));
  request.body = bytes(raw.body);
  return request;
}

void FakeAnswer::writeTo(httplib::Response& response) const {
  response.status = status;
  for (auto it = headers.cbegin(); it != headers.cend(); ++it)
    response.set_header(it.key().toStdString(), it.value().toStdString());
  if (!body.isEmpty())
    response.set_content(body.toStdString(), headers.value("Content-Type", "application/json").toStdString());
}

void FakeExchanges::script(QByteArray method, QString pathPrefix, FakeAnswer answer,
                           QByteArray bodyContains) {
  scripts_.append({std::move(method), std::move(pathPrefix), std::move(bodyContains), std::move(answer)});
}

std::optional<FakeAnswer> FakeExchanges::record(const FakeRequest& request) {
  requests_.append(request);
  for (qsizetype i = 0; i < scripts_.size(); ++i) {
    const Script& script = scripts_[i];
    if (script.method == request.method && request.path.startsWith(script.pathPrefix) &&
        (script.bodyContains.isEmpty() || request.body.contains(script.bodyContains)))
      return scripts_.takeAt(i).answer;
  }
  return std::nullopt;
}

QList<FakeRequest> FakeExchanges::requests(const QString& prefix) const {
  QList<FakeRequest> matching;
  for (const FakeRequest& request : requests_)
    if (request.path.startsWith(prefix)) matching.append(request);
  return matching;
}

}  // namespace pm::test
