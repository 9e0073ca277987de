#include "SentFile.h"

namespace pm {

bool SentFile::matches(qint64 storedSize, const QDateTime& stamped, const QDateTime& now) const {
  if (storedSize != size || !stamped.isValid() || !since.isValid()) return false;
  const qint64 tolerance = std::chrono::milliseconds(kClockTolerance).count();
  return stamped >= since.addMSecs(-tolerance) && stamped <= now.addMSecs(tolerance);
}

QDateTime serviceTime(const QString& text) {
  QDateTime time = QDateTime::fromString(text, Qt::ISODateWithMs);
  if (!time.isValid()) time = QDateTime::fromString(text, Qt::ISODate);
  return time;
}

}  // namespace pm
