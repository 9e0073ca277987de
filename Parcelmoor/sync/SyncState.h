#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>

namespace pm {

class SharedDefaults;
class Signals;

// How settings sync stands, as the agent publishes it for the settings program under "syncState". The
// agent alone writes it and never reads it back; the settings program only reads it.
class SyncState {
 public:
  enum class Case { off, starting, enterCode, joining, offering, on, failed };
  // Stored by the case names ("network", "refused", ...).
  enum class Failure { network, refused, expired, mismatch, noPairing, keyMismatch };

  static constexpr std::array<Failure, 6> allFailures{Failure::network,   Failure::refused,
                                                      Failure::expired,   Failure::mismatch,
                                                      Failure::noPairing, Failure::keyMismatch};

  static SyncState off() { return SyncState(Case::off); }
  static SyncState starting() { return SyncState(Case::starting); }
  static SyncState enterCode() { return SyncState(Case::enterCode); }
  static SyncState joining() { return SyncState(Case::joining); }
  static SyncState offering(QString code);
  static SyncState on() { return SyncState(Case::on); }
  // `stillOn`: whether sync stays on after the failed step.
  static SyncState failed(Failure failure, bool stillOn);

  Case kind() const { return kind_; }
  // Meaningful for offering only: the pairing code this computer shows.
  const QString& code() const { return code_; }
  // Meaningful for failed only.
  Failure failure() const { return failure_; }
  bool stillOn() const { return stillOn_; }

  bool operator==(const SyncState& other) const;

  // One key, the case name, holding an object of the case's values: {"off":{}}, {"offering":{"code":"…"}},
  // {"failed":{"_0":"network","stillOn":true}}.
  QByteArray toJson() const;
  // Only keys that name a case count; other keys are ignored. Nothing unless exactly one case key is there
  // with a well-formed object; `error` says why.
  static std::optional<SyncState> fromJson(const QByteArray& json, QString* error = nullptr);

  // Stores the state under "syncState", then posts "syncChanged", always, so a reader woken by the signal
  // finds the new state.
  void save(SharedDefaults& defaults, Signals& signals) const;
  // The stored state; off when absent or unreadable (the stored value is left as it is).
  static SyncState load(const SharedDefaults& defaults);

  // The line the account page shows under the sync switch: the failure's explanation, else the general
  // description.
  QString sentence() const;

 private:
  explicit SyncState(Case kind) : kind_(kind) {}

  Case kind_ = Case::off;
  QString code_;
  Failure failure_ = Failure::network;
  bool stillOn_ = false;
};

QString rawValue(SyncState::Failure failure);
std::optional<SyncState::Failure> syncFailureFromRawValue(const QString& raw);

}  // namespace pm
