// The agent program against the development service, with one inbox batch already waiting (as when
// "Parcelmoor send" starts it): the time from starting the process to the batch's items registered with
// the service, median of 10 launches, for a first start in fresh folders and for a returning user's start
// in the folders of the run before, each beside the start of a bare Qt widget program launched in turn with
// it (aims: at most 1.5 times that floor, and under 200 ms on an idle machine), the agent's program alone
// (loaded and answering --help) beside the same floor, and the resident memory of an agent idling after
// start-up (aim: under 80 MiB). Runs in a private bus and keyring of its own, so it never meets the user's
// agent or session.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "PrivateSession.h"
#include "ResidentMemory.h"
#include "core/InboxBatchWriter.h"
#include "core/SessionToken.h"
#include "platform/Keychain.h"
#include "support/AgentProcess.h"
#include "support/DevServiceProcess.h"

namespace {

constexpr qint64 kRegisteredTimeoutMs = 20'000;
constexpr unsigned long kIdleSettleMs = 2'000;

// What every launch shares: a signed-in account at a running development service, and a file to send.
struct Stage {
  QTemporaryDir root;
  std::unique_ptr<pm::test::DevServiceProcess> service;
  QString file;

  Stage() {
    const QString state = root.filePath(QStringLiteral("service"));
    const QString token =
        pm::test::DevServiceProcess::createSession(state, QStringLiteral("bench@example.com"));
    pm::SecretServiceKeychain keychain;
    pm::storeKeychainString(keychain, token, pm::sessionTokenAccount());
    if (pm::loadKeychainString(keychain, pm::sessionTokenAccount()) != token)
      throw std::runtime_error("the private keyring did not keep the session token");
    service = std::make_unique<pm::test::DevServiceProcess>(state);
    file = root.filePath(QStringLiteral("report.pdf"));
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(QByteArray(64 * 1024, 'p')) < 0)
      throw std::runtime_error("cannot write the file to send");
  }
};

Stage* stage = nullptr;
int launches = 0;

// Milliseconds of each launch of one kind beside the bare program's start in the same rounds, for the
// ratio of the medians at the end.
struct Starts {
  const char* kind;
  std::vector<double> agent;
  std::vector<double> floor;
};
Starts firstStarts{"a first start (fresh folders) to the first batch registered", {}, {}};
Starts returningStarts{
    "a returning user's start (its folders and settings from the run before) to the first batch registered",
    {},
    {}};
// What no start of the agent can go below: its program loaded with every library it links, up to its
// answer to --help, which comes before it builds anything.
Starts loadedAlone{"the agent's program loaded alone (answering --help)", {}, {}};

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Start to the output of `program` that holds `marker` (on either stream; it ends on its own after), on the
// platform the agent runs on here.
double startToOutputMs(const QString& program, const QStringList& arguments, const QByteArray& marker) {
  QProcess process;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  process.setProcessEnvironment(environment);
  process.setProcessChannelMode(QProcess::MergedChannels);
  QElapsedTimer timer;
  timer.start();
  process.start(program, arguments);
  QByteArray output;
  while (!output.contains(marker)) {
    if (!process.waitForReadyRead(kRegisteredTimeoutMs))
      throw std::runtime_error(program.toStdString() + " did not start");
    output += process.readAll();
  }
  const double elapsed = double(timer.nsecsElapsed()) / 1e6;
  process.waitForFinished(kRegisteredTimeoutMs);
  return elapsed;
}

// Start to a shown window of the bare widget program.
double bareWidgetStartMs() {
  return startToOutputMs(QStringLiteral(PM_BARE_WIDGET_PROGRAM), {}, "shown");
}

std::unique_ptr<pm::test::AgentProcess> freshAgent() {
  return std::make_unique<pm::test::AgentProcess>(
      stage->root.filePath(QStringLiteral("launch-%1").arg(++launches)), stage->service->url());
}

// The own-service uploader logs the registration as it completes; the log grows across the launches of
// one agent, so a launch counts only what it adds.
constexpr QLatin1StringView kRegistered("announced 1 files: 1 accepted");

