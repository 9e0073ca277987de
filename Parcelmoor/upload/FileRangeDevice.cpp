#include "FileRangeDevice.h"

#include <algorithm>

namespace pm {

FileRangeDevice::FileRangeDevice(const QString& filePath, qint64 offset, qint64 length, QObject* parent)
    : QIODevice(parent), file_(filePath), offset_(std::max<qint64>(offset, 0)), length_(std::max<qint64>(length, 0)) {}

FileRangeDevice::~FileRangeDevice() = default;

bool FileRangeDevice::open(OpenMode mode) {
  if ((mode & ~QIODevice::Unbuffered) != QIODevice::ReadOnly) {
    setErrorString(tr("A file range can only be read."));
    return false;
  }
  endedEarly_ = false;
  if (!file_.open(QIODevice::ReadOnly)) {
    setErrorString(file_.errorString());
    return false;
  }
  if (file_.size() < offset_ + length_ || !file_.seek(offset_)) {
    endedEarly_ = true;
    setErrorString(tr("The file is shorter than the range to send."));
    file_.close();
    return false;
  }
  // Unbuffered: the HTTP stack keeps its own buffer, and a second one here would only copy every byte.
  return QIODevice::open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

void FileRangeDevice::close() {
  QIODevice::close();
  file_.close();
}

bool FileRangeDevice::seek(qint64 position) {
  if (position < 0 || position > length_ || !file_.seek(offset_ + position)) return false;
  return QIODevice::seek(position);
}

qint64 FileRangeDevice::readData(char* data, qint64 maxSize) {
  const qint64 remaining = length_ - pos();
  if (remaining <= 0) return 0;
  const qint64 read = file_.read(data, std::min(maxSize, remaining));
  if (read < 0) {
    setErrorString(file_.errorString());
    return -1;
  }
  if (read == 0) {
    // The file shrank since it was opened: the bytes announced can no longer be sent.
    endedEarly_ = true;
    setErrorString(tr("The file is shorter than the range to send."));
    return -1;
  }
  return read;
}

qint64 FileRangeDevice::writeData(const char* /*data*/, qint64 /*maxSize*/) { return -1; }

}  // namespace pm
