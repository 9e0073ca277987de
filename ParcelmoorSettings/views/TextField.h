#pragma once

#include <QString>

class QLineEdit;

namespace pm::settings {

// A text field of the editor's forms: named for assistive technology, its text at the trailing edge, wide
// enough for an address.
QLineEdit* textField(const QString& title, const char* objectName, const QString& text);

// Widens `field` so that its example (placeholder) shows whole.
void fitPlaceholder(QLineEdit* field);

}  // namespace pm::settings
