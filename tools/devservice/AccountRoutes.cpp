#include "AccountRoutes.h"

#include <QJsonObject>
#include <QRandomGenerator>
#include <QUuid>

#include "DevStore.h"

namespace pm::dev {

namespace {

constexpr char kClientId[] = "com.wrenfold.Parcelmoor";
constexpr char kDeviceCodeGrant[] = "urn:ietf:params:oauth:grant-type:device_code";
const QString kDefaultEmail = QStringLiteral("developer@localhost");

// Eight letters in two groups, without the ones that read alike (I, O).
QString makeUserCode() {
  static const QString kLetters = QStringLiteral("ABCDEFGHJKLMNPQRSTUVWXYZ");
  QString code;
  for (int i = 0; i < 8; ++i) {
    if (i == 4) code += QLatin1Char('-');
    code += kLetters.at(QRandomGenerator::system()->bounded(int(kLetters.size())));
  }
  return code;
}

Reply tokenError(const QString& code) {
  return Reply::json(400, QJsonObject{{QStringLiteral("error"), code}});
}

bool fromTheAgent(const Request& request, const QJsonObject& body) {
  return request.header("content-type").startsWith("application/json") &&
         body.value(QStringLiteral("client_id")).toString() == QLatin1String(kClientId);
}

}  // namespace

AccountRoutes::AccountRoutes(DevStore& store, QUrl baseUrl) : store_(store), baseUrl_(std::move(baseUrl)) {}

void AccountRoutes::install(Router& router) {
  using Access = Router::Access;
  router.route("POST", QStringLiteral("/api/auth/device/code"), Access::open,
               [this](const Request& r) { return requestCode(r); });
  router.route("POST", QStringLiteral("/api/auth/device/token"), Access::open,
               [this](const Request& r) { return poll(r); });
  router.route("GET", QStringLiteral("/device"), Access::open,
               [this](const Request& r) { return verificationPage(r); });
  router.route("POST", QStringLiteral("/device"), Access::open,
               [this](const Request& r) { return decide(r); });
  router.route("GET", QStringLiteral("/api/auth/get-session"), Access::signedIn, [](const Request& r) {
    return Reply::json(
        QJsonObject{{QStringLiteral("user"), QJsonObject{{QStringLiteral("email"), *r.email}}}});
  });
  router.route("GET", QStringLiteral("/api/me"), Access::signedIn, [this](const Request& r) {
    return Reply::json(QJsonObject{{QStringLiteral("email"), *r.email},
                                   {QStringLiteral("subscribed"), store_.read([&](StoreTransaction& t) {
                                      return t.isSubscribed(*r.email);
                                    })}});
  });
  router.route("POST", QStringLiteral("/api/auth/sign-out"), Access::signedIn, [this](const Request& r) {
    store_.endSession(*r.bearerToken());
    return Reply::json(QJsonObject{{QStringLiteral("success"), true}});
  });
  router.route("POST", QStringLiteral("/api/billing"), Access::signedIn, [this](const Request& r) {
    if (!r.header("content-type").startsWith("application/x-www-form-urlencoded"))
      return Reply::error(400, QStringLiteral("BAD_REQUEST"), QStringLiteral("Expected a form body."));
    return Reply::json(
        QJsonObject{{QStringLiteral("url"), baseUrl_.toString() + QStringLiteral("/billing")}});
  });
  router.route("GET", QStringLiteral("/billing"), Access::open, [](const Request&) {
    return Reply::page(
        200, QStringLiteral("Billing"),
        QStringLiteral("<p>The development service bills nobody: every account is subscribed.</p>"));
  });
}

Reply AccountRoutes::requestCode(const Request& request) {
  const std::lock_guard lock(codesMutex_);
  if (!fromTheAgent(request, request.json())) return tokenError(QStringLiteral("invalid_client"));
  // Codes nobody polls any more are forgotten once they have expired.
  const QDateTime now = QDateTime::currentDateTimeUtc();
  codes_.removeIf([&](const auto& entry) { return entry.value().expiresAt <= now; });
  DeviceCode code;
  code.deviceCode = QStringLiteral("device-") + QUuid::createUuid().toString(QUuid::Id128);
  code.userCode = makeUserCode();
  code.expiresAt = now.addSecs(kCodeLifetimeSeconds);
  codes_.insert(code.deviceCode, code);
  const QString page = baseUrl_.toString() + QStringLiteral("/device");
  return Reply::json(QJsonObject{
      {QStringLiteral("device_code"), code.deviceCode},
      {QStringLiteral("user_code"), code.userCode},
      {QStringLiteral("verification_uri"), page},
      {QStringLiteral("verification_uri_complete"), page + QStringLiteral("?user_code=") + code.userCode},
      {QStringLiteral("expires_in"), kCodeLifetimeSeconds},
      {QStringLiteral("interval"), kPollIntervalSeconds}});
}

Reply AccountRoutes::poll(const Request& request) {
  const std::lock_guard lock(codesMutex_);
  const QJsonObject body = request.json();
  if (!fromTheAgent(request, body)) return tokenError(QStringLiteral("invalid_client"));
  if (body.value(QStringLiteral("grant_type")).toString() != QLatin1String(kDeviceCodeGrant))
    return tokenError(QStringLiteral("unsupported_grant_type"));
  const auto found = codes_.find(body.value(QStringLiteral("device_code")).toString());
  if (found == codes_.end()) return tokenError(QStringLiteral("invalid_grant"));
  if (found->expiresAt <= QDateTime::currentDateTimeUtc()) {
    codes_.erase(found);
    return tokenError(QStringLiteral("expired_token"));
  }
  switch (found->status) {
    case DeviceCode::Status::pending:
      return tokenError(QStringLiteral("authorization_pending"));
    case DeviceCode::Status::denied:
      codes_.erase(found);
      return tokenError(QStringLiteral("access_denied"));
    case DeviceCode::Status::approved:
      break;
  }
  // A code is redeemed once.
  const QString token = store_.createSession(found->email);
  codes_.erase(found);
  return Reply::json(QJsonObject{{QStringLiteral("access_token"), token},
                                 {QStringLiteral("token_type"), QStringLiteral("Bearer")},
                                 {QStringLiteral("expires_in"), 30 * 24 * 3600}});
}

AccountRoutes::DeviceCode* AccountRoutes::byUserCode(const QString& userCode) {
  const QString wanted = userCode.trimmed().toUpper();
  for (DeviceCode& code : codes_) {
    if (code.userCode == wanted && code.expiresAt > QDateTime::currentDateTimeUtc()) return &code;
  }
  return nullptr;
}

Reply AccountRoutes::verificationPage(const Request& request) {
  const std::lock_guard lock(codesMutex_);
  const QString userCode = request.query.value(QStringLiteral("user_code"));
  const DeviceCode* code = byUserCode(userCode);
  const QString form = QStringLiteral(
                           "<form method=\"post\" action=\"/device\">"
                           "<p>Code <input name=\"user_code\" value=\"%1\" size=\"10\"></p>"
                           "<p>Sign in as <input name=\"email\" value=\"%2\" size=\"30\"></p>"
                           "<p><button name=\"decision\" value=\"approve\">Approve</button>"
                           "<button name=\"decision\" value=\"deny\">Deny</button></p></form>")
                           .arg(userCode.toHtmlEscaped(), kDefaultEmail);
  if (!code && !userCode.isEmpty()) {
    return Reply::page(404, QStringLiteral("Sign in to Parcelmoor"),
                       QStringLiteral("<p>No waiting sign-in has the code <code>%1</code>. Start the sign-in "
                                      "again from Parcelmoor.</p>")
                               .arg(userCode.toHtmlEscaped()) +
                           form);
  }
  return Reply::page(
      200, QStringLiteral("Sign in to Parcelmoor"),
      QStringLiteral("<p>Parcelmoor asks to sign in. Check that it shows the same code.</p>") + form);
}

Reply AccountRoutes::decide(const Request& request) {
  const std::lock_guard lock(codesMutex_);
  const QMap<QString, QString> form = request.form();
  const QString userCode = form.value(QStringLiteral("user_code"));
  DeviceCode* code = byUserCode(userCode);
  if (!code) {
    return Reply::page(404, QStringLiteral("Sign in to Parcelmoor"),
                       QStringLiteral("<p>No waiting sign-in has the code <code>%1</code>.</p>")
                           .arg(userCode.toHtmlEscaped()));
  }
  if (form.value(QStringLiteral("decision")) != QLatin1String("approve")) {
    code->status = DeviceCode::Status::denied;
    return Reply::page(200, QStringLiteral("Sign-in denied"),
                       QStringLiteral("<p>Parcelmoor stays signed out.</p>"));
  }
  const QString email = form.value(QStringLiteral("email")).trimmed();
  code->email = email.isEmpty() ? kDefaultEmail : email;
  code->status = DeviceCode::Status::approved;
  return Reply::page(200, QStringLiteral("Signed in"),
                     QStringLiteral("<p>Parcelmoor is signed in as %1. You can close this page.</p>")
                         .arg(code->email.toHtmlEscaped()));
}

}  // namespace pm::dev
