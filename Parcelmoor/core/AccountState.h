#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace pm {

class SharedDefaults;
class Signals;

// The one published fact about the user's account. The agent's account store decides every transition and
// saves it; the settings program only reads it.
class AccountState {
 public:
  enum class Case { signedOut, waiting, signedIn, failed };
  // keychain: the sign-in was approved but the session token could not be kept, so it did not happen.
  enum class Failure { denied, expired, network, keychain };
  // What a waiting sign-in asks of the user: to open `verificationUri` in any browser and check (or
  // type) `userCode` there; `verificationUriComplete` opens the page with the code filled in. Empty when
  // the agent that published the state did not say.
  struct SignInCode {
    QString userCode;
    QString verificationUri;
    QString verificationUriComplete;
    bool operator==(const SignInCode&) const = default;
  };

  static AccountState signedOut() { return AccountState(Case::signedOut); }
  static AccountState waiting(SignInCode code = {});
  static AccountState signedIn(QString email, bool subscribed);
  static AccountState failed(Failure failure);

  Case kind() const { return kind_; }
  // Meaningful for signedIn only.
  const QString& email() const { return email_; }
  bool subscribed() const { return subscribed_; }
  // Meaningful for failed only.
  Failure failure() const { return failure_; }
  // Meaningful for waiting only.
  const SignInCode& signInCode() const { return code_; }

  bool operator==(const AccountState& other) const;

  // {"signedOut":{}}, {"waiting":{}}, {"signedIn":{"email":…,"subscribed":…}}, {"failed":{"_0":"expired"}};
  // a waiting state with a code carries "userCode", "verificationUri" and "verificationUriComplete", which
  // a reader that does not know them passes over.
  QByteArray toJson() const;
  // Nothing when the document is not exactly one of the four shapes; `error` says why.
  static std::optional<AccountState> fromJson(const QByteArray& json, QString* error = nullptr);

  // Stores the state under "accountState", then posts "accountChanged": a reader woken by the signal
  // always finds the new state.
  void save(SharedDefaults& defaults, Signals& signals) const;
  // The stored state; signedOut when absent or unreadable.
  static AccountState load(const SharedDefaults& defaults);

 private:
  explicit AccountState(Case kind) : kind_(kind) {}

  Case kind_ = Case::signedOut;
  QString email_;
  bool subscribed_ = false;
  Failure failure_ = Failure::network;
  SignInCode code_;
};

QString failureRawValue(AccountState::Failure failure);
std::optional<AccountState::Failure> failureFromRawValue(const QString& raw);

// What the user is told of failed(keychain): the account page shows it and the agent logs it.
QString keychainFailureMessage();

}  // namespace pm
