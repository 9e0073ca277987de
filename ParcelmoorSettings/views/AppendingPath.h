#pragma once

#include <QString>
#include <QUrl>

namespace pm::settings {

// `base` with `path` ("pricing", "help/s3") appended to its path behind exactly one "/": a path the base
// already has stays in front, with or without its trailing slash.
QUrl appendingPath(QUrl base, const QString& path);

}  // namespace pm::settings
