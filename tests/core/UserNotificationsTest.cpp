#include <QUuid>

#include <gtest/gtest.h>

#include <memory>
#include <utility>

#include "core/UserNotifications.h"
#include "platform/Async.h"
#include "platform/Notifier.h"
#include "platform/SharedDefaults.h"
#include "platform/Signals.h"
#include "support/TestSupport.h"

namespace pm {
namespace {

using namespace std::chrono_literals;

const QString kPending = QStringLiteral("pendingNotifications");
const QString kAccess = QStringLiteral("notificationAccess");
const QString kAccessChanged = QStringLiteral("com.wrenfold.Parcelmoor.notificationAccessChanged");

// Records, with every post, the access text stored at that moment.
class RecordingSignals final : public Signals {
 public:
  explicit RecordingSignals(const SharedDefaults& defaults) : defaults_(defaults) {}
  void postDarwinNotification(const QString& name) override {
    posts.append({name, defaults_.stringValue(kAccess).value_or(QString())});
  }
  QList<std::pair<QString, QString>> posts;

 protected:
  void subscribe(const QString&) override {}

 private:
  const SharedDefaults& defaults_;
};

// Notes, with every request, whether the queue was still stored when the request was made.
class QueueWatchingNotifier final : public Notifier {
 public:
  explicit QueueWatchingNotifier(const SharedDefaults& defaults) : defaults_(defaults) {}
  QCoro::Task<std::optional<QString>> add(NotificationRequest request) override {
    queueStoredAtAdd.append(defaults_.contains(kPending));
    return memory.add(std::move(request));
  }
  QCoro::Task<NotificationSettings> settings() override { return memory.settings(); }

  MemoryNotifier memory;
  QList<bool> queueStoredAtAdd;

 private:
  const SharedDefaults& defaults_;
};

// Another program queues one more notification right after this program's first look at the queue.
class RacingDefaults final : public SharedDefaults {
 public:
  QVariant object(const QString& key) const override {
    const QVariant value = inner.object(key);
    if (key == kPending && !raced) {
      raced = true;
      inner.set(key, late);
    }
    return value;
  }
  bool set(const QString& key, const QVariant& value) override { return inner.set(key, value); }
  QVariant update(const QString& key, const Change& change, bool* ok) override {
    return inner.update(key, change, ok);
  }

  mutable MemorySharedDefaults inner;
  mutable bool raced = false;
  QByteArray late;
};

// Answers the settings request only after a pause, like a bus round trip.
class SlowNotifier final : public Notifier {
 public:
  QCoro::Task<std::optional<QString>> add(NotificationRequest) override { co_return std::nullopt; }
  QCoro::Task<NotificationSettings> settings() override {
    co_await sleepFor(20ms);
    co_return NotificationSettings{NotificationAuthorization::authorized, NotificationAlertStyle::alert};
  }
};

class CriticalLogCapture {
 public:
  CriticalLogCapture() : previous_(qInstallMessageHandler(&CriticalLogCapture::handle)) { current_ = this; }
  ~CriticalLogCapture() {
    qInstallMessageHandler(previous_);
    current_ = nullptr;
  }
  QStringList lines;

 private:
  static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (current_ && type == QtCriticalMsg &&
        QLatin1String(context.category) == QLatin1String("com.wrenfold.Parcelmoor.notifications")) {
      current_->lines.append(message);
    }
  }
  static inline CriticalLogCapture* current_ = nullptr;
  QtMessageHandler previous_;
};

struct Fixture {
  MemorySharedDefaults defaults;
  RecordingSignals signals{defaults};
  QueueWatchingNotifier notifier{defaults};
  UserNotifications notifications{defaults, signals, notifier};
};

TEST(UserNotifications, AQueueOfTwoIsRemovedThenPostedInOrder) {
  Fixture f;
  f.defaults.set(kPending, QByteArray(R"([{"title":"A","body":"1"},{"title":"B","body":"2","extra":true}])"));

  f.notifications.flushPendingNotifications();

  EXPECT_FALSE(f.defaults.contains(kPending));
  const auto& requests = f.notifier.memory.requests();
  ASSERT_EQ(requests.size(), 2);
  EXPECT_EQ(f.notifier.queueStoredAtAdd, (QList<bool>{false, false}));
  EXPECT_EQ(std::make_pair(requests[0].title, requests[0].body), std::make_pair(QStringLiteral("A"), QStringLiteral("1")));
  EXPECT_EQ(std::make_pair(requests[1].title, requests[1].body), std::make_pair(QStringLiteral("B"), QStringLiteral("2")));
  EXPECT_NE(requests[0].identifier, requests[1].identifier);
  for (const auto& request : requests) {
    EXPECT_EQ(request.identifier.size(), 36);
    EXPECT_EQ(request.identifier, request.identifier.toUpper());
    EXPECT_FALSE(QUuid::fromString(request.identifier).isNull());
  }
}

TEST(UserNotifications, AQueueThatDoesNotDecodeWhollyIsLeftInPlace) {
  const QVariant rows[] = {
      QByteArray("not json"),
      QByteArray(R"({"title":"A","body":"1"})"),
      QByteArray(R"([{"title":"A","body":"1"},{"title":"B"}])"),
      QByteArray(R"([{"title":"A","body":2}])"),
      QByteArray(R"([{"title":"A","body":"1"},"B"])"),
      QByteArray("[]"),
      QString::fromLatin1(R"([{"title":"A","body":"1"}])"),  // text, not data
  };
  for (const QVariant& stored : rows) {
    SCOPED_TRACE(stored.toString().toStdString());
    Fixture f;
    f.defaults.set(kPending, stored);
    f.notifications.flushPendingNotifications();
    EXPECT_TRUE(f.notifier.memory.requests().isEmpty());
    EXPECT_EQ(f.defaults.object(kPending), stored);
  }

  Fixture absent;
  absent.notifications.flushPendingNotifications();
  EXPECT_TRUE(absent.notifier.memory.requests().isEmpty());
  EXPECT_FALSE(absent.defaults.contains(kPending));
}

TEST(UserNotifications, ANotificationQueuedWhileFlushingIsNotLost) {
  RacingDefaults defaults;
  defaults.inner.set(kPending, QByteArray(R"([{"title":"A","body":"1"},{"title":"B","body":"2"}])"));
  defaults.late = R"([{"title":"A","body":"1"},{"title":"B","body":"2"},{"title":"C","body":"3"}])";
  LocalSignals signals;
  MemoryNotifier notifier;
  UserNotifications notifications(defaults, signals, notifier);

  notifications.flushPendingNotifications();

  ASSERT_TRUE(defaults.raced);
  QStringList titles;
  for (const auto& request : notifier.requests()) titles.append(request.title);
  EXPECT_EQ(titles, (QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}));
  EXPECT_FALSE(defaults.inner.contains(kPending));
}

