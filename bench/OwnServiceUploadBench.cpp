// Uploads a 1 GiB file through ParcelmoorUploader to the fake service, sealing on the way out, and, for
// comparison, sends the same file's sealed bytes (sealed beforehand into part files) to the same service
// with plain PUTs of those files, part for part. The fake service runs in a child process of this program,
// so its buffers do not count towards the memory measured here.
//
// Reports the throughput of both (sealed bytes per second, medians of five pairs) and their ratio, the peak
// space the uploader took in the temporary folder, and the program's peak resident size during its upload.
// Aims: at least 0.85 times the plain PUTs (sealing overlaps sending), temporary space within two parts
// (none is expected: parts are sealed into the request bodies), peak resident size under 64 MiB.
//
// Run: build/bench/bench_own_service_upload. PM_BENCH_FILE names another file to send; PM_BENCH_PART_SIZE
// another part size than 64 MiB.
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "RunToEnd.h"
#include "core/ParcelmoorAPI.h"
#include "core/SessionToken.h"
#include "platform/Crypto.h"
#include "platform/Keychain.h"
#include "support/FakeServiceBuckets.h"
#include "upload/ParcelmoorUploader.h"
#include "upload/SealedParts.h"

namespace {

using pm::bench::runToEnd;

constexpr qint64 kOneGiB = qint64(1) << 30;
constexpr char kServeFlag[] = "--serve-fake-service";

qint64 partSize() {
  const qint64 configured = qEnvironmentVariableIntValue("PM_BENCH_PART_SIZE");
  return configured > 0 ? configured : qint64(64) << 20;
}

// ---- the fake service, in the child process -------------------------------------------------------------

// Serves until its standard input closes; first prints its address and a session token on one line.
int serveFakeService(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  pm::test::FakeService service;
  pm::test::FakeServiceBuckets buckets(service);
  buckets.setPartSize(partSize());
  buckets.setKeepsBodies(false);
  // The request log holds every body; a gigabyte a run would pile up.
  QTimer forget;
  QObject::connect(&forget, &QTimer::timeout, [&service] { service.clearLog(); });
  forget.start(100);
  const QString token = service.createSession(QStringLiteral("bench@example.com"), true);
  std::printf("%s %s\n", qPrintable(service.baseUrl().toString()), qPrintable(token));
  std::fflush(stdout);
  QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
  QObject::connect(&input, &QSocketNotifier::activated, [&app] {
    char byte = 0;
    if (::read(STDIN_FILENO, &byte, 1) <= 0) app.quit();
  });
  return app.exec();
}

// ---- measuring ------------------------------------------------------------------------------------------

qint64 statusKiB(const char* field) {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith(field)) return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLongLong();
  return -1;
}

// Starts the peak resident size afresh from the current one.
void resetPeakResident() {
  QFile clear(QStringLiteral("/proc/self/clear_refs"));
  if (clear.open(QIODevice::WriteOnly)) clear.write("5");
}

// The largest number of bytes the files under a folder held at once, sampled every 10 ms.
class SpaceWatcher {
 public:
  explicit SpaceWatcher(QString folder) : folder_(std::move(folder)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { sample(); });
  }
  void start() {
    peak_ = 0;
    sample();
    timer_.start(10);
  }
  qint64 stop() {
    timer_.stop();
    sample();
    return peak_;
  }

 private:
  void sample() {
    qint64 total = 0;
    QDirIterator it(folder_, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) total += QFileInfo(it.next()).size();
    peak_ = std::max(peak_, total);
  }

  QString folder_;
  QTimer timer_;
  qint64 peak_ = 0;
};

// ---- the setting, made once for all runs ----------------------------------------------------------------

struct Setting {
  QTemporaryDir work;
  QString source;
  qint64 size = 0;
  QString temporary;  // the process's temporary folder during the runs
  QStringList sealedParts;
  QProcess peer;
  QUrl baseUrl;
  QString token;
  pm::MemoryKeychain keychain;
  std::unique_ptr<QNetworkAccessManager> network;
  std::unique_ptr<pm::ParcelmoorAPI> api;

  std::map<std::string, std::vector<double>> mbps;
  qint64 peakTemporary = 0;
  qint64 peakResidentKiB = 0;
  qint64 residentBeforeKiB = 0;

