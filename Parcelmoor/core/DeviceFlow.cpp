#include "DeviceFlow.h"

#include <QJsonObject>

#include "core/JsonDecoding.h"
#include "core/UploadError.h"
#include "platform/Log.h"
#include "platform/SharedNames.h"

namespace pm {

namespace {

constexpr char kDeviceCodeGrant[] = "urn:ietf:params:oauth:grant-type:device_code";

QString clientId() { return QString::fromLatin1(names::kBundleIdentifier); }

QString describe(std::exception_ptr error) { return UploadError::from(error).message(); }

QMap<QString, QString> codeFields() { return {{QStringLiteral("client_id"), clientId()}}; }

QMap<QString, QString> tokenFields(const QString& deviceCode) {
  return {{QStringLiteral("grant_type"), QString::fromLatin1(kDeviceCodeGrant)},
          {QStringLiteral("device_code"), deviceCode},
          {QStringLiteral("client_id"), clientId()}};
}

void logUnexpectedPoll(int status, const QString& text) {
  qCWarning(lcAuth, "unexpected poll response: HTTP %d %s", status, qUtf8Printable(text));
}

}  // namespace

DeviceFlow::Code DeviceFlow::Code::decode(const QByteArray& body) {
  const QJsonObject object = decodeJsonObject(body);
  return Code{requiredString(object, u"device_code"),
              requiredString(object, u"user_code"),
              requiredString(object, u"verification_uri"),
              requiredString(object, u"verification_uri_complete"),
              requiredInteger(object, u"expires_in"),
              requiredInteger(object, u"interval")};
}

DeviceFlow::TokenResponse DeviceFlow::TokenResponse::decode(const QByteArray& body) {
  const QJsonObject object = decodeJsonObject(body);
  return TokenResponse{optionalString(object, u"access_token"), optionalInteger(object, u"expires_in"),
                       optionalString(object, u"error")};
}

DeviceFlow::SessionResponse DeviceFlow::SessionResponse::decode(const QByteArray& body) {
  const QJsonObject user = requiredObject(decodeJsonObject(body), u"user");
  return SessionResponse{SessionUser{requiredString(user, u"email")}};
}

DeviceFlow::Me DeviceFlow::Me::decode(const QByteArray& body) {
  return Me{requiredBool(decodeJsonObject(body), u"subscribed")};
}

QCoro::Task<ParcelmoorAPI::Response> DeviceFlow::postAuth(QString path, QMap<QString, QString> fields) {
  QJsonObject object;
  for (auto it = fields.cbegin(); it != fields.cend(); ++it) object.insert(it.key(), it.value());
  co_return co_await api_.request(QStringLiteral("auth/") + path, "POST", ParcelmoorAPI::Body::json(object),
                                  std::nullopt);
}

QCoro::Task<DeviceFlow::Code> DeviceFlow::requestCode() {
  const auto response = co_await postAuth(QStringLiteral("device/code"), codeFields());
  if (response.status != 200) {
    qCWarning(lcAuth, "device code refused: HTTP %d", response.status);
    throw UploadError::http(response.status);
  }
  Code code = Code::decode(response.body);
  qCInfo(lcAuth, "device code %s: valid %llds, poll every %llds", qUtf8Printable(code.userCode),
         static_cast<long long>(code.expiresIn), static_cast<long long>(code.interval));
  co_return code;
}

QCoro::Task<DeviceFlow::PollResult> DeviceFlow::poll(QString deviceCode) {
  const auto response = co_await postAuth(QStringLiteral("device/token"), tokenFields(deviceCode));
  // The status says nothing the body does not: RFC 8628 answers "pending" with a 400.
  const TokenResponse answer = TokenResponse::decode(response.body);
  if (answer.accessToken) {
    qCInfo(lcAuth, "approved; session valid %llds", static_cast<long long>(answer.expiresIn.value_or(0)));
    co_return PollResult::approved(*answer.accessToken);
  }
  if (!answer.error) {
    logUnexpectedPoll(response.status, QStringLiteral("no error field"));
    co_return PollResult::pending();
  }
  const QString& error = *answer.error;
  if (error == QLatin1String("authorization_pending")) co_return PollResult::pending();
  if (error == QLatin1String("slow_down")) {
    qCInfo(lcAuth, "polling too fast");
    co_return PollResult::slowDown();
  }
  if (error == QLatin1String("access_denied")) {
    qCInfo(lcAuth, "refused in the browser");
    co_return PollResult::denied();
  }
  if (error == QLatin1String("expired_token")) {
    qCInfo(lcAuth, "code expired");
    co_return PollResult::expired();
  }
  // Anything else (invalid_grant, say) is not final: polling goes on until the deadline.
  logUnexpectedPoll(response.status, error);
  co_return PollResult::pending();
}

QCoro::Task<std::optional<QString>> DeviceFlow::session(QString token) {
  const auto response = co_await api_.request(QStringLiteral("auth/get-session"), "GET", ParcelmoorAPI::Body::none(),
                                              token);
  if (response.status == 200) {
    try {
      co_return SessionResponse::decode(response.body).user.email;
    } catch (const JsonDecodingError&) {
      qCInfo(lcAuth, "no session: the token belongs to nobody");
      co_return std::nullopt;
    }
  }
  if (response.status == 401) {
    qCInfo(lcAuth, "session refused");
    co_return std::nullopt;
  }
  qCWarning(lcAuth, "no answer about the session: HTTP %d", response.status);
  throw UploadError::http(response.status);
}

QCoro::Task<std::optional<bool>> DeviceFlow::subscriptionState(QString token) {
  try {
    const auto response = co_await api_.request(QStringLiteral("me"), "GET", ParcelmoorAPI::Body::none(), token);
    if (response.status == 200) co_return Me::decode(response.body).subscribed;
  } catch (...) {
    // Any failure means the same as an unclear answer: no subscription state.
  }
  qCInfo(lcAuth, "no subscription state from /api/me");
  co_return std::nullopt;
}

QCoro::Task<bool> DeviceFlow::isSubscribed(QString token) {
  const std::optional<bool> subscribed = co_await subscriptionState(std::move(token));
  co_return subscribed.value_or(false);
}

QCoro::Task<> DeviceFlow::signOut(QString token) {
  try {
    const auto response =
        co_await api_.request(QStringLiteral("auth/sign-out"), "POST", ParcelmoorAPI::Body::none(), token);
    qCInfo(lcAuth, "server sign-out: HTTP %d", response.status);
  } catch (...) {
    qCWarning(lcAuth, "server sign-out failed: %s", qUtf8Printable(describe(std::current_exception())));
  }
}

}  // namespace pm
