#pragma once

#include <QString>

namespace pm::settings {

// A failure text fitted to the editor's footer: whole up to `limit` user-perceived characters; longer,
// its first `limit` characters cut again before their last space (when they hold one) and "…" added.
QString shortenedText(const QString& text, int limit = 52);

}  // namespace pm::settings
