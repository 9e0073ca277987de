#pragma once

#include <QByteArray>
#include <QString>
#include <QUuid>

#include <optional>

#include "core/Identifiers.h"

namespace pm {

class Keychain;

// The key pair of one S3 or R2 connection, kept only in the keychain (service
// "com.wrenfold.Parcelmoor.s3", account = the connection id as upper-case UUID text), never in the suite.
struct S3Credentials {
  QString accessKeyID;
  QString secretAccessKey;

  bool operator==(const S3Credentials&) const = default;

  QByteArray toJson() const;
  // Both keys required strings; other keys ignored.
  static std::optional<S3Credentials> fromJson(const QByteArray& json);

  static QString keychainService();
  static QString keychainAccount(const QUuid& connectionId);

  // Nothing when absent, unreadable or not the JSON above; empty fields are accepted.
  static std::optional<S3Credentials> load(const Keychain& keychain, const QUuid& connectionId);
  // Nothing, or a pair with an empty field, deletes the item and returns true. Otherwise replaces the item
  // and returns whether it was stored.
  static bool save(Keychain& keychain, const std::optional<S3Credentials>& credentials, const QUuid& connectionId);
};

}  // namespace pm
