// The bucket bar under a bucket of N items (each argument a run of its own, 1,000 without one) that an instant
// uploader takes through registering to uploaded, then scrolled from end to end: the time per item, the
// longest gap between two turns of the event loop while items arrive and while the strip scrolls (a frame
// the bar could not draw in time; the budget is 16 ms) and the resident memory once all are up (budget
// 150 MiB). Off screen by default; QT_QPA_PLATFORM=xcb under xvfb-run measures on a real X server.
//   bench_bar_bucket 100 1000 10000 100000
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include "ResidentMemory.h"
#include "core/AppSettings.h"
#include "core/BucketHistory.h"
#include "panel/ItemTile.h"
#include "panel/UploadPanel.h"
#include "panel/BarMetrics.h"
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

bool allUploaded(const pm::Bucket& bucket, int items) {
  const auto& all = bucket.items();
  return all.size() == items && std::all_of(all.begin(), all.end(), [](const auto& item) {
           return item->state().kind() == pm::BucketItem::State::Case::uploaded;
         });
}

// Measures the longest gap between two turns of the event loop while it is active: a zero timer runs once
// per turn.
class FrameGaps {
 public:
  FrameGaps() {
    turns_.setInterval(0);
    QObject::connect(&turns_, &QTimer::timeout, [this] {
      longestNs_ = std::max(longestNs_, sinceLast_.nsecsElapsed() - excludedNs_);
      excludedNs_ = 0;
      sinceLast_.restart();
    });
    sinceLast_.start();
    turns_.start();
  }
  double longestMs() const { return double(longestNs_) / 1e6; }
  // Leaves time the benchmark spent on its own between two turns out of the gap.
  void exclude(qint64 ns) { excludedNs_ += ns; }

 private:
  QTimer turns_;
  QElapsedTimer sinceLast_;
  qint64 longestNs_ = 0;
  qint64 excludedNs_ = 0;
};

// The time per item of the first run, so that every later one reports its ratio to it.
double firstPerItemMs = 0;

void BM_BucketFromRegisteringToUploadedThenScrolled(benchmark::State& state) {
  const int items = int(state.range(0));
  for (auto _ : state) {
    Agent agent;
    QStringList paths;
    for (int i = 0; i < items; ++i) {
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

    QElapsedTimer total;
    total.start();
    double arrivingMs = 0;
    {
      FrameGaps gaps;
      session->enqueue(paths);
      // The check walks every item, a cost of the benchmark and not of the bar: it is left out of the frames.
      QElapsedTimer checking;
      const auto uploaded = [&] {
        checking.start();
        const bool all = allUploaded(agent.store.current(), items);
        gaps.exclude(checking.nsecsElapsed());
        return all;
      };
      while (!uploaded() && total.elapsed() < 600000) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      arrivingMs = gaps.longestMs();
    }
    const double totalMs = double(total.nsecsElapsed()) / 1e6;
    if (!allUploaded(agent.store.current(), items)) state.SkipWithError("not all items were uploaded in time");
    pm::UploadPanelView& view = *agent.panel.view();
    if (view.strip().widget()->height() != view.tileRect(items - 1).bottom() + 1 + pm::BarMetrics::kStackPadding)
      state.SkipWithError("the bar does not lay out every item");
    const double residentAfterUpload = pm::bench::residentMiB(QCoreApplication::applicationPid());

    // From the start to the end in 2,000 steps, one a turn: at 100,000 items every step brings a whole
    // new view of tiles.
    QScrollBar* bar = view.strip().verticalScrollBar();
    bar->setValue(0);
    QCoreApplication::processEvents();
    double scrollingMs = 0;
    QElapsedTimer scrolling;
    scrolling.start();
    {
      FrameGaps gaps;
      constexpr int kSteps = 2000;
      const int end = bar->maximum();
      int step = 0;
      QTimer scroller;
      scroller.setInterval(0);
      QObject::connect(&scroller, &QTimer::timeout, [&] {
        ++step;
        bar->setValue(int(qint64(end) * step / kSteps));
      });
      scroller.start();
      while (step < kSteps && scrolling.elapsed() < 600000) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      scrollingMs = gaps.longestMs();
    }

    state.counters["items"] = items;
    state.counters["total_ms"] = totalMs;
    state.counters["per_item_ms"] = totalMs / items;
    if (firstPerItemMs == 0) firstPerItemMs = totalMs / items;
    state.counters["per_item_ratio_to_first"] = totalMs / items / firstPerItemMs;
    state.counters["longest_frame_arriving_ms"] = arrivingMs;
    state.counters["longest_frame_scrolling_ms"] = scrollingMs;
    state.counters["scroll_ms"] = double(scrolling.elapsed());
    state.counters["frame_budget_ms"] = 16;
    state.counters["resident_MiB"] = residentAfterUpload;
    state.counters["resident_after_scroll_MiB"] = pm::bench::residentMiB(QCoreApplication::applicationPid());
    state.counters["resident_budget_MiB"] = 150;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  // What the benchmark library leaves are item counts, each run in the order given.
  QList<int> counts;
  for (int i = 1; i < argc; ++i) counts << std::max(1, QByteArray(argv[i]).toInt());
  if (counts.isEmpty()) counts << 1000;
  for (const int count : std::as_const(counts))
    benchmark::RegisterBenchmark("BM_BucketFromRegisteringToUploadedThenScrolled",
                                 BM_BucketFromRegisteringToUploadedThenScrolled)
        ->Arg(count)
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
