#include "PortText.h"

namespace pm::settings {

QString portText(qint64 port) { return port >= 1 ? QString::number(port) : QString(); }

qint64 portFromText(const QString& text) {
  QString digits;
  for (const QChar character : text) {
    if (character.isNumber()) digits.append(character);
  }
  bool ok = false;
  const qint64 port = digits.toLongLong(&ok, 10);
  return ok ? port : 0;
}

}  // namespace pm::settings
