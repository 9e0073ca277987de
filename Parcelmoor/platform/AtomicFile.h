#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>

namespace pm {

// Replaces `path` with `bytes` in one step: the bytes go to a new file in the same folder, which is written,
// flushed and synced to disk, checked at each step, and only then renamed over the old file. A reader sees
// the old file or the new one, never a part of either; when anything fails (a full disk, a quota, a file
// size limit) the new file is thrown away and the old one stays byte for byte. The new file gets
// `permissions` before any byte is written. Returns false with a reason in `error` (optional) on failure.
bool writeFileAtomically(const QString& path, const QByteArray& bytes, QFileDevice::Permissions permissions,
                         QString* error = nullptr);

}  // namespace pm
