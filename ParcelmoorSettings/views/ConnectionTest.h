#pragma once

#include <QString>

namespace pm::settings {

// The result of one test of a connection as the Apps page shows it. Kept only by the page.
class ConnectionTest {
 public:
  enum class State { ok, failed, running };

  static ConnectionTest ok(QString message) { return ConnectionTest(State::ok, std::move(message)); }
  static ConnectionTest failed(QString message) { return ConnectionTest(State::failed, std::move(message)); }
  static ConnectionTest running() { return ConnectionTest(State::running, QString()); }

  State state() const { return state_; }
  // What was reached, or why it failed; empty while running.
  const QString& message() const { return message_; }

  bool operator==(const ConnectionTest&) const = default;

 private:
  ConnectionTest(State state, QString message) : state_(state), message_(std::move(message)) {}

  State state_;
  QString message_;
};

}  // namespace pm::settings
