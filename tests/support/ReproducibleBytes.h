#pragma once

#include <QByteArray>

namespace pm::test {

// File contents that look random (nothing for a compressor or a lucky match to exploit) and are the same
// on every run for the same seed.
inline QByteArray reproducibleBytes(qint64 size, quint32 seed = 1) {
  QByteArray bytes(size, Qt::Uninitialized);
  quint32 state = seed * 2654435761u + 1;
  for (char& byte : bytes) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    byte = char(state);
  }
  return bytes;
}

}  // namespace pm::test
