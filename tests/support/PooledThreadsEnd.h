#pragma once

#include <chrono>

namespace pm::test {

// Waits, up to `bound`, until none of Qt's pool threads is left in the process, or until their number has
// not changed for `settled` (the idle threads of a pool that lives until exit).
//
// Qt's pool threads are detached: once waitForDone() has returned, a thread's work is over, but the thread
// itself may still be running its thread-local destructors, OpenSSL's among them. A test executable that
// links the fakes' HTTP library has OpenSSL's clean-up registered to run at exit (that library's set-up
// runs before anything of ours can ask OpenSSL not to). If the process exits while such a thread is still
// ending, both free the same state and the heap is corrupted.
void waitForPooledThreadsToEnd(std::chrono::milliseconds bound = std::chrono::seconds(10),
                               std::chrono::milliseconds settled = std::chrono::milliseconds(50));

}  // namespace pm::test
