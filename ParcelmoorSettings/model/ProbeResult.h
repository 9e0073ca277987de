#pragma once

#include <QString>

#include <optional>

namespace pm::settings {

// The outcome of a connection test as the editor keeps it: reachable, or failed with the text to show.
class ProbeResult {
 public:
  static ProbeResult reachable() { return ProbeResult(std::nullopt); }
  static ProbeResult failed(QString message) { return ProbeResult(std::move(message)); }
  // What every test returns: no text is success.
  static ProbeResult fromTestOutcome(std::optional<QString> failure) {
    return ProbeResult(std::move(failure));
  }

  bool isReachable() const { return !failure_; }
  // The failure's text; empty for a reachable result.
  QString message() const { return failure_.value_or(QString()); }

  bool operator==(const ProbeResult&) const = default;

 private:
  explicit ProbeResult(std::optional<QString> failure) : failure_(std::move(failure)) {}

  std::optional<QString> failure_;
};

}  // namespace pm::settings
