#include "ParcelmoorAPI.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QRegularExpression>
#include <QTimer>

#include <QCoroNetworkReply>

#include <algorithm>
#include <memory>
#include <stdexcept>

#include "core/JsonDecoding.h"
#include "core/UploadError.h"
#include "platform/Log.h"
#include "platform/NetworkRequest.h"

#ifndef PM_SERVICE_URL
#error "PM_SERVICE_URL must be defined by the build"
#endif

namespace pm {

namespace {

constexpr qsizetype kAcceptedLanguageCount = 3;
constexpr qint64 kReadAhead = 256 * 1024;
constexpr char kEnvironmentVariable[] = "PARCELMOOR_API";

QString translated(const char* text) { return QCoreApplication::translate("ParcelmoorAPI", text); }

QString signInFirst() { return translated("Sign in to your Parcelmoor account first."); }

struct LaterDeleter {
  void operator()(QObject* object) const { object->deleteLater(); }
};

// The caller's JSON value as the service reads it; a value that is no JSON at all fails before sending.
QByteArray encodeJson(const QJsonValue& value) {
  switch (value.type()) {
    case QJsonValue::Object:
      return QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
    case QJsonValue::Array:
      return QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact);
    case QJsonValue::Undefined:
      throw std::invalid_argument("The request body cannot be written as JSON.");
    default: {
      // A document holds only objects and arrays: write the scalar inside one and take the brackets off.
      const QByteArray wrapped = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
      return wrapped.mid(1, wrapped.size() - 2);
    }
  }
}

std::optional<QByteArray> encodeBody(const ParcelmoorAPI::Body& body) {
  switch (body.kind()) {
    case ParcelmoorAPI::Body::Kind::json:
      return body.writtenJson() ? *body.writtenJson() : encodeJson(body.value());
    case ParcelmoorAPI::Body::Kind::form:
      return body.formText().toUtf8();
    case ParcelmoorAPI::Body::Kind::none:
      break;
  }
  return std::nullopt;
}

QUrl endpoint(const QUrl& base, const QString& path) {
  QUrl url = base;
  QString basePath = url.path();
  while (basePath.endsWith(QLatin1Char('/'))) basePath.chop(1);
  url.setPath(basePath + QLatin1String("/api/") + path);
  return url;
}

// The text a refused request shows: the service's own words first, then its code, then ours.
QString failureText(int status, const ServiceError& answer) {
  if (answer.message && !answer.message->isEmpty()) return *answer.message;
  if (answer.error && !answer.error->isEmpty()) return *answer.error;
  switch (status) {
    case 401:
      return signInFirst();
    case 409:
      return translated("This box has already been sealed.");
    case 429:
      return translated("Too many boxes in a short time. Try again in a little while.");
    default:
      return translated("Parcelmoor responded with HTTP %1.").arg(status);
  }
}

UploadError refusal(int status, const ServiceError& answer) {
  QString text = failureText(status, answer);
  const QString code = answer.error.value_or(QString());
  if (code == QLatin1String("SUBSCRIPTION_REQUIRED")) return UploadError::subscriptionRequired(std::move(text));
  if (code == QLatin1String("QUOTA_EXCEEDED")) return UploadError::quotaExceeded(std::move(text));
  if (code == QLatin1String("UNAUTHORIZED") || status == 401) return UploadError::signedOut(std::move(text));
  return UploadError::rejected(std::move(text));
}

// A failure of the connection rather than an HTTP refusal (which Qt reports as an error too).
bool isConnectionFailure(QNetworkReply::NetworkError error) {
  return (error > QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied) ||
         error == QNetworkReply::ProtocolUnknownError || error == QNetworkReply::ProtocolFailure;
}

// The body of one answer, read as it arrives and never past `limit` bytes.
class AnswerBody {
 public:
  explicit AnswerBody(qint64 limit) : limit_(limit) {}

