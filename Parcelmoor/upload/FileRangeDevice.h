#pragma once

#include <QFile>
#include <QIODevice>
#include <QString>

namespace pm {

// A read-only, random-access view of `length` bytes of a file from `offset` on: an upload body for one
// part of a larger file, read straight from the file as the socket drains, without a copy. Its size is
// the range's length, so an HTTP client sends it with that Content-Length.
//
// The file is opened by open() and must hold the whole range then; a file that ends early while the range
// is read (it shrank meanwhile) makes reading fail instead of sending fewer bytes than announced.
class FileRangeDevice final : public QIODevice {
  Q_OBJECT

 public:
  FileRangeDevice(const QString& filePath, qint64 offset, qint64 length, QObject* parent = nullptr);
  ~FileRangeDevice() override;

  // Only QIODevice::ReadOnly is accepted.
  bool open(OpenMode mode) override;
  void close() override;
  bool isSequential() const override { return false; }
  qint64 size() const override { return length_; }
  bool seek(qint64 position) override;

  // Whether reading stopped because the file ended before the range did.
  bool endedEarly() const { return endedEarly_; }

 protected:
  qint64 readData(char* data, qint64 maxSize) override;
  qint64 writeData(const char* data, qint64 maxSize) override;

 private:
  QFile file_;
  const qint64 offset_;
  const qint64 length_;
  bool endedEarly_ = false;
};

}  // namespace pm
