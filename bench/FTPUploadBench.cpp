// Uploads a 1 GiB file to a local FTP server with FTPUploader, as a bucket would. Run it through
// scripts/bench-ftp, which starts pyftpdlib on 127.0.0.1, hands this program its port (PM_BENCH_FTP_PORT),
// login (PM_BENCH_FTP_USER, PM_BENCH_FTP_PASSWORD) and the file (PM_BENCH_FILE), and times `curl -T` of the
// same file to the same server for comparison. Aim: at least 0.95x curl's throughput, and a peak resident
// size under 64 MiB (`/usr/bin/time -v`): libcurl streams the file from disk.
#include <QFileInfo>
#include <QNetworkAccessManager>

#include <benchmark/benchmark.h>

#include <memory>

#include "UploaderRuns.h"
#include "connectors/FTPUploader.h"
#include "curl/CurlGlobal.h"
#include "platform/Keychain.h"

namespace {

QString environment(const char* name) { return QString::fromLocal8Bit(qgetenv(name)); }

// One upload per iteration under a fresh uploader, as each bucket gets; the file is deleted on the server
// afterwards (untimed) so its disk holds one copy at a time.
void BM_FTPUploadOneGiB(benchmark::State& state) {
  const QString path = environment("PM_BENCH_FILE");
  const int port = environment("PM_BENCH_FTP_PORT").toInt();
  if (port < 1 || !QFileInfo(path).isFile()) {
    state.SkipWithError("PM_BENCH_FTP_PORT or PM_BENCH_FILE is not set; run scripts/bench-ftp");
    return;
  }
  pm::UploaderConfig config(pm::UploaderConfig::Kind::ftp);
  config.endpoint = QStringLiteral("127.0.0.1");
  config.port = port;
  config.ftpSecurity = pm::FTPSecurity::plain;
  config.keyPrefix = QStringLiteral("uploader");
  pm::MemoryKeychain keychain;
  pm::FTPCredentials::save(
      keychain, pm::FTPCredentials{environment("PM_BENCH_FTP_USER"), environment("PM_BENCH_FTP_PASSWORD")}, config.id);
  QNetworkAccessManager network;

  pm::bench::runsMBps().push_back(pm::bench::timeUploads(
      state, path, [&] { return std::make_unique<pm::FTPUploader>(config, keychain, network); }));
}

BENCHMARK(BM_FTPUploadOneGiB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);

}  // namespace

int main(int argc, char** argv) {
  pm::initializeCurl();
  return pm::bench::runUploadBenchmarks(argc, argv, "curl -T of the same file to the same server (scripts/bench-ftp)",
                                         "ftp uploader");
}
