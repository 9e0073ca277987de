#pragma once

#include <QString>
#include <QWidget>

class QVBoxLayout;

namespace pm::settings {

class FormBox;

// One section of a grouped form: an optional header above a rounded box whose rows are divided by thin
// lines. A row is a leading label (or any widget) and trailing content; hidden rows take their divider
// with them. A row's widget carries the property "formRow", so a check of the texts knows what a row is.
class FormSection final : public QWidget {
  Q_OBJECT

 public:
  explicit FormSection(const QString& header = {}, QWidget* parent = nullptr);

  // Adds a row and returns it; `trailing` may be null.
  QWidget* addRow(QWidget* leading, QWidget* trailing);
  QWidget* addRow(const QString& label, QWidget* trailing);
  void setRowVisible(QWidget* row, bool visible);

 private:
  FormBox* box_;
  QVBoxLayout* rows_;
};

}  // namespace pm::settings
