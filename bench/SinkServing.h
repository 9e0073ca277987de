#pragma once

#include <httplib.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <thread>

namespace pm::bench {

// How a stand-in server of a benchmark lives: bound to a free port on 127.0.0.1 (0 when none could be had,
// said on standard error under `name`), then serving on a thread of its own after printing
// "listening 127.0.0.1:<port>" until its standard input closes (the bench script holds it open).
inline int bindLoopback(httplib::Server& server, const char* name) {
  const int port = server.bind_to_any_port("127.0.0.1");
  if (port <= 0) std::cerr << name << ": no port\n";
  return port;
}

inline int serveUntilInputCloses(httplib::Server& server, int port) {
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
