#pragma once

#include <QDBusConnection>
#include <QList>
#include <QString>

#include <QCoroTask>

#include <chrono>
#include <optional>

namespace pm {

// One notification to show at once, with the sound theme's sound for a message that came in.
struct NotificationRequest {
  QString identifier;  // ours, unique per request
  QString title;
  QString body;

  bool operator==(const NotificationRequest&) const = default;
};

enum class NotificationAuthorization { notDetermined, denied, authorized, provisional, ephemeral };
enum class NotificationAlertStyle { none, banner, alert };

// What the user allows the program to show.
struct NotificationSettings {
  NotificationAuthorization authorization = NotificationAuthorization::notDetermined;
  NotificationAlertStyle alertStyle = NotificationAlertStyle::none;

  bool operator==(const NotificationSettings&) const = default;
};

// The desktop's notification centre. Both operations finish later, on the thread that started them.
class Notifier {
 public:
  virtual ~Notifier() = default;

  // Nothing when the request was taken, else the description of why it was refused.
  virtual QCoro::Task<std::optional<QString>> add(NotificationRequest request) = 0;
  virtual QCoro::Task<NotificationSettings> settings() = 0;
};

// org.freedesktop.Notifications on the session bus. There is no permission to ask for there: a server
// that answers shows banners (authorized), and without one nothing can be decided (not determined).
class DBusNotifier final : public Notifier {
 public:
  static constexpr std::chrono::milliseconds kDefaultCallTimeout{5'000};

  explicit DBusNotifier(QDBusConnection connection = QDBusConnection::sessionBus(),
                        std::chrono::milliseconds callTimeout = kDefaultCallTimeout);

  QCoro::Task<std::optional<QString>> add(NotificationRequest request) override;
  QCoro::Task<NotificationSettings> settings() override;

 private:
  QDBusConnection connection_;
  std::chrono::milliseconds callTimeout_;
};

// Records what it was asked to show and answers as scripted, for tests.
class MemoryNotifier final : public Notifier {
 public:
  QCoro::Task<std::optional<QString>> add(NotificationRequest request) override;
  QCoro::Task<NotificationSettings> settings() override;

  const QList<NotificationRequest>& requests() const { return requests_; }
  // Refuses every later add() with `failure` until it is set back to nothing.
  void setFailure(std::optional<QString> failure) { failure_ = std::move(failure); }
  void setSettings(NotificationSettings settings) { settings_ = settings; }

 private:
  QList<NotificationRequest> requests_;
  std::optional<QString> failure_;
  NotificationSettings settings_;
};

}  // namespace pm
