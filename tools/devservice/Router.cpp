#include "Router.h"

#include <QJsonDocument>

namespace pm::dev {

std::optional<QString> Request::bearerToken() const {
  const QByteArray value = header("authorization");
  if (!value.startsWith("Bearer ")) return std::nullopt;
  return QString::fromUtf8(value.mid(7));
}

QJsonObject Request::json() const {
  return QJsonDocument::fromJson(body).object();
}

QMap<QString, QString> Request::form() const {
  QMap<QString, QString> fields;
  for (const QByteArray& pair : body.split('&')) {
    if (pair.isEmpty()) continue;
    // Form encoding writes spaces as "+"; a real "+" comes as "%2B".
    const qsizetype equals = pair.indexOf('=');
    QByteArray name = equals < 0 ? pair : pair.left(equals);
    QByteArray value = equals < 0 ? QByteArray() : pair.mid(equals + 1);
    fields.insert(QString::fromUtf8(QByteArray::fromPercentEncoding(name.replace('+', ' '))),
                  QString::fromUtf8(QByteArray::fromPercentEncoding(value.replace('+', ' '))));
  }
  return fields;
}

Reply Reply::json(int status, const QJsonObject& object) {
  Reply reply;
  reply.status = status;
  reply.body = QJsonDocument(object).toJson(QJsonDocument::Compact);
  return reply;
}

Reply Reply::error(int status, const QString& code, const QString& message) {
  QJsonObject object{{QStringLiteral("error"), code}};
  if (!message.isEmpty()) object.insert(QStringLiteral("message"), message);
  return json(status, object);
}

Reply Reply::page(int status, const QString& title, const QString& body) {
  Reply reply;
  reply.status = status;
  reply.contentType = "text/html; charset=utf-8";
  reply.body =
      QStringLiteral(
          "<!doctype html><html><head><meta charset=\"utf-8\"><title>%1</title>"
          "<style>body{font-family:sans-serif;max-width:44em;margin:3em auto;padding:0 1em;color:#222}"
          "code{font-size:1.3em}table{border-collapse:collapse}td{padding:.2em 1em .2em 0}"
          "button{font-size:1em;margin-right:.5em}</style></head>"
          "<body><h1>%1</h1>%2<p><small>Parcelmoor development service</small></p></body></html>")
          .arg(title.toHtmlEscaped(), body)
          .toUtf8();
  return reply;
}

Router::Router(std::function<std::optional<QString>(const QString& token)> sessionEmail)
    : sessionEmail_(std::move(sessionEmail)) {}

void Router::route(const QByteArray& method, const QString& pattern, Access access, Handler handler) {
  routes_.append(Route{method, QRegularExpression(QRegularExpression::anchoredPattern(pattern)), access,
                       std::move(handler)});
}

Reply Router::dispatch(Request request) const {
  bool pathKnown = false;
  for (const Route& route : routes_) {
    const QRegularExpressionMatch match = route.pattern.match(request.path);
    if (!match.hasMatch()) continue;
    pathKnown = true;
    if (route.method != request.method) continue;
    request.captures = match.capturedTexts().mid(1);
    if (route.access == Access::signedIn) {
      const auto token = request.bearerToken();
      request.email = token ? sessionEmail_(*token) : std::nullopt;
      if (!request.email)
        return Reply::error(401, QStringLiteral("UNAUTHORIZED"), QStringLiteral("Your session has ended."));
    }
    return route.handler(request);
  }
  return pathKnown ? Reply::error(405, QStringLiteral("METHOD_NOT_ALLOWED"))
                   : Reply::error(404, QStringLiteral("NOT_FOUND"));
}

}  // namespace pm::dev
