#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <optional>

namespace pm::test {

// "PMRS1" written and read straight from its published layout, byte by byte, to hold the production code
// to the format rather than to itself.
QByteArray sealByHand(const QByteArray& plaintext, const QString& key, quint32 rounds, const QByteArray& salt,
                      const QByteArray& nonce);
// The plaintext, or nothing when the layout is wrong or authentication fails.
std::optional<QByteArray> openByHand(const QByteArray& envelope, const QString& key);

}  // namespace pm::test
