// The panel's cursor poll: what one tick costs while the pointer stays on the panel's screen (the tick
// that runs ten times a second for as long as the panel is shown), and that a hidden panel polls nothing.
// Off screen by default; QT_QPA_PLATFORM=xcb under xvfb-run measures a real X round trip for the pointer.
#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QScreen>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "core/AppSettings.h"
#include "core/BucketHistory.h"
#include "panel/UnconstrainedPanel.h"
#include "panel/UploadPanel.h"
#include "platform/Clock.h"
#include "platform/SharedDefaults.h"
#include "platform/Signals.h"
#include "upload/BucketStore.h"

namespace {

using namespace std::chrono_literals;

constexpr double kBudgetNanoseconds = 5000;

struct Agent {
  Agent() : panel(pm::UploadPanel::Timings{10ms, 100ms}) { panel.attach(store, settings); }

  // Shows the panel on the screen under the pointer and waits until its content is in.
  void showAndSettle() {
    panel.show();
    while (!panel.presentation().visible()) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }

  QTemporaryDir dir;
  pm::SystemClock clock;
  pm::MemorySharedDefaults defaults;
  pm::LocalSignals signals;
  pm::BucketHistory history{dir.filePath(QStringLiteral("buckets.json")), clock};
  pm::BucketStore store{history, [](const std::optional<pm::SharedInbox::OpenBucket>&) {}, clock};
  pm::AppSettings settings{defaults, signals, clock};
  pm::UploadPanel panel;
};

void BM_CursorPollOnTheSameScreen(benchmark::State& state) {
  Agent agent;
  QCursor::setPos(QGuiApplication::primaryScreen()->geometry().center());
  agent.showAndSettle();
  for (auto _ : state) agent.panel.followMouse(false);
  if (agent.panel.isMoving()) state.SkipWithError("the poll started a move");
  state.counters["budget_ns"] = kBudgetNanoseconds;
  state.counters["poll_timers"] = agent.panel.isFollowingMouse() ? 1 : 0;
}
BENCHMARK(BM_CursorPollOnTheSameScreen);

// A hidden panel: the event loop turns without any poll behind it.
void BM_EventLoopWithThePanelHidden(benchmark::State& state) {
  Agent agent;
  agent.showAndSettle();
  agent.panel.removeMonitors();
  bool closed = false;
  agent.panel.slideOut([&] {
    agent.panel.orderOut();
    closed = true;
  });
  while (!closed) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  for (auto _ : state) QCoreApplication::processEvents();
  state.counters["poll_timers"] = agent.panel.isFollowingMouse() ? 1 : 0;
}
BENCHMARK(BM_EventLoopWithThePanelHidden);

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
