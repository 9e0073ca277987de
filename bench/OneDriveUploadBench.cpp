// Uploads a 1 GiB file through a OneDrive upload session with OneDriveUploader, as a bucket would: the
// file goes in pieces of 32,768,000 bytes, each copied into a private temporary folder and sent with its
// "Content-Range". Run it through scripts/bench-onedrive, which starts a local stand-in of Graph
// (pm_graph_sink) and hands this program its address (PM_BENCH_GRAPH_ENDPOINT) and the file
// (PM_BENCH_FILE), and times curl sending the same ranges to the same stand-in for comparison.
// Aim: at least 0.8 of curl's throughput (the piece copies cost disk time), and a peak resident size under
// 64 MiB (`/usr/bin/time -v`): a piece is copied in 4 MiB slices and sent from disk.
#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>

#include <benchmark/benchmark.h>

#include <memory>

#include "DriveBenchSetup.h"
#include "UploaderRuns.h"
#include "connectors/OneDriveSignIn.h"
#include "connectors/OneDriveUploader.h"

namespace {

void BM_OneDriveUploadOneGiB(benchmark::State& state) {
  const std::optional<pm::bench::DriveBenchInputs> inputs =
      pm::bench::driveBenchInputs(state, "PM_BENCH_GRAPH_ENDPOINT", "scripts/bench-onedrive");
  if (!inputs) return;
  const QString& endpoint = inputs->endpoint;
  const QString& path = inputs->path;
  const pm::SystemClock clock;
  QNetworkAccessManager network;
  pm::MemoryKeychain keychain;
  const pm::UploaderConfig config = pm::bench::signedInConnection(
      pm::UploaderConfig::Kind::oneDrive, pm::OAuthProvider::microsoft, keychain, clock);
  const auto signIn = std::make_shared<pm::OneDriveSignIn>(
      network, pm::BundleInfo({{QStringLiteral("MICROSOFT_CLIENT_ID"), QStringLiteral("bench")}}), clock,
      nullptr, nullptr,
      pm::OneDriveSignInOptions{{QUrl(endpoint + QStringLiteral("/v1.0/")), QUrl(endpoint)}, {}});

  pm::bench::runsMBps().push_back(pm::bench::timeUploads(state, path, [&] {
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
  return pm::bench::runUploadBenchmarks(
      argc, argv, "curl sending the same ranges to the same server (scripts/bench-onedrive)",
      "onedrive upload");
}
