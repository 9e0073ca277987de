#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

class QLabel;
class QPushButton;

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
// `colour` as text on `ground`: as it is where it reads well there, else moved towards white on a dark
// ground or black on a light one until it does, keeping its hue.
QColor readableOn(const QColor& colour, const QColor& ground);
// Gives `button` text of `colour` made readable on the ground its style draws it on, which is not the
// palette's button colour: styles shade and lighten it.
void setReadableButtonText(QPushButton& button, const QColor& colour);

}  // namespace pm
