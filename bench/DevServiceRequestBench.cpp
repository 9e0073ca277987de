// The development service's requests in a bucket that already holds few or many files, over HTTP on one
// kept-alive connection as the agent sends them. Aim: a request costs the same at 10 files and at 100,000
// (the service used to write its whole state after every change: about 1.4 s per announcement at 100,000
// files). Storing a part is dominated by writing and flushing the part's own file.
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <httplib.h>

#include <map>
#include <memory>
#include <stdexcept>

#include "DevService.h"
#include "DevStore.h"

namespace {

constexpr qint64 kSealedSize = 4096 + 36;  // a file of 4 KiB, sealed

// A running service whose one bucket holds `count` uploaded files, and a client signed in to it.
struct Stand {
  explicit Stand(int count) {
    const QString state = dir.filePath(QStringLiteral("state"));
    {
      pm::dev::DevStore store(state);
      token = store.createSession(QStringLiteral("bench@example.com")).toStdString();
      pm::dev::StoredBucket stored{pm::dev::DevStore::newIdentifier(QStringLiteral("bucket")),
                                   QStringLiteral("bench@example.com"), QByteArray(32, 'k'), false,
                                   QDateTime::currentDateTimeUtc()};
      bucket = stored.id.toStdString();
      store.write([&](pm::dev::StoreTransaction& transaction) {
        transaction.addBucket(stored);
        for (int n = 0; n < count; ++n) {
          pm::dev::StoredFile file;
          file.id = pm::dev::DevStore::newIdentifier(QStringLiteral("file"));
          file.path = QStringLiteral("earlier/%1.jpg").arg(n);
          file.contentType = QStringLiteral("image/jpeg");
          file.size = kSealedSize;
          file.etags.insert(1, QStringLiteral("\"%1\"").arg(n));
          transaction.addFile(stored.id, file);
        }
      });
    }
    service = std::make_unique<pm::dev::DevService>(pm::dev::DevService::Options{state, 0, 8 * 1024 * 1024});
    if (!service->start()) throw std::runtime_error(service->failure().toStdString());
    client = std::make_unique<httplib::Client>("127.0.0.1", service->baseUrl().port());
    client->set_keep_alive(true);
    // Else a request whose body goes out after its head waits out the delayed ACK of the first.
    client->set_tcp_nodelay(true);
    client->set_bearer_token_auth(token);
  }

  // Announces one file at `path`; returns its upload path.
  std::string announce(const std::string& path) const {
    const std::string body = R"({"files":[{"path":")" + path + R"(","size":)" + std::to_string(kSealedSize) +
                             R"(,"contentType":"image/jpeg"}]})";
    const auto answer = client->Post(("/api/buckets/" + bucket + "/files").c_str(), body, "application/json");
    if (!answer || answer->status != 200) throw std::runtime_error("announcing failed");
    const auto start = answer->body.find("/api/uploads/");
    return answer->body.substr(start, answer->body.find('"', start) - start);
  }

  QTemporaryDir dir;
  std::unique_ptr<pm::dev::DevService> service;
  std::unique_ptr<httplib::Client> client;
  std::string token;
  std::string bucket;
};

// Made once for each size: filling a bucket with 100,000 files takes a while.
Stand& standOf(int count) {
  static std::map<int, std::unique_ptr<Stand>> stands;
  std::unique_ptr<Stand>& stand = stands[count];
  if (!stand) stand = std::make_unique<Stand>(count);
  return *stand;
}

void BM_AnnounceOneFile(benchmark::State& state) {
  Stand& stand = standOf(int(state.range(0)));
  static int next = 0;
  for (auto _ : state) benchmark::DoNotOptimize(stand.announce("new/" + std::to_string(next++) + ".jpg"));
}
BENCHMARK(BM_AnnounceOneFile)
    ->Arg(10)
    ->Arg(100'000)
    ->Iterations(2000)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

void BM_StoreOnePart(benchmark::State& state) {
  Stand& stand = standOf(int(state.range(0)));
  static int next = 0;
  const std::string upload = stand.announce("part/" + std::to_string(next++) + ".jpg");
  const std::string bytes(kSealedSize, 'x');
  for (auto _ : state) {
    const auto answer = stand.client->Put(upload.c_str(), bytes, "application/octet-stream");
    if (!answer || answer->status != 200) state.SkipWithError("storing failed");
  }
}
BENCHMARK(BM_StoreOnePart)
    ->Arg(10)
    ->Arg(100'000)
    ->Iterations(2000)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
