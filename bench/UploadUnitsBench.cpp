// Expands one dropped folder of 10,000 small files (100 subfolders of 100) into upload units, the walk
// the upload session waits for before the first file is registered. Aim: under 1 s for the whole folder.
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <QCoroTask>

#include <benchmark/benchmark.h>

#include "upload/UploadUnits.h"

namespace {

constexpr int kFolders = 100;
constexpr int kFilesPerFolder = 100;

struct DroppedFolder {
  QTemporaryDir dir;
  QString path = dir.path() + QStringLiteral("/Photos");

  DroppedFolder() {
    const QByteArray content(64, 'x');
    for (int folder = 0; folder < kFolders; ++folder) {
      const QString sub = path + QStringLiteral("/album-%1").arg(folder);
      QDir().mkpath(sub);
      for (int file = 0; file < kFilesPerFolder; ++file) {
        QFile out(sub + QStringLiteral("/IMG_%1.jpg").arg(file));
        if (!out.open(QIODevice::WriteOnly) || out.write(content) != content.size()) qFatal("cannot write");
      }
    }
  }
};

void BM_MakeUploadUnitsOfLargeFolder(benchmark::State& state) {
  const DroppedFolder folder;
  const auto item = std::make_shared<pm::BucketItem>(folder.path, QDateTime::currentDateTimeUtc());
  qsizetype units = 0;
  for (auto _ : state) {
    const pm::UnitExpansion result = QCoro::waitFor(pm::makeUploadUnits({item}));
    units = result.units.size();
    benchmark::DoNotOptimize(result.units.constData());
  }
  if (units != kFolders * kFilesPerFolder) state.SkipWithError("the walk missed files");
  state.SetItemsProcessed(state.iterations() * units);
  state.counters["aim_ms"] = 1000;
}
// Wall time: the walk runs on a worker while the calling thread waits.
BENCHMARK(BM_MakeUploadUnitsOfLargeFolder)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);  // the walk is awaited through the event loop
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
