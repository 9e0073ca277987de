#pragma once

#include <QObject>

#include <csignal>
#include <memory>
#include <vector>

class QSocketNotifier;

namespace pm {

// The ways a session, a terminal or a service manager asks a process to end (SIGTERM, SIGINT, SIGHUP),
// turned into requested() on the main thread so the program can quit as a user would and clean up
// after itself. A signal handler may do next to nothing safely: it only writes the signal's number into
// a socket pair whose other end the event loop watches. Only the first signal is a request: a second one
// (of any of the three) ends the process at once by its default action, since the quit the first asked for
// is then under way or stuck, and the asker (a session logging out, a user pressing Ctrl-C again) would
// otherwise wait for nothing and then kill the process. One instance at a time; going, it puts the
// handlers back that were there before it.
class TerminationSignals final : public QObject {
  Q_OBJECT

 public:
  explicit TerminationSignals(QObject* parent = nullptr);
  ~TerminationSignals() override;
  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

  // False when the socket pair or a handler could not be set up: the signals then end the process as
  // they would without this object.
  bool isWatching() const { return notifier_ != nullptr; }

 Q_SIGNALS:
  // Once, for the first signal received, with its number.
  void requested(int signalNumber);

 private:
  void readPending();

  std::unique_ptr<QSocketNotifier> notifier_;
  std::vector<std::pair<int, struct sigaction>> previous_;
};

}  // namespace pm
