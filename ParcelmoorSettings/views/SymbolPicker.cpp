#include "SymbolPicker.h"

#include <QEvent>
#include <QFrame>
#include <QHash>
#include <QGridLayout>
#include <QToolButton>
#include <QVBoxLayout>

#include "views/SymbolIcon.h"

namespace pm::settings {

namespace {

constexpr QSize kCellSize{34, 30};
constexpr char kValueProperty[] = "symbolValue";

}  // namespace

QString SymbolPicker::symbolTitle(const QString& name) {
  static const QHash<QString, const char*> titles{
      {QStringLiteral("shippingbox"), QT_TRANSLATE_NOOP("SymbolPicker", "Shipping box")},
      {QStringLiteral("archivebox"), QT_TRANSLATE_NOOP("SymbolPicker", "Archive box")},
      {QStringLiteral("cube.box"), QT_TRANSLATE_NOOP("SymbolPicker", "Cube")},
      {QStringLiteral("internaldrive"), QT_TRANSLATE_NOOP("SymbolPicker", "Internal drive")},
      {QStringLiteral("externaldrive"), QT_TRANSLATE_NOOP("SymbolPicker", "External drive")},
      {QStringLiteral("opticaldiscdrive"), QT_TRANSLATE_NOOP("SymbolPicker", "Optical drive")},
      {QStringLiteral("sdcard"), QT_TRANSLATE_NOOP("SymbolPicker", "Memory card")},
      {QStringLiteral("server.rack"), QT_TRANSLATE_NOOP("SymbolPicker", "Server")},
      {QStringLiteral("cylinder.split.1x2"), QT_TRANSLATE_NOOP("SymbolPicker", "Database")},
      {QStringLiteral("tray.full"), QT_TRANSLATE_NOOP("SymbolPicker", "Tray")},
      {QStringLiteral("icloud"), QT_TRANSLATE_NOOP("SymbolPicker", "Cloud drive")},
      {QStringLiteral("cloud"), QT_TRANSLATE_NOOP("SymbolPicker", "Cloud")},
      {QStringLiteral("network"), QT_TRANSLATE_NOOP("SymbolPicker", "Network")},
      {QStringLiteral("globe"), QT_TRANSLATE_NOOP("SymbolPicker", "Globe")},
      {QStringLiteral("antenna.radiowaves.left.and.right"), QT_TRANSLATE_NOOP("SymbolPicker", "Antenna")},
      {QStringLiteral("square.and.arrow.up"), QT_TRANSLATE_NOOP("SymbolPicker", "Share")},
      {QStringLiteral("paperplane"), QT_TRANSLATE_NOOP("SymbolPicker", "Paper plane")},
      {QStringLiteral("arrow.up.circle"), QT_TRANSLATE_NOOP("SymbolPicker", "Upload")},
      {QStringLiteral("link"), QT_TRANSLATE_NOOP("SymbolPicker", "Link")},
      {QStringLiteral("bolt"), QT_TRANSLATE_NOOP("SymbolPicker", "Lightning")},
      {QStringLiteral("folder"), QT_TRANSLATE_NOOP("SymbolPicker", "Folder")},
      {QStringLiteral("doc.on.doc"), QT_TRANSLATE_NOOP("SymbolPicker", "Documents")},
      {QStringLiteral("photo.stack"), QT_TRANSLATE_NOOP("SymbolPicker", "Photos")},
      {QStringLiteral("film.stack"), QT_TRANSLATE_NOOP("SymbolPicker", "Films")},
      {QStringLiteral("music.note.list"), QT_TRANSLATE_NOOP("SymbolPicker", "Music")},
      {QStringLiteral("building.2"), QT_TRANSLATE_NOOP("SymbolPicker", "Office")},
      {QStringLiteral("briefcase"), QT_TRANSLATE_NOOP("SymbolPicker", "Briefcase")},
      {QStringLiteral("person.2"), QT_TRANSLATE_NOOP("SymbolPicker", "People")},
      {QStringLiteral("lock.shield"), QT_TRANSLATE_NOOP("SymbolPicker", "Shield")},
      {QStringLiteral("star"), QT_TRANSLATE_NOOP("SymbolPicker", "Star")},
  };
  const auto found = titles.constFind(name);
  return found == titles.constEnd() ? name : tr(*found);
}

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
    grid->addWidget(addCell(name, name, symbolTitle(name)), index / kColumns, index % kColumns);
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
  cell->setAccessibleName(help);
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

void SymbolPicker::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  // The selected cell's accent is written out in its style sheet: a new palette writes it again.
  if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ThemeChange) highlight();
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
