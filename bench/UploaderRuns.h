#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QUuid>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

#include "RunToEnd.h"
#include "upload/BucketUploader.h"

namespace pm::bench {

// Sends the file at `path` once per iteration through a fresh uploader from `make`, as each bucket gets
// one: registering and withdrawing (so the target holds one copy at a time) stay untimed. Returns the
// throughput in MB/s and records it on `state`.
template <typename MakeUploader>
double timeUploads(benchmark::State& state, const QString& path, MakeUploader make) {
  const qint64 size = QFileInfo(path).size();
  qint64 sendingNs = 0;
  QElapsedTimer timer;
  for (auto _ : state) {
    const auto uploader = make();
    const UploadUnit unit{QUuid::createUuid(), QUuid::createUuid(), path, QStringLiteral("one-gib.bin"),
                          size};
    std::optional<Registration> registration;
    runToEnd([](BucketUploader& target, UploadUnit u, std::optional<Registration>& out) -> QCoro::Task<> {
      const QList<UploadUnit> units{std::move(u)};
      out = co_await target.registerUnits(units);
    }(*uploader, unit, registration));
    timer.start();
    runToEnd(uploader->upload(unit, registration->destinations.value(0), {}, {}));
    sendingNs += timer.nsecsElapsed();
    state.PauseTiming();
    runToEnd(uploader->withdraw({unit}));
    state.ResumeTiming();
  }
  const double mbps = double(size) * double(state.iterations()) / 1e6 / (double(sendingNs) / 1e9);
  state.SetBytesProcessed(state.iterations() * size);
  state.counters["MB/s"] = mbps;
  return mbps;
}

// The MB/s of every timed run of this program, as timeUploads() callers record them for
// runUploadBenchmarks().
inline std::vector<double>& runsMBps() {
  static std::vector<double> runs;
  return runs;
}

// Prints "<label> 1 GiB: median N MB/s, best N MB/s over N runs", the line the bench scripts read.
inline bool printMedian(const char* label, std::vector<double> runs) {
  if (runs.empty()) return false;
  std::sort(runs.begin(), runs.end());
  std::printf("%s 1 GiB: median %.0f MB/s, best %.0f MB/s over %zu runs\n", label, runs[runs.size() / 2],
              runs.back(), runs.size());
  return true;
}

// The main() of an uploader benchmark: runs the registered benchmarks on a Qt event loop, names what the
// script compares them with, and prints the median of runsMBps() under `label`. Fails when nothing ran.
inline int runUploadBenchmarks(int argc, char** argv, const char* compareWith, const char* label) {
  QCoreApplication app(argc, argv);
  benchmark::AddCustomContext("compare with", compareWith);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return printMedian(label, runsMBps()) ? 0 : 1;
}

}  // namespace pm::bench
