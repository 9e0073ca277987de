#include "AccountState.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>

#include "platform/SharedDefaults.h"
#include "platform/SharedNames.h"
#include "platform/Signals.h"

namespace pm {

namespace {
const QString kSignedOut = QStringLiteral("signedOut");
const QString kWaiting = QStringLiteral("waiting");
const QString kSignedIn = QStringLiteral("signedIn");
const QString kFailed = QStringLiteral("failed");
const QString kUserCode = QStringLiteral("userCode");
const QString kVerificationUri = QStringLiteral("verificationUri");
const QString kVerificationUriComplete = QStringLiteral("verificationUriComplete");
}  // namespace

AccountState AccountState::waiting(SignInCode code) {
  AccountState state(Case::waiting);
  state.code_ = std::move(code);
  return state;
}

AccountState AccountState::signedIn(QString email, bool subscribed) {
  AccountState state(Case::signedIn);
  state.email_ = std::move(email);
  state.subscribed_ = subscribed;
  return state;
}

AccountState AccountState::failed(Failure failure) {
  AccountState state(Case::failed);
  state.failure_ = failure;
  return state;
}

bool AccountState::operator==(const AccountState& other) const {
  if (kind_ != other.kind_) return false;
  switch (kind_) {
    case Case::signedIn:
      return email_ == other.email_ && subscribed_ == other.subscribed_;
    case Case::failed:
      return failure_ == other.failure_;
    case Case::waiting:
      return code_ == other.code_;
    default:
      return true;
  }
}

QString failureRawValue(AccountState::Failure failure) {
  switch (failure) {
    case AccountState::Failure::denied:
      return QStringLiteral("denied");
    case AccountState::Failure::expired:
      return QStringLiteral("expired");
    case AccountState::Failure::keychain:
      return QStringLiteral("keychain");
    case AccountState::Failure::network:
      break;
  }
  return QStringLiteral("network");
}

std::optional<AccountState::Failure> failureFromRawValue(const QString& raw) {
  if (raw == QLatin1String("denied")) return AccountState::Failure::denied;
  if (raw == QLatin1String("expired")) return AccountState::Failure::expired;
  if (raw == QLatin1String("network")) return AccountState::Failure::network;
  if (raw == QLatin1String("keychain")) return AccountState::Failure::keychain;
  return std::nullopt;
}

QString keychainFailureMessage() {
  return QCoreApplication::translate(
      "AccountState",
      "The keychain did not accept your sign-in: is a keyring (Secret Service) running and unlocked?");
}

QByteArray AccountState::toJson() const {
  QJsonObject payload;
  QString key;
  switch (kind_) {
    case Case::signedOut:
      key = kSignedOut;
      break;
    case Case::waiting:
      key = kWaiting;
      if (!code_.userCode.isEmpty()) {
        payload.insert(kUserCode, code_.userCode);
        payload.insert(kVerificationUri, code_.verificationUri);
        payload.insert(kVerificationUriComplete, code_.verificationUriComplete);
      }
      break;
    case Case::signedIn:
      key = kSignedIn;
      payload.insert(QStringLiteral("email"), email_);
      payload.insert(QStringLiteral("subscribed"), subscribed_);
      break;
    case Case::failed:
      key = kFailed;
      payload.insert(QStringLiteral("_0"), failureRawValue(failure_));
      break;
  }
  return QJsonDocument(QJsonObject{{key, payload}}).toJson(QJsonDocument::Compact);
}

std::optional<AccountState> AccountState::fromJson(const QByteArray& json, QString* error) {
  auto fail = [error](const QString& why) -> std::optional<AccountState> {
    if (error) *error = why;
    return std::nullopt;
  };
  const QJsonDocument document = QJsonDocument::fromJson(json);
  if (!document.isObject()) return fail(QStringLiteral("The data is not a JSON object."));
  const QJsonObject object = document.object();

  // Only the four case names count; other keys are ignored.
  QString key;
  int recognised = 0;
  for (const QString& name : {kSignedOut, kWaiting, kSignedIn, kFailed}) {
    if (object.contains(name)) {
      key = name;
      ++recognised;
    }
  }
  if (recognised != 1) return fail(QStringLiteral("Invalid number of keys found, expected one."));

  const QJsonValue value = object.value(key);
  if (!value.isObject()) return fail(QStringLiteral("Expected an object under \"%1\".").arg(key));
  const QJsonObject payload = value.toObject();

  if (key == kSignedOut) return signedOut();
  // The code is a help, not a promise: a state without it (or with a part that is no text) still waits.
  if (key == kWaiting)
    return waiting({payload.value(kUserCode).toString(), payload.value(kVerificationUri).toString(),
                    payload.value(kVerificationUriComplete).toString()});
  if (key == kSignedIn) {
    const QJsonValue email = payload.value(QStringLiteral("email"));
    const QJsonValue subscribed = payload.value(QStringLiteral("subscribed"));
    if (!email.isString()) return fail(QStringLiteral("\"email\" is missing or not a string."));
    if (!subscribed.isBool()) return fail(QStringLiteral("\"subscribed\" is missing or not a Boolean."));
    return signedIn(email.toString(), subscribed.toBool());
  }
  const QJsonValue raw = payload.value(QStringLiteral("_0"));
  const auto failure = raw.isString() ? failureFromRawValue(raw.toString()) : std::nullopt;
  if (!failure) return fail(QStringLiteral("\"_0\" is not a known failure."));
  return failed(*failure);
}

void AccountState::save(SharedDefaults& defaults, Signals& signals) const {
  defaults.set(QString::fromLatin1(names::key::kAccountState), toJson());
  signals.postDarwinNotification(QString::fromLatin1(names::signal::kAccountChanged));
}

AccountState AccountState::load(const SharedDefaults& defaults) {
  const auto data = defaults.dataValue(QString::fromLatin1(names::key::kAccountState));
  if (!data) return signedOut();
  return fromJson(*data).value_or(signedOut());
}

}  // namespace pm
