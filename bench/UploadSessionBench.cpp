// A session of 1,000 single-file items with an uploader that answers at once: the session's own cost of
// registering, scheduling at most four item tasks, progress and settling. Aim: under 2 s, and never more
// than four item tasks at a time.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "core/BucketHistory.h"
#include "platform/Clock.h"
#include "upload/BucketStore.h"
#include "upload/UploadSession.h"

namespace {

class InstantUploader final : public pm::BucketUploader {
 public:
  using BucketUploader::BucketUploader;
  int inFlight = 0;
  int maxInFlight = 0;

  QCoro::Task<pm::Registration> registerUnits(QList<pm::UploadUnit> units) override {
    pm::Registration registration;
    for (const auto& unit : units) registration.destinations.append({unit.id, QUrl(), {}, {}});
    co_return registration;
  }
  QCoro::Task<> upload(pm::UploadUnit, pm::UploadDestination, pm::ProgressCallback progress,
                       pm::CancelTokenPtr) override {
    maxInFlight = std::max(maxInFlight, ++inFlight);
    co_await pm::sleepFor(std::chrono::milliseconds(0));
    progress(1.0);
    --inFlight;
  }
};

void BM_ThousandSingleFileItems(benchmark::State& state) {
  QTemporaryDir dir;
  QStringList urls;
  for (int n = 0; n < 1000; ++n) {
    const QString path = dir.path() + QStringLiteral("/file%1.txt").arg(n);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) qFatal("cannot write");
    file.write("hello");
    urls.append(path);
  }
  pm::SystemClock clock;
  QNetworkAccessManager network;
  int maxInFlight = 0;
  for (auto _ : state) {
    pm::BucketHistory history(dir.path() + QStringLiteral("/buckets.json"), clock);
    pm::BucketStore store(history, [](const auto&) {}, clock);
    InstantUploader* uploader = nullptr;
    auto session = store.session(pm::UploaderConfig(pm::UploaderConfig::Kind::customS3), [&] {
      auto made = std::make_unique<InstantUploader>(network);
      uploader = made.get();
      return made;
    });
    session->enqueue(urls);
    while (!session->canFinish()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    maxInFlight = std::max(maxInFlight, uploader->maxInFlight);
  }
  state.counters["max_item_tasks"] = maxInFlight;
}
BENCHMARK(BM_ThousandSingleFileItems)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
