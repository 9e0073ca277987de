#include "BreakableAddress.h"

namespace pm::settings {

namespace {

constexpr QChar kZeroWidthSpace(0x200B);

}  // namespace

QString breakableAddress(const QString& address) {
  QString shown;
  shown.reserve(address.size() + address.size() / 4);
  for (qsizetype index = 0; index < address.size(); ++index) {
    const QChar character = address.at(index);
    shown.append(character);
    const bool last = index + 1 == address.size();
    if (!last && (character == QLatin1Char('@') || character == QLatin1Char('.')))
      shown.append(kZeroWidthSpace);
  }
  return shown;
}

QString plainAddress(const QString& shown) {
  QString address = shown;
  return address.remove(kZeroWidthSpace);
}

}  // namespace pm::settings
