#pragma once

#include <QString>

#include "core/UploaderConfig.h"

namespace pm {
class BundleInfo;
}

namespace pm::settings {

// The kind a new connection starts with: the first of the editor's kinds that works on this computer. The
// synced folder needs its root folder (`syncedFolderRoot`), a drive needs this build's client identifier;
// S3, R2 and FTP always work.
UploaderConfig::Kind newConnectionKind(const BundleInfo& bundle, const QString& syncedFolderRoot);

}  // namespace pm::settings
