#pragma once

#include <QPointer>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <optional>

#include "core/AccountState.h"
#include "sync/SyncState.h"
#include "views/SignInLoadingWindow.h"
#include "views/SyncCodeSheet.h"
#include "views/SyncJoinSheet.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QToolButton;

namespace pm {
class Keychain;
class SharedDefaults;
class Signals;
}  // namespace pm

namespace pm::settings {

class FormSection;
class SignInCodePanel;
class Spinner;
class SyncTile;

// The account with the service and the state of settings sync. Everything here belongs to the agent: the
// page asks for it by signal (after writing a typed pairing code or sync key where the agent reads it) and
// shows only what the agent publishes, read again on "accountChanged" and "syncChanged". The pairing sheets
// come and go with the published sync state, never with a button of their own.
class AccountSettingsView final : public QWidget {
  Q_OBJECT

 public:
  // What the page reaches outside the suite, the signals and the keychain; each left empty takes the
  // desktop's own.
  struct Environment {
    // Opens a web page in the user's browser.
    std::function<void(const QUrl&)> openUrl;
    // The service's base URL, for its pricing page.
    std::optional<QUrl> serviceBase;
    // Asks the user where to save a file, suggesting `fileName`; nothing when the user cancels.
    std::function<std::optional<QString>(QWidget* parent, const QString& fileName)> chooseSaveLocation;
    // Tells the user that something they asked for did not happen.
    std::function<void(QWidget* parent, const QString& message)> reportError;
    // How the sign-in loading window waits.
    SignInLoadingWindow::Schedule schedule;
  };

  AccountSettingsView(SharedDefaults& defaults, Signals& signals, Keychain& keychain, Environment environment = {},
                      QWidget* parent = nullptr);
  ~AccountSettingsView() override;

  const AccountState& accountState() const { return state_; }
  const SyncState& syncState() const { return sync_; }
  bool isSignInLoading() const { return loading_->isOpen(); }
  // What the sync switch shows: whether sync is on or on its way there, as far as the signed-in user is
  // concerned.
  bool syncToggleValue() const;

  // The sheet up now, if any.
  SyncCodeSheet* codeSheet() const { return codeSheet_; }
  SyncJoinSheet* joinSheet() const { return joinSheet_; }

  // Brings the sheets in line with the sync state: the code sheet while a code is offered (a new one for a
  // new code, the open one left alone for the same code), the join sheet while this computer pairs.
  void applySyncToSheets();
  // "Save Recovery Kit…": asks where, then writes the kit with the stored sync key. Nothing without a key.
  void saveRecoveryKit();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void buildAccountSection();
  void buildSyncSection();
  QPushButton* makeButton(const QString& text, const char* objectName);
  void requestSignIn();
  void accountChanged();
  void syncChanged();
  void showAccount();
  void showSync();
  void post(const char* signal);

  SharedDefaults& defaults_;
  Signals& signals_;
  Keychain& keychain_;
  Environment environment_;

  AccountState state_;
  SyncState sync_;
  SignInLoadingWindow* loading_;
  QPointer<SyncCodeSheet> codeSheet_;
  QPointer<SyncJoinSheet> joinSheet_;

  FormSection* accountSection_ = nullptr;
  QLabel* accountStatus_ = nullptr;
  QPushButton* signingIn_ = nullptr;
  QPushButton* signIn_ = nullptr;
  QPushButton* signOut_ = nullptr;
  QWidget* signInCodeRow_ = nullptr;
  SignInCodePanel* signInCode_ = nullptr;
  QWidget* subscriptionRow_ = nullptr;
  QLabel* subscriptionStatus_ = nullptr;
  QPushButton* billing_ = nullptr;
  QPushButton* subscribe_ = nullptr;

  FormSection* syncSection_ = nullptr;
  SyncTile* syncTile_ = nullptr;
  QLabel* syncSentence_ = nullptr;
  Spinner* syncSpinner_ = nullptr;
  QCheckBox* syncToggle_ = nullptr;
  QToolButton* syncInfo_ = nullptr;
  QWidget* advancedRow_ = nullptr;
};

}  // namespace pm::settings
