#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

#include <QCoroTask>

#include <optional>

#include "core/ParcelmoorAPI.h"

namespace pm {

// The wire side of the device-code sign-in (RFC 8628, with JSON bodies instead of forms): ask for a code,
// poll for the token, and the lookups a signed-in agent needs. No state of its own; every exchange reads
// its status itself, so none of them starts the account store's reactions to a refused session.
class DeviceFlow {
 public:
  struct Code {
    QString deviceCode;
    QString userCode;
    QString verificationUri;
    QString verificationUriComplete;  // the page the browser opens
    qint64 expiresIn = 0;             // seconds
    qint64 interval = 0;              // seconds between polls, to start with

    // Every field is required; throws JsonDecodingError.
    static Code decode(const QByteArray& body);
  };

  struct TokenResponse {
    std::optional<QString> accessToken;
    std::optional<qint64> expiresIn;
    std::optional<QString> error;

    // Every field is optional, but one of another type fails; throws JsonDecodingError.
    static TokenResponse decode(const QByteArray& body);
  };

  struct SessionUser {
    QString email;
  };

  struct SessionResponse {
    SessionUser user;
    static SessionResponse decode(const QByteArray& body);
  };

  struct Me {
    bool subscribed = false;
    static Me decode(const QByteArray& body);
  };

  class PollResult {
   public:
    enum class Kind { pending, slowDown, denied, expired, approved };

    PollResult() = default;  // pending

    static PollResult pending() { return PollResult(Kind::pending); }
    static PollResult slowDown() { return PollResult(Kind::slowDown); }
    static PollResult denied() { return PollResult(Kind::denied); }
    static PollResult expired() { return PollResult(Kind::expired); }
    static PollResult approved(QString accessToken) { return PollResult(Kind::approved, std::move(accessToken)); }

    Kind kind() const { return kind_; }
    // Meaningful for approved only.
    const QString& accessToken() const { return accessToken_; }

    bool operator==(const PollResult& other) const = default;

   private:
    explicit PollResult(Kind kind, QString accessToken = {}) : kind_(kind), accessToken_(std::move(accessToken)) {}

    Kind kind_ = Kind::pending;
    QString accessToken_;
  };

  explicit DeviceFlow(ParcelmoorAPI& api) : api_(api) {}

  // Throws for a refused request (UploadError::http), an undecodable answer and a transport failure.
  QCoro::Task<Code> requestCode();
  // Every answer that is neither a token nor one of the three final errors is `pending`. Throws for a
  // transport failure and for an answer that is not a token response at all (an HTML error page).
  QCoro::Task<PollResult> poll(QString deviceCode);
  // The e-mail of the session's user; nothing when the service says the token belongs to nobody. Throws
  // UploadError::http for any answer but 200 and 401, and the client's transport failures.
  QCoro::Task<std::optional<QString>> session(QString token);
  // False whenever the service gives no clear answer. Never throws.
  QCoro::Task<bool> isSubscribed(QString token);
  // The same lookup, with nothing for "no clear answer" so a caller can keep what it knew.
  QCoro::Task<std::optional<bool>> subscriptionState(QString token);
  // Tells the service to end the session; only logs what happened. Never throws.
  QCoro::Task<> signOut(QString token);

  // POST "auth/<path>" with `fields` as a JSON object and no token.
  QCoro::Task<ParcelmoorAPI::Response> postAuth(QString path, QMap<QString, QString> fields);

 private:
  ParcelmoorAPI& api_;
};

}  // namespace pm
