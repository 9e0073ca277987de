#pragma once

#include <QUrl>

#include "core/UploaderConfig.h"

namespace pm::settings {

// The service's help page of a kind of connection: `base` with "help" and the kind's word ("s3", "r2",
// "ftp", "icloud", "drive", "onedrive", "dropbox"; the own service's is "s3") appended to its path. A path
// the base already has stays in front.
QUrl helpURL(UploaderConfig::Kind kind, const QUrl& base);
// The same under the service's base URL.
QUrl helpURL(UploaderConfig::Kind kind);

}  // namespace pm::settings