  // False once the body is known to pass the limit: the reply should be abandoned.
  bool append(QIODevice& source) {
    if (tooLarge_) return false;
    // No more than is there: a read allocates what it is allowed to take.
    bytes_ += source.read(std::min(limit_ + 1 - bytes_.size(), source.bytesAvailable()));
    if (bytes_.size() > limit_) refuse();
    return !tooLarge_;
  }
  // The length the answer announces, checked before a byte of it is read.
  bool expect(const QVariant& contentLength) {
    if (contentLength.isValid()) announced_ = contentLength.toLongLong();
    if (announced_ && *announced_ > limit_) refuse();
    return !tooLarge_;
  }

  bool tooLarge() const { return tooLarge_; }
  // Fewer bytes than the answer announced. Qt can report such an answer as complete when the server
  // closes the connection at the moment the client looks at it, so the count is checked here too.
  bool shorterThanAnnounced() const { return !tooLarge_ && announced_ && bytes_.size() < *announced_; }
  QByteArray take() { return std::move(bytes_); }

 private:
  void refuse() {
    tooLarge_ = true;
    bytes_ = QByteArray();
  }

  qint64 limit_;
  std::optional<qint64> announced_;
  QByteArray bytes_;
  bool tooLarge_ = false;
};

}  // namespace

ServiceError ServiceError::decode(const QByteArray& body) {
  try {
    const QJsonObject object = decodeJsonObject(body);
    return ServiceError{optionalString(object, u"error"), optionalString(object, u"message")};
  } catch (const JsonDecodingError&) {
    return {};
  }
}

struct ParcelmoorAPI::Attempt {
  enum class Outcome { answered, timedOut, cancelled, failed };

  Outcome outcome = Outcome::failed;
  Response response;
  QString failure;

  Response result() const {
    switch (outcome) {
      case Outcome::answered:
        return response;
      case Outcome::timedOut:
        throw UploadError::transport(translated("The request timed out."));
      case Outcome::cancelled:
        throw UploadError::cancelled();
      case Outcome::failed:
        break;
    }
    throw UploadError::transport(failure);
  }
};

ParcelmoorAPI::ParcelmoorAPI(QNetworkAccessManager& network, const Keychain& keychain, Options options,
                             QObject* parent)
    : QObject(parent), network_(network), options_(std::move(options)), sessionToken_(keychain) {}

QNetworkRequest ParcelmoorAPI::buildRequest(const QString& path, const QByteArray& method, const Body& body,
                                            const std::optional<QString>& token) const {
  QNetworkRequest request = networkRequest(endpoint(options_.baseUrl, path));
  // The service keeps no state in cookies, and none may leak into or out of its requests.
  request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, int(QNetworkRequest::Manual));
  request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, int(QNetworkRequest::Manual));
  if (token) request.setRawHeader("Authorization", "Bearer " + token->toUtf8());
  const QStringList languages = acceptedLanguages(options_.preferredLanguages);
  // Without a language worth naming, any will do: Qt would otherwise fill in English of its own accord.
  request.setRawHeader("Accept-Language",
                       languages.isEmpty() ? QByteArray("*") : languages.join(QLatin1String(", ")).toUtf8());
  switch (body.kind()) {
    case Body::Kind::json:
      request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/json"));
      break;
    case Body::Kind::form:
      request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/x-www-form-urlencoded"));
      break;
    case Body::Kind::none:
      // A method whose requests carry content says that there is none, as HTTP asks of a user agent.
      if (method == "POST" || method == "PUT" || method == "PATCH")
        request.setHeader(QNetworkRequest::ContentLengthHeader, 0);
      break;
  }
  return request;
}

