#pragma once

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <QString>

#include <optional>

namespace pm {

// Generic password items addressed by service and account. Synchronous; callable from any thread.
class Keychain {
 public:
  enum class Status { Found, NotFound, Failed };
  struct Lookup {
    Status status = Status::NotFound;
    QByteArray data;
  };

  virtual ~Keychain() = default;

  virtual Lookup find(const QString& service, const QString& account) const = 0;
  // Replaces any item of the same service and account in one step. False when nothing was stored.
  virtual bool store(const QString& service, const QString& account, const QByteArray& data) = 0;
  // True when no such item exists afterwards.
  virtual bool remove(const QString& service, const QString& account) = 0;

  // The data, or nothing when absent or unreadable (a failure is logged by the implementation).
  std::optional<QByteArray> load(const QString& service, const QString& account) const {
    Lookup found = find(service, account);
    if (found.status != Status::Found) return std::nullopt;
    return std::move(found.data);
  }
};

class SecretServiceLibrary;

// The Secret Service (gnome-keyring, KWallet). Reads of unlocked items go straight over the session
// bus (findOnSecretServiceBus); everything else goes through libsecret. There is no plaintext fallback:
// when no Secret Service answers, or libsecret cannot be loaded where it is needed, the call fails with a
// logged error.
class SecretServiceKeychain final : public Keychain {
 public:
  // Through the programs' shared libsecret (SecretServiceLibrary::system()).
  SecretServiceKeychain();
  explicit SecretServiceKeychain(SecretServiceLibrary& library);

  Lookup find(const QString& service, const QString& account) const override;
  bool store(const QString& service, const QString& account, const QByteArray& data) override;
  bool remove(const QString& service, const QString& account) override;

 private:
  SecretServiceLibrary* library_;
};

// Items in memory: for unit tests, and to make a failing keychain on purpose.
class MemoryKeychain final : public Keychain {
 public:
  Lookup find(const QString& service, const QString& account) const override;
  bool store(const QString& service, const QString& account, const QByteArray& data) override;
  bool remove(const QString& service, const QString& account) override;

  void setFailing(bool failing);
  int itemCount() const;
  // How often the item was looked up (found or not), so a test can see what a flow costs the keychain.
  int readCount(const QString& service, const QString& account) const;

 private:
  mutable QMutex mutex_;
  QHash<QString, QByteArray> items_;
  mutable QHash<QString, int> reads_;
  bool failing_ = false;
};

}  // namespace pm
