#pragma once

#include <QString>

#include <ostream>

// Shows texts as text in test failures, not as their 16-bit code units.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}
