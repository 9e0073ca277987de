#include "GroupedText.h"

#include <QStringList>
#include <QTextBoundaryFinder>

namespace pm::settings {

QString groupedText(const QString& text, int size) {
  if (size < 1) return text;
  QStringList groups;
  QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
  qsizetype groupStart = 0;
  int inGroup = 0;
  while (graphemes.toNextBoundary() != -1) {
    if (++inGroup < size) continue;
    const qsizetype end = graphemes.position();
    groups.append(text.mid(groupStart, end - groupStart));
    groupStart = end;
    inGroup = 0;
  }
  if (groupStart < text.size()) groups.append(text.mid(groupStart));
  return groups.join(QLatin1Char('-'));
}

}  // namespace pm::settings
