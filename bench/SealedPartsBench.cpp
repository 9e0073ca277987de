// Seals a 1 GiB file into one part, the way a large drop goes to the product's own service. Aim: at least
// half the AES-256-GCM figure of `openssl speed -seconds 2 -evp aes-256-gcm` at 16 KiB blocks on the same
// machine, and a peak resident size under 64 MiB (`/usr/bin/time -v bench_sealed_parts`).
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <vector>

#include <unistd.h>

#include "platform/Crypto.h"
#include "upload/SealedParts.h"

namespace {

constexpr qint64 kFileBytes = qint64(1) << 30;

// Written once, in 4 MiB blocks so making it stays within the memory aim too.
QString makeSource(const QTemporaryDir& dir) {
  const QString path = dir.filePath(QStringLiteral("source.bin"));
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly)) qFatal("cannot create the source file");
  QByteArray block(4 << 20, Qt::Uninitialized);
  for (qint64 written = 0; written < kFileBytes; written += block.size()) {
    if (!pm::crypto::fillRandom(reinterpret_cast<unsigned char*>(block.data()), int(block.size())) ||
        file.write(block) != block.size())
      qFatal("cannot fill the source file");
  }
  // Flushed now, so the source's write-back does not compete with the sealings being measured.
  if (!file.flush() || ::fsync(file.handle()) != 0) qFatal("cannot flush the source file");
  return path;
}

// Throughput of every measured run, for the summary line.
std::vector<double>& runsMBps() {
  static std::vector<double> runs;
  return runs;
}

void BM_SealOneGiB(benchmark::State& state) {
  QTemporaryDir dir;
  const QString source = makeSource(dir);
  const QByteArray key = *pm::crypto::randomBytes(pm::crypto::kAesKeyBytes);
  const QString parts = dir.filePath(QStringLiteral("parts"));
  const auto sealOnce = [&] { pm::writeSealedParts(source, key, parts, std::numeric_limits<qint64>::max()); };
  // One unmeasured sealing first: the very first touch of fresh memory pages is slow on virtual machines.
  sealOnce();
  QDir(parts).removeRecursively();
  QElapsedTimer timer;
  qint64 sealingNs = 0;
  for (auto _ : state) {
    timer.start();
    sealOnce();
    sealingNs += timer.nsecsElapsed();
    state.PauseTiming();
    QDir(parts).removeRecursively();
    state.ResumeTiming();
  }
  const double mbps = double(kFileBytes) * double(state.iterations()) / 1e6 / (double(sealingNs) / 1e9);
  runsMBps().push_back(mbps);
  state.SetBytesProcessed(state.iterations() * kFileBytes);
  state.counters["MB/s"] = mbps;
}
BENCHMARK(BM_SealOneGiB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3)->Repetitions(3);

}  // namespace

int main(int argc, char** argv) {
  benchmark::AddCustomContext("compare with",
                              "openssl speed -seconds 2 -evp aes-256-gcm, 16384-byte column; aim >= half");
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::vector<double> runs = runsMBps();
  if (!runs.empty()) {
    std::sort(runs.begin(), runs.end());
    std::printf("sealing 1 GiB: median %.0f MB/s, best %.0f MB/s over %zu runs\n", runs[runs.size() / 2],
                runs.back(), runs.size());
  }
  return 0;
}
