#include "TypedText.h"

namespace pm::settings {

QString trimmedEnds(const QString& text, bool (*trims)(QChar)) {
  qsizetype begin = 0;
  qsizetype end = text.size();
  while (begin < end && trims(text[begin])) ++begin;
  while (end > begin && trims(text[end - 1])) --end;
  return text.mid(begin, end - begin);
}

QString trimmedBlanks(const QString& text) {
  return trimmedEnds(text, [](QChar c) { return c == u' ' || c == u'\t'; });
}

}  // namespace pm::settings