QCoro::Task<ParcelmoorAPI::Attempt> ParcelmoorAPI::send(QNetworkRequest request, QByteArray method,
                                                        std::optional<QByteArray> payload, CancelTokenPtr cancel) {
  if (cancel && cancel->isCancelled()) co_return Attempt{Attempt::Outcome::cancelled, {}, {}};
  const std::unique_ptr<QNetworkReply, LaterDeleter> reply(
      payload ? network_.sendCustomRequest(request, method, *payload) : network_.sendCustomRequest(request, method));
  QNetworkReply* const raw = reply.get();
  // Qt's network thread reads ahead only this far of what this thread has taken, so an answer abandoned
  // at the cap has not been pulled in whole meanwhile.
  raw->setReadBufferSize(kReadAhead);

  // The abort runs from the event loop, never inside a signal of the reply, the timer or the token: it
  // resumes this coroutine, which then destroys the timer and the handlers.
  const auto abortSoon = [raw] { QMetaObject::invokeMethod(raw, &QNetworkReply::abort, Qt::QueuedConnection); };
  bool timedOut = false;
  QTimer idle;
  idle.setSingleShot(true);
  idle.setInterval(options_.timeout);
  connect(&idle, &QTimer::timeout, raw, [&timedOut, abortSoon] {
    timedOut = true;
    abortSoon();
  });
  // Like the time-out of a URL request, this one measures silence, not the length of a transfer.
  connect(raw, &QNetworkReply::uploadProgress, &idle, qOverload<>(&QTimer::start));
  connect(raw, &QNetworkReply::downloadProgress, &idle, qOverload<>(&QTimer::start));
  if (cancel) connect(cancel.get(), &CancelToken::cancelled, raw, abortSoon);

  // The body is taken as it arrives, so an answer past the cap is dropped as soon as it gets there instead
  // of being held whole first.
  AnswerBody body(options_.maximumAnswerSize);
  const auto take = [raw, &body, abortSoon] {
    if (!body.append(*raw)) abortSoon();
  };
  connect(raw, &QNetworkReply::metaDataChanged, &idle, [raw, &body, abortSoon] {
    if (!body.expect(raw->header(QNetworkRequest::ContentLengthHeader))) abortSoon();
  });
  connect(raw, &QNetworkReply::readyRead, &idle, take);
  idle.start();

  co_await raw;
  idle.stop();
  take();

  const QNetworkReply::NetworkError error = raw->error();
  if (error == QNetworkReply::OperationCanceledError) {
    if (cancel && cancel->isCancelled()) co_return Attempt{Attempt::Outcome::cancelled, {}, {}};
    if (timedOut) co_return Attempt{Attempt::Outcome::timedOut, {}, {}};
  }
  if (body.tooLarge())
    co_return Attempt{
        Attempt::Outcome::failed, {}, translated("The answer from Parcelmoor is too large to read.")};
  const QVariant status = raw->attribute(QNetworkRequest::HttpStatusCodeAttribute);
  // Qt flags 4xx and 5xx as errors too: only a failure of the connection itself, with or without a status,
  // keeps the reply from being an answer.
  // A status without a body (204, 304) announces the length of a body it does not send.
  const bool bodyCut = body.shorterThanAnnounced() && status.toInt() != 204 && status.toInt() != 304;
  if (!isConnectionFailure(error) && !bodyCut && (status.isValid() || error == QNetworkReply::NoError))
    co_return Attempt{Attempt::Outcome::answered, Response{body.take(), status.toInt()}, {}};
  // A status with a failed connection means the body stopped before its end: it is no answer either.
  const QString failure =
      status.isValid() || bodyCut ? translated("The connection to Parcelmoor closed before the whole answer arrived.")
                       : raw->errorString();
  co_return Attempt{Attempt::Outcome::failed, {}, failure};
}

QCoro::Task<ParcelmoorAPI::Response> ParcelmoorAPI::request(QString path, QByteArray method, Body body,
                                                            std::optional<QString> token, CancelTokenPtr cancel) {
  const std::optional<QByteArray> payload = encodeBody(body);
  const QNetworkRequest built = buildRequest(path, method, body, token);
  const QPointer<ParcelmoorAPI> self(this);

  Attempt attempt = co_await send(built, method, payload, cancel);
  if (attempt.outcome == Attempt::Outcome::timedOut) {
    if (!self) throw UploadError::cancelled();
    qCInfo(lcApi, "%s /api/%s timed out; one more try", method.constData(), qUtf8Printable(path));
    attempt = co_await send(built, method, payload, cancel);
  }
  co_return attempt.result();
}

