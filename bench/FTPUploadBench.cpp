// Uploads a 1 GiB file to a local FTP server with FTPUploader, as a bucket would. Run it through
// scripts/bench-ftp, which starts pyftpdlib on 127.0.0.1, hands this program its port (PM_BENCH_FTP_PORT),
// login (PM_BENCH_FTP_USER, PM_BENCH_FTP_PASSWORD) and the file (PM_BENCH_FILE), and times `curl -T` of the
// same file to the same server for comparison. Aim: at least 0.95x curl's throughput, and a peak resident
// size under 64 MiB (`/usr/bin/time -v`): libcurl streams the file from disk.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QNetworkAccessManager>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

#include "RunToEnd.h"
#include "connectors/FTPUploader.h"
#include "curl/CurlGlobal.h"
#include "platform/Keychain.h"

namespace {

QString environment(const char* name) { return QString::fromLocal8Bit(qgetenv(name)); }

std::vector<double>& runsMBps() {
  static std::vector<double> runs;
  return runs;
}

// One upload per iteration under a fresh uploader, as each bucket gets; the file is deleted on the server
// afterwards (untimed) so its disk holds one copy at a time.
void BM_FTPUploadOneGiB(benchmark::State& state) {
  const QString path = environment("PM_BENCH_FILE");
  const int port = environment("PM_BENCH_FTP_PORT").toInt();
  if (port < 1 || !QFileInfo(path).isFile()) {
    state.SkipWithError("PM_BENCH_FTP_PORT or PM_BENCH_FILE is not set; run scripts/bench-ftp");
    return;
  }
  const qint64 size = QFileInfo(path).size();
  pm::UploaderConfig config(pm::UploaderConfig::Kind::ftp);
  config.endpoint = QStringLiteral("127.0.0.1");
  config.port = port;
  config.ftpSecurity = pm::FTPSecurity::plain;
  config.keyPrefix = QStringLiteral("uploader");
  pm::MemoryKeychain keychain;
  pm::FTPCredentials::save(
      keychain, pm::FTPCredentials{environment("PM_BENCH_FTP_USER"), environment("PM_BENCH_FTP_PASSWORD")}, config.id);
  QNetworkAccessManager network;

  qint64 sendingNs = 0;
  QElapsedTimer timer;
  for (auto _ : state) {
    pm::FTPUploader uploader(config, keychain, network);
    const pm::UploadUnit unit{QUuid::createUuid(), QUuid::createUuid(), path, QStringLiteral("one-gib.bin"), size};
    std::optional<pm::Registration> registration;
    pm::bench::runToEnd([](pm::FTPUploader& ftp, pm::UploadUnit u, std::optional<pm::Registration>& out) -> QCoro::Task<> {
      const QList<pm::UploadUnit> units{std::move(u)};
      out = co_await ftp.registerUnits(units);
    }(uploader, unit, registration));
    timer.start();
    pm::bench::runToEnd(uploader.upload(unit, registration->destinations.value(0), {}, {}));
    sendingNs += timer.nsecsElapsed();
    state.PauseTiming();
    pm::bench::runToEnd(uploader.withdraw({unit}));
    state.ResumeTiming();
  }
  const double mbps = double(size) * double(state.iterations()) / 1e6 / (double(sendingNs) / 1e9);
  runsMBps().push_back(mbps);
  state.SetBytesProcessed(state.iterations() * size);
  state.counters["MB/s"] = mbps;
}

BENCHMARK(BM_FTPUploadOneGiB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);

}  // namespace

int main(int argc, char** argv) {
  pm::initializeCurl();
  QCoreApplication app(argc, argv);
  benchmark::AddCustomContext("compare with", "curl -T of the same file to the same server (scripts/bench-ftp)");
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  auto& runs = runsMBps();
  if (runs.empty()) return 1;
  std::sort(runs.begin(), runs.end());
  std::printf("ftp uploader 1 GiB: median %.0f MB/s, best %.0f MB/s over %zu runs\n", runs[runs.size() / 2],
              runs.back(), runs.size());
  return 0;
}
