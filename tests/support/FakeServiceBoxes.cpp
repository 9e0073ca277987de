#include "FakeServiceBoxes.h"

#include <QHash>
#include <QRegularExpression>
#include <QUuid>

namespace pm::test {

namespace {

using Reply = FakeService::Reply;

bool hasStrings(const QJsonObject& object, const QStringList& keys) {
  return std::all_of(keys.begin(), keys.end(), [&](const QString& key) { return object.value(key).isString(); });
}

Reply invalid(const QString& what) { return Reply::error(400, QStringLiteral("INVALID_REQUEST"), what); }

bool isSealedManifest(const QString& base64) {
  const auto decoded = QByteArray::fromBase64Encoding(base64.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
  return decoded && decoded.decoded.startsWith("PMRM1");
}

bool isVerifierHash(const QString& text) {
  static const QRegularExpression hex(QStringLiteral("^[0-9a-f]{64}$"));
  return hex.match(text).hasMatch();
}

}  // namespace

struct FakeServiceBoxes::State {
  QList<QJsonObject> connectorBodies;
  QHash<QString, QString> connectorTypes;  // connector id → type
  QList<Box> boxes;
  QHash<QString, qsizetype> boxByKey;  // idempotency key → index in boxes
};

FakeServiceBoxes::FakeServiceBoxes(FakeService& service) : service_(service), state_(std::make_shared<State>()) {
  using Access = FakeService::Access;
  using Request = FakeService::Request;

  service.route("PUT", QStringLiteral("connectors"), Access::signedIn, [state = state_, &service](const Request& r) {
    const QJsonObject body = r.json();
    state->connectorBodies.append(body);
    const QStringList fields{QStringLiteral("connectorId"), QStringLiteral("type"),   QStringLiteral("endpoint"),
                             QStringLiteral("bucket"),      QStringLiteral("region"), QStringLiteral("accessKeyId"),
                             QStringLiteral("secretAccessKey")};
    if (!hasStrings(body, fields)) return invalid(QStringLiteral("A connector needs all seven fields as text."));
    const QString type = body.value(QStringLiteral("type")).toString();
    if (type != QLatin1String("s3") && type != QLatin1String("r2"))
      return invalid(QStringLiteral("Boxes are only kept for S3 and R2 buckets."));
    const QString id = body.value(QStringLiteral("connectorId")).toString();
    state->connectorTypes.insert(id, type);
    service.addConnector(id);
    return Reply::json(QJsonObject{{QStringLiteral("connectorId"), id}});
  });

  service.route("POST", QStringLiteral("boxes"), Access::signedIn, [state = state_, &service](const Request& r) {
    const QJsonObject body = r.json();
    const QStringList fields{QStringLiteral("kind"), QStringLiteral("connectorId"), QStringLiteral("prefix"),
                             QStringLiteral("manifest"), QStringLiteral("verifierHash"),
                             QStringLiteral("idempotencyKey")};
    if (!hasStrings(body, fields) || !body.value(QStringLiteral("fileCount")).isDouble())
      return invalid(QStringLiteral("A box needs its seven fields."));

    const QString key = body.value(QStringLiteral("idempotencyKey")).toString();
    if (const auto made = state->boxByKey.constFind(key); made != state->boxByKey.constEnd()) {
      const Box& box = state->boxes.at(*made);
      return Reply::json(QJsonObject{{QStringLiteral("id"), box.id}, {QStringLiteral("url"), box.url}});
    }

    const QString connector = body.value(QStringLiteral("connectorId")).toString();
    if (!service.hasConnector(connector) || !state->connectorTypes.contains(connector))
      return Reply::error(404, QStringLiteral("NOT_FOUND"), QStringLiteral("No such connector."));
    if (body.value(QStringLiteral("kind")).toString() != state->connectorTypes.value(connector))
      return invalid(QStringLiteral("The box's kind is not its connector's type."));
    if (!isSealedManifest(body.value(QStringLiteral("manifest")).toString()) ||
        !isVerifierHash(body.value(QStringLiteral("verifierHash")).toString()) ||
        body.value(QStringLiteral("fileCount")).toInteger(-1) < 0)
      return invalid(QStringLiteral("The box's manifest, verifier or count is malformed."));

    const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    const QString url = service.baseUrl().toString() + QStringLiteral("/b/") + id;
    state->boxByKey.insert(key, state->boxes.size());
    state->boxes.append(Box{id, url, body});
    return Reply::json(201, QJsonObject{{QStringLiteral("id"), id}, {QStringLiteral("url"), url}});
  });
}

QList<QJsonObject> FakeServiceBoxes::connectorBodies() const {
  const auto guard = service_.lock();
  return state_->connectorBodies;
}

QList<FakeServiceBoxes::Box> FakeServiceBoxes::boxes() const {
  const auto guard = service_.lock();
  return state_->boxes;
}

}  // namespace pm::test
