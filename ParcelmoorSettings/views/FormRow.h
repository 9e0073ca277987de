#pragma once

#include <QString>
#include <QWidget>

namespace pm::settings {

// A labelled form row with a hint under it: the title and the content side by side, the hint always
// shown in small secondary text.
class FormRow final : public QWidget {
  Q_OBJECT

 public:
  FormRow(const QString& title, const QString& hint, QWidget* content, QWidget* parent = nullptr);
};

// Small secondary text: hints, notes and captions of the editor and the Apps page, readable on the form's
// boxes in light and dark palettes.
void makeCaption(QWidget* label);

}  // namespace pm::settings
