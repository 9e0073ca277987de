// What one `Parcelmoor send` of N small distinct files costs, measured as a user meets it: the real agent on
// a real X display (run it under xvfb-run), signed in to the development service scripts/run starts, from
// the send to the service holding every file. For each N given (100, 1,000, 10,000 and 100,000 without
// arguments) it prints the wall time per file and its ratio to that at 100 files (aim: at most 1.5 at every
// size), the CPU time per file of the agent and of the service, the agent's peak resident memory (aim:
// under 200 MiB at 100,000) and the size of the service's state on disk; and beside it the same transfers
// done by a plain HTTP client (curl: the announcements, 5,000 files each as the agent makes them, then a
// PUT of each file's sealed length, as many at once as the agent sends), for the CPU the transfers
// themselves need. Each size runs against a fresh service and a fresh agent, in a private bus and keyring
// of the benchmark's own.
//   bench_agent_upload_cost [--no-plain-client] [N...]
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>

#include "PrivateSession.h"
#include "core/SessionToken.h"
#include "platform/Keychain.h"
#include "support/AgentProcess.h"
#include "support/DevServiceProcess.h"

namespace {

using namespace std::chrono_literals;

constexpr qint64 kFileBytes = 1024;
// The sealed length of a file that fits one sealed chunk: its header and one record's tag and nonce.
constexpr qint64 kSealedOverhead = 36;
// As many transfers as the agent's upload session runs at once, for the plain client.
constexpr int kParallelTransfers = 4;
// As many files as the agent names in one announcement.
constexpr qsizetype kFilesPerAnnouncement = 5000;

// CPU milliseconds (user and system, all threads) process `pid` has used so far.
double cpuMs(qint64 pid) {
  QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
  if (!stat.open(QIODevice::ReadOnly)) return -1;
  const QByteArray line = stat.readAll();
  // The fields after the command's name, which itself may hold spaces, closed by the last ')'.
  const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
  if (fields.size() < 13) return -1;
  const double ticks = fields.at(11).toDouble() + fields.at(12).toDouble();
  return ticks * 1000.0 / double(sysconf(_SC_CLK_TCK));
}

// The highest resident size process `pid` has reached (VmHWM), in MiB.
double peakResidentMiB(qint64 pid) {
  QFile status(QStringLiteral("/proc/%1/status").arg(pid));
  if (!status.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : status.readAll().split('\n')) {
    if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
  }
  return -1;
}

// CPU milliseconds of the children this process has waited for.
double waitedChildrenCpuMs() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  const auto ms = [](const timeval& t) { return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3; };
  return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// Bytes of every file below `folder`, leaving out the folder of stored parts: what the service keeps about
// the files rather than the files' bytes.
double stateMiB(const QString& folder) {
  const QString parts = QDir(folder).filePath(QStringLiteral("parts"));
  qint64 bytes = 0;
  QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    if (!path.startsWith(parts + QLatin1Char('/'))) bytes += it.fileInfo().size();
  }
  return double(bytes) / (1024.0 * 1024.0);
}

// Counts the files the service holds whole: it keeps each part under parts/<bucket>/<file>/part-<n>, written
// aside and renamed into place, so a part file that exists is stored.
class StoredFiles {
 public:
  explicit StoredFiles(const QString& stateDirectory)
      : parts_(QDir(stateDirectory).filePath(QStringLiteral("parts"))) {}

  qsizetype count() {
    QDirIterator buckets(parts_, QDir::Dirs | QDir::NoDotAndDotDot);
    while (buckets.hasNext()) {
      QDirIterator files(buckets.next(), QDir::Dirs | QDir::NoDotAndDotDot);
      while (files.hasNext()) {
        const QString file = files.next();
        if (!held_.contains(file) && QFile::exists(file + QLatin1String("/part-1"))) held_.insert(file);
      }
    }
    return held_.size();
  }

 private:
  QString parts_;
  QSet<QString> held_;
};

// Polls until the service holds `files` files; false when it did not within `timeout`.
bool waitUntilStored(const QString& stateDirectory, qsizetype files, std::chrono::milliseconds timeout,
                     const std::function<bool()>& stillRunning) {
  StoredFiles stored(stateDirectory);
  QElapsedTimer timer;
  timer.start();
  // Listing a folder of many thousand entries costs this process, not the measured ones; less often then.
  const unsigned long pollMs = files > 1000 ? 200 : 20;
  while (stored.count() < files) {
    if (timer.elapsed() > timeout.count() || !stillRunning()) return false;
    QThread::msleep(pollMs);
    // Lets the agent's process object notice when the agent has ended.
    QCoreApplication::processEvents();
  }
  return true;
}

