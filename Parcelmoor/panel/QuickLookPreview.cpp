#include "QuickLookPreview.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include "panel/PreviewWindow.h"
#include "panel/ScreenUnderMouse.h"

namespace pm {

QuickLookPreview::QuickLookPreview(QObject* parent) : QObject(parent) {}

QuickLookPreview::~QuickLookPreview() {
  delete window_.data();
}

std::optional<QString> QuickLookPreview::previewItem(qsizetype index) const {
  if (index < 0 || index >= urls_.size()) return std::nullopt;
  return urls_.at(index);
}

void QuickLookPreview::show(const QString& focus, const QStringList& among) {
  urls_ = among.contains(focus) ? among : QStringList{focus};
  if (!window_) {
    window_ = new PreviewWindow();
    window_->setSource([this] { return numberOfPreviewItems(); },
                       [this](qsizetype index) { return previewItem(index); });
  }
  QScreen* screen = screenUnderMouse();
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (screen) window_->setArea(screen->availableGeometry());
  window_->setCurrentItemIndex(std::max<qsizetype>(urls_.indexOf(focus), 0));
  window_->show();
  window_->raise();
  window_->activateWindow();
  if (!screen) return;
  // Once more after the window is shown, with the frame the window manager gave it.
  QTimer::singleShot(0, window_.data(), [window = window_, target = QPointer<QScreen>(screen)] {
    if (window && target) window->setArea(target->availableGeometry());
  });
}

}  // namespace pm
