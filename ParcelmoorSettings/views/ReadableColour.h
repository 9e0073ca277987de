#pragma once

#include <QColor>

namespace pm::settings {

// The contrast a text needs against its background to be read comfortably (WCAG AA for body text).
inline constexpr double kTextContrast = 4.5;
// What an outline or a symbol that the user must see needs against what surrounds it.
inline constexpr double kGraphicContrast = 3.0;

// The relative luminance of a colour, 0 for black to 1 for white (its alpha is ignored).
double relativeLuminance(const QColor& colour);
// (L1 + 0.05) / (L2 + 0.05) with the lighter over the darker: 1 for equal colours, 21 for black on white.
double contrastRatio(const QColor& a, const QColor& b);
// `colour` drawn over `background`: a translucent colour mixed as the screen shows it.
QColor composited(const QColor& colour, const QColor& background);
// `hue` as close to itself as it can stay while reaching `ratio` against `background`: same hue and
// saturation, darker on a light background and lighter on a dark one.
QColor readableOn(const QColor& hue, const QColor& background, double ratio = kTextContrast);

}  // namespace pm::settings
