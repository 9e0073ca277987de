#pragma once

#include <QHash>
#include <QList>
#include <QPointer>
#include <QUuid>
#include <QWidget>

#include <optional>

#include "core/UploaderConfig.h"
#include "views/ConnectionEditor.h"
#include "views/ConnectionServices.h"
#include "views/ConnectionsPageModel.h"

#include <QMessageBox>
class QScrollArea;
class QStackedWidget;
class QVBoxLayout;

namespace pm::settings {

class AppSettings;
class ConnectionRow;
class ConnectionTestBadge;

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
  // What the list shows: each visible connection with whether it has what it needs, or the empty state's
  // offer.
  struct Shown {
    struct Row {
      UploaderConfig config;
      bool configured = false;
      bool operator==(const Row&) const = default;
    };
    QList<Row> rows;
    std::optional<ConnectionsPageModel::EmptyAction> empty;
    bool operator==(const Shown&) const = default;
  };
  struct RowWidgets {
    QPointer<ConnectionRow> row;
    QPointer<ConnectionTestBadge> badge;
  };

  Shown wanted() const;
  // Builds the list again when what it would show differs from what it shows.
  void refresh();
  // A test result changes its own row only.
  void showTest(const QUuid& id);
  void rebuild();
  QWidget* buildRow(const UploaderConfig& config);
  QWidget* buildEmptyState();

  const ConnectionServices services_;
  ConnectionsPageModel* model_;
  QStackedWidget* content_;
  QWidget* list_ = nullptr;
  QScrollArea* scroll_ = nullptr;  // made with the first list, kept while the page lives
  QWidget* empty_ = nullptr;
  std::optional<Shown> shown_;
  QHash<QUuid, RowWidgets> rows_;
  QPointer<ConnectionEditor> editor_;
  QPointer<QMessageBox> deleteAlert_;
};

}  // namespace pm::settings
