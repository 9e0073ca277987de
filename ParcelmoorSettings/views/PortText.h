#pragma once

#include <QString>

namespace pm::settings {

// The FTP port as the editor's field shows it: its digits from 1 up, else nothing (the server text or
// the security mode then decides).
QString portText(qint64 port);
// What a typed port stores: its numeric characters read as a decimal number ("2a1" gives 21); 0 when
// none remain or they make no number that fits (other scripts' digits, beyond 64 bits).
qint64 portFromText(const QString& text);

}  // namespace pm::settings
