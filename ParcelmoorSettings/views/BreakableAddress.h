#pragma once

#include <QString>

namespace pm::settings {

// An e-mail address as a wrapped label may break it: after its "@" and after each "." (and, as any text,
// after a hyphen), by invisible zero-width spaces. Without them the whole address is one word, which a
// narrow row can only cut or make room for.
QString breakableAddress(const QString& address);

// The address again, without the break opportunities.
QString plainAddress(const QString& shown);

}  // namespace pm::settings
