#pragma once

#include <QSemaphore>
#include <QStringList>

#include "platform/Keychain.h"
#include "platform/SharedDefaults.h"

namespace pm {

// A suite in memory that records which keys were written, so a test can tell "rewritten with the same
// value" from "not written".
class RecordingDefaults final : public SharedDefaults {
 public:
  QVariant object(const QString& key) const override { return inner.object(key); }
  std::optional<QVariant> read(const QString& key) const override { return inner.read(key); }
  bool set(const QString& key, const QVariant& value) override {
    written.append(key);
    return inner.set(key, value);
  }
  QVariant update(const QString& key, const Change& change, bool* ok = nullptr) override {
    written.append(key);
    return inner.update(key, change, ok);
  }

  MemorySharedDefaults inner;
  QStringList written;
};

// A keychain in memory that records every store and removal as "service account", and can refuse to
// store items of one service (as a locked or full keyring would) while it still reads, or fail to read
// the items of one service.
class RecordingKeychain final : public Keychain {
 public:
  Lookup find(const QString& service, const QString& account) const override {
    // A keychain still connecting: each read waits for a permit (and gives up after the hang bound).
    if (readGate) readGate->tryAcquire(1, 30'000);
    if (service == unreadableService) return {Status::Failed, {}};
    return inner.find(service, account);
  }
  bool store(const QString& service, const QString& account, const QByteArray& data) override {
    written.append(service + QLatin1Char(' ') + account);
    if (service == refusedService) return false;
    return inner.store(service, account, data);
  }
  bool remove(const QString& service, const QString& account) override {
    written.append(service + QLatin1Char(' ') + account);
    return inner.remove(service, account);
  }

  MemoryKeychain inner;
  QStringList written;
  QString refusedService;
  QString unreadableService;
  QSemaphore* readGate = nullptr;
};

}  // namespace pm
