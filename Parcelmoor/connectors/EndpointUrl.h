#pragma once

#include <QString>
#include <QUrl>

namespace pm {

// `base` (a provider's host, possibly with a path of its own, as a test's fake has) as encoded text without
// trailing slashes, ready for a path to follow.
QString endpointRoot(const QUrl& base);

// `base` with `path` appended to its own path: "http://127.0.0.1:5/api" + "/2/files/upload". A query in
// `path` is kept.
QUrl endpointUrl(const QUrl& base, const QString& path);

}  // namespace pm
