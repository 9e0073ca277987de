#pragma once

#include <QDialog>

#include <functional>

class QLabel;
class QHBoxLayout;
class QPushButton;
class QVBoxLayout;

namespace pm::settings {

// What the two pairing sheets share: a 400-point column over the settings window with a heading and a
// sentence on top, a divider and a row of buttons at the bottom, and "Cancel" (or Escape, or closing the
// window) that only asks for the pairing to end. A sheet never closes itself: the account page takes it
// down when the agent's sync state says the pairing is over.
class PairingSheet : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kWidth = 400;
  // What the window manager's title bar needs besides the title: its buttons and margins.
  static constexpr int kTitleBarRoom = 160;

  // What the title bar shows for a window title: the title followed by the program's name.
  static QString titleBarText(const QString& title);
  // The sheet's width for a window title: 400 points, or more for a title bar text that would not fit
  // beside the title bar's buttons.
  static int widthFor(const QString& title);

  void reject() override;

 protected:
  PairingSheet(std::function<void()> onCancel, QWidget* parent);

  // The heading and its sentence, at the top of the column.
  void addHeader(QLabel* title, QLabel* sentence);
  // The sheet's own content goes into this column, between the header and the divider.
  QVBoxLayout* body() const { return body_; }
  // The divider and the button row; `primary`, when given, stands right of "Cancel" as the default button.
  void addFooter(QPushButton* primary = nullptr);

  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

  // A line in callout size and the secondary colour.
  static QLabel* makeNote(const QString& text);

 private:
  std::function<void()> onCancel_;
  QVBoxLayout* column_;
  QVBoxLayout* body_;
};

}  // namespace pm::settings
