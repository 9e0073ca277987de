#pragma once

#include <QProcess>
#include <QTemporaryDir>

namespace pm::bench {

// A desktop session of the benchmark's own: a D-Bus session bus and an unlocked keyring on it, both
// stopped when destroyed. Made before this process first touches the session bus, it becomes this
// process's bus (and that of every program it starts), so the agent's bus name and the session token of
// a benchmark never meet the user's own agent or keyring.
class PrivateSession {
 public:
  // Throws std::runtime_error when the bus or the keyring does not come up.
  PrivateSession();
  ~PrivateSession();
  PrivateSession(const PrivateSession&) = delete;
  PrivateSession& operator=(const PrivateSession&) = delete;

 private:
  void start();
  void stop();

  QTemporaryDir home_;
  QProcess bus_;
  QProcess keyring_;
};

}  // namespace pm::bench
