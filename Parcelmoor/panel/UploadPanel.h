#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QTimer>

#include <QCoroTask>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include "core/PanelEdge.h"
#include "panel/BarServices.h"
#include "panel/PanelPresentation.h"
#include "panel/UploadPanelControl.h"

class QScreen;

namespace pm {

class PanelContent;
class UnconstrainedPanel;
class UploadPanelView;

// The floating panel that holds the bucket bar: one per agent, made by main() and handed out. It docks at
// the configured edge of the screen under the mouse, follows the mouse from screen to screen while shown
// (a cheap poll of the pointer; Qt has no global mouse-moved monitor) and tells its content through
// `presentation()` when to slide or fade. The window never moves to show or hide; only to change screens
// or edges. Main thread only.
class UploadPanel final : public QObject, public UploadPanelControl {
  Q_OBJECT

 public:
  struct Timings {
    // Every wait of the panel: a slide, a fade, the pause before the window goes.
    std::chrono::milliseconds fade{220};
    // How often the pointer is checked for a change of screen while the panel is shown.
    std::chrono::milliseconds cursorPoll{100};
  };

  explicit UploadPanel(Timings timings, QObject* parent = nullptr);
  UploadPanel() : UploadPanel(Timings{}) {}
  ~UploadPanel() override;

  void attach(BucketStore& store, AppSettings& settings) override;
  // What the bar inside reaches beyond the store; set before the panel is first shown.
  void setBarServices(BarServices services) { barServices_ = services; }
  // Makes the window on first use and brings a hidden (or closing) panel in at the configured edge of
  // the screen under the mouse. Without a store it does nothing.
  void show() override;
  // A panel at another edge than the configured one slides out and back in at the new edge; a hidden
  // panel only notes the edge for its next showing.
  void applyEdgeSetting() override;

  // Hides the content and runs `then` (which usually orders the window out) once the slide has ended,
  // unless show() came in between.
  void slideOut(std::function<void()> then);
  void orderOut();
  // Stops following the mouse.
  void removeMonitors();

  // Moves a shown panel to the screen under the mouse when that screen is another one than the panel's
  // (or whatever it is, with `force`). The pointer poll calls it on every tick.
  void followMouse(bool force);

  PanelPresentation& presentation() { return presentation_; }
  // Nothing before the first show().
  UnconstrainedPanel* window() const { return window_.get(); }
  UploadPanelView* view() const { return view_; }
  const std::optional<QRect>& currentScreenFrame() const { return currentScreenFrame_; }
  const std::optional<PanelEdge>& placedEdge() const { return placedEdge_; }
  bool isMoving() const { return isMoving_; }
  bool isFollowingMouse() const { return cursorPoll_.isActive(); }

 Q_SIGNALS:
  // The window was given its frame on a screen.
  void placed(const QRect& frame);

 private:
  PanelEdge configuredEdge() const;
  void createWindow();
  void place(QScreen& screen);
  void reveal(bool sliding);
  void installMonitors();
  QCoro::Task<> moveToScreen(QPointer<QScreen> found);
  void updateInputRegion();

  const Timings timings_;
  PanelPresentation presentation_;
  QTimer cursorPoll_;
  BucketStore* store_ = nullptr;
  AppSettings* settings_ = nullptr;
  std::unique_ptr<UnconstrainedPanel> window_;
  PanelContent* content_ = nullptr;
  UploadPanelView* view_ = nullptr;
  BarServices barServices_;
  std::optional<QRect> currentScreenFrame_;
  std::optional<PanelEdge> placedEdge_;
  bool isMoving_ = false;
  // Every show() and slideOut() starts a new generation; a deferred reveal or order-out of an older one
  // no longer applies, so a show() right after a close keeps the panel.
  quint64 generation_ = 0;
  bool revealPending_ = false;
  bool orderOutPending_ = false;
};

}  // namespace pm
