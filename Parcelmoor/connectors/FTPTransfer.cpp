#include "FTPTransfer.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <array>
#include <atomic>
#include <memory>

#include "connectors/ProgressPoster.h"
#include "curl/FTPCalls.h"

namespace pm {

namespace {

QString tr(const char* text) { return QCoreApplication::translate("FTPTransfer", text); }

bool usesTLS(FTPSecurity security) { return security != FTPSecurity::plain; }

bool hasControlCharacter(const QString& text) {
  const QList<uint> scalars = text.toUcs4();
  return std::any_of(scalars.begin(), scalars.end(), [](uint c) { return c < 32 || c == 127; });
}

// The layer's limits as C values; `caFile` must outlive the call.
ftp_options cOptions(const FTPTransfer::Options& options, const QByteArray& caFile) {
  return ftp_options{long(options.connectTimeout.count()), options.lowSpeedLimit, long(options.lowSpeedTime.count()),
                     caFile.isEmpty() ? nullptr : caFile.constData()};
}

// Carries one upload's reports from libcurl's thread to the caller's: at most one per half percent
// (libcurl calls back for every buffer it sends), and the answer that stops the transfer once the caller's
// token fired.
class UploadProgressRelay {
 public:
  static constexpr double kStep = 0.005;

  UploadProgressRelay(const ProgressPoster& poster, std::shared_ptr<std::atomic_bool> stop)
      : poster_(poster), stop_(std::move(stop)) {}

  static int callback(void* context, std::int64_t sent, std::int64_t total) {
    auto* relay = static_cast<UploadProgressRelay*>(context);
    if (!relay) return 0;
    if (relay->stop_->load() || workerPoolsClosing()) return 1;
    const std::optional<double> fraction = FTPTransfer::progressFraction(sent, total);
    if (fraction && *fraction - relay->last_ >= kStep) {
      relay->last_ = *fraction;
      relay->poster_.post(*fraction);
    }
    return 0;
  }

 private:
  const ProgressPoster& poster_;
  std::shared_ptr<std::atomic_bool> stop_;
  double last_ = 0;
};

}  // namespace

void FTPTransfer::perform(const Call& call) {
  std::array<char, kErrorBufferSize> buffer{};
  long responseCode = 0;
  const int result = call(buffer.data(), buffer.size(), &responseCode);
  if (result == 0) return;
  buffer.back() = '\0';
  throw transferError(result, responseCode, QString::fromUtf8(buffer.data()));
}

UploadError FTPTransfer::transferError(int code, long responseCode, const QString& detail) {
  switch (code) {
    case 6:
      return UploadError::transport(tr("That server name could not be found."));
    case 7:
      return UploadError::transport(tr("Nothing answered on that host and port."));
    case 28:
      return UploadError::transport(tr("The server did not answer in time."));
    case 35:
    case 60:
    case 64:
    case 83:
      return UploadError::rejected(
          tr("The server's TLS could not be used. Check whether it wants explicit or implicit TLS."));
    case 67:
      return UploadError::rejected(tr("The server refused this username and password."));
    case 9:
    case 78:
      return UploadError::rejected(tr("That folder could not be opened with this account."));
    default:
      break;
  }
  if (!detail.isEmpty()) return UploadError::rejected(detail);
  return UploadError::rejected(tr("The server refused the transfer (%1).").arg(responseCode));
}

std::optional<double> FTPTransfer::progressFraction(std::int64_t sent, std::int64_t total) {
  if (total < 1) return std::nullopt;
  return std::clamp(double(sent) / double(total), 0.0, 1.0);
}

QCoro::Task<> FTPTransfer::sendCommand(std::optional<QString> command, QUrl url, FTPSecurity security,
                                       FTPCredentials credentials, std::chrono::seconds timeout, Options options) {
  if (command && hasControlCharacter(*command))
    throw UploadError::rejected(tr("That file name cannot be sent to an FTP server."));

  auto work = [command = command ? std::optional<QByteArray>(command->toUtf8()) : std::nullopt,
               url = url.toEncoded(), username = credentials.username.toUtf8(),
               password = credentials.password.toUtf8(), tls = usesTLS(security), timeout = long(timeout.count()),
               caFile = QFile::encodeName(options.caFile), options] {
    const ftp_options limits = cOptions(options, caFile);
    perform([&](char* buffer, std::size_t capacity, long* responseCode) {
      return ftp_send_command(url.constData(), username.constData(), password.constData(), tls ? 1 : 0,
                              command ? command->constData() : nullptr, timeout, buffer, capacity, responseCode,
                              &limits);
    });
  };
  QCoro::Task<> sending = runOnWorker(fileTransferPool(), std::move(work));
  co_await std::move(sending);
}

QCoro::Task<> FTPTransfer::upload(QUrl url, FTPCredentials credentials, FTPSecurity security, QString localPath,
                                  qint64 size, ProgressCallback progress, CancelTokenPtr cancel, Options options) {
  auto stop = std::make_shared<std::atomic_bool>(cancel && cancel->isCancelled());
  if (stop->load()) throw UploadError::cancelled();
  // Lives until the worker is done, so every report it posted arrives before this coroutine resumes.
  const ProgressPoster poster(std::move(progress));
  if (cancel)
    QObject::connect(cancel.get(), &CancelToken::cancelled, poster.receiver(), [stop] { stop->store(true); });

  auto work = [url = url.toEncoded(), username = credentials.username.toUtf8(),
               password = credentials.password.toUtf8(), tls = usesTLS(security),
               path = QFile::encodeName(localPath), size, caFile = QFile::encodeName(options.caFile), options,
               relay = std::make_shared<UploadProgressRelay>(poster, stop)] {
    const ftp_options limits = cOptions(options, caFile);
    perform([&](char* buffer, std::size_t capacity, long* responseCode) {
      return ftp_upload_file(url.constData(), username.constData(), password.constData(), tls ? 1 : 0,
                             path.constData(), size, &UploadProgressRelay::callback, relay.get(), buffer, capacity,
                             responseCode, &limits);
    });
  };
  try {
    QCoro::Task<> uploading = runOnWorker(fileTransferPool(), std::move(work));
    co_await std::move(uploading);
  } catch (...) {
    if (stop->load()) throw UploadError::cancelled();
    throw;
  }
  if (stop->load()) throw UploadError::cancelled();
}

}  // namespace pm
