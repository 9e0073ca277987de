#pragma once

#include <QCoroTask>

#include <QString>

#include <optional>

#include "connectors/FTPTransfer.h"
#include "core/UploaderConfig.h"

namespace pm {
class Keychain;
}

namespace pm::settings {

// The test of an FTP or FTPS connection: logs in with the stored login and opens the connection's folder,
// transferring nothing, on a worker thread within 15 seconds. Nothing on success, else the text to show:
// "Fill in the server first.", "Missing credentials.", "The server could not be read as an address." (no
// connection is attempted then) or what the transfer layer makes of libcurl's answer. Never throws.
// `options` carries the connect limit and, in tests, the certificate authority to trust.
QCoro::Task<std::optional<QString>> testFTPConnection(UploaderConfig config, const Keychain& keychain,
                                                      FTPTransferOptions options = {});

}  // namespace pm::settings
