#pragma once

#include <QString>

#include <functional>

#include "views/PairingSheet.h"

class QLineEdit;
class QWidget;

namespace pm::settings {

class Spinner;

// Shown on the computer that joins: the user types the pairing code another device shows or, with no
// device left to show one, the sync key from a recovery kit. Only a text of the right length once
// normalised can be submitted, and the sheet hands over the normalised text, never what was typed.
class SyncJoinSheet final : public PairingSheet {
  Q_OBJECT

 public:
  using Submit = std::function<void(const QString&)>;

  // `joining`: a code is submitted and the agent is pairing; the input is locked meanwhile.
  SyncJoinSheet(bool joining, Submit onSubmit, Submit onRecover, std::function<void()> onCancel,
                QWidget* parent = nullptr);

  bool isJoining() const { return joining_; }
  // The agent's state moved on while the sheet stays up: what was typed stays.
  void setJoining(bool joining);

  bool isRecovering() const { return recovering_; }
  // Switches between code and recovery-key mode, emptying the field.
  void setRecovering(bool recovering);

  // The typed text normalised has exactly the length of a sync key (key mode) or a pairing code.
  bool isReady() const;
  // Hands the normalised text to the callback of the mode; nothing unless ready.
  void submit();

 private:
  void showMode();
  void showReadiness();

  bool joining_;
  bool recovering_ = false;
  Submit onSubmit_;
  Submit onRecover_;

  QLabel* title_ = nullptr;
  QLabel* sentence_ = nullptr;
  QLineEdit* field_ = nullptr;
  QWidget* waiting_ = nullptr;
  QPushButton* modeSwitch_ = nullptr;
  QPushButton* join_ = nullptr;
};

}  // namespace pm::settings
