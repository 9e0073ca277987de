#include "BoxRoutes.h"

#include <QRegularExpression>

#include "DevStore.h"

namespace pm::dev {

namespace {

Reply badRequest(const QString& message) {
  return Reply::error(400, QStringLiteral("BAD_REQUEST"), message);
}

}  // namespace

BoxRoutes::BoxRoutes(DevStore& store, QUrl baseUrl) : store_(store), baseUrl_(std::move(baseUrl)) {}

void BoxRoutes::install(Router& router) {
  using Access = Router::Access;
  router.route("PUT", QStringLiteral("/api/connectors"), Access::signedIn,
               [this](const Request& r) { return putConnector(r); });
  router.route("DELETE", QStringLiteral("/api/connectors/([^/]+)"), Access::signedIn,
               [this](const Request& r) { return deleteConnector(r); });
  router.route("POST", QStringLiteral("/api/boxes"), Access::signedIn,
               [this](const Request& r) { return registerBox(r); });
  router.route("GET", QStringLiteral("/b/([^/]+)"), Access::open,
               [this](const Request& r) { return boxPage(r); });
}

QString BoxRoutes::boxUrl(const QString& boxID) const {
  QUrl url = baseUrl_;
  url.setPath(QStringLiteral("/b/") + boxID);
  return url.toString();
}

Reply BoxRoutes::putConnector(const Request& request) {
  const QJsonObject body = request.json();
  for (const char* field :
       {"connectorId", "type", "endpoint", "bucket", "region", "accessKeyId", "secretAccessKey"}) {
    if (!body.value(QLatin1String(field)).isString())
      return badRequest(QStringLiteral("The connector lacks \"%1\".").arg(QLatin1String(field)));
  }
  const QString id = body.value(QStringLiteral("connectorId")).toString();
  QJsonObject stored = body;
  stored.insert(QStringLiteral("owner"), *request.email);
  store_.write([&](StoreTransaction& transaction) { transaction.putConnector(id, stored); });
  return Reply::json(QJsonObject{{QStringLiteral("id"), id}});
}

Reply BoxRoutes::deleteConnector(const Request& request) {
  const QString id = request.captures.value(0);
  const bool removed = store_.write([&](StoreTransaction& transaction) {
    const std::optional<QJsonObject> connector = transaction.connector(id);
    if (!connector || connector->value(QStringLiteral("owner")).toString() != *request.email) return false;
    transaction.removeConnector(id);
    return true;
  });
  if (!removed) return Reply::error(404, QStringLiteral("NOT_FOUND"), QStringLiteral("No such connector."));
  return Reply::json(QJsonObject{{QStringLiteral("deleted"), true}});
}

Reply BoxRoutes::registerBox(const Request& request) {
  const QJsonObject body = request.json();
  const QString key = body.value(QStringLiteral("idempotencyKey")).toString();
  if (key.isEmpty()) return badRequest(QStringLiteral("The box lacks \"idempotencyKey\"."));
  const auto answer = [this](const QString& boxID) {
    return Reply::json(QJsonObject{{QStringLiteral("id"), boxID}, {QStringLiteral("url"), boxUrl(boxID)}});
  };
  return store_.write([&](StoreTransaction& transaction) {
    if (const std::optional<StoredBox> earlier = transaction.boxByIdempotencyKey(key))
      return answer(earlier->id);
    const std::optional<QJsonObject> connector =
        transaction.connector(body.value(QStringLiteral("connectorId")).toString());
    if (!connector || connector->value(QStringLiteral("owner")).toString() != *request.email)
      return Reply::error(404, QStringLiteral("CONNECTOR_NOT_FOUND"),
                          QStringLiteral("Register the connector first."));
    static const QRegularExpression kVerifier(QStringLiteral("^[0-9a-f]{64}$"));
    const auto manifest =
        QByteArray::fromBase64Encoding(body.value(QStringLiteral("manifest")).toString().toLatin1(),
                                       QByteArray::AbortOnBase64DecodingErrors);
    if (!manifest || manifest.decoded.isEmpty())
      return badRequest(QStringLiteral("The manifest is not Base64."));
    if (!kVerifier.match(body.value(QStringLiteral("verifierHash")).toString()).hasMatch())
      return badRequest(QStringLiteral("The verifier hash is not 64 lower-case hexadecimal digits."));
    if (!body.value(QStringLiteral("fileCount")).isDouble() ||
        body.value(QStringLiteral("fileCount")).toInteger(-1) < 0)
      return badRequest(QStringLiteral("The file count is not a number."));
    const StoredBox box{DevStore::newIdentifier(QStringLiteral("box")), key, body};
    transaction.addBox(box);
    return answer(box.id);
  });
}

Reply BoxRoutes::boxPage(const Request& request) {
  std::optional<StoredBox> found;
  QJsonObject connector;
  store_.read([&](StoreTransaction& transaction) {
    found = transaction.box(request.captures.value(0));
    if (found) {
      connector = transaction.connector(found->registration.value(QStringLiteral("connectorId")).toString())
                      .value_or(QJsonObject());
    }
  });
  if (!found)
    return Reply::page(404, QStringLiteral("No such box"), QStringLiteral("<p>This link leads nowhere.</p>"));
  const QJsonObject& box = found->registration;
  return Reply::page(
      200, QStringLiteral("A shared box"),
      QStringLiteral(
          "<p>%1 files in the %2 bucket <code>%3</code> at %4, under <code>%5</code>.</p>"
          "<p>They stay in that bucket, sealed under the share password that came with this link.</p>")
          .arg(box.value(QStringLiteral("fileCount")).toInteger())
          .arg(box.value(QStringLiteral("kind")).toString().toHtmlEscaped(),
               connector.value(QStringLiteral("bucket")).toString().toHtmlEscaped(),
               connector.value(QStringLiteral("endpoint")).toString().toHtmlEscaped(),
               box.value(QStringLiteral("prefix")).toString().toHtmlEscaped()));
}

}  // namespace pm::dev
