#pragma once

#include <QPointer>
#include <QWidget>

#include "core/UploaderConfig.h"
#include "views/ConnectionEditor.h"
#include "views/ConnectionServices.h"

#include <QMessageBox>
class QStackedWidget;
class QVBoxLayout;

namespace pm::settings {

class AppSettings;
class ConnectionsPageModel;

// The Apps page: the connections in "File Sharing" and "Uploaders", each with its last test result and a
// menu to edit, test or delete it, a button to add one, and an empty state that asks the user to sign in
// or subscribe.
class ConnectionsSettingsView final : public QWidget {
  Q_OBJECT

 public:
  ConnectionsSettingsView(AppSettings& settings, ConnectionServices services, QWidget* parent = nullptr);

  ConnectionsPageModel& model() const { return *model_; }

  // Opens the editor sheet on `draft`.
  void edit(const UploaderConfig& draft);
  void add();
  // Asks before deleting.
  void confirmDelete(const UploaderConfig& config);

  ConnectionEditor* editor() const { return editor_; }
  QMessageBox* deleteAlert() const { return deleteAlert_; }

 private:
  void rebuild();
  QWidget* buildRow(const UploaderConfig& config);
  QWidget* buildEmptyState();

  const ConnectionServices services_;
  ConnectionsPageModel* model_;
  QStackedWidget* content_;
  QWidget* list_ = nullptr;
  QPointer<ConnectionEditor> editor_;
  QPointer<QMessageBox> deleteAlert_;
};

}  // namespace pm::settings
