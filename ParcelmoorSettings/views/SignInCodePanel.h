#pragma once

#include <QUrl>
#include <QWidget>

#include <functional>

#include "core/AccountState.h"

class QLabel;
class QPushButton;

namespace pm::settings {

// While a sign-in waits: the address to open and the code to check there, both selectable, and a button
// that opens the page, so the sign-in can be finished from any browser when none opened by itself.
class SignInCodePanel final : public QWidget {
  Q_OBJECT

 public:
  // `openUrl` opens a web page in the user's browser.
  explicit SignInCodePanel(std::function<void(const QUrl&)> openUrl, QWidget* parent = nullptr);

  void showCode(const AccountState::SignInCode& code);
  // The page the button opens: the one with the code filled in, else the plain address.
  QUrl page() const;
  QLabel* addressLabel() const { return address_; }
  QLabel* codeLabel() const { return code_; }
  QPushButton* openButton() const { return open_; }

 private:
  std::function<void(const QUrl&)> openUrl_;
  AccountState::SignInCode shown_;
  QLabel* address_;
  QLabel* code_;
  QPushButton* open_;
};

}  // namespace pm::settings
