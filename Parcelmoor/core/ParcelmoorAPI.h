#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <QCoroTask>

#include <chrono>
#include <optional>

#include "core/SessionTokenCache.h"
#include "platform/Async.h"

class QNetworkAccessManager;
class QNetworkRequest;

namespace pm {

class Keychain;

// The service's error answer: a machine-readable code ("SUBSCRIPTION_REQUIRED") and a text for the user.
// A body that is not such a record has neither.
struct ServiceError {
  std::optional<QString> error;
  std::optional<QString> message;

  static ServiceError decode(const QByteArray& body);
};

// The client of the product's own service: every request goes under "<base>/api/". The plain request
// hands back whatever the service answered; the authorised one adds the session token, turns an error
// answer into an UploadError and tells the account store (through the two signals) when the session or the
// subscription needs a look.
class ParcelmoorAPI final : public QObject {
  Q_OBJECT

 public:
  // What a request carries: a JSON value ("application/json"), a form the caller already built and
  // escaped ("application/x-www-form-urlencoded", sent byte for byte), or nothing (no Content-Type).
  // A large JSON document may come already written (on a worker), and is then sent byte for byte.
  class Body {
   public:
    enum class Kind { json, form, none };

    static Body json(QJsonValue value) { return Body(Kind::json, std::move(value), {}); }
    static Body writtenJson(QByteArray text) {
      Body body(Kind::json, {}, {});
      body.written_ = std::move(text);
      return body;
    }
    static Body form(QString text) { return Body(Kind::form, {}, std::move(text)); }
    static Body none() { return Body(Kind::none, {}, {}); }

    Kind kind() const { return kind_; }
    const QJsonValue& value() const { return value_; }
    // The JSON text given as it is to be sent; nothing when the body holds a value instead.
    const std::optional<QByteArray>& writtenJson() const { return written_; }
    const QString& formText() const { return form_; }

   private:
    Body(Kind kind, QJsonValue value, QString form) : kind_(kind), value_(std::move(value)), form_(std::move(form)) {}

    Kind kind_;
    QJsonValue value_;
    std::optional<QByteArray> written_;
    QString form_;
  };

  struct Response {
    QByteArray body;
    int status = 0;  // 0: the answer was not an HTTP response
  };

  struct Options {
    QUrl baseUrl;
    // The user's languages, most preferred first, as preferredLanguages() gives them; the first three
    // distinct tags go out as "Accept-Language" (acceptedLanguages()).
    QStringList preferredLanguages;
    // How long an attempt may go without progress before it counts as timed out (and is tried once more).
    std::chrono::milliseconds timeout = std::chrono::seconds(60);
    // The longest answer body read; a longer one is abandoned as soon as it passes this. Every answer of the
    // service is a small JSON document.
    qint64 maximumAnswerSize = qint64(8) << 20;
  };

  ParcelmoorAPI(QNetworkAccessManager& network, const Keychain& keychain, Options options,
                QObject* parent = nullptr);

  const QUrl& baseUrl() const { return options_.baseUrl; }
  // The stored session token, read once and kept; every reader of the token goes through it.
  SessionTokenCache& sessionToken() { return sessionToken_; }

  // Sends one request and returns its body and status without judging the status; a redirect is not
  // followed but returned as its 3xx status. A request that times out is sent once more; a transport
  // failure throws UploadError::transport, and so do an answer longer than `maximumAnswerSize` and one
  // whose connection ended before its body did; a cancellation through `cancel` throws
  // UploadError::cancelled; an unencodable JSON body throws before anything is sent.
  QCoro::Task<Response> request(QString path, QByteArray method, Body body, std::optional<QString> token,
                                CancelTokenPtr cancel = {});

  // The body of a 2xx answer to a request with the stored session token. Without a token, throws
  // signedOut and sends nothing; any other answer throws the UploadError the service's error body names.
  QCoro::Task<QByteArray> authorizedRequest(QString path, QByteArray method,
                                            std::optional<QJsonValue> body = std::nullopt,
                                            CancelTokenPtr cancel = {});
  // The same with a body of any kind.
  QCoro::Task<QByteArray> authorizedRequest(QString path, QByteArray method, Body body,
                                            CancelTokenPtr cancel = {});

 Q_SIGNALS:
  // An authorised request met HTTP 401: the session may be gone.
  void sessionRefused();
  // An authorised request was refused with "SUBSCRIPTION_REQUIRED" (other than by a 401).
  void subscriptionRequired();

 private:
  struct Attempt;

  QNetworkRequest buildRequest(const QString& path, const QByteArray& method, const Body& body,
                               const std::optional<QString>& token) const;
  QCoro::Task<Attempt> send(QNetworkRequest request, QByteArray method, std::optional<QByteArray> payload,
                            CancelTokenPtr cancel);

  QNetworkAccessManager& network_;
  Options options_;
  SessionTokenCache sessionToken_;
};

// The service base URL: PARCELMOOR_API when it holds a usable absolute URL (read once per process),
// else the URL built in at compile time.
QUrl serviceBaseUrl();
// The same decision for a given value of the variable.
QUrl serviceBaseUrl(const std::optional<QString>& environmentValue);
QUrl builtInServiceUrl();
// The languages of the user's locale settings, most preferred first, as the system lists them.
QStringList preferredLanguages();
// What "Accept-Language" names of `preferred`: at most three distinct language tags, in order, without
// the script variants the system repeats ("en-Latn-US" beside "en-US") and without "C" or "POSIX".
QStringList acceptedLanguages(const QStringList& preferred);

// An absolute URL made from service text; nothing for empty, relative or malformed text.
std::optional<QUrl> absoluteUrl(const QString& text);

}  // namespace pm
