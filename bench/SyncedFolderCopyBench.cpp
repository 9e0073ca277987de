// Copies a 1 GiB file into the synced folder with ICloudUploader, as a bucket would. Run it through
// scripts/bench-synced-folder, which hands this program the file (PM_BENCH_FILE) and a synced-folder root on
// the same file system (PM_BENCH_ROOT), and times `cp` of the same file into the same folder for
// comparison. Aim: at least 0.9x cp's throughput, and a peak resident size under 64 MiB.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QNetworkAccessManager>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

#include "RunToEnd.h"
#include "connectors/ICloudUploader.h"
#include "platform/SharedDefaults.h"

namespace {

QString environment(const char* name) { return QString::fromLocal8Bit(qgetenv(name)); }

std::vector<double>& runsMBps() {
  static std::vector<double> runs;
  return runs;
}

// One copy per iteration under a fresh uploader; the copy is removed afterwards (untimed).
void BM_SyncedFolderCopyOneGiB(benchmark::State& state) {
  const QString path = environment("PM_BENCH_FILE");
  const QString root = environment("PM_BENCH_ROOT");
  if (root.isEmpty() || !QFileInfo(path).isFile()) {
    state.SkipWithError("PM_BENCH_ROOT or PM_BENCH_FILE is not set; run scripts/bench-synced-folder");
    return;
  }
  const qint64 size = QFileInfo(path).size();
  pm::UploaderConfig config(pm::UploaderConfig::Kind::icloud);
  pm::MemorySharedDefaults defaults;
  QNetworkAccessManager network;

  qint64 copyingNs = 0;
  QElapsedTimer timer;
  for (auto _ : state) {
    pm::ICloudUploader uploader(config, root, defaults, nullptr, network);
    const pm::UploadUnit unit{QUuid::createUuid(), QUuid::createUuid(), path, QStringLiteral("one-gib.bin"), size};
    std::optional<pm::Registration> registration;
    pm::bench::runToEnd([](pm::ICloudUploader& folder, pm::UploadUnit u, std::optional<pm::Registration>& out) -> QCoro::Task<> {
      const QList<pm::UploadUnit> units{std::move(u)};
      out = co_await folder.registerUnits(units);
    }(uploader, unit, registration));
    timer.start();
    pm::bench::runToEnd(uploader.upload(unit, registration->destinations.value(0), {}, {}));
    copyingNs += timer.nsecsElapsed();
    state.PauseTiming();
    pm::bench::runToEnd(uploader.withdraw({unit}));
    state.ResumeTiming();
  }
  const double mbps = double(size) * double(state.iterations()) / 1e6 / (double(copyingNs) / 1e9);
  runsMBps().push_back(mbps);
  state.SetBytesProcessed(state.iterations() * size);
  state.counters["MB/s"] = mbps;
}

BENCHMARK(BM_SyncedFolderCopyOneGiB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::AddCustomContext("compare with", "cp of the same file into the same folder (scripts/bench-synced-folder)");
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  auto& runs = runsMBps();
  if (runs.empty()) return 1;
  std::sort(runs.begin(), runs.end());
  std::printf("synced-folder copy 1 GiB: median %.0f MB/s, best %.0f MB/s over %zu runs\n", runs[runs.size() / 2],
              runs.back(), runs.size());
  return 0;
}
