#include "SymbolPicker.h"

#include <QFrame>
#include <QGridLayout>
#include <QToolButton>
#include <QVBoxLayout>

#include "views/SymbolIcon.h"

namespace pm::settings {

namespace {

constexpr QSize kCellSize{34, 30};
constexpr char kValueProperty[] = "symbolValue";

}  // namespace

const QStringList& SymbolPicker::symbols() {
  static const QStringList names{
      QStringLiteral("shippingbox"),         QStringLiteral("archivebox"),
      QStringLiteral("cube.box"),            QStringLiteral("internaldrive"),
      QStringLiteral("externaldrive"),       QStringLiteral("opticaldiscdrive"),
      QStringLiteral("sdcard"),              QStringLiteral("server.rack"),
      QStringLiteral("cylinder.split.1x2"),  QStringLiteral("tray.full"),
      QStringLiteral("icloud"),              QStringLiteral("cloud"),
      QStringLiteral("network"),             QStringLiteral("globe"),
      QStringLiteral("antenna.radiowaves.left.and.right"),
      QStringLiteral("square.and.arrow.up"), QStringLiteral("paperplane"),
      QStringLiteral("arrow.up.circle"),     QStringLiteral("link"),
      QStringLiteral("bolt"),                QStringLiteral("folder"),
      QStringLiteral("doc.on.doc"),          QStringLiteral("photo.stack"),
      QStringLiteral("film.stack"),          QStringLiteral("music.note.list"),
      QStringLiteral("building.2"),          QStringLiteral("briefcase"),
      QStringLiteral("person.2"),            QStringLiteral("lock.shield"),
      QStringLiteral("star")};
  return names;
}

SymbolPicker::SymbolPicker(QString symbol, const QString& fallback, QWidget* parent)
    : QWidget(parent), symbol_(std::move(symbol)) {
  setObjectName(QStringLiteral("symbolPicker"));
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(12, 12, 12, 12);
  column->setSpacing(10);
  column->addWidget(addCell(QString(), fallback, tr("Default")), 0, Qt::AlignLeft);

  auto* divider = new QFrame(this);
  divider->setFrameShape(QFrame::HLine);
  divider->setFrameShadow(QFrame::Sunken);
  column->addWidget(divider);

  auto* grid = new QGridLayout();
  grid->setHorizontalSpacing(4);
  grid->setVerticalSpacing(4);
  for (int index = 0; index < symbols().size(); ++index) {
    const QString& name = symbols()[index];
    grid->addWidget(addCell(name, name, name), index / kColumns, index % kColumns);
  }
  column->addLayout(grid);
  highlight();
}

QToolButton* SymbolPicker::addCell(const QString& value, const QString& image, const QString& help) {
  auto* cell = new QToolButton(this);
  cell->setObjectName(value.isEmpty() ? QStringLiteral("symbolPicker.default")
                                      : QStringLiteral("symbolPicker.") + value);
  cell->setProperty(kValueProperty, value);
  cell->setIcon(symbolIcon(image));
  cell->setIconSize(QSize(17, 17));
  cell->setFixedSize(kCellSize);
  cell->setToolTip(help);
  cell->setAutoRaise(true);
  cell->setCheckable(true);
  connect(cell, &QToolButton::clicked, this, [this, value] { pick(value); });
  cells_.append(cell);
  return cell;
}

QToolButton* SymbolPicker::cell(const QString& value) const {
  for (QToolButton* cell : cells_) {
    if (cell->property(kValueProperty).toString() == value) return cell;
  }
  return nullptr;
}

void SymbolPicker::pick(const QString& value) {
  symbol_ = value;
  highlight();
  Q_EMIT symbolChanged(value);
  Q_EMIT picked();
}

void SymbolPicker::highlight() {
  const QPalette colours = palette();
  for (QToolButton* cell : cells_) {
    // Exact text: a stored name that is not offered highlights nothing.
    const bool selected = cell->property(kValueProperty).toString() == symbol_;
    cell->setChecked(selected);
    cell->setStyleSheet(selected ? QStringLiteral("QToolButton { background: %1; border-radius: 6px; border: none; }")
                                       .arg(colours.color(QPalette::Highlight).name())
                                 : QStringLiteral("QToolButton { background: transparent; border: none; }"));
  }
}

}  // namespace pm::settings