// Starts `agent` with the batch waiting and returns the milliseconds to its items registered, or an error.
std::optional<double> launchToRegistered(pm::test::AgentProcess& agent, std::string& error) {
  if (!pm::InboxBatchWriter(agent.paths()).write({stage->file}).ok()) {
    error = "cannot leave the batch";
    return std::nullopt;
  }
  const qsizetype registeredBefore = agent.log().count(kRegistered);
  QElapsedTimer timer;
  timer.start();
  agent.start();
  while (agent.log().count(kRegistered) == registeredBefore) {
    if (timer.elapsed() > kRegisteredTimeoutMs || !agent.isRunning()) {
      error = ("the batch was not registered:\n" + agent.log()).toStdString();
      return std::nullopt;
    }
    QThread::usleep(200);
  }
  const double elapsed = double(timer.nsecsElapsed()) / 1e6;
  agent.stop();
  return elapsed;
}

void measure(benchmark::State& state, Starts& starts, pm::test::AgentProcess* returning) {
  for (auto _ : state) {
    // In turn with the agent, so a machine that drifts weighs on both alike.
    const double floor = bareWidgetStartMs();
    state.counters["bare_widget_ms"] = floor;
    const std::unique_ptr<pm::test::AgentProcess> fresh = returning ? nullptr : freshAgent();
    std::string error;
    const std::optional<double> elapsed = launchToRegistered(returning ? *returning : *fresh, error);
    if (!elapsed) {
      state.SkipWithError(error.c_str());
      return;
    }
    state.SetIterationTime(*elapsed / 1e3);
    starts.agent.push_back(*elapsed);
    starts.floor.push_back(floor);
  }
}

void BM_AgentFirstStartToFirstBatchRegistered(benchmark::State& state) {
  measure(state, firstStarts, nullptr);
}
BENCHMARK(BM_AgentFirstStartToFirstBatchRegistered)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);

// One agent's folders for every launch: each start finds the settings, the history and the working folder
// the launch before it left, as a user's agent does when it starts again.
// Ended before the stage it launches in goes.
std::unique_ptr<pm::test::AgentProcess> returning;

void BM_AgentReturningStartToFirstBatchRegistered(benchmark::State& state) {
  if (!returning) {
    returning = freshAgent();
    std::string error;
    // The first launch makes what the later ones find; it is not measured.
    if (!launchToRegistered(*returning, error)) {
      state.SkipWithError(error.c_str());
      return;
    }
  }
  measure(state, returningStarts, returning.get());
}
BENCHMARK(BM_AgentReturningStartToFirstBatchRegistered)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);

void BM_AgentIdleResidentMemory(benchmark::State& state) {
  for (auto _ : state) {
    const auto agent = freshAgent();
    agent->start();
    if (!agent->waitUntilServing()) {
      state.SkipWithError("the agent did not start");
      return;
    }
    QThread::msleep(kIdleSettleMs);
    state.counters["idle_rss_MiB"] = pm::bench::residentMiB(agent->processId());
    agent->stop();
  }
}

// The same rounds for the agent's program alone: how much of the floor its libraries take before it does
// anything of its own.
void BM_AgentProgramLoadedAlone(benchmark::State& state) {
  for (auto _ : state) {
    const double floor = bareWidgetStartMs();
    const double elapsed =
        startToOutputMs(QStringLiteral(PM_AGENT_PROGRAM), {QStringLiteral("--help")}, "Usage:");
    state.SetIterationTime(elapsed / 1e3);
    state.counters["bare_widget_ms"] = floor;
    loadedAlone.agent.push_back(elapsed);
    loadedAlone.floor.push_back(floor);
  }
}
BENCHMARK(BM_AgentProgramLoadedAlone)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);

BENCHMARK(BM_AgentIdleResidentMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  try {
    pm::bench::PrivateSession session;
    Stage shared;
    stage = &shared;
    benchmark::RunSpecifiedBenchmarks();
    returning.reset();
    stage = nullptr;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench_agent_startup: %s\n", error.what());
    return 1;
  }
  for (const Starts* starts : {&firstStarts, &returningStarts, &loadedAlone}) {
    if (starts->agent.empty()) continue;
    const double agentMedian = median(starts->agent);
    const double floorMedian = median(starts->floor);
    std::printf("%s: median %.1f ms; bare widget program: median %.1f ms; ratio %.2f\n", starts->kind,
                agentMedian, floorMedian, floorMedian > 0 ? agentMedian / floorMedian : 0.0);
  }
  std::printf(
      "aims: start to the first batch registered at most 1.5 times the bare widget program's start (under "
      "200 ms on an idle machine); idle resident memory under 80 MiB\n");
  benchmark::Shutdown();
  return 0;
}
