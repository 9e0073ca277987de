#include "TextAudit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGraphicsOpacityEffect>
#include <QHash>
#include <QImage>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionFrame>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QToolButton>

#include <algorithm>
#include <cmath>

#include "support/TestSupport.h"
#include "views/FlowLabel.h"
#include "views/FormBox.h"
#include "views/ReadableColour.h"

namespace pm::settings::test {

namespace {

QString describe(const QWidget* widget, const QString& text) {
  const QString name = widget->objectName().isEmpty() ? QString::fromLatin1(widget->metaObject()->className())
                                                      : widget->objectName();
  return QStringLiteral("%1 \"%2\"").arg(name, text.left(60));
}

bool isRich(const QLabel* label) {
  return label->textFormat() == Qt::RichText ||
         (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text()));
}

// The width the label's text takes on one line.
int oneLineWidth(const QLabel* label) {
  if (isRich(label)) {
    QTextDocument document;
    document.setDefaultFont(label->font());
    document.setDocumentMargin(0);
    document.setHtml(label->text());
    return int(std::ceil(document.idealWidth()));
  }
  return label->fontMetrics().size(0, label->text()).width();
}

// The width of the widest piece of the label's text that cannot be broken over two lines.
int widestWordWidth(const QLabel* label) {
  if (!isRich(label))
    return label->fontMetrics().boundingRect(QRect(0, 0, 1, 1 << 20), Qt::TextWordWrap, label->text()).width();
  QTextDocument document;
  document.setDefaultFont(label->font());
  document.setDocumentMargin(0);
  document.setHtml(label->text());
  document.setTextWidth(0);
  return int(std::ceil(document.idealWidth()));
}

int textRoom(const QLabel* label) {
  return label->contentsRect().width() - 2 * label->margin() - std::max(label->indent(), 0);
}

bool wraps(const QLabel* label) {
  if (!label->wordWrap()) return false;
  const bool breaksOnItsOwn = label->text().contains(QLatin1Char('\n')) ||
                              label->text().contains(QLatin1String("<br"), Qt::CaseInsensitive) ||
                              label->text().contains(QLatin1String("<p"), Qt::CaseInsensitive);
  return !breaksOnItsOwn && oneLineWidth(label) > textRoom(label) + 1;
}

// Leaves: what shows content of its own, whose children are part of it.
bool isLeaf(const QWidget* widget) {
  return qobject_cast<const QLabel*>(widget) || qobject_cast<const QAbstractButton*>(widget) ||
         qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QComboBox*>(widget) ||
         widget->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly).isEmpty();
}

// The span a leaf covers within `row`, in the row's coordinates: a label only where its text is.
std::pair<int, int> extent(const QWidget* leaf, const QWidget* row) {
  const QRect box(leaf->mapTo(row, QPoint(0, 0)), leaf->size());
  const auto* label = qobject_cast<const QLabel*>(leaf);
  if (!label || label->wordWrap() || label->text().isEmpty()) return {box.left(), box.right() + 1};
  const int used = std::min(oneLineWidth(label), box.width());
  if (label->alignment() & Qt::AlignRight) return {box.right() + 1 - used, box.right() + 1};
  if (label->alignment() & Qt::AlignHCenter) {
    const int left = box.left() + (box.width() - used) / 2;
    return {left, left + used};
  }
  return {box.left(), box.left() + used};
}

void collectLeaves(const QWidget* widget, QList<const QWidget*>& leaves) {
  for (const QWidget* child : widget->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
    if (child->isHidden() || child->isWindow()) continue;
    if (isLeaf(child)) leaves.append(child);
    else collectLeaves(child, leaves);
  }
}

// The room left in the label's row beside what the row shows at the label's height.
int freeRoom(const QLabel* label) {
  const QWidget* row = label->parentWidget();
  for (const QWidget* up = row; up && !up->isWindow(); up = up->parentWidget()) {
    if (up->property("formRow").toBool()) {
      row = up;
      break;
    }
  }
  QRect inside = row->contentsRect();
  if (row->layout()) inside = inside.marginsRemoved(row->layout()->contentsMargins());
  const QRect band(label->mapTo(row, QPoint(0, 0)), label->size());
  QList<const QWidget*> leaves;
  collectLeaves(row, leaves);
  QList<std::pair<int, int>> used;
  for (const QWidget* leaf : leaves) {
    const QRect box(leaf->mapTo(row, QPoint(0, 0)), leaf->size());
    if (box.bottom() < band.top() || box.top() > band.bottom()) continue;
    used.append(extent(leaf, row));
  }
  std::sort(used.begin(), used.end());
  int covered = 0;
  int reach = inside.left();
  for (const auto& [from, to] : used) {
    const int start = std::max(from, reach);
    const int end = std::min(to, inside.right() + 1);
    if (end > start) covered += end - start;
    reach = std::max(reach, end);
  }
  return inside.width() - covered;
}

