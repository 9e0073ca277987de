#pragma once

#include <QWidget>

#include "core/UploaderConfig.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace pm::settings {

// The editor's section for Google Drive, OneDrive and Dropbox: the account the connection uses with the
// button that (re)connects it in the browser, the folder, and what the service lets Parcelmoor see. It
// edits `config`'s folder in place; connecting is the editor's.
class AccountConnectionSection final : public QWidget {
  Q_OBJECT

 public:
  AccountConnectionSection(UploaderConfig& config, QWidget* parent = nullptr);

  // Shows the connection's current account and the editor's waiting state.
  void refresh(bool connecting);

  QLabel* accountLabel() const { return account_; }
  QPushButton* connectButton() const { return connect_; }
  QLineEdit* folderField() const { return folder_; }

  static QString folderHint(UploaderConfig::Kind kind);
  static QString note(UploaderConfig::Kind kind);
  // "Waiting for your browser…", "Change…" or "Connect…".
  static QString buttonTitle(bool connecting, const QString& account);

 Q_SIGNALS:
  void connectRequested();

 private:
  UploaderConfig& config_;
  QLabel* account_;
  QPushButton* connect_;
  QLineEdit* folder_;
};

}  // namespace pm::settings
