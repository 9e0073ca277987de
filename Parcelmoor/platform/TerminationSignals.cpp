#include "TerminationSignals.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>

#include <sys/socket.h>
#include <unistd.h>

namespace pm {

namespace {

constexpr int kWatched[] = {SIGTERM, SIGINT, SIGHUP};

// The handler's end and the event loop's end of the socket pair; -1 while no instance watches.
volatile sig_atomic_t writeEnd = -1;
int readEnd = -1;
// Lock-free, so the handler may count on any thread.
std::atomic<int> received{0};
static_assert(std::atomic<int>::is_always_lock_free);

// The signal's own default action: the process ends as if nobody had caught it.
void endByDefault(int signalNumber) {
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  ::sigaction(signalNumber, &fallback, nullptr);
  // Blocked while this handler runs; it ends the process as the handler returns.
  ::raise(signalNumber);
}

void onSignal(int signalNumber) {
  // The first request is taken up by the event loop; once that has ended (the program is taking itself
  // down, or something holds it up) nobody reads the socket, and a second request is the asker insisting.
  if (received.fetch_add(1) > 0) {
    endByDefault(signalNumber);
    return;
  }
  const int saved = errno;
  const int fd = writeEnd;
  if (fd >= 0) {
    const char number = char(signalNumber);
    // A full socket already holds enough requests to end the process; a lost one changes nothing.
    [[maybe_unused]] const ssize_t written = ::write(fd, &number, 1);
  }
  errno = saved;
}

}  // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
  if (readEnd >= 0) return;  // another instance watches already
  received = 0;
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pair) != 0) return;
  writeEnd = pair[0];
  readEnd = pair[1];

  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  // A system call the signal interrupts goes on; the request is taken up by the event loop.
  action.sa_flags = SA_RESTART;
  for (const int signalNumber : kWatched) {
    struct sigaction before {};
    if (::sigaction(signalNumber, &action, &before) == 0) previous_.emplace_back(signalNumber, before);
  }
  notifier_ = std::make_unique<QSocketNotifier>(readEnd, QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, &TerminationSignals::readPending);
}

TerminationSignals::~TerminationSignals() {
  if (!notifier_) return;
  for (const auto& [signalNumber, before] : previous_) ::sigaction(signalNumber, &before, nullptr);
  notifier_.reset();
  const int fd = writeEnd;
  writeEnd = -1;
  ::close(fd);
  ::close(readEnd);
  readEnd = -1;
}

void TerminationSignals::readPending() {
  char numbers[16];
  ssize_t count = 0;
  while ((count = ::read(readEnd, numbers, sizeof numbers)) > 0) {
    for (ssize_t i = 0; i < count; ++i) Q_EMIT requested(int(numbers[i]));
  }
}

}  // namespace pm
