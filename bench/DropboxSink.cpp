// A stand-in for Dropbox's API and content hosts, for the Dropbox upload benchmark: it makes the bucket's
// folder (as asked: no name is ever taken), opens upload sessions, takes single uploads and session pieces
// as streams that it counts and drops (so neither it nor the uploader under test holds a file in memory),
// checks that each piece starts where the session stands, finishes sessions and answers every delete. Runs
// in its own process (scripts/bench-dropbox) so its work does not count against the uploader's; prints
// "listening 127.0.0.1:<port>" once ready and stops when its standard input closes.
#include <httplib.h>

#include <atomic>
#include <map>
#include <mutex>
#include <regex>
#include <string>

#include "SinkServer.h"

namespace {

long long drain(const httplib::ContentReader& reader) {
  long long received = 0;
  reader([&](const char*, size_t length) {
    received += static_cast<long long>(length);
    return true;
  });
  return received;
}

// The cursor's offset and session of a "Dropbox-API-Arg" header; the sink trusts the uploader's JSON shape.
bool cursorOf(const httplib::Request& request, long long& offset, std::string& session) {
  static const std::regex pattern(R"re("offset":([0-9]+),"session_id":"([^"]+)")re");
  std::smatch match;
  const std::string argument = request.get_header_value("Dropbox-API-Arg");
  if (!std::regex_search(argument, match, pattern)) return false;
  offset = std::stoll(match[1].str());
  session = match[2].str();
  return true;
}

}  // namespace

int main() {
  httplib::Server server;
  server.set_tcp_nodelay(true);
  std::atomic<int> next{1};
  std::mutex mutex;
  std::map<std::string, long long> sessions;
  const auto json = [](httplib::Response& response, const std::string& body) {
    response.set_content(body, "application/json");
  };

  server.Post("/2/files/upload", [&](const httplib::Request&, httplib::Response& response,
                                     const httplib::ContentReader& reader) {
    json(response,
         R"({"id":"id:)" + std::to_string(next++) + R"(","size":)" + std::to_string(drain(reader)) + "}");
  });
  server.Post("/2/files/upload_session/start", [&](const httplib::Request&, httplib::Response& response,
                                                   const httplib::ContentReader& reader) {
    const std::string id = "session-" + std::to_string(next++);
    const long long received = drain(reader);
    std::lock_guard lock(mutex);
    sessions[id] = received;
    json(response, R"({"session_id":")" + id + R"("})");
  });
  server.Post("/2/files/create_folder_v2", [&](const httplib::Request& request, httplib::Response& response) {
    static const std::regex pattern(R"re("path":"([^"]*)")re");
    std::smatch match;
    const std::string path = std::regex_search(request.body, match, pattern) ? match[1].str() : "/bucket";
    json(response, R"({"metadata":{"id":"id:)" + std::to_string(next++) + R"(","path_display":")" + path +
                       R"("}})");
  });
  server.Post("/2/files/delete_v2", [&](const httplib::Request&, httplib::Response& response) {
    json(response, R"({"metadata":{}})");
  });
  // Pieces of one session, or anything posted under "/curl/" (the comparison), counted and dropped.
  server.Post("/curl/.*", [&](const httplib::Request&, httplib::Response& response,
                              const httplib::ContentReader& reader) {
    drain(reader);
    json(response, "{}");
  });
  server.Post(R"(/2/files/upload_session/(append_v2|finish))", [&](const httplib::Request& request,
                                                                   httplib::Response& response,
                                                                   const httplib::ContentReader& reader) {
    long long offset = 0;
    std::string session;
    const long long received = drain(reader);
    std::lock_guard lock(mutex);
    if (!cursorOf(request, offset, session) || !sessions.count(session) || sessions[session] != offset) {
      response.status = 409;
      json(response, R"({"error_summary":"lookup_failed/incorrect_offset/"})");
      return;
    }
    sessions[session] += received;
    if (request.path.find("finish") == std::string::npos) return json(response, "null");
    json(response,
         R"({"id":"id:)" + std::to_string(next++) + R"(","size":)" + std::to_string(sessions[session]) + "}");
    sessions.erase(session);
  });

  int port = 0;
  return pm::bench::serveUntilInputCloses(server, port, "dropbox sink");
}
