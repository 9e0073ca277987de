#pragma once

#include <httplib.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <thread>

namespace pm::bench {

// Runs a benchmark's stand-in server on 127.0.0.1 at a free port (written to `port` before the first
// request can arrive), prints "listening 127.0.0.1:<port>" once ready, and stops when standard input
// closes, which is how the bench scripts end it. Returns the process's exit code.
inline int serveUntilInputCloses(httplib::Server& server, int& port, const char* name) {
  port = server.bind_to_any_port("127.0.0.1");
  if (port <= 0) {
    std::cerr << name << ": no port\n";
    return 1;
  }
  std::thread listening([&] { server.listen_after_bind(); });
  while (!server.is_running()) std::this_thread::yield();
  std::printf("listening 127.0.0.1:%d\n", port);
  std::fflush(stdout);
  for (std::string line; std::getline(std::cin, line);) {
  }
  server.stop();
  listening.join();
  return 0;
}

}  // namespace pm::bench
