#include "panel/HoveredItemLabel.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace pm {

namespace {

constexpr int kPadding = 10;
constexpr int kSpacing = 6;

// Qt 6.4 offers no tabular-figures switch, so equal-width digits are laid out by hand: every character
// gets the widest digit's advance and a changing percentage does not make the capsule twitch.
int digitCell(const QFontMetrics& metrics) {
  int widest = 0;
  for (char digit = '0'; digit <= '9'; ++digit) widest = std::max(widest, metrics.horizontalAdvance(QLatin1Char(digit)));
  return widest;
}

int percentTextWidth(const QFontMetrics& metrics, const QString& text) {
  int width = 0;
  for (QChar character : text) width += character.isDigit() ? digitCell(metrics) : metrics.horizontalAdvance(character);
  return width;
}

}  // namespace

HoveredItemLabel::HoveredItemLabel(QWidget* parent) : QWidget(parent), percentFade_(1, this) {
  QFont labelFont = font();
  labelFont.setPixelSize(12);
  labelFont.setWeight(QFont::Medium);
  setFont(labelFont);
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAttribute(Qt::WA_TranslucentBackground);
}

void HoveredItemLabel::setItem(const HoveredItem& item) {
  if (item == item_) return;
  if (item_.progress && item.progress && percentText(*item_.progress) != percentText(*item.progress)) {
    fadingPercent_ = percentText(*item_.progress);
    percentFade_.jumpTo(0);
    percentFade_.animateTo(1, std::chrono::milliseconds(250));
  } else if (!item.progress) {
    percentFade_.jumpTo(1);
  }
  item_ = item;
  resize(sizeHint());
  updateGeometry();
  update();
}

QString HoveredItemLabel::percentText(double fraction) {
  return QString::number(qint64(std::round(fraction * 100.0))) + QLatin1Char('%');
}

int HoveredItemLabel::percentWidth() const {
  if (!item_.progress) return 0;
  return percentTextWidth(QFontMetrics(font()), percentText(*item_.progress));
}

QString HoveredItemLabel::shownName() const {
  const int percent = item_.progress ? kSpacing + percentWidth() : 0;
  const int room = kMaximumWidth - 2 * kPadding - percent;
  return QFontMetrics(font()).elidedText(item_.name, Qt::ElideMiddle, room);
}

QSize HoveredItemLabel::sizeHint() const {
  const int percent = item_.progress ? kSpacing + percentWidth() : 0;
  const int name = QFontMetrics(font()).horizontalAdvance(shownName());
  return {std::min(kMaximumWidth, 2 * kPadding + name + percent), kHeight};
}

void HoveredItemLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF capsule = rect();
  QPainterPath path;
  path.addRoundedRect(capsule, capsule.height() / 2, capsule.height() / 2);
  painter.fillPath(path, QColor::fromRgbF(0, 0, 0, 0.85f));

  const int percent = item_.progress ? percentWidth() : 0;
  const QRect text = rect().adjusted(kPadding, 0, -kPadding, 0);
  painter.setPen(Qt::white);
  const QRect nameBox = text.adjusted(0, 0, item_.progress ? -(kSpacing + percent) : 0, 0);
  painter.drawText(nameBox, Qt::AlignLeft | Qt::AlignVCenter, shownName());

  if (item_.progress) {
    const QRect box(text.right() + 1 - percent, text.top(), percent, text.height());
    const double fade = percentFade_.value();
    if (fade < 1) drawPercent(painter, box, fadingPercent_, 1 - fade);
    drawPercent(painter, box, percentText(*item_.progress), fade);
  }
}

void HoveredItemLabel::drawPercent(QPainter& painter, const QRect& box, const QString& text, double opacity) const {
  const QFontMetrics metrics(font());
  const int cell = digitCell(metrics);
  painter.setPen(QColor::fromRgbF(1, 1, 1, float(0.7 * opacity)));
  // Right-aligned in the box, so an outgoing "9%" and an incoming "10%" share their last digit's place.
  int x = box.right() + 1 - percentTextWidth(metrics, text);
  for (QChar character : text) {
    const int advance = character.isDigit() ? cell : metrics.horizontalAdvance(character);
    painter.drawText(QRect(x, box.top(), advance, box.height()), Qt::AlignCenter, QString(character));
    x += advance;
  }
}

}  // namespace pm
