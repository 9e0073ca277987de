// Uploads a 1 GiB file to a local S3-compatible server with CustomS3Uploader: once as a single PUT and once
// as a multipart upload of 64 MiB parts (the threshold set below the file's size). Run it through
// scripts/bench-s3, which starts s3rver, hands this program its address (PM_BENCH_S3_ENDPOINT) and the file
// (PM_BENCH_FILE, 1 GiB), and times `rclone copy` of the same file to the same server for comparison.
// Aim: at least rclone's throughput, a peak resident size under 128 MiB (`/usr/bin/time -v`): the file
// and each part stream from disk, and no main-thread stall over 50 ms while the file goes up (a 10 ms
// timer's lateness is measured, as the agent's panel would feel it).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <map>
#include <optional>
#include <vector>

#include "RunToEnd.h"
#include "core/ParcelmoorAPI.h"
#include "core/S3Credentials.h"
#include "platform/Keychain.h"
#include "platform/SharedDefaults.h"
#include "upload/CustomS3Uploader.h"

namespace {

constexpr qint64 kPartSize = qint64(64) << 20;
constexpr qint64 kProgramThreshold = qint64(5) << 30;

QString environment(const char* name, const QString& fallback = {}) {
  const QByteArray value = qgetenv(name);
  return value.isEmpty() ? fallback : QString::fromLocal8Bit(value);
}

using pm::bench::runToEnd;

std::map<std::string, std::vector<double>>& runsMBps() {
  static std::map<std::string, std::vector<double>> runs;
  return runs;
}

std::map<std::string, qint64>& longestStallsMs() {
  static std::map<std::string, qint64> stalls;
  return stalls;
}

// How late a 10 ms timer on the main thread fires at worst: the longest time the event loop was busy.
class StallMeter {
 public:
  static constexpr qint64 kTickMs = 10;

  StallMeter() {
    timer_.setInterval(int(kTickMs));
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      longest_ = std::max(longest_, clock_.restart() - kTickMs);
    });
    clock_.start();
    timer_.start();
  }

  qint64 longestMs() const { return longest_; }

 private:
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 longest_ = 0;
};

// One upload of the file per iteration, each under a fresh uploader as each bucket gets; the object is
// removed afterwards so the server's disk holds one copy at a time.
void uploadFile(benchmark::State& state, qint64 threshold, const char* label) {
  const QString endpoint = environment("PM_BENCH_S3_ENDPOINT");
  const QString path = environment("PM_BENCH_FILE");
  if (endpoint.isEmpty() || !QFileInfo(path).isFile()) {
    state.SkipWithError("PM_BENCH_S3_ENDPOINT or PM_BENCH_FILE is not set; run scripts/bench-s3");
    return;
  }
  const qint64 size = QFileInfo(path).size();

  pm::UploaderConfig config(pm::UploaderConfig::Kind::customS3);
  config.endpoint = endpoint;
  config.bucketName = environment("PM_BENCH_S3_BUCKET", QStringLiteral("bench"));
  config.keyPrefix = QString::fromLatin1(label);
  pm::MemoryKeychain keychain;
  pm::S3Credentials::save(keychain, pm::S3Credentials{QStringLiteral("S3RVER"), QStringLiteral("S3RVER")}, config.id);
  pm::MemorySharedDefaults defaults;
  QNetworkAccessManager network;
  pm::ParcelmoorAPI api(network, keychain, pm::ParcelmoorAPI::Options{QUrl(QStringLiteral("http://127.0.0.1:1")), {}, {}});

  qint64 sendingNs = 0;
  QElapsedTimer timer;
  for (auto _ : state) {
    pm::CustomS3Uploader uploader(config, kPartSize, threshold, network, api, keychain, defaults);
    const pm::UploadUnit unit{QUuid::createUuid(), QUuid::createUuid(), path, QStringLiteral("one-gib.bin"), size};
    std::optional<pm::Registration> registration;
    runToEnd([](pm::CustomS3Uploader& s3, pm::UploadUnit u, std::optional<pm::Registration>& out) -> QCoro::Task<> {
      const QList<pm::UploadUnit> units{std::move(u)};
      out = co_await s3.registerUnits(units);
    }(uploader, unit, registration));
    timer.start();
    {
      const StallMeter stalls;
      runToEnd(uploader.upload(unit, registration->destinations.value(0), {}, {}));
      qint64& longest = longestStallsMs()[label];
      longest = std::max(longest, stalls.longestMs());
    }
    sendingNs += timer.nsecsElapsed();
    state.PauseTiming();
    runToEnd(uploader.withdraw({unit}));
    state.ResumeTiming();
  }
  const double mbps = double(size) * double(state.iterations()) / 1e6 / (double(sendingNs) / 1e9);
  runsMBps()[label].push_back(mbps);
  state.SetBytesProcessed(state.iterations() * size);
  state.counters["MB/s"] = mbps;
}

void BM_SinglePutOneGiB(benchmark::State& state) { uploadFile(state, kProgramThreshold, "single-put"); }
void BM_MultipartOneGiB(benchmark::State& state) { uploadFile(state, kPartSize, "multipart"); }

BENCHMARK(BM_SinglePutOneGiB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);
BENCHMARK(BM_MultipartOneGiB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::AddCustomContext("compare with", "rclone copy of the same file to the same server (scripts/bench-s3)");
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (auto& [label, runs] : runsMBps()) {
    std::sort(runs.begin(), runs.end());
    std::printf("%s 1 GiB: median %.0f MB/s, best %.0f MB/s over %zu runs\n", label.c_str(), runs[runs.size() / 2],
                runs.back(), runs.size());
  }
  for (const auto& [label, stall] : longestStallsMs())
    std::printf("%s 1 GiB: longest main-thread stall %lld ms (aim: none over 50 ms)\n", label.c_str(), qlonglong(stall));
  return 0;
}