TEST(UserNotifications, ARefusedNotificationIsOnlyLogged) {
  Fixture f;
  f.notifier.memory.setFailure(QStringLiteral("Notifications are switched off"));
  CriticalLogCapture log;

  f.notifications.postUserNotification(QStringLiteral("Upload complete"), QStringLiteral("Link copied"));
  EXPECT_TRUE(
      test::runUntil([&] { return !f.notifier.memory.requests().isEmpty() && !log.lines.isEmpty(); }));

  ASSERT_EQ(f.notifier.memory.requests().size(), 1);
  EXPECT_EQ(f.notifier.memory.requests()[0].title, QStringLiteral("Upload complete"));
  EXPECT_EQ(log.lines,
            QStringList{QStringLiteral("the system would not post a notification: Notifications are switched off")});
}

TEST(UserNotifications, AccessTextFromTheSettings) {
  using A = NotificationAuthorization;
  using S = NotificationAlertStyle;
  const struct {
    A authorization;
    S style;
    const char* text;
  } rows[] = {
      {A::notDetermined, S::none, "unknown"},   {A::notDetermined, S::alert, "unknown"},
      {A::denied, S::none, "denied"},           {A::denied, S::banner, "denied"},
      {A::authorized, S::none, "silent"},       {A::authorized, S::banner, "granted"},
      {A::authorized, S::alert, "granted"},     {A::provisional, S::none, "silent"},
      {A::provisional, S::alert, "silent"},     {A::ephemeral, S::none, "silent"},
      {A::ephemeral, S::banner, "granted"},     {A(42), S::banner, "unknown"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(notificationAccessText({row.authorization, row.style}), QLatin1String(row.text))
        << int(row.authorization) << "/" << int(row.style);
  }
}

TEST(UserNotifications, EveryPublishStoresTheTextThenSignals) {
  Fixture f;
  const NotificationSettings granted{NotificationAuthorization::authorized, NotificationAlertStyle::banner};
  f.notifications.publishNotificationAccess(granted);
  f.notifications.publishNotificationAccess(granted);
  f.notifier.memory.setSettings({NotificationAuthorization::denied, NotificationAlertStyle::none});
  f.notifications.refreshNotificationAccess();
  ASSERT_TRUE(test::runUntil([&] { return f.signals.posts.size() == 3; }));

  const QList<std::pair<QString, QString>> expected{
      {kAccessChanged, QStringLiteral("granted")},
      {kAccessChanged, QStringLiteral("granted")},
      {kAccessChanged, QStringLiteral("denied")},
  };
  EXPECT_EQ(f.signals.posts, expected);
  EXPECT_EQ(f.defaults.stringValue(kAccess), QStringLiteral("denied"));
}

TEST(UserNotifications, SettingsArrivingAfterTheObjectIsGoneAreDropped) {
  MemorySharedDefaults defaults;
  LocalSignals signals;
  SlowNotifier notifier;
  auto notifications = std::make_unique<UserNotifications>(defaults, signals, notifier);
  notifications->refreshNotificationAccess();
  notifications.reset();
  test::spin(60ms);
  EXPECT_FALSE(defaults.contains(kAccess));
  EXPECT_TRUE(signals.posted().isEmpty());
}

}  // namespace
}  // namespace pm
