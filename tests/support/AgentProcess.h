#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariant>

#include <chrono>
#include <optional>

#include "platform/Paths.h"

namespace pm::test {

class PrivateDesktopSession;

// The real agent program, run as a desktop session would run it but with everything it keeps under a
// folder of the caller's: its own XDG folders and temporary folder, a preferences suite of its own
// (PARCELMOOR_TEST_SUITE), the service at `service`, no display (offscreen), and a stand-in settings
// program that only counts its launches. It talks to the session bus (and the keyring on it) the caller
// runs on, where it owns the agent's one bus name: callers that run it at the same time must not share a
// bus. Stopped when destroyed.
class AgentProcess {
 public:
  struct Finished {
    int exitCode = -1;  // -1: it crashed or did not end in time
    QString output;     // what it wrote to standard output
    QString errors;     // what it wrote to standard error
  };

  // With `session`, the agent runs in that desktop session (its bus and keyring) instead of the caller's.
  AgentProcess(const QString& root, const QUrl& service, const PrivateDesktopSession* session = nullptr);
  ~AgentProcess();
  AgentProcess(const AgentProcess&) = delete;
  AgentProcess& operator=(const AgentProcess&) = delete;

  // Runs the agent on the caller's X display (DISPLAY) instead of off screen, with Qt's scale factor
  // `scale` (device pixels per point); call before start().
  void showOnDisplay(double scale = 1.0);
  // Gives the agent the desktop theme `gtkTheme` ("Adwaita", "Adwaita:dark"), whose colours Qt's GTK
  // platform theme makes its palette; call before start().
  void useDesktopTheme(const QString& gtkTheme);
  // Starts the agent; its standard error goes to logFile().
  void start(const QStringList& arguments = {});
  // Until the agent owns its bus name; false when it did not within `timeout` or ended first.
  bool waitUntilServing(std::chrono::milliseconds timeout = std::chrono::seconds(10));
  bool isRunning() const { return process_.state() != QProcess::NotRunning; }
  qint64 processId() const { return process_.processId(); }
  // Ends the agent and waits for it.
  void stop();
  // Until the agent has ended by itself (after a signal the test sent, say): its exit code, or nothing
  // when it crashed or still runs after `timeout`.
  std::optional<int> waitForExit(std::chrono::milliseconds timeout = std::chrono::seconds(30));

  // Another launch of the same program in the same environment, run to its end ("send …", a second
  // launch). `withoutDisplay` takes every display variable away, as a terminal without a desktop has it;
  // `workingDirectory`, when given, is where it runs, so relative paths name files there.
  Finished launch(const QStringList& arguments, bool withoutDisplay = false,
                  std::chrono::milliseconds timeout = std::chrono::seconds(20),
                  const QString& workingDirectory = {}) const;

  // Where the agent finds its inbox, wake marker, history and suite.
  const Paths& paths() const { return paths_; }
  // The root of the synced folder the agent checks; absent until a test makes it.
  const QString& ubiquityRoot() const { return ubiquityRoot_; }
  QString logFile() const;
  QString log() const;
  // The file of the agent's preferences suite, for a test that plays the settings program beside it.
  QString suiteFile() const { return paths_.suiteFile(suite_); }
  // A value of the agent's preferences suite, as the file holds it now.
  QVariant preference(const QString& key) const;
  // Writes a value into the agent's preferences suite, as the settings program would.
  void setPreference(const QString& key, const QVariant& value) const;
  // How often the agent started the settings program.
  int settingsProgramLaunches() const;
  // Whether any process owns the agent's bus name on the session bus.
  static bool nameIsOwned();
  // Agents running in this environment other than the one start() began: those a launch ("send …")
  // started detached. They are ended with this one.
  QList<qint64> detachedAgents() const;

 private:
  bool isServing() const;
  void stopDetachedAgents();

  const PrivateDesktopSession* session_ = nullptr;
  QString root_;
  QString suite_;
  Paths paths_;
  QString ubiquityRoot_;
  QProcessEnvironment environment_;
  QProcess process_;
};

}  // namespace pm::test
