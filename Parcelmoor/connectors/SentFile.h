#pragma once

#include <QDateTime>
#include <QString>

#include <chrono>

namespace pm {

// A file this bucket sent whose answer never named what the service stored: how many bytes went and since
// when its first try began. A file found under the name the upload asked for, in the bucket's own folder, is
// taken for this one only when both agree and the service's hash of its content is that of the file sent,
// so a file of the same name that someone else put there is never deleted in its stead.
struct SentFile {
  // How far the service's clock may be from this computer's.
  static constexpr std::chrono::minutes kClockTolerance{5};

  qint64 size = 0;
  QDateTime since;  // when the transfer began, by this computer's clock

  // Whether a file of `storedSize` bytes that the service stamped `stamped` (its creation or last change)
  // can be this one, `now` being this computer's time. A file without a readable stamp never is.
  bool matches(qint64 storedSize, const QDateTime& stamped, const QDateTime& now) const;
};

// A service's time stamp in ISO 8601 (with or without fractions of a second); invalid when unreadable.
QDateTime serviceTime(const QString& text);

}  // namespace pm