struct Stage {
  QString stateDirectory;
  QString token;
  std::unique_ptr<pm::test::DevServiceProcess> service;

  Stage(const QString& folder, bool keepTokenInKeyring) : stateDirectory(folder) {
    token = pm::test::DevServiceProcess::createSession(stateDirectory, QStringLiteral("bench@example.com"));
    if (keepTokenInKeyring) {
      pm::SecretServiceKeychain keychain;
      pm::storeKeychainString(keychain, token, pm::sessionTokenAccount());
      if (pm::loadKeychainString(keychain, pm::sessionTokenAccount()) != token)
        throw std::runtime_error("the private keyring did not keep the session token");
    }
    service = std::make_unique<pm::test::DevServiceProcess>(stateDirectory);
  }
};

// Files named by number only, so a hundred thousand of them fit one command line.
QStringList writeFiles(const QString& folder, int count, qint64 extraBytes) {
  if (!QDir().mkpath(folder)) throw std::runtime_error("cannot make the folder of files");
  QStringList names;
  names.reserve(count);
  for (int i = 0; i < count; ++i) {
    const QString name = QStringLiteral("%1").arg(i, 6, 10, QLatin1Char('0'));
    QByteArray bytes = QByteArray("file ") + QByteArray::number(i) + '\n';
    bytes.append(QByteArray(kFileBytes + extraBytes - bytes.size(), char('a' + i % 26)));
    QFile file(QDir(folder).filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
      throw std::runtime_error("cannot write the files to send");
    names.append(name);
  }
  return names;
}

// Only a hang should reach it: the development service itself may take a good part of a second per file
// in a large bucket.
std::chrono::milliseconds timeoutFor(int files) {
  return 300s + 500ms * files;
}

struct AgentRun {
  double wallMs = 0;
  double agentCpuMs = 0;
  double serviceCpuMs = 0;
  double agentPeakMiB = 0;
  double stateMiB = 0;
};

std::optional<AgentRun> runAgent(const QString& root, int files, QString& error) {
  Stage stage(QDir(root).filePath(QStringLiteral("service")), true);
  const QString folder = QDir(root).filePath(QStringLiteral("files"));
  QStringList arguments{QStringLiteral("send"), QStringLiteral("--")};
  arguments += writeFiles(folder, files, 0);

  pm::test::AgentProcess agent(QDir(root).filePath(QStringLiteral("agent")), stage.service->url());
  agent.showOnDisplay();
  agent.start();
  if (!agent.waitUntilServing()) {
    error = QStringLiteral("the agent did not start:\n") + agent.log();
    return std::nullopt;
  }
  const qint64 agentPid = agent.processId();
  const qint64 servicePid = stage.service->processId();
  const double agentCpuBefore = cpuMs(agentPid);
  const double serviceCpuBefore = cpuMs(servicePid);
  QElapsedTimer wall;
  wall.start();
  const pm::test::AgentProcess::Finished sent = agent.launch(arguments, false, 60s, folder);
  if (sent.exitCode != 0) {
    error = QStringLiteral("the send failed: ") + sent.errors;
    return std::nullopt;
  }
  if (!waitUntilStored(stage.stateDirectory, files, timeoutFor(files), [&] { return agent.isRunning(); })) {
    error = QStringLiteral("the service did not get every file in time:\n") + agent.log().right(4000);
    return std::nullopt;
  }
  AgentRun run;
  run.wallMs = double(wall.nsecsElapsed()) / 1e6;
  run.agentCpuMs = cpuMs(agentPid) - agentCpuBefore;
  run.serviceCpuMs = cpuMs(servicePid) - serviceCpuBefore;
  run.agentPeakMiB = peakResidentMiB(agentPid);
  agent.stop();
  stage.service.reset();
  run.stateMiB = stateMiB(stage.stateDirectory);
  return run;
}

struct PlainRun {
  double wallMs = 0;
  double clientCpuMs = 0;
  double serviceCpuMs = 0;
};

// Runs curl with `arguments` to its end and returns its standard output; throws when it fails.
QByteArray curl(const QStringList& arguments, std::chrono::milliseconds timeout) {
  QProcess process;
  process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  process.start(QStringLiteral("curl"), arguments);
  if (!process.waitForFinished(int(timeout.count())) || process.exitStatus() != QProcess::NormalExit ||
      process.exitCode() != 0)
    throw std::runtime_error("curl failed: " + arguments.join(QLatin1Char(' ')).left(300).toStdString());
  return process.readAllStandardOutput();
}

// The same transfers without the agent: the bucket opened and the files announced as the agent announces
// them, then each file's sealed length PUT to its upload URL. Bytes already at their sealed length stand in
// for the sealing, which is the agent's own work.
std::optional<PlainRun> runPlainClient(const QString& root, int files, QString& error) {
  Stage stage(QDir(root).filePath(QStringLiteral("plain-service")), false);
  const QString folder = QDir(root).filePath(QStringLiteral("sealed"));
  const QStringList names = writeFiles(folder, files, kSealedOverhead);
  const QString api = stage.service->url().toString() + QLatin1String("/api/");
  const QString authorization = QStringLiteral("Authorization: Bearer ") + stage.token;
  const QStringList json{QStringLiteral("-H"), QStringLiteral("Content-Type: application/json")};

  // Announced as the agent announces them: at most 5,000 files a request.
  QStringList announcements;
  for (qsizetype first = 0; first < names.size(); first += kFilesPerAnnouncement) {
    QJsonArray requests;
    for (const QString& name : names.mid(first, kFilesPerAnnouncement))
      requests.append(QJsonObject{{QStringLiteral("path"), name},
                                  {QStringLiteral("size"), kFileBytes + kSealedOverhead},
                                  {QStringLiteral("contentType"),
                                   QStringLiteral("application/octet-stream")}});
    announcements.append(
        QDir(root).filePath(QStringLiteral("announcement-%1.json").arg(announcements.size())));
    QFile out(announcements.last());
    const QByteArray body = QJsonDocument(QJsonObject{{QStringLiteral("files"), requests}}).toJson();
    if (!out.open(QIODevice::WriteOnly) || out.write(body) != body.size())
      throw std::runtime_error("cannot write the announcement");
  }

  const qint64 servicePid = stage.service->processId();
  const double serviceCpuBefore = cpuMs(servicePid);
  const double clientCpuBefore = waitedChildrenCpuMs();
  QElapsedTimer wall;
  wall.start();
  const QByteArray created =
      curl(QStringList{QStringLiteral("-sS"), QStringLiteral("--fail"), QStringLiteral("-H"), authorization}
               << json << QStringLiteral("--data")
               << QStringLiteral("{\"key\":\"%1\"}").arg(QString::fromLatin1(QByteArray(32, 'k').toBase64()))
               << api + QStringLiteral("buckets"),
           60s);
  const QString bucket = QJsonDocument::fromJson(created).object().value(QStringLiteral("id")).toString();
  QJsonArray plans;
  for (const QString& announcement : std::as_const(announcements)) {
    const QByteArray answer =
        curl(QStringList{QStringLiteral("-sS"), QStringLiteral("--fail"), QStringLiteral("-H"), authorization}
                 << json << QStringLiteral("--data-binary") << QLatin1Char('@') + announcement
                 << api + QStringLiteral("buckets/%1/files").arg(bucket),
             timeoutFor(files));
    const QJsonArray planned =
        QJsonDocument::fromJson(answer).object().value(QStringLiteral("files")).toArray();
    for (const QJsonValue& plan : planned) plans.append(plan);
  }
  if (plans.size() != files) {
    error = QStringLiteral("the service planned %1 of %2 files").arg(plans.size()).arg(files);
    return std::nullopt;
  }
  QByteArray config;
  for (const QJsonValue& plan : plans) {
    const QJsonObject entry = plan.toObject();
    config += "url = \"" + entry.value(QStringLiteral("url")).toString().toUtf8() + "\"\n";
    config += "upload-file = \"" +
              QDir(folder).filePath(entry.value(QStringLiteral("path")).toString()).toUtf8() + "\"\n";
    config += "output = \"/dev/null\"\n";
  }
  const QString configFile = QDir(root).filePath(QStringLiteral("transfers.curl"));
  {
    QFile out(configFile);
    if (!out.open(QIODevice::WriteOnly) || out.write(config) != config.size())
      throw std::runtime_error("cannot write curl's list of transfers");
  }
  curl({QStringLiteral("-sS"), QStringLiteral("--fail"), QStringLiteral("--parallel"),
        QStringLiteral("--parallel-max"), QString::number(kParallelTransfers), QStringLiteral("-H"),
        QStringLiteral("Content-Type: application/octet-stream"), QStringLiteral("-K"), configFile},
       timeoutFor(files));
  if (!waitUntilStored(stage.stateDirectory, files, 10s, [] { return true; })) {
    error = QStringLiteral("the service does not hold every file curl sent");
    return std::nullopt;
  }
  PlainRun run;
  run.wallMs = double(wall.nsecsElapsed()) / 1e6;
  run.clientCpuMs = waitedChildrenCpuMs() - clientCpuBefore;
  run.serviceCpuMs = cpuMs(servicePid) - serviceCpuBefore;
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  if (qEnvironmentVariableIsEmpty("DISPLAY")) {
    std::printf("bench_agent_upload_cost: needs an X display; run it under xvfb-run\n");
    return 1;
  }
  bool plainClient = true;
  QList<int> sizes;
  for (const QString& argument : QCoreApplication::arguments().mid(1)) {
    if (argument == QLatin1String("--no-plain-client"))
      plainClient = false;
    else if (argument.toInt() > 0)
      sizes.append(argument.toInt());
  }
  if (sizes.isEmpty()) sizes = {100, 1000, 10000, 100000};

  std::map<int, AgentRun> agentRuns;
  std::map<int, PlainRun> plainRuns;
  const auto printAgentRow = [&](int files, const AgentRun& run) {
    const auto first = agentRuns.find(100) != agentRuns.end() ? agentRuns.find(100) : agentRuns.begin();
    const double perFile = run.wallMs / files;
    const double firstPerFile = first->second.wallMs / first->first;
    std::printf("%8d %12.1f %8.2f %14.2f %16.2f %14.0f %12.2f\n", files, perFile, perFile / firstPerFile,
                run.agentCpuMs / files, run.serviceCpuMs / files, run.agentPeakMiB, run.stateMiB);
  };
  const auto printPlainRow = [&](int files, const PlainRun& run) {
    const auto agent = agentRuns.find(files);
    const double ratio =
        agent != agentRuns.end() && run.clientCpuMs > 0 ? agent->second.agentCpuMs / run.clientCpuMs : 0.0;
    std::printf("%8d %12.1f %14.2f %16.2f %22.2f\n", files, run.wallMs / files, run.clientCpuMs / files,
                run.serviceCpuMs / files, ratio);
  };
  const auto agentHeader = [] {
    std::printf("%8s %12s %8s %14s %16s %14s %12s\n", "files", "wall ms/file", "ratio", "agent CPU ms/f",
                "service CPU ms/f", "agent peak MiB", "state MiB");
  };
  const auto plainHeader = [] {
    std::printf("%8s %12s %14s %16s %22s\n", "files", "wall ms/file", "curl CPU ms/f", "service CPU ms/f",
                "agent CPU / curl CPU");
  };
  try {
    pm::bench::PrivateSession session;
    for (const int files : std::as_const(sizes)) {
      // Each size on its own: one that fails or hangs leaves the others' figures.
      try {
        QString error;
        {
          QTemporaryDir root;
          std::printf("%d files through the agent...\n", files);
          std::fflush(stdout);
          if (const auto run = runAgent(root.path(), files, error)) {
            agentRuns[files] = *run;
            agentHeader();
            printAgentRow(files, *run);
          } else {
            std::printf("%d files through the agent: %s\n", files, qPrintable(error));
          }
          std::fflush(stdout);
        }
        if (!plainClient) continue;
        QTemporaryDir root;
        std::printf("%d files through curl...\n", files);
        std::fflush(stdout);
        if (const auto run = runPlainClient(root.path(), files, error)) {
          plainRuns[files] = *run;
          plainHeader();
          printPlainRow(files, *run);
        } else {
          std::printf("%d files through curl: %s\n", files, qPrintable(error));
        }
        std::fflush(stdout);
      } catch (const std::exception& error) {
        std::printf("%d files: %s\n", files, error.what());
      }
    }
  } catch (const std::exception& error) {
    std::printf("bench_agent_upload_cost: %s\n", error.what());
    return 1;
  }

  std::printf("\n== one `Parcelmoor send` of N files of %lld bytes to the development service, on X\n",
              kFileBytes);
  agentHeader();
  for (const auto& [files, run] : agentRuns) printAgentRow(files, run);
  if (!plainRuns.empty()) {
    std::printf("\n== the same transfers by curl (%d at once)\n", kParallelTransfers);
    plainHeader();
    for (const auto& [files, run] : plainRuns) printPlainRow(files, run);
  }
  std::printf(
      "\naims: wall time per file at most 1.5 times that at 100 files; agent CPU per file at 10,000 within "
      "1.5 times that at 100; agent peak memory under 200 MiB at 100,000\n");
  return 0;
}
