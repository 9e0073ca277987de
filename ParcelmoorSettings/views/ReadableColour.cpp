#include "ReadableColour.h"

#include <algorithm>
#include <cmath>

namespace pm::settings {

namespace {

double linear(double channel) {
  return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

}  // namespace

double relativeLuminance(const QColor& colour) {
  const QColor rgb = colour.toRgb();
  return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) + 0.0722 * linear(rgb.blueF());
}

double contrastRatio(const QColor& a, const QColor& b) {
  const double first = relativeLuminance(a);
  const double second = relativeLuminance(b);
  return (std::max(first, second) + 0.05) / (std::min(first, second) + 0.05);
}

QColor composited(const QColor& colour, const QColor& background) {
  const QColor top = colour.toRgb();
  const QColor bottom = background.toRgb();
  const double alpha = top.alphaF();
  auto mix = [alpha](double over, double under) { return over * alpha + under * (1.0 - alpha); };
  return QColor::fromRgbF(float(mix(top.redF(), bottom.redF())), float(mix(top.greenF(), bottom.greenF())),
                          float(mix(top.blueF(), bottom.blueF())));
}

QColor readableOn(const QColor& hue, const QColor& background, double ratio) {
  const QColor opaqueBackground = composited(background, Qt::white);
  QColor candidate = composited(hue, opaqueBackground);
  if (contrastRatio(candidate, opaqueBackground) >= ratio) return candidate;
  // Away from the background's side: a light background asks for a darker text, a dark one for a lighter.
  const bool darken = contrastRatio(Qt::black, opaqueBackground) >= contrastRatio(Qt::white, opaqueBackground);
  float h = 0, s = 0, l = 0, a = 0;
  candidate.getHslF(&h, &s, &l, &a);
  constexpr float kStep = 0.005f;
  while (contrastRatio(candidate, opaqueBackground) < ratio) {
    l = darken ? l - kStep : l + kStep;
    if (l <= 0.0f || l >= 1.0f) return darken ? QColor(Qt::black) : QColor(Qt::white);
    candidate = QColor::fromHslF(h, s, l).toRgb();
  }
  return candidate;
}

}  // namespace pm::settings
