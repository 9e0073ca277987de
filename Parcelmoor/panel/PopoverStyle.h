#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

class QLabel;

namespace pm {

// The text styles the popovers share: a bold headline and body text in the label colour at full, secondary
// (half) and tertiary (about a quarter) strength.
enum class TextEmphasis { primary, secondary, tertiary };

QFont headlineFont(const QFont& base);
QFont bodyFont(const QFont& base);
void styleLabel(QLabel& label, TextEmphasis emphasis);

}  // namespace pm
