#pragma once

#include <QString>

namespace pm::settings {

// `text` cut from its start into groups of `size` characters (the last one shorter when the length is not a
// multiple), joined with "-": how codes and keys are shown so a person can read them out. Characters are
// what the user sees (grapheme clusters), never bytes or UTF-16 units. A size below 1 leaves the text whole.
QString groupedText(const QString& text, int size);

}  // namespace pm::settings