QCoro::Task<QByteArray> ParcelmoorAPI::authorizedRequest(QString path, QByteArray method,
                                                         std::optional<QJsonValue> body, CancelTokenPtr cancel) {
  // Built before the co_await: GCC 12 mishandles the temporaries of a conditional inside one.
  Body payload = body ? Body::json(*body) : Body::none();
  QCoro::Task<QByteArray> sent =
      authorizedRequest(std::move(path), std::move(method), std::move(payload), std::move(cancel));
  co_return co_await std::move(sent);
}

QCoro::Task<QByteArray> ParcelmoorAPI::authorizedRequest(QString path, QByteArray method, Body body,
                                                         CancelTokenPtr cancel) {
  const QPointer<ParcelmoorAPI> self(this);
  const std::optional<QString> token = co_await sessionToken_.load();
  if (!self) throw UploadError::cancelled();
  if (!token) throw UploadError::signedOut(signInFirst());

  const Response response = co_await request(path, method, std::move(body), token, std::move(cancel));
  if (response.status >= 200 && response.status <= 299) co_return response.body;

  const ServiceError answer = ServiceError::decode(response.body);
  qCWarning(lcApi, "%s /api/%s: HTTP %d %s", method.constData(), qUtf8Printable(path), response.status,
            qUtf8Printable(answer.error.value_or(QStringLiteral("no code"))));

  // The account store reacts on its own time; the failing request goes back to its caller at once.
  if (self) {
    if (response.status == 401) {
      // The token may have been replaced meanwhile: whoever looks next reads it from the keychain.
      sessionToken_.forget();
      QMetaObject::invokeMethod(self.data(), &ParcelmoorAPI::sessionRefused, Qt::QueuedConnection);
    } else if (answer.error == QLatin1String("SUBSCRIPTION_REQUIRED")) {
      QMetaObject::invokeMethod(self.data(), &ParcelmoorAPI::subscriptionRequired, Qt::QueuedConnection);
    }
  }
  throw refusal(response.status, answer);
}

std::optional<QUrl> absoluteUrl(const QString& text) {
  const QUrl url(text, QUrl::StrictMode);
  if (text.isEmpty() || !url.isValid() || url.isRelative() || url.host().isEmpty()) return std::nullopt;
  return url;
}

QUrl builtInServiceUrl() { return QUrl(QStringLiteral(PM_SERVICE_URL)); }

QUrl serviceBaseUrl(const std::optional<QString>& environmentValue) {
  if (!environmentValue) return builtInServiceUrl();
  if (const auto url = absoluteUrl(*environmentValue)) return *url;
  qCWarning(lcApi, "%s is not a usable URL; using the built-in service address", kEnvironmentVariable);
  return builtInServiceUrl();
}

QUrl serviceBaseUrl() {
  static const QUrl url = serviceBaseUrl(qEnvironmentVariableIsSet(kEnvironmentVariable)
                                             ? std::optional<QString>(qEnvironmentVariable(kEnvironmentVariable))
                                             : std::nullopt);
  return url;
}

QStringList preferredLanguages() { return QLocale::system().uiLanguages(); }

QStringList acceptedLanguages(const QStringList& preferred) {
  // A language tag as HTTP takes it: a primary subtag of letters, then subtags of letters and digits.
  static const QRegularExpression kTag(QStringLiteral("^[A-Za-z]{2,8}(-[A-Za-z0-9]{1,8})*$"));
  // The script subtag of "en-Latn-US": Qt lists such a tag beside the same tag without it.
  static const QRegularExpression kScript(QStringLiteral("-[A-Za-z]{4}(?=-|$)"));
  const auto seen = [](const QStringList& tags, const QString& tag) {
    return tags.contains(tag, Qt::CaseInsensitive);
  };

  QStringList accepted;
  for (const QString& tag : preferred) {
    if (accepted.size() == kAcceptedLanguageCount) break;
    // "C" and "POSIX" name no language at all.
    if (!kTag.match(tag).hasMatch() || tag.compare(QLatin1String("POSIX"), Qt::CaseInsensitive) == 0)
      continue;
    const QString withoutScript = QString(tag).remove(kScript);
    if (seen(accepted, tag) || (withoutScript != tag && seen(preferred, withoutScript))) continue;
    accepted.append(tag);
  }
  return accepted;
}

}  // namespace pm
