#pragma once

#include <QString>

#include <functional>

#include "views/PairingSheet.h"

namespace pm::settings {

// Shown on the computer that offers pairing: the code, grouped by three, for the user to type on the new
// device, while the agent waits for it.
class SyncCodeSheet final : public PairingSheet {
  Q_OBJECT

 public:
  SyncCodeSheet(QString code, std::function<void()> onCancel, QWidget* parent = nullptr);

  const QString& code() const { return code_; }

 private:
  QString code_;
};

}  // namespace pm::settings
