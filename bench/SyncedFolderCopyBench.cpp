// Copies a 1 GiB file into the synced folder with ICloudUploader, as a bucket would. Run it through
// scripts/bench-synced-folder, which hands this program the file (PM_BENCH_FILE) and a synced-folder root on
// the same file system (PM_BENCH_ROOT), and times `cp` of the same file into the same folder for
// comparison. Aim: at least 0.9x cp's throughput, and a peak resident size under 64 MiB.
#include <QFileInfo>
#include <QNetworkAccessManager>

#include <benchmark/benchmark.h>

#include <memory>

#include "UploaderRuns.h"
#include "connectors/ICloudUploader.h"
#include "platform/SharedDefaults.h"

namespace {

QString environment(const char* name) { return QString::fromLocal8Bit(qgetenv(name)); }

// One copy per iteration under a fresh uploader; the copy is removed afterwards (untimed).
void BM_SyncedFolderCopyOneGiB(benchmark::State& state) {
  const QString path = environment("PM_BENCH_FILE");
  const QString root = environment("PM_BENCH_ROOT");
  if (root.isEmpty() || !QFileInfo(path).isFile()) {
    state.SkipWithError("PM_BENCH_ROOT or PM_BENCH_FILE is not set; run scripts/bench-synced-folder");
    return;
  }
  pm::UploaderConfig config(pm::UploaderConfig::Kind::icloud);
  pm::MemorySharedDefaults defaults;
  QNetworkAccessManager network;

  pm::bench::runsMBps().push_back(pm::bench::timeUploads(
      state, path, [&] { return std::make_unique<pm::ICloudUploader>(config, root, defaults, nullptr, network); }));
}

BENCHMARK(BM_SyncedFolderCopyOneGiB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);

}  // namespace

int main(int argc, char** argv) {
  return pm::bench::runUploadBenchmarks(
      argc, argv, "cp of the same file into the same folder (scripts/bench-synced-folder)", "synced-folder copy");
}
