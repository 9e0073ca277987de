// A stand-in for Microsoft Graph, for the OneDrive upload benchmark: it answers the few requests a bucket
// registration makes (the app folder, folders, upload sessions that point back here) and takes ranged
// uploads to "/upload/…" as a stream that it counts and drops, so neither it nor the uploader under test
// holds a file in memory. A range that ends the file is answered 201 with an item id, any other 202.
// Runs in its own process (scripts/bench-onedrive) so its work does not count against the uploader's;
// prints "listening 127.0.0.1:<port>" once ready and stops when its standard input closes.
#include <httplib.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "SinkServer.h"

namespace {

// Whether a "Content-Range: bytes first-last/total" names the file's last byte; no range: a whole file.
bool endsTheFile(const std::string& range) {
  long long first = 0;
  long long last = 0;
  long long total = 0;
  if (range.empty()) return true;
  if (std::sscanf(range.c_str(), "bytes %lld-%lld/%lld", &first, &last, &total) != 3) return false;
  return last + 1 == total;
}

}  // namespace

int main() {
  httplib::Server server;
  std::atomic<int> next{1};
  int port = 0;
  const auto json = [](httplib::Response& response, int status, const std::string& body) {
    response.status = status;
    response.set_content(body, "application/json");
  };

  server.Get("/v1.0/me/drive/special/approot", [&](const httplib::Request&, httplib::Response& response) {
    json(response, 200, R"({"id":"approot"})");
  });
  server.Post(R"(/v1.0/me/drive/items/.*/children)",
              [&](const httplib::Request&, httplib::Response& response) {
                json(response, 201, R"({"id":"folder-)" + std::to_string(next++) + R"("})");
              });
  server.Post(R"(/v1.0/me/drive/items/.*/createUploadSession)",
              [&](const httplib::Request&, httplib::Response& response) {
                json(response, 200,
                     R"({"uploadUrl":"http://127.0.0.1:)" + std::to_string(port) + "/upload/" +
                         std::to_string(next++) + R"("})");
              });
  server.Put("/upload/.*", [&](const httplib::Request& request, httplib::Response& response,
                               const httplib::ContentReader& reader) {
    long long received = 0;
    reader([&](const char*, size_t length) {
      received += static_cast<long long>(length);
      return true;
    });
    if (endsTheFile(request.get_header_value("Content-Range"))) {
      json(response, 201, R"({"id":"file-)" + std::to_string(next++) + R"("})");
    } else {
      json(response, 202, R"({"nextExpectedRanges":[]})");
    }
  });
  server.Delete(".*", [](const httplib::Request&, httplib::Response& response) { response.status = 204; });

  return pm::bench::serveUntilInputCloses(server, port, "graph sink");
}