double opacityOf(const QWidget* widget) {
  double opacity = 1.0;
  for (const QWidget* up = widget; up; up = up->parentWidget()) {
    if (const auto* effect = qobject_cast<const QGraphicsOpacityEffect*>(up->graphicsEffect()))
      opacity *= effect->opacity();
  }
  return opacity;
}

// What paints the ground under `widget`: the first of it and its ancestors that fills its own.
QColor paintedGround(const QWidget* widget) {
  for (const QWidget* up = widget; up; up = up->parentWidget()) {
    if (qobject_cast<const FormBox*>(up)) return up->palette().color(QPalette::Base);
    if (up->autoFillBackground() || up->isWindow()) return up->palette().color(up->backgroundRole());
  }
  return QApplication::palette().color(QPalette::Window);
}

// The colour most of the widget's area shows on screen: what its text is drawn on. A widget scrolled out
// of sight shows nothing on screen; its ground is then what paints under it.
QColor backgroundOf(const QWidget* widget, const QImage& screen, const QWidget& window) {
  if (widget->visibleRegion().boundingRect() != widget->rect()) return paintedGround(widget);
  const QRect area = QRect(widget->mapTo(&window, QPoint(0, 0)), widget->size()).intersected(screen.rect());
  QHash<QRgb, int> counts;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) ++counts[screen.pixel(x, y)];
  }
  QRgb most = 0;
  int best = -1;
  for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
    if (it.value() > best) {
      best = it.value();
      most = it.key();
    }
  }
  return QColor::fromRgb(most);
}

void auditLabel(const QLabel* label, const QImage& screen, const QWidget& window, QStringList& problems) {
  const QString text = label->text();
  if (text.trimmed().isEmpty()) return;
  const QString who = describe(label, isRich(label) ? QTextDocumentFragment::fromHtml(text).toPlainText() : text);
  if (!label->wordWrap() && oneLineWidth(label) > textRoom(label) + 1)
    problems.append(QStringLiteral("%1 is cut: %2 px wide for %3 px of text")
                        .arg(who)
                        .arg(textRoom(label))
                        .arg(oneLineWidth(label)));
  if (label->wordWrap() && label->height() + 1 < label->heightForWidth(label->width()))
    problems.append(QStringLiteral("%1 is cut: %2 px high for %3 px of text")
                        .arg(who)
                        .arg(label->height())
                        .arg(label->heightForWidth(label->width())));
  // A wrapped label narrower than one of its words cuts that word off at its edge.
  if (label->wordWrap() && widestWordWidth(label) > textRoom(label) + 1)
    problems.append(QStringLiteral("%1 is cut: %2 px wide for a word of %3 px")
                        .arg(who)
                        .arg(textRoom(label))
                        .arg(widestWordWidth(label)));
  if (wraps(label)) {
    const int wanted = oneLineWidth(label) - textRoom(label);
    const int room = freeRoom(label);
    if (room >= wanted)
      problems.append(QStringLiteral("%1 wraps while its row has %2 px free and it needs %3 more")
                          .arg(who)
                          .arg(room)
                          .arg(wanted));
  }
  const QPalette::ColorGroup group = label->isEnabled() ? QPalette::Active : QPalette::Disabled;
  const QColor background = backgroundOf(label, screen, window);
  QColor foreground = label->palette().color(group, label->foregroundRole());
  foreground.setAlphaF(float(foreground.alphaF() * opacityOf(label)));
  const QColor shown = composited(foreground, background);
  const double ratio = contrastRatio(shown, background);
  if (ratio < kTextContrast - 0.01)
    problems.append(QStringLiteral("%1 reads at %2:1 (%3 on %4)")
                        .arg(who)
                        .arg(ratio, 0, 'f', 2)
                        .arg(shown.name(), background.name()));
}

void auditElision(const QWidget* widget, const QString& text, QStringList& problems) {
  if (text.endsWith(QStringLiteral("…")) && widget->toolTip().startsWith(text.chopped(1)) &&
      widget->toolTip() != text)
    problems.append(QStringLiteral("%1 is cut short; the rest is only in its tooltip").arg(describe(widget, text)));
}