  ~Setting() {
    api.reset();
    network.reset();
    peer.closeWriteChannel();
    peer.waitForFinished(5000);
  }
};

QString makeSource(const QString& folder) {
  const QString configured = qEnvironmentVariable("PM_BENCH_FILE");
  if (!configured.isEmpty()) return configured;
  const QString path = QDir(folder).filePath(QStringLiteral("one-gib.bin"));
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly)) qFatal("cannot write the source file");
  QList<quint32> words(1 << 20);
  for (qint64 written = 0; written < kOneGiB; written += qint64(words.size()) * 4) {
    QRandomGenerator::global()->fillRange(words.data(), words.size());
    file.write(reinterpret_cast<const char*>(words.constData()), qint64(words.size()) * 4);
  }
  return path;
}

Setting& setting() {
  static Setting* const made = [] {
    auto* s = new Setting;
    s->source = makeSource(s->work.path());
    s->size = QFileInfo(s->source).size();
    s->temporary = s->work.filePath(QStringLiteral("tmp"));
    QDir().mkpath(s->temporary);
    // Whatever the engine would write to the temporary folder lands where it is measured.
    qputenv("TMPDIR", QFile::encodeName(s->temporary));

    s->peer.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(kServeFlag)});
    if (!s->peer.waitForReadyRead(10000)) qFatal("the fake service did not start");
    const QList<QByteArray> line = s->peer.readLine().trimmed().split(' ');
    s->baseUrl = QUrl(QString::fromLatin1(line.value(0)));
    s->token = QString::fromLatin1(line.value(1));
    pm::storeKeychainString(s->keychain, s->token, pm::sessionTokenAccount());
    const QByteArray key = *pm::crypto::randomBytes(pm::crypto::kAesKeyBytes);
    s->sealedParts =
        pm::writeSealedParts(s->source, key, s->work.filePath(QStringLiteral("sealed")), partSize());
    s->network = std::make_unique<QNetworkAccessManager>();
    pm::ParcelmoorAPI::Options options;
    options.baseUrl = s->baseUrl;
    s->api = std::make_unique<pm::ParcelmoorAPI>(*s->network, s->keychain, options);
    return s;
  }();
  return *made;
}

double megabytesPerSecond(qint64 bytes, qint64 nanoseconds) {
  return double(bytes) / 1e6 / (double(nanoseconds) / 1e9);
}

// ---- the two ways of sending ----------------------------------------------------------------------------

// One upload of the file through a fresh uploader, as each bucket gets; returns how long it took.
qint64 sendThroughTheUploader(Setting& s) {
  pm::ParcelmoorUploader uploader(*s.network, *s.api);
  const pm::UploadUnit unit{QUuid::createUuid(), QUuid::createUuid(), s.source, QStringLiteral("one-gib.bin"),
                            s.size};
  runToEnd(uploader.registerUnits({unit}));
  SpaceWatcher space(s.temporary);
  ::malloc_trim(0);
  resetPeakResident();
  s.residentBeforeKiB = statusKiB("VmRSS:");
  space.start();
  QElapsedTimer timer;
  timer.start();
  runToEnd(uploader.upload(unit, {}, {}, {}));
  const qint64 elapsed = timer.nsecsElapsed();
  s.peakTemporary = std::max(s.peakTemporary, space.stop());
  s.peakResidentKiB = std::max(s.peakResidentKiB, statusKiB("VmHWM:"));
  return elapsed;
}

// Opens a bucket and announces the file, as the uploader would, and returns the plan's part URLs.
QCoro::Task<QList<QUrl>> announce(pm::ParcelmoorAPI& api, qint64 size) {
  const QByteArray post = QByteArrayLiteral("POST");
  const std::optional<QJsonValue> key =
      QJsonObject{{QStringLiteral("key"), QString::fromLatin1(QByteArray(32, 'k').toBase64())}};
  const QByteArray opened = co_await api.authorizedRequest(QStringLiteral("buckets"), post, key);
  const QString bucket = QJsonDocument::fromJson(opened).object().value(QStringLiteral("id")).toString();
  const std::optional<QJsonValue> files = QJsonObject{
      {QStringLiteral("files"),
       QJsonArray{QJsonObject{{QStringLiteral("path"), QStringLiteral("one-gib.bin")},
                              {QStringLiteral("size"), pm::sealedLength(size)},
                              {QStringLiteral("contentType"), QStringLiteral("application/octet-stream")}}}}};
  const QByteArray planned =
      co_await api.authorizedRequest(QStringLiteral("buckets/%1/files").arg(bucket), post, files);
  const QJsonObject file =
      QJsonDocument::fromJson(planned).object().value(QStringLiteral("files")).toArray().at(0).toObject();
  QList<QUrl> urls;
  for (const QJsonValue& part : file.value(QStringLiteral("parts")).toArray())
    urls.append(QUrl(part.toObject().value(QStringLiteral("url")).toString()));
  if (urls.isEmpty()) urls.append(QUrl(file.value(QStringLiteral("url")).toString()));
  co_return urls;
}

