#include "SyncState.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>

#include <iterator>

#include "platform/SharedDefaults.h"
#include "platform/SharedNames.h"
#include "platform/Signals.h"

namespace pm {

namespace {

// Indexed by declaration order.
constexpr const char* kCaseNames[] = {"off", "starting", "enterCode", "joining", "offering", "on", "failed"};
constexpr const char* kFailureNames[] = {"network",  "refused",   "expired",
                                         "mismatch", "noPairing", "keyMismatch"};
static_assert(std::size(kFailureNames) == SyncState::allFailures.size());

const QString kCode = QStringLiteral("code");
const QString kFailure = QStringLiteral("_0");
const QString kStillOn = QStringLiteral("stillOn");

QString caseName(SyncState::Case kind) {
  return QString::fromLatin1(kCaseNames[std::size_t(kind)]);
}

}  // namespace

QString rawValue(SyncState::Failure failure) {
  return QString::fromLatin1(kFailureNames[std::size_t(failure)]);
}

std::optional<SyncState::Failure> syncFailureFromRawValue(const QString& raw) {
  for (const SyncState::Failure failure : SyncState::allFailures) {
    if (rawValue(failure) == raw) return failure;
  }
  return std::nullopt;
}

SyncState SyncState::offering(QString code) {
  SyncState state(Case::offering);
  state.code_ = std::move(code);
  return state;
}

SyncState SyncState::failed(Failure failure, bool stillOn) {
  SyncState state(Case::failed);
  state.failure_ = failure;
  state.stillOn_ = stillOn;
  return state;
}

bool SyncState::operator==(const SyncState& other) const {
  if (kind_ != other.kind_) return false;
  switch (kind_) {
    case Case::offering:
      return code_ == other.code_;
    case Case::failed:
      return failure_ == other.failure_ && stillOn_ == other.stillOn_;
    default:
      return true;
  }
}

QByteArray SyncState::toJson() const {
  QJsonObject values;
  if (kind_ == Case::offering) values.insert(kCode, code_);
  if (kind_ == Case::failed) {
    values.insert(kFailure, rawValue(failure_));
    values.insert(kStillOn, stillOn_);
  }
  return QJsonDocument(QJsonObject{{caseName(kind_), values}}).toJson(QJsonDocument::Compact);
}

std::optional<SyncState> SyncState::fromJson(const QByteArray& json, QString* error) {
  auto fail = [error](const QString& why) -> std::optional<SyncState> {
    if (error) *error = why;
    return std::nullopt;
  };
  const QJsonDocument document = QJsonDocument::fromJson(json);
  if (!document.isObject()) return fail(QStringLiteral("The data is not a JSON object."));
  const QJsonObject object = document.object();

  std::optional<Case> found;
  int recognised = 0;
  for (std::size_t i = 0; i < std::size(kCaseNames); ++i) {
    if (object.contains(QLatin1String(kCaseNames[i]))) {
      found = Case(i);
      ++recognised;
    }
  }
  if (recognised != 1) return fail(QStringLiteral("Invalid number of keys found, expected one."));

  const QJsonValue value = object.value(caseName(*found));
  if (!value.isObject())
    return fail(QStringLiteral("Expected an object under \"%1\".").arg(caseName(*found)));
  const QJsonObject values = value.toObject();

  switch (*found) {
    case Case::offering: {
      const QJsonValue code = values.value(kCode);
      if (!code.isString()) return fail(QStringLiteral("\"code\" is missing or not a string."));
      return offering(code.toString());
    }
    case Case::failed: {
      const QJsonValue raw = values.value(kFailure);
      const auto failure = raw.isString() ? syncFailureFromRawValue(raw.toString()) : std::nullopt;
      if (!failure) return fail(QStringLiteral("\"_0\" is not a known failure."));
      const QJsonValue stillOn = values.value(kStillOn);
      if (!stillOn.isBool()) return fail(QStringLiteral("\"stillOn\" is missing or not a Boolean."));
      return failed(*failure, stillOn.toBool());
    }
    default:
      return SyncState(*found);
  }
}

void SyncState::save(SharedDefaults& defaults, Signals& signals) const {
  defaults.set(QString::fromLatin1(names::key::kSyncState), toJson());
  signals.postDarwinNotification(QString::fromLatin1(names::signal::kSyncChanged));
}

SyncState SyncState::load(const SharedDefaults& defaults) {
  const auto data = defaults.dataValue(QString::fromLatin1(names::key::kSyncState));
  if (!data) return off();
  return fromJson(*data).value_or(off());
}

QString SyncState::sentence() const {
  const char* text = QT_TRANSLATE_NOOP(
      "SyncState", "Sync your Apps, Uploads and Settings across devices. All data is end-to-end encrypted.");
  if (kind_ == Case::failed) {
    switch (failure_) {
      case Failure::network:
        text = QT_TRANSLATE_NOOP("SyncState", "Could not reach Parcelmoor.");
        break;
      case Failure::refused:
        text = QT_TRANSLATE_NOOP("SyncState",
                                 "Parcelmoor refused this. Check that both devices run the same version.");
        break;
      case Failure::expired:
        text = QT_TRANSLATE_NOOP("SyncState",
                                 "The code expired before the pairing finished. Show or enter a fresh one.");
        break;
      case Failure::mismatch:
        text =
            QT_TRANSLATE_NOOP("SyncState", "The codes did not match. Nothing was handed over — try again.");
        break;
      case Failure::noPairing:
        text = QT_TRANSLATE_NOOP(
            "SyncState",
            "No code is being shown right now. On your other device, click Connect Another Device first.");
        break;
      case Failure::keyMismatch:
        text = QT_TRANSLATE_NOOP(
            "SyncState",
            "This device's key does not match what is stored. Turn sync off and on to join your other "
            "device again.");
        break;
    }
  }
  return QCoreApplication::translate("SyncState", text);
}

}  // namespace pm
