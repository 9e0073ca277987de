#pragma once

#include <QObject>

class QKeyEvent;

namespace pm {

class UploadPanelView;

// The bar's keys while its panel is the active window: the arrows move the selection (extending it with
// Shift or Ctrl), Space previews it and Backspace or Delete removes it. Keys are watched application-wide
// while the monitor is on, since the strip's tiles and buttons take no focus.
class BarKeys final : public QObject {
  Q_OBJECT

 public:
  // `view` must outlive the keys.
  explicit BarKeys(UploadPanelView& view);
  ~BarKeys() override;

  bool isMonitoring() const { return monitoring_; }
  void installMonitor();
  void removeMonitor();
  // Whether the bar took the key; keys count only while the panel is the active window.
  bool handleKeyDown(QKeyEvent& event, QObject* receiver);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  UploadPanelView& view_;
  bool monitoring_ = false;
};

}  // namespace pm