void auditButton(const QAbstractButton* button, QStringList& problems) {
  if (button->text().isEmpty() || !button->isEnabled()) return;
  auditElision(button, button->text(), problems);
  if (button->width() + 1 < button->sizeHint().width())
    problems.append(QStringLiteral("%1 is squeezed: %2 px wide for %3")
                        .arg(describe(button, button->text()))
                        .arg(button->width())
                        .arg(button->sizeHint().width()));
}

void auditField(const QLineEdit* field, QStringList& problems) {
  const QString example = field->placeholderText();
  if (!field->text().isEmpty() || example.isEmpty()) return;
  QStyleOptionFrame option;
  option.initFrom(field);
  option.lineWidth = field->hasFrame() ? field->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, field) : 0;
  const QMargins margins = field->textMargins();
  // QLineEdit keeps two pixels on either side of its text.
  const int room = field->style()->subElementRect(QStyle::SE_LineEditContents, &option, field).width() -
                   margins.left() - margins.right() - 4;
  const int wanted = field->fontMetrics().horizontalAdvance(example);
  // As the field cuts it: its own measure of the text, not the sum of the advances.
  if (field->fontMetrics().elidedText(example, Qt::ElideRight, room) != example)
    problems.append(QStringLiteral("%1's example is cut: %2 px of room for %3")
                        .arg(describe(field, example))
                        .arg(room)
                        .arg(wanted));
}

void auditChoice(const QComboBox* choice, QStringList& problems) {
  if (choice->currentText().isEmpty()) return;
  if (choice->width() + 1 < choice->sizeHint().width())
    problems.append(QStringLiteral("%1 is squeezed: %2 px wide for %3")
                        .arg(describe(choice, choice->currentText()))
                        .arg(choice->width())
                        .arg(choice->sizeHint().width()));
}

}  // namespace

QStringList auditTexts(QWidget& window) {
  pm::test::spin(std::chrono::milliseconds(20));
  const QImage screen = window.grab().toImage();
  QStringList problems;
  for (const QWidget* widget : window.findChildren<QWidget*>()) {
    if (!widget->isVisibleTo(&window) || widget->window() != &window) continue;
    if (const auto* label = qobject_cast<const QLabel*>(widget)) auditLabel(label, screen, window, problems);
    else if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) auditButton(button, problems);
    else if (const auto* field = qobject_cast<const QLineEdit*>(widget)) auditField(field, problems);
    else if (const auto* choice = qobject_cast<const QComboBox*>(widget)) auditChoice(choice, problems);
  }
  return problems;
}

QPalette lightPalette() { return QApplication::style()->standardPalette(); }

QPalette darkPalette() {
  // Much as a dark desktop theme paints its windows.
  const QColor window(0x24, 0x24, 0x24);
  const QColor base(0x1e, 0x1e, 0x1e);
  const QColor text(0xff, 0xff, 0xff);
  const QColor button(0x30, 0x30, 0x30);
  QPalette palette(text, button, button.lighter(130), button.darker(130), QColor(0x3a, 0x3a, 0x3a), text,
                   Qt::white, base, window);
  palette.setColor(QPalette::Highlight, QColor(0x35, 0x84, 0xe4));
  palette.setColor(QPalette::HighlightedText, Qt::white);
  palette.setColor(QPalette::PlaceholderText, QColor(255, 255, 255, 128));
  palette.setColor(QPalette::Link, QColor(0x78, 0xae, 0xed));
  palette.setColor(QPalette::ToolTipBase, button);
  palette.setColor(QPalette::ToolTipText, text);
  palette.setColor(QPalette::AlternateBase, window.lighter(110));
  for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    palette.setColor(QPalette::Disabled, role, QColor(0x8a, 0x8a, 0x8a));
  return palette;
}

ApplicationPalette::ApplicationPalette(const QPalette& palette) : previous_(QApplication::palette()) {
  QApplication::setPalette(palette);
  pm::test::spin(std::chrono::milliseconds(10));
}

ApplicationPalette::~ApplicationPalette() {
  QApplication::setPalette(previous_);
  pm::test::spin(std::chrono::milliseconds(10));
}

void saveScreenshots(QWidget& window, const QString& name) {
  pm::test::spin(std::chrono::milliseconds(20));
  QDir().mkpath(pm::test::artifactsDirectory());
  const QDir folder(pm::test::artifactsDirectory());
  window.grab().save(folder.filePath(name + QLatin1String(".png")));
  QPixmap doubled(window.size() * 2);
  doubled.setDevicePixelRatio(2.0);
  doubled.fill(window.palette().color(QPalette::Window));
  window.render(&doubled);
  doubled.save(folder.filePath(name + QLatin1String("@2x.png")));
}

}  // namespace pm::settings::test