// The same bytes, sealed beforehand, with plain PUTs of the part files to a plan of the same shape;
// returns how long the PUTs took.
qint64 sendThePartFiles(Setting& s) {
  QList<QUrl> urls;
  runToEnd([](pm::ParcelmoorAPI& api, qint64 size, QList<QUrl>& out) -> QCoro::Task<> {
    out = co_await announce(api, size);
  }(*s.api, s.size, urls));
  if (urls.size() != s.sealedParts.size()) qFatal("the plan does not match the sealed parts");
  pm::BucketUploader putter(*s.network);
  QElapsedTimer timer;
  timer.start();
  for (qsizetype i = 0; i < urls.size(); ++i) {
    const pm::UploadDestination destination{QUuid::createUuid(), urls.at(i), QStringLiteral("PUT"), {}};
    runToEnd(
        putter.uploadFile(s.sealedParts.at(i), pm::PartPosition{i, double(urls.size())}, destination, {}));
  }
  return timer.nsecsElapsed();
}

// Each repetition sends the file both ways, one right after the other, so that a change in the load of
// the machine touches both alike; the time reported is the uploader's.
void BM_UploaderBesidePlainPut(benchmark::State& state) {
  Setting& s = setting();
  const qint64 sealed = pm::sealedLength(s.size);
  for (auto _ : state) {
    const qint64 uploader = sendThroughTheUploader(s);
    const qint64 plain = sendThePartFiles(s);
    s.mbps["own-service uploader"].push_back(megabytesPerSecond(sealed, uploader));
    s.mbps["plain PUT"].push_back(megabytesPerSecond(sealed, plain));
    s.mbps["ratio"].push_back(double(plain) / double(uploader));
    state.SetIterationTime(double(uploader) / 1e9);
    state.counters["MB/s"] = megabytesPerSecond(sealed, uploader);
    state.counters["plain PUT MB/s"] = megabytesPerSecond(sealed, plain);
  }
  state.SetBytesProcessed(state.iterations() * sealed);
}

BENCHMARK(BM_UploaderBesidePlainPut)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(5);

double median(std::vector<double> runs) {
  std::sort(runs.begin(), runs.end());
  return runs.empty() ? 0 : runs[runs.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && qstrcmp(argv[1], kServeFlag) == 0) return serveFakeService(argc, argv);
  QCoreApplication app(argc, argv);
  benchmark::AddCustomContext("compare with", "plain PUTs of the same sealed bytes to the same fake service");
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  const Setting& s = setting();
  const auto medianOf = [&s](const char* label) {
    return median(s.mbps.count(label) ? s.mbps.at(label) : std::vector<double>{});
  };
  std::printf("%lld bytes sealed into parts of %lld bytes\n", pm::sealedLength(s.size), partSize());
  std::printf(
      "own-service uploader: median %.0f MB/s; plain PUT of the sealed bytes: median %.0f MB/s; median ratio "
      "of the pairs %.2f (aim >= 0.85)\n",
      medianOf("own-service uploader"), medianOf("plain PUT"), medianOf("ratio"));
  std::printf("peak temporary space during the upload: %lld bytes (aim <= 2 parts, %lld bytes)\n",
              s.peakTemporary, 2 * partSize());
  std::printf("peak resident size during the upload: %.1f MiB (%.1f MiB when it started; aim < 64 MiB)\n",
              double(s.peakResidentKiB) / 1024, double(s.residentBeforeKiB) / 1024);
  return 0;
}
