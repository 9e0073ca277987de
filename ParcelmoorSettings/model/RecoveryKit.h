#pragma once

#include <QString>

namespace pm {
class AccountState;
}

namespace pm::settings {

// The suggested name of the file the user saves.
inline constexpr char kRecoveryKitFileName[] = "Parcelmoor Recovery Kit.txt";

// The eight lines of the kit, joined with line feeds (none after the last): a title, the account (the
// signed-in e-mail, else "Your Parcelmoor account"), the sync key in groups of four and how to use it.
QString recoveryKitText(const QString& syncKey, const AccountState& account);

// Writes the kit's text in UTF-8 to `path` in one step, replacing any file there. The kit holds the sync
// key in clear, so the file is readable by its owner only, from its first byte. False with the reason in
// `error` when nothing was written; an existing file then stays as it was.
bool writeRecoveryKit(const QString& path, const QString& text, QString* error = nullptr);

}  // namespace pm::settings
