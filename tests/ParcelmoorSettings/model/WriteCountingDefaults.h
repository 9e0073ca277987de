#pragma once

#include <QStringList>

#include "platform/SharedDefaults.h"

namespace pm::test {

// A suite in memory that remembers which keys were written, in order, so a test can tell how many writes
// an operation made and to what.
class WriteCountingDefaults final : public SharedDefaults {
 public:
  QVariant object(const QString& key) const override { return suite_.object(key); }
  std::optional<QVariant> read(const QString& key) const override { return suite_.read(key); }
  bool set(const QString& key, const QVariant& value) override {
    written_.append(key);
    return suite_.set(key, value);
  }
  QVariant update(const QString& key, const Change& change, bool* ok = nullptr) override {
    written_.append(key);
    return suite_.update(key, change, ok);
  }

  const QStringList& written() const { return written_; }
  void clearWritten() { written_.clear(); }

 private:
  MemorySharedDefaults suite_;
  QStringList written_;
};

}  // namespace pm::test
