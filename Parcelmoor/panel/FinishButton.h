#pragma once

#include <QAbstractButton>
#include <QImage>
#include <QMetaObject>
#include <QPoint>
#include <QSizeF>
#include <QTimer>

#include <QCoroTask>

#include <functional>
#include <memory>

#include "panel/EasedValue.h"

namespace pm {

class UploadSession;

// The round check-mark button that ends the open bucket. It shows itself once the session can finish,
// runs the bar's finish operation when pressed (without waiting for it) and shows a spinner, disabled,
// until the operation returns; it stays through the operation even when the session can no longer finish.
class FinishButton final : public QAbstractButton {
  Q_OBJECT

 public:
  using FinishAction = std::function<QCoro::Task<>()>;

  static constexpr int kDiameter = 26;

  explicit FinishButton(FinishAction onFinish, QWidget* parent = nullptr);
  ~FinishButton() override;

  // The open bucket's session, or null when there is none. Followed until replaced.
  void setSession(std::shared_ptr<UploadSession> session);
  // A display offset added to the position the bar gives in placeAt().
  QSizeF offset() const { return offset_; }
  void setOffset(const QSizeF& offset);
  // Puts the button's top-left corner at `position` (parent coordinates) plus the offset.
  void placeAt(const QPoint& position);
  // Multiplies every animation's duration; 0 makes every change immediate.
  void setAnimationScale(double scale) { animationScale_ = scale; }

  bool isFinishing() const { return finishing_; }
  bool isHovering() const { return hovering_; }
  // Whether the button is on screen (or coming): while finishing, or when the session can finish.
  bool isShown() const { return shown_; }

  // The button's action.
  void finish();

  QSize sizeHint() const override;

 Q_SIGNALS:
  void finishingChanged(bool finishing);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  QCoro::Task<> runFinish();
  void setFinishing(bool finishing);
  void refresh();
  std::chrono::milliseconds scaled(int milliseconds) const;

  FinishAction onFinish_;
  std::shared_ptr<UploadSession> session_;
  QList<QMetaObject::Connection> sessionConnections_;
  QSizeF offset_;
  QPoint position_;
  double animationScale_ = 1.0;
  bool finishing_ = false;
  bool hovering_ = false;
  bool shown_ = false;
  EasedValue hoverLevel_;
  EasedValue appearance_;
  QImage shadow_;
  QTimer spinnerTimer_;
  int spinnerPhase_ = 0;
};

}  // namespace pm
