// The settings program as the agent starts it, beside a running agent (the benchmark owns the agent's bus
// name): the time from starting the process to its window shown and active, which is when it asks the
// agent to refresh the account, median of 10 launches (aim: under 400 ms), and the resident memory of the
// program idling with its window open (aim: under 80 MiB). Drawn off screen unless QT_QPA_PLATFORM says
// otherwise; runs in a private bus of its own, so it never meets the user's agent or session.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <stdexcept>

#include "PrivateSession.h"
#include "ResidentMemory.h"
#include "platform/SharedNames.h"
#include "platform/Signals.h"

namespace {

constexpr int kShownTimeoutMs = 10'000;
constexpr int kIdleSettleMs = 2'000;

QTemporaryDir* root = nullptr;
pm::Signals* heard = nullptr;
int launches = 0;

// A settings program in fresh folders, its standard error discarded.
std::unique_ptr<QProcess> startSettings() {
  auto process = std::make_unique<QProcess>();
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  const QString home = root->filePath(QStringLiteral("launch-%1").arg(++launches));
  environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QLatin1String("/config"));
  environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QLatin1String("/data"));
  // Off screen unless the caller names a platform (xvfb-run with QT_QPA_PLATFORM=xcb for a real X server).
  if (!environment.contains(QStringLiteral("QT_QPA_PLATFORM")))
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  environment.remove(QStringLiteral("PARCELMOOR_TEST_SUITE"));
  process->setProcessEnvironment(environment);
  process->setStandardErrorFile(QProcess::nullDevice());
  process->start(QStringLiteral(PM_SETTINGS_PROGRAM), {});
  return process;
}

void stop(QProcess& process) {
  process.terminate();
  if (!process.waitForFinished(3000)) process.kill();
  process.waitForFinished(3000);
}

// Runs the event loop until the next "refreshAccount" arrives; false after the time-out.
bool awaitRefreshRequest() {
  QEventLoop loop;
  bool arrived = false;
  const QMetaObject::Connection connection =
      heard->onNotification(QString::fromLatin1(pm::names::signal::kRefreshAccount), &loop, [&] {
        arrived = true;
        loop.quit();
      });
  QTimer::singleShot(kShownTimeoutMs, &loop, &QEventLoop::quit);
  loop.exec();
  QObject::disconnect(connection);
  return arrived;
}

void BM_SettingsStartToWindowShown(benchmark::State& state) {
  for (auto _ : state) {
    QElapsedTimer timer;
    timer.start();
    const std::unique_ptr<QProcess> settings = startSettings();
    if (!awaitRefreshRequest()) {
      state.SkipWithError("the settings window did not come up");
      return;
    }
    state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
    stop(*settings);
  }
}
BENCHMARK(BM_SettingsStartToWindowShown)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);

void BM_SettingsIdleResidentMemory(benchmark::State& state) {
  for (auto _ : state) {
    const std::unique_ptr<QProcess> settings = startSettings();
    if (!awaitRefreshRequest()) {
      state.SkipWithError("the settings window did not come up");
      return;
    }
    QEventLoop idle;
    QTimer::singleShot(kIdleSettleMs, &idle, &QEventLoop::quit);
    idle.exec();
    state.counters["idle_rss_MiB"] = pm::bench::residentMiB(settings->processId());
    stop(*settings);
  }
}
BENCHMARK(BM_SettingsIdleResidentMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  try {
    pm::bench::PrivateSession session;
    QTemporaryDir folders;
    root = &folders;
    // The settings program lives only beside an agent: the benchmark holds the agent's name.
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.interface()->registerService(QString::fromLatin1(pm::names::kBundleIdentifier)).value() !=
        QDBusConnectionInterface::ServiceRegistered)
      throw std::runtime_error("cannot take the agent's bus name");
    pm::DBusSignals signals(bus);
    signals.observeDarwinNotification(QString::fromLatin1(pm::names::signal::kRefreshAccount));
    heard = &signals;
    benchmark::RunSpecifiedBenchmarks();
    heard = nullptr;
    root = nullptr;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench_settings_startup: %s\n", error.what());
    return 1;
  }
  std::printf(
      "aims: start to the settings window shown, median under 400 ms; idle resident memory under 80 MiB\n");
  benchmark::Shutdown();
  return 0;
}
