#include "ResidentMemory.h"

#include <QByteArray>
#include <QFile>
#include <QString>

namespace pm::bench {

double residentMiB(qint64 pid) {
  QFile status(QStringLiteral("/proc/%1/status").arg(pid));
  if (!status.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : status.readAll().split('\n')) {
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
  }
  return -1;
}

}  // namespace pm::bench
