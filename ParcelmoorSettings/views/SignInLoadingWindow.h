#pragma once

#include <QObject>

#include <chrono>
#include <functional>

namespace pm::settings {

// The time after a sign-in request during which the account page says "Signing in…" whatever the agent
// publishes meanwhile, so that a quick refusal or an old state does not flicker past. Every opening starts
// its own wait and only the latest one closes the window: an older wait that ends finds a newer window and
// leaves it open.
class SignInLoadingWindow final : public QObject {
  Q_OBJECT

 public:
  static constexpr std::chrono::milliseconds kDuration = std::chrono::seconds(10);

  // Runs `call` once after `delay` on the main thread, or never when the window is gone by then.
  using Schedule = std::function<void(std::chrono::milliseconds delay, std::function<void()> call)>;

  // Without `schedule`, the wait is a timer.
  explicit SignInLoadingWindow(Schedule schedule = {}, QObject* parent = nullptr);

  bool isOpen() const { return open_; }
  // Opens the window, or keeps it open for another full duration from now.
  void open();

 Q_SIGNALS:
  void openChanged(bool open);

 private:
  Schedule schedule_;
  bool open_ = false;
  quint64 opening_ = 0;  // which opening is the current one
};

}  // namespace pm::settings
