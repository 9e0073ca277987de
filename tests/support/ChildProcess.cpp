#include "ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace pm::test {

int exitCodeInChild(const std::function<int()>& body) {
  std::fflush(nullptr);  // what the parent buffered must not be written twice
  const pid_t pid = ::fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    int code = 125;
    try {
      code = body();
    } catch (...) {
    }
    std::fflush(nullptr);
    ::_exit(code);  // no destructors or exit handlers of the parent's state
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void limitFileSize(off_t bytes) {
  std::signal(SIGXFSZ, SIG_IGN);
  const rlimit limit{rlim_t(bytes), rlim_t(bytes)};
  ::setrlimit(RLIMIT_FSIZE, &limit);
}

bool exhaustFileDescriptors() {
  // Descriptors 0 to 2 are open, so a limit of 3 leaves no number for a new one.
  const rlimit limit{3, 3};
  return ::setrlimit(RLIMIT_NOFILE, &limit) == 0;
}

}  // namespace pm::test
