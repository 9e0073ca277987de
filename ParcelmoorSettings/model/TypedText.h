#pragma once

#include <QString>

namespace pm::settings {

// `text` without the characters `trims` accepts at either end.
QString trimmedEnds(const QString& text, bool (*trims)(QChar));
// `text` without spaces and tabs at either end; line breaks stay. How the editor's typed addresses are read.
QString trimmedBlanks(const QString& text);

}  // namespace pm::settings
