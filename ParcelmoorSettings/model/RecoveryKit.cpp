#include "RecoveryKit.h"

#include <QCoreApplication>
#include <QStringList>

#include "core/AccountState.h"
#include "model/GroupedText.h"
#include "platform/AtomicFile.h"

namespace pm::settings {

namespace {

QString tr(const char* text) {
  return QCoreApplication::translate("RecoveryKit", text);
}

}  // namespace

QString recoveryKitText(const QString& syncKey, const AccountState& account) {
  const bool named = account.kind() == AccountState::Case::signedIn && !account.email().isEmpty();
  const QString accountText = named ? account.email() : tr("Your Parcelmoor account");
  const QStringList lines{
      tr("Parcelmoor Recovery Kit"),
      QString(),
      tr("Account: %1").arg(accountText),
      QString(),
      tr("Sync key:"),
      groupedText(syncKey, 4),
      QString(),
      tr("If you lose every device that syncs, sign in on a new one, turn sync on, and choose \"Use a recovery "
         "kit\". This key unlocks your synced apps \u2014 we cannot recover it for you, so keep this file "
         "somewhere safe."),
  };
  return lines.join(QLatin1Char('\n'));
}

bool writeRecoveryKit(const QString& path, const QString& text, QString* error) {
  return writeFileAtomically(path, text.toUtf8(), QFileDevice::ReadOwner | QFileDevice::WriteOwner, error);
}

}  // namespace pm::settings
