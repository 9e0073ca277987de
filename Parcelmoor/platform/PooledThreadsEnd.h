#pragma once

#include <chrono>

namespace pm {

// Waits, up to `bound`, until none of Qt's pool threads is left in the process, or until their number has
// not changed for `settled` (the idle threads of a pool that lives until exit).
//
// Qt's pool threads are detached: once waitForDone() has returned, a thread's work is over, but the thread
// itself may still be running its thread-local destructors, OpenSSL's and those of the libraries libcurl
// brings among them. If the process exits meanwhile, the exit handlers and the libraries' finalisers free
// or unmap that same state beside the ending thread, and the heap is corrupted as the program ends.
void waitForPooledThreadsToEnd(std::chrono::milliseconds bound = std::chrono::seconds(10),
                               std::chrono::milliseconds settled = std::chrono::milliseconds(50));

}  // namespace pm
