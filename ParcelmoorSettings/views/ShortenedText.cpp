#include "ShortenedText.h"

#include <QTextBoundaryFinder>

namespace pm::settings {

QString shortenedText(const QString& text, int limit) {
  // Cut between graphemes, so an accent or an emoji is never split from its base.
  QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
  qsizetype cut = 0;
  int count = 0;
  while (count < limit) {
    const qsizetype next = graphemes.toNextBoundary();
    if (next < 0) return text;
    cut = next;
    ++count;
  }
  if (cut >= text.size()) return text;
  QString piece = text.left(cut);
  const qsizetype space = piece.lastIndexOf(QLatin1Char(' '));
  if (space >= 0) piece.truncate(space);
  return piece + QStringLiteral("…");
}

}  // namespace pm::settings
