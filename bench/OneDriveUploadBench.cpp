// Uploads a 1 GiB file through a OneDrive upload session with OneDriveUploader, as a bucket would: the
// file goes in pieces of 32,768,000 bytes, each copied into a private temporary folder and sent with its
// "Content-Range". Run it through scripts/bench-onedrive, which starts a local stand-in of Graph
// (pm_graph_sink) and hands this program its address (PM_BENCH_GRAPH_ENDPOINT) and the file
// (PM_BENCH_FILE), and times curl sending the same ranges to the same stand-in for comparison.
// Aim: at least 0.8 of curl's throughput (the piece copies cost disk time), and a peak resident size under
// 64 MiB (`/usr/bin/time -v`): a piece is copied in 4 MiB slices and sent from disk.
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "UploaderRuns.h"
#include "connectors/OAuthCredentials.h"
#include "connectors/OneDriveSignIn.h"
#include "connectors/OneDriveUploader.h"
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

void BM_OneDriveUploadOneGiB(benchmark::State& state) {
  const QString endpoint = environment("PM_BENCH_GRAPH_ENDPOINT");
  const QString path = environment("PM_BENCH_FILE");
  if (endpoint.isEmpty() || !QFileInfo(path).isFile()) {
    state.SkipWithError("PM_BENCH_GRAPH_ENDPOINT or PM_BENCH_FILE is not set; run scripts/bench-onedrive");
    return;
  }
  const pm::SystemClock clock;
  QNetworkAccessManager network;
  pm::MemoryKeychain keychain;
  pm::UploaderConfig config(pm::UploaderConfig::Kind::oneDrive);
  pm::OAuthCredentials::save(keychain,
                             pm::OAuthCredentials{QStringLiteral("refresh"), QString(),
                                                  QStringLiteral("access"), clock.now().addSecs(3600)},
                             config.id, pm::OAuthProvider::microsoft);
  const auto signIn = std::make_shared<pm::OneDriveSignIn>(
      network, pm::BundleInfo({{QStringLiteral("MICROSOFT_CLIENT_ID"), QStringLiteral("bench")}}), clock,
      nullptr, nullptr,
      pm::OneDriveSignInOptions{{QUrl(endpoint + QStringLiteral("/v1.0/")), QUrl(endpoint)}, {}});

  runsMBps().push_back(pm::bench::timeUploads(state, path, [&] {
    return std::make_unique<pm::OneDriveUploader>(config, network, keychain, signIn, QDir::tempPath());
  }));
}

BENCHMARK(BM_OneDriveUploadOneGiB)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(3);

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::AddCustomContext("compare with",
                              "curl sending the same ranges to the same server (scripts/bench-onedrive)");
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return pm::bench::printMedian("onedrive upload", runsMBps()) ? 0 : 1;
}
