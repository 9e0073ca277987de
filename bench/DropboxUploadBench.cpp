// Uploads a 1 GiB file through a Dropbox upload session with DropboxUploader: start, 32 pieces of 32 MiB
// (each copied into the private piece file, then sent) and finish, against a local stand-in of Dropbox's
// content host (pm_dropbox_sink, started by scripts/bench-dropbox, whose address comes in
// PM_BENCH_DROPBOX_ENDPOINT). The script times curl posting the same bytes in 32 MiB requests to the same
// server for comparison. Aim: at least 0.8 of curl's throughput (the piece copies cost disk time), and a
// peak resident size under 64 MiB (`/usr/bin/time -v`).
#include <QCoreApplication>
#include <QFileInfo>
#include <QNetworkAccessManager>

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "UploaderRuns.h"
#include "connectors/DropboxSignIn.h"
#include "connectors/DropboxUploader.h"
#include "connectors/OAuthCredentials.h"
#include "platform/Clock.h"
#include "platform/Keychain.h"

namespace {

QString environment(const char* name) {
  return QString::fromLocal8Bit(qgetenv(name));
}

std::vector<double>& runsMBps() {
  static std::vector<double> runs;
  return runs;
}

void BM_SessionUploadOneGiB(benchmark::State& state) {
  const QString endpoint = environment("PM_BENCH_DROPBOX_ENDPOINT");
  const QString path = environment("PM_BENCH_FILE");
  if (endpoint.isEmpty() || !QFileInfo(path).isFile()) {
    state.SkipWithError("PM_BENCH_DROPBOX_ENDPOINT or PM_BENCH_FILE is not set; run scripts/bench-dropbox");
    return;
  }
  const pm::SystemClock clock;
  QNetworkAccessManager network;
  pm::MemoryKeychain keychain;
  pm::UploaderConfig config(pm::UploaderConfig::Kind::dropbox);
  pm::OAuthCredentials::save(keychain,
                             pm::OAuthCredentials{QStringLiteral("refresh"), QString(),
                                                  QStringLiteral("access"), clock.now().addSecs(3600)},
                             config.id, pm::OAuthProvider::dropbox);
  const auto signIn = std::make_shared<pm::DropboxSignIn>(
      network, pm::BundleInfo({{QStringLiteral("DROPBOX_APP_KEY"), QStringLiteral("bench")}}), clock, nullptr,
      nullptr, pm::DropboxSignInOptions{{QUrl(endpoint), QUrl(endpoint), QUrl(endpoint)}});
  // Piece files go beside the file, on the same disk, as they would in the user's temporary folder.
  const QString temporary = QFileInfo(path).absolutePath();

  runsMBps().push_back(pm::bench::timeUploads(state, path, [&] {
    return std::make_unique<pm::DropboxUploader>(config, network, keychain, signIn, temporary);
  }));
}

BENCHMARK(BM_SessionUploadOneGiB)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(3);

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::AddCustomContext("compare with",
                              "curl posting the same bytes in 32 MiB requests (scripts/bench-dropbox)");
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return pm::bench::printMedian("dropbox upload", runsMBps()) ? 0 : 1;
}
