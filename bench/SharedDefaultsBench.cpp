// Reads and writes one key of a suite that holds 200 keys (about 64 KiB), the size the programs' suite
// reaches with many connections and queued state. Aim: a read under 0.2 ms, a write under 2 ms.
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "platform/SharedDefaults.h"

namespace {

struct Suite {
  QTemporaryDir dir;
  std::unique_ptr<pm::FileSharedDefaults> defaults;
  Suite() : defaults(std::make_unique<pm::FileSharedDefaults>(dir.path() + QStringLiteral("/suite.json"))) {
    const QString filler(300, QLatin1Char('x'));
    for (int n = 0; n < 200; ++n) defaults->set(QStringLiteral("key%1").arg(n), filler + QString::number(n));
  }
};

void BM_ReadOneKey(benchmark::State& state) {
  Suite suite;
  for (auto _ : state) benchmark::DoNotOptimize(suite.defaults->stringValue(QStringLiteral("key100")));
}
BENCHMARK(BM_ReadOneKey)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_WriteOneKey(benchmark::State& state) {
  Suite suite;
  int n = 0;
  for (auto _ : state) suite.defaults->set(QStringLiteral("key100"), ++n);
  state.counters["file_bytes"] = double(QFileInfo(suite.defaults->filePath()).size());
}
BENCHMARK(BM_WriteOneKey)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
