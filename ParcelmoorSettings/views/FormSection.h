#pragma once

#include <QFrame>
#include <QList>
#include <QString>

class QLabel;
class QVBoxLayout;

namespace pm::settings {

// One section of a grouped form: an optional header above a rounded box whose rows are divided by thin
// lines. A row is a leading label (or any widget) and trailing content; hidden rows take their divider
// with them.
class FormSection final : public QWidget {
  Q_OBJECT

 public:
  explicit FormSection(const QString& header = {}, QWidget* parent = nullptr);

  // Adds a row and returns it; `trailing` may be null.
  QWidget* addRow(QWidget* leading, QWidget* trailing);
  QWidget* addRow(const QString& label, QWidget* trailing);
  void setRowVisible(QWidget* row, bool visible);

 private:
  void updateDividers();

  QFrame* box_;
  QVBoxLayout* rows_;
  QList<QWidget*> rowWidgets_;
  QList<QFrame*> dividers_;  // dividers_[i] sits above rowWidgets_[i + 1]
};

}  // namespace pm::settings
