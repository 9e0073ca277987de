// The bucket bar under a bucket of 1,000 items that an instant uploader takes through registering to
// uploaded: the longest gap between two turns of the event loop while that happens (a frame the bar could
// not draw in time; the budget is 50 ms) and the resident memory once all are up (budget 150 MiB).
// Off screen by default; QT_QPA_PLATFORM=xcb under xvfb-run measures on a real X server.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include "ResidentMemory.h"
#include "core/AppSettings.h"
#include "core/BucketHistory.h"
#include "panel/ItemTile.h"
#include "panel/UploadPanel.h"
#include "panel/UploadPanelView.h"
#include "platform/Async.h"
#include "platform/Clock.h"
#include "platform/SharedDefaults.h"
#include "platform/Signals.h"
#include "upload/BucketStore.h"
#include "upload/BucketUploader.h"
#include "upload/UploadSession.h"

namespace {

using namespace std::chrono_literals;

constexpr int kItems = 1000;

// Places every unit and finishes every transfer at once, as a network of no delay would.
class InstantUploader final : public pm::BucketUploader {
 public:
  using BucketUploader::BucketUploader;
  QCoro::Task<pm::Registration> registerUnits(QList<pm::UploadUnit> units) override {
    co_await pm::sleepFor(0ms);
    pm::Registration registration;
    for (const pm::UploadUnit& unit : units)
      registration.destinations.append(
          pm::UploadDestination{unit.id, QUrl(QStringLiteral("http://127.0.0.1:9/u")), {}, {}});
    co_return registration;
  }
  QCoro::Task<> upload(pm::UploadUnit, pm::UploadDestination, pm::ProgressCallback progress,
                       pm::CancelTokenPtr) override {
    co_await pm::sleepFor(0ms);
    if (progress) progress(1.0);
  }
};

struct Agent {
  Agent() : panel(pm::UploadPanel::Timings{10ms, 100ms}) { panel.attach(store, settings); }

  QTemporaryDir dir;
  pm::SystemClock clock;
  pm::MemorySharedDefaults defaults;
  pm::LocalSignals signals;
  QNetworkAccessManager network;
  pm::BucketHistory history{dir.filePath(QStringLiteral("buckets.json")), clock};
  pm::BucketStore store{history, [](const std::optional<pm::SharedInbox::OpenBucket>&) {}, clock};
  pm::AppSettings settings{defaults, signals, clock};
  pm::UploadPanel panel;
};

bool allUploaded(const pm::Bucket& bucket) {
  const auto& items = bucket.items();
  return items.size() == kItems && std::all_of(items.begin(), items.end(), [](const auto& item) {
           return item->state().kind() == pm::BucketItem::State::Case::uploaded;
         });
}

void BM_ThousandItemsFromRegisteringToUploaded(benchmark::State& state) {
  for (auto _ : state) {
    Agent agent;
    QStringList paths;
    for (int i = 0; i < kItems; ++i) {
      const QString path = agent.dir.filePath(QStringLiteral("file %1.txt").arg(i));
      QFile file(path);
      if (!file.open(QIODevice::WriteOnly) || file.write("bytes") != 5)
        state.SkipWithError("cannot write files");
      paths << path;
    }
    const auto session =
        agent.store.session(pm::UploaderConfig(pm::UploaderConfig::Kind::customS3),
                            [&agent] { return std::make_unique<InstantUploader>(agent.network); });
    agent.panel.show();
    while (!agent.panel.presentation().visible()) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);

    // A zero timer runs once per turn of the loop: the longest gap between two runs is the longest frame.
    QElapsedTimer sinceLast;
    qint64 longestNs = 0;
    QTimer turns;
    turns.setInterval(0);
    QObject::connect(&turns, &QTimer::timeout, [&] {
      longestNs = std::max(longestNs, sinceLast.nsecsElapsed());
      sinceLast.restart();
    });
    QElapsedTimer total;
    total.start();
    sinceLast.start();
    turns.start();
    session->enqueue(paths);
    while (!allUploaded(agent.store.current()) && total.elapsed() < 120000)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    turns.stop();
    if (!allUploaded(agent.store.current())) state.SkipWithError("not all items were uploaded in time");
    if (agent.panel.view()->tiles().size() != kItems) state.SkipWithError("the bar does not show every item");

    state.counters["longest_frame_ms"] = double(longestNs) / 1e6;
    state.counters["frame_budget_ms"] = 50;
    state.counters["total_ms"] = double(total.elapsed());
    state.counters["resident_MiB"] = pm::bench::residentMiB(QCoreApplication::applicationPid());
    state.counters["resident_budget_MiB"] = 150;
  }
}
BENCHMARK(BM_ThousandItemsFromRegisteringToUploaded)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
