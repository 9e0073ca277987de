#include "JsonDecoding.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>

namespace pm {

namespace {

[[noreturn]] void fail(QString text) { throw JsonDecodingError(std::move(text)); }

QJsonValue present(const QJsonObject& object, QStringView key) {
  const QJsonValue value = object.value(key);
  if (value.isUndefined() || value.isNull()) fail(QStringLiteral("The key \"%1\" is missing.").arg(key));
  return value;
}

std::optional<QJsonValue> presentOrNull(const QJsonObject& object, QStringView key) {
  const QJsonValue value = object.value(key);
  if (value.isUndefined() || value.isNull()) return std::nullopt;
  return value;
}

[[noreturn]] void wrongType(QStringView key, const char* expected) {
  fail(QStringLiteral("The value of \"%1\" is not %2.").arg(key, QLatin1String(expected)));
}

QString asString(const QJsonValue& value, QStringView key) {
  if (!value.isString()) wrongType(key, "a string");
  return value.toString();
}

qint64 asInteger(const QJsonValue& value, QStringView key) {
  // toInteger() falls back to its argument for anything that is not a whole qint64, so two different
  // fallbacks agreeing means the number really is one.
  const qint64 first = value.toInteger(0);
  if (!value.isDouble() || first != value.toInteger(1)) wrongType(key, "a whole number");
  return first;
}

}  // namespace

JsonDecodingError::JsonDecodingError(QString text) : text_(std::move(text)), what_(text_.toStdString()) {}

QJsonObject decodeJsonObject(const QByteArray& body) {
  QJsonParseError error;
  const QJsonDocument document = QJsonDocument::fromJson(body, &error);
  if (error.error != QJsonParseError::NoError)
    fail(QStringLiteral("The answer is not valid JSON: %1.").arg(error.errorString()));
  if (!document.isObject()) fail(QStringLiteral("The answer is not a JSON object."));
  return document.object();
}

QString requiredString(const QJsonObject& object, QStringView key) { return asString(present(object, key), key); }

std::optional<QString> optionalString(const QJsonObject& object, QStringView key) {
  const auto value = presentOrNull(object, key);
  if (!value) return std::nullopt;
  return asString(*value, key);
}

qint64 requiredInteger(const QJsonObject& object, QStringView key) { return asInteger(present(object, key), key); }

std::optional<qint64> optionalInteger(const QJsonObject& object, QStringView key) {
  const auto value = presentOrNull(object, key);
  if (!value) return std::nullopt;
  return asInteger(*value, key);
}

bool requiredBool(const QJsonObject& object, QStringView key) {
  const QJsonValue value = present(object, key);
  if (!value.isBool()) wrongType(key, "a Boolean");
  return value.toBool();
}

QJsonObject requiredObject(const QJsonObject& object, QStringView key) {
  const QJsonValue value = present(object, key);
  if (!value.isObject()) wrongType(key, "an object");
  return value.toObject();
}

}  // namespace pm
