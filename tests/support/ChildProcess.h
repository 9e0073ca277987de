#pragma once

#include <sys/types.h>

#include <functional>

namespace pm::test {

// Runs `body` in a forked copy of this process and returns its result (the child's exit status), or -1
// when the child could not be started or did not exit normally. For what must not touch the test process
// itself: resource limits, running out of descriptors. The child runs only `body` and never returns into
// the test.
int exitCodeInChild(const std::function<int()>& body);

// In a child: from now on no file of this process may grow past `bytes` (as a disk with that much room
// left would refuse), and a write past it fails with EFBIG instead of killing the process.
void limitFileSize(off_t bytes);

// In a child: from now on every attempt to open a file fails with EMFILE; false when that cannot be set up.
bool exhaustFileDescriptors();

}  // namespace pm::test
