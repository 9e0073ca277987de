// Seals and opens the synced settings of 200 connections, each with credentials, at the sealing's 10,000
// rounds: the work of one pull. Aim: seal + open together under 30 ms.
#include <QTimeZone>

#include <benchmark/benchmark.h>

#include "sync/SyncStore.h"

namespace {

pm::SyncPayload payloadOf200Connections() {
  pm::SyncPayload payload;
  const QDateTime changed(QDate(2024, 3, 1), QTime(10, 0, 0), QTimeZone::utc());
  for (int n = 0; n < 200; ++n) {
    pm::UploaderConfig config(n % 2 ? pm::UploaderConfig::Kind::customS3
                                    : pm::UploaderConfig::Kind::googleDrive);
    config.name = QStringLiteral("Connection %1").arg(n);
    config.endpoint = QStringLiteral("https://s3.eu-central-1.example.com");
    config.bucketName = QStringLiteral("bucket-%1").arg(n);
    config.keyPrefix = QStringLiteral("drops/%1/").arg(n);
    config.updatedAt = changed;
    pm::SyncEntry entry{config, {}, {}, {}, {}};
    if (n % 2) {
      entry.credentials =
          pm::S3Credentials{QStringLiteral("AKIAEXAMPLE%1").arg(n), QString(40, QLatin1Char('s'))};
    } else {
      entry.google =
          pm::OAuthCredentials{QString(100, QLatin1Char('r')), QStringLiteral("user%1@example.com").arg(n),
                               QString(180, QLatin1Char('a')), changed};
    }
    payload.uploaders.append(entry);
  }
  payload.preferences.insert(QStringLiteral("panelEdge"), pm::SyncPref{QStringLiteral("top"), changed});
  return payload;
}

void BM_SealAndOpen200Connections(benchmark::State& state) {
  const pm::SyncPayload payload = payloadOf200Connections();
  const QString key = QStringLiteral("7K2MXQ9PDRT4VB8N3WHC");
  qint64 envelopeBytes = 0;
  for (auto _ : state) {
    const QByteArray envelope = pm::SyncStore::seal(payload, key);
    envelopeBytes = envelope.size();
    benchmark::DoNotOptimize(pm::SyncStore::open(envelope, key));
  }
  state.counters["envelope_bytes"] = double(envelopeBytes);
}
BENCHMARK(BM_SealAndOpen200Connections)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
  benchmark::AddCustomContext("aim", "seal + open under 30 ms at 10,000 rounds");
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
