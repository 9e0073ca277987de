#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

class QLabel;

namespace pm {

// The text styles the popovers share: a bold headline and body text in the label colour at full, secondary
// (half) and tertiary (about a quarter) strength, each made stronger where the ground would leave it less
// than 4.5:1 contrast.
enum class TextEmphasis { primary, secondary, tertiary };

QFont headlineFont(const QFont& base);
QFont bodyFont(const QFont& base);
void styleLabel(QLabel& label, TextEmphasis emphasis);
// The contrast ratio of two colours, from 1 (the same) to 21 (black on white).
double contrastRatio(const QColor& first, const QColor& second);

}  // namespace pm
