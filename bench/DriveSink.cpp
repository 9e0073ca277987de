// A stand-in for Google Drive's API and upload host, for the Drive upload benchmark: it answers the few
// requests a bucket registration makes (no folders exist, so they are made; every upload session points
// back here) and takes uploads to "/upload/session/…" as a stream that it counts and drops, so neither it
// nor the uploader under test holds a file in memory. Runs in its own process (scripts/bench-drive) so
// its work does not count against the uploader's; prints "listening 127.0.0.1:<port>" once ready and
// stops when its standard input closes.
#include <httplib.h>

#include <atomic>
#include <string>

#include "SinkServer.h"

int main() {
  httplib::Server server;
  std::atomic<int> next{1};
  int port = 0;
  const auto json = [](httplib::Response& response, const std::string& body) {
    response.set_content(body, "application/json");
  };

  server.Get("/drive/v3/files", [&](const httplib::Request&, httplib::Response& response) {
    json(response, R"({"files":[]})");
  });
  server.Post("/drive/v3/files", [&](const httplib::Request&, httplib::Response& response) {
    json(response, R"({"id":"folder-)" + std::to_string(next++) + R"("})");
  });
  server.Post("/upload/drive/v3/files", [&](const httplib::Request&, httplib::Response& response) {
    response.set_header("Location",
                        "http://127.0.0.1:" + std::to_string(port) + "/upload/session/" + std::to_string(next++));
  });
  server.Put("/upload/session/.*",
             [&](const httplib::Request&, httplib::Response& response, const httplib::ContentReader& reader) {
               long long received = 0;
               reader([&](const char*, size_t length) {
                 received += static_cast<long long>(length);
                 return true;
               });
               json(response, R"({"id":"file-)" + std::to_string(next++) + R"(","size":")" +
                                  std::to_string(received) + R"("})");
             });
  server.Delete("/drive/v3/files/.*", [](const httplib::Request&, httplib::Response& response) { response.status = 204; });

  return pm::bench::serveUntilInputCloses(server, port, "drive sink");
}
