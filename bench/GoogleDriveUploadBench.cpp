// Uploads a 1 GiB file through a Google Drive resumable session with GoogleDriveUploader: the bucket is
// registered against a local stand-in of Drive (pm_drive_sink, started by scripts/bench-drive, whose
// address comes in PM_BENCH_DRIVE_ENDPOINT) and the file is then sent to the session URL it hands out. The
// script times `curl --upload-file` of the same file to the same server for comparison.
// Aim: at least 0.9 of curl's throughput, and a peak resident size under 64 MiB (`/usr/bin/time -v`): the
// file streams from disk.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QNetworkAccessManager>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <optional>
#include <vector>

#include "DriveBenchSetup.h"
#include "RunToEnd.h"
#include "connectors/GoogleDriveUploader.h"
#include "connectors/GoogleSignIn.h"

namespace {

using pm::bench::runToEnd;

std::vector<double>& runsMBps() {
  static std::vector<double> runs;
  return runs;
}

void BM_ResumableSessionOneGiB(benchmark::State& state) {
  const std::optional<pm::bench::DriveBenchInputs> inputs =
      pm::bench::driveBenchInputs(state, "PM_BENCH_DRIVE_ENDPOINT", "scripts/bench-drive");
  if (!inputs) return;
  const QString& endpoint = inputs->endpoint;
  const QString& path = inputs->path;
  const qint64 size = QFileInfo(path).size();
  const pm::SystemClock clock;
  QNetworkAccessManager network;
  pm::MemoryKeychain keychain;
  const pm::UploaderConfig config = pm::bench::signedInConnection(
      pm::UploaderConfig::Kind::googleDrive, pm::OAuthProvider::google, keychain, clock);
  const pm::GoogleEndpoints endpoints{QUrl(endpoint), QUrl(endpoint), QUrl(endpoint)};
  const auto signIn = std::make_shared<pm::GoogleSignIn>(
      network, pm::BundleInfo({{QStringLiteral("GOOGLE_CLIENT_ID"), QStringLiteral("bench")}}), clock, nullptr,
      pm::GoogleSignInOptions{endpoints, {}});

  qint64 sendingNs = 0;
  QElapsedTimer timer;
  for (auto _ : state) {
    pm::GoogleDriveUploader drive(config, network, keychain, signIn);
    const pm::UploadUnit unit{QUuid::createUuid(), QUuid::createUuid(), path, QStringLiteral("one-gib.bin"), size};
    std::optional<pm::Registration> registration;
    runToEnd([](pm::GoogleDriveUploader& uploader, pm::UploadUnit u, std::optional<pm::Registration>& out) -> QCoro::Task<> {
      const QList<pm::UploadUnit> units{std::move(u)};
      out = co_await uploader.registerUnits(units);
    }(drive, unit, registration));
    timer.start();
    runToEnd(drive.upload(unit, registration->destinations.value(0), {}, {}));
    sendingNs += timer.nsecsElapsed();
  }
  const double mbps = double(size) * double(state.iterations()) / 1e6 / (double(sendingNs) / 1e9);
  runsMBps().push_back(mbps);
  state.SetBytesProcessed(state.iterations() * size);
  state.counters["MB/s"] = mbps;
}

BENCHMARK(BM_ResumableSessionOneGiB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::AddCustomContext("compare with", "curl --upload-file of the same file to the same server (scripts/bench-drive)");
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  auto& runs = runsMBps();
  if (!runs.empty()) {
    std::sort(runs.begin(), runs.end());
    std::printf("drive upload 1 GiB: median %.0f MB/s, best %.0f MB/s over %zu runs\n", runs[runs.size() / 2],
                runs.back(), runs.size());
  }
  return 0;
}
