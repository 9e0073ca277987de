#include "OAuthTokenResponse.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <limits>

namespace pm {

namespace {

// A JSON number that is a whole number within 64 bits.
std::optional<qint64> wholeNumber(const QJsonValue& value) {
  if (!value.isDouble()) return std::nullopt;
  const double number = value.toDouble();
  constexpr double kLimit = 9.0e15;  // integers are exact in a double up to 2^53
  if (!std::isfinite(number) || std::trunc(number) != number || std::abs(number) > kLimit) return std::nullopt;
  return qint64(number);
}

// Absent and null read as nothing; any other non-text makes the whole answer unreadable.
bool optionalText(const QJsonValue& value, std::optional<QString>& out) {
  if (value.isUndefined() || value.isNull()) return true;
  if (!value.isString()) return false;
  out = value.toString();
  return true;
}

}  // namespace

std::optional<OAuthTokenResponse> OAuthTokenResponse::decode(const QByteArray& body) {
  const QJsonDocument document = QJsonDocument::fromJson(body);
  if (!document.isObject()) return std::nullopt;
  const QJsonObject object = document.object();
  const QJsonValue access = object.value(QStringLiteral("access_token"));
  const std::optional<qint64> expiresIn = wholeNumber(object.value(QStringLiteral("expires_in")));
  // A token that is empty, or that expired before it was given, connects nothing.
  if (!access.isString() || access.toString().isEmpty() || !expiresIn || *expiresIn < 0) return std::nullopt;
  OAuthTokenResponse response{access.toString(), *expiresIn, {}, {}};
  if (!optionalText(object.value(QStringLiteral("refresh_token")), response.refreshToken)) return std::nullopt;
  if (!optionalText(object.value(QStringLiteral("id_token")), response.idToken)) return std::nullopt;
  return response;
}

}  // namespace pm
