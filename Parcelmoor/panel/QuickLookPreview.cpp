#include "QuickLookPreview.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include "panel/PreviewWindow.h"
#include "panel/ScreenUnderMouse.h"

namespace pm {

namespace {

void centre(PreviewWindow& window, const QScreen& screen) {
  window.move(QuickLookPreview::centredOrigin(screen.availableGeometry(), window.frameGeometry().size()));
}

}  // namespace

QuickLookPreview::QuickLookPreview(QObject* parent) : QObject(parent) {}

QuickLookPreview::~QuickLookPreview() {
  delete window_.data();
}

std::optional<QString> QuickLookPreview::previewItem(qsizetype index) const {
  if (index < 0 || index >= urls_.size()) return std::nullopt;
  return urls_.at(index);
}

QPoint QuickLookPreview::centredOrigin(const QRect& visibleFrame, const QSize& size) {
  return {visibleFrame.x() + (visibleFrame.width() - size.width()) / 2,
          visibleFrame.y() + (visibleFrame.height() - size.height()) / 2};
}

void QuickLookPreview::show(const QString& focus, const QStringList& among) {
  urls_ = among.contains(focus) ? among : QStringList{focus};
  if (!window_) {
    window_ = new PreviewWindow();
    window_->setSource([this] { return numberOfPreviewItems(); },
                       [this](qsizetype index) { return previewItem(index); });
  }
  window_->setCurrentItemIndex(std::max<qsizetype>(urls_.indexOf(focus), 0));
  window_->show();
  window_->raise();
  window_->activateWindow();

  QScreen* screen = screenUnderMouse();
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  centre(*window_, *screen);
  // Once more after the window has taken the size of its item.
  QTimer::singleShot(0, window_.data(), [window = window_, target = QPointer<QScreen>(screen)] {
    if (window && target) centre(*window, *target);
  });
}

}  // namespace pm
