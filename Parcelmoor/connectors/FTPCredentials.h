#pragma once

#include <QByteArray>
#include <QString>
#include <QUuid>

#include <optional>

namespace pm {

class Keychain;

// The login of one FTP connection, kept only in the keychain (service "com.wrenfold.Parcelmoor.ftp",
// account = the connection id as upper-case UUID text) as JSON {"username", "password"}. The settings
// program and sync read and write the same item.
struct FTPCredentials {
  QString username;
  QString password;

  bool operator==(const FTPCredentials&) const = default;

  // Both fields filled: what a login needs.
  bool isComplete() const { return !username.isEmpty() && !password.isEmpty(); }

  QByteArray toJson() const;
  // Both keys required strings; other keys ignored.
  static std::optional<FTPCredentials> fromJson(const QByteArray& json);

  static QString keychainService();
  static QString keychainAccount(const QUuid& connectionId);

  // Nothing when absent, unreadable or not the JSON above.
  static std::optional<FTPCredentials> load(const Keychain& keychain, const QUuid& connectionId);
  // Nothing, or an empty user name or password, only deletes the item (and returns true): a connection
  // never keeps half a login. Otherwise replaces the item and returns whether it was stored.
  static bool save(Keychain& keychain, const std::optional<FTPCredentials>& credentials, const QUuid& connectionId);
};

}  // namespace pm
