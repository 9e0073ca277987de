#include "PairingSheet.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

#include "views/TextTone.h"

namespace pm::settings {

PairingSheet::PairingSheet(std::function<void()> onCancel, QWidget* parent)
    : QDialog(parent), onCancel_(std::move(onCancel)) {
  // A sheet is a dialog of the settings window: a title and a close button, nothing to minimise or
  // maximise, and a size of its own.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setWindowModality(Qt::WindowModal);
  setFixedWidth(kWidth);
  column_ = new QVBoxLayout(this);
  column_->setContentsMargins(0, 0, 0, 0);
  column_->setSpacing(0);
  body_ = new QVBoxLayout();
  body_->setSpacing(0);
}

void PairingSheet::addHeader(QLabel* title, QLabel* sentence) {
  QFont headline = title->font();
  headline.setBold(true);
  title->setFont(headline);
  title->setAlignment(Qt::AlignCenter);
  sentence->setAlignment(Qt::AlignCenter);
  auto* header = new QVBoxLayout();
  header->setContentsMargins(24, 22, 24, 0);
  header->setSpacing(8);
  header->addWidget(title);
  header->addWidget(sentence);
  column_->addLayout(header);
  column_->addLayout(body_);
}

void PairingSheet::addFooter(QPushButton* primary) {
  auto* divider = new QFrame();
  divider->setFrameShape(QFrame::HLine);
  divider->setFrameShadow(QFrame::Plain);
  divider->setForegroundRole(QPalette::Midlight);
  column_->addWidget(divider);

  auto* row = new QHBoxLayout();
  row->setContentsMargins(12, 12, 12, 12);
  row->addStretch(1);
  auto* cancel = new QPushButton(tr("Cancel"));
  cancel->setObjectName(QStringLiteral("pairing.cancel"));
  cancel->setAutoDefault(false);
  connect(cancel, &QPushButton::clicked, this, &PairingSheet::reject);
  row->addWidget(cancel);
  if (primary) {
    primary->setDefault(true);
    row->addWidget(primary);
  }
  column_->addLayout(row);
}

QLabel* PairingSheet::makeNote(const QString& text) {
  auto* note = new QLabel(text);
  note->setWordWrap(true);
  setTextTone(note, TextTone::secondary);
  QFont callout = note->font();
  callout.setPointSizeF(callout.pointSizeF() * 0.92);
  note->setFont(callout);
  return note;
}

QString PairingSheet::titleBarText(const QString& title) {
  // Qt names the program after the window's own title, as desktops expect, unless the title already ends
  // with it.
  const QString program = QGuiApplication::applicationDisplayName();
  if (program.isEmpty() || title.endsWith(program)) return title.isEmpty() ? program : title;
  return title.isEmpty() ? program : title + QStringLiteral(" \u2014 ") + program;
}

int PairingSheet::widthFor(const QString& title) {
  // The window manager's title bar holds the title beside its buttons, often in bold.
  QFont font = QApplication::font("QMdiSubWindowTitleBar");
  font.setBold(true);
  return std::max(kWidth, QFontMetrics(font).horizontalAdvance(titleBarText(title)) + kTitleBarRoom);
}

bool PairingSheet::event(QEvent* event) {
  if (event->type() == QEvent::WindowTitleChange) setFixedWidth(widthFor(windowTitle()));
  const bool handled = QDialog::event(event);
  // The height follows the content at the sheet's width, and the window manager cannot change it, so
  // it offers no maximising either.
  if (event->type() == QEvent::LayoutRequest || event->type() == QEvent::Show) {
    const int height = heightForWidth(width());
    setFixedHeight(height > 0 ? height : sizeHint().height());
  }
  return handled;
}

void PairingSheet::reject() {
  if (onCancel_) onCancel_();
}

// Closing the window is the user's Cancel; the sheet stays until the pairing has ended.
void PairingSheet::closeEvent(QCloseEvent* event) {
  event->ignore();
  reject();
}

}  // namespace pm::settings
