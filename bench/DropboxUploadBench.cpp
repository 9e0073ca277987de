// Uploads a 1 GiB file through a Dropbox upload session with DropboxUploader: start, 32 pieces of 32 MiB
// (each copied into a private piece file while the one before it is sent) and finish, against a local
// stand-in of Dropbox's content host (pm_dropbox_sink, started by scripts/bench-dropbox, whose address comes
// in PM_BENCH_DROPBOX_ENDPOINT). The script times curl posting the same bytes in 32 MiB requests to the same
// server for comparison. Aim: at least 0.8 of curl's throughput (the piece copies cost disk time), and a
// peak resident size under 64 MiB (`/usr/bin/time -v`).
#include <QFileInfo>
#include <QNetworkAccessManager>

#include <benchmark/benchmark.h>

#include <memory>

#include "DriveBenchSetup.h"
#include "UploaderRuns.h"
#include "connectors/DropboxSignIn.h"
#include "connectors/DropboxUploader.h"

namespace {

void BM_SessionUploadOneGiB(benchmark::State& state) {
  const std::optional<pm::bench::DriveBenchInputs> inputs =
      pm::bench::driveBenchInputs(state, "PM_BENCH_DROPBOX_ENDPOINT", "scripts/bench-dropbox");
  if (!inputs) return;
  const QString& endpoint = inputs->endpoint;
  const QString& path = inputs->path;
  const pm::SystemClock clock;
  QNetworkAccessManager network;
  pm::MemoryKeychain keychain;
  const pm::UploaderConfig config = pm::bench::signedInConnection(
      pm::UploaderConfig::Kind::dropbox, pm::OAuthProvider::dropbox, keychain, clock);
  const auto signIn = std::make_shared<pm::DropboxSignIn>(
      network, pm::BundleInfo({{QStringLiteral("DROPBOX_APP_KEY"), QStringLiteral("bench")}}), clock, nullptr,
      nullptr, pm::DropboxSignInOptions{{QUrl(endpoint), QUrl(endpoint), QUrl(endpoint)}});
  // Piece files go beside the file, on the same disk, as they would in the user's temporary folder.
  const QString temporary = QFileInfo(path).absolutePath();

  pm::bench::runsMBps().push_back(pm::bench::timeUploads(state, path, [&] {
    return std::make_unique<pm::DropboxUploader>(config, network, keychain, signIn, temporary);
  }));
}

BENCHMARK(BM_SessionUploadOneGiB)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  return pm::bench::runUploadBenchmarks(
      argc, argv, "curl posting the same bytes in 32 MiB requests (scripts/bench-dropbox)", "dropbox upload");
}
