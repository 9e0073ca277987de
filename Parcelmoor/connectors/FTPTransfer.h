#pragma once

#include <QString>
#include <QUrl>

#include <QCoroTask>

#include <chrono>
#include <functional>
#include <optional>

#include "connectors/FTPCredentials.h"
#include "core/UploadError.h"
#include "core/UploaderConfig.h"
#include "platform/Async.h"
#include "upload/BucketUploader.h"

namespace pm {

// What bounds one FTP call. The defaults are the program's; tests shorten them and bring their own CA.
struct FTPTransferOptions {
  std::chrono::seconds connectTimeout{20};
  // Slower than `lowSpeedLimit` bytes per second for `lowSpeedTime` ends the call as timed out.
  long lowSpeedLimit = 1;
  std::chrono::seconds lowSpeedTime{60};
  QString caFile;  // a PEM bundle trusted instead of the system's; empty: the system's

  bool operator==(const FTPTransferOptions&) const = default;
};

// Runs the calls of the libcurl layer on the file transfer pool and turns their result codes into UploadErrors
// with texts a user can act on. Each call has its own handle, so transfers run side by side.
class FTPTransfer {
 public:
  using Options = FTPTransferOptions;

  // One call of the libcurl layer, given the error buffer, its capacity and the slot for the FTP reply.
  using Call = std::function<int(char* errorBuffer, std::size_t capacity, long* responseCode)>;

  static constexpr std::size_t kErrorBufferSize = 256;

  // Runs `call` on this thread with a fresh zeroed error buffer; throws transferError() on a non-zero
  // result.
  static void perform(const Call& call);

  // The error for a libcurl result code; `detail` is the error buffer's text.
  static UploadError transferError(int code, long responseCode, const QString& detail);

  // Logs in at `url` and sends `command` (none: only logs in). A command with a control character (line
  // breaks included) is refused before anything is sent, so a file name can never smuggle in a second
  // command. `timeout` below one second: no overall limit.
  static QCoro::Task<> sendCommand(std::optional<QString> command, QUrl url, FTPSecurity security,
                                   FTPCredentials credentials, std::chrono::seconds timeout,
                                   Options options = {});

  // Uploads the local file to `url`. Progress arrives on the calling thread as fractions 0 to 1 (not the
  // final 1.0: the caller reports success). When `cancel` fires the transfer is aborted at once and
  // `cancelled` is thrown; the call returns only after libcurl has let go of the connection.
  static QCoro::Task<> upload(QUrl url, FTPCredentials credentials, FTPSecurity security, QString localPath,
                              qint64 size, ProgressCallback progress, CancelTokenPtr cancel, Options options = {});

  // The fraction of a progress report, or nothing when it reports nothing (no total yet).
  static std::optional<double> progressFraction(std::int64_t sent, std::int64_t total);
};

}  // namespace pm
