#pragma once

#include <QString>
#include <QUrl>

#include <optional>

// Object keys that reach the storage service exactly as they are signed and listed. Qt rewrites the path
// of every request it sends: it resolves "." and ".." pieces, and Qt 6.4 also drops an inner piece made of
// a dot and one more character (".a" in "/b/.a/x"). A key holding such a piece would be signed for one
// path and stored under another, with ".." even outside the upload's folder or in another bucket.
namespace pm::s3keys {

// Whether Qt puts the path of `url` on the request line exactly as the URL holds it.
bool sentAsIs(const QUrl& url);

// The first "/"-separated piece of `key` that Qt may rewrite when it stands between two others; nothing
// when every piece is safe anywhere in a path.
std::optional<QString> rewrittenPiece(const QString& key);

}  // namespace pm::s3keys
