#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QObject>
#include <QUuid>
#include <QVariantMap>

#include <QCoroTask>

#include <gtest/gtest.h>

#include "platform/Notifier.h"

namespace pm {
namespace {

using namespace std::chrono_literals;

// A notification server as a desktop runs one: org.freedesktop.Notifications on the session bus.
class FakeNotificationServer : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

 public:
  struct Shown {
    QString applicationName;
    uint replacesId = 0;
    QString icon;
    QString summary;
    QString body;
    QStringList actions;
    QVariantMap hints;
    int expiry = 0;
  };

  QList<Shown> shown;
  bool refuses = false;

 public Q_SLOTS:
  uint Notify(const QString& applicationName, uint replacesId, const QString& icon, const QString& summary,
              const QString& body, const QStringList& actions, const QVariantMap& hints, int expiry) {
    if (refuses) {
      sendErrorReply(QStringLiteral("org.freedesktop.Notifications.Error.Refused"),
                     QStringLiteral("Notifications are switched off"));
      return 0;
    }
    shown.append({applicationName, replacesId, icon, summary, body, actions, hints, expiry});
    return uint(shown.size());
  }

  QString GetServerInformation(QString& vendor, QString& version, QString& specificationVersion) {
    vendor = QStringLiteral("Parcelmoor tests");
    version = QStringLiteral("1");
    specificationVersion = QStringLiteral("1.2");
    return QStringLiteral("fake");
  }
};

// Owns the server's own bus connection, so calls to it travel through the bus like a desktop's would.
class RegisteredServer {
 public:
  RegisteredServer()
      : name_(QStringLiteral("fake-notifications-") + QUuid::createUuid().toString(QUuid::Id128)),
        connection_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, name_)) {
    registered_ = connection_.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &server,
                                             QDBusConnection::ExportAllSlots) &&
                  connection_.registerService(QStringLiteral("org.freedesktop.Notifications"));
  }
  ~RegisteredServer() {
    connection_.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
    connection_.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
    QDBusConnection::disconnectFromBus(name_);
  }

  bool registered() const { return registered_; }
  FakeNotificationServer server;

 private:
  QString name_;
  QDBusConnection connection_;
  bool registered_ = false;
};

const NotificationSettings kNoServer{NotificationAuthorization::notDetermined, NotificationAlertStyle::none};
const NotificationSettings kServerAnswers{NotificationAuthorization::authorized, NotificationAlertStyle::banner};

TEST(DBusNotifier, FollowsWhetherANotificationServerAnswers) {
  ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "run under dbus-run-session";
  DBusNotifier notifier(QDBusConnection::sessionBus(), 2s);
  const NotificationRequest request{QStringLiteral("7C3E5B1A-0000-4000-8000-000000000001"),
                                    QStringLiteral("Upload complete"), QStringLiteral("Link copied: 3 files")};

  EXPECT_EQ(QCoro::waitFor(notifier.settings()), kNoServer);
  EXPECT_TRUE(QCoro::waitFor(notifier.add(request)).has_value()) << "nobody to show it is a refusal";

  {
    RegisteredServer fake;
    ASSERT_TRUE(fake.registered());
    EXPECT_EQ(QCoro::waitFor(notifier.settings()), kServerAnswers);

    EXPECT_EQ(QCoro::waitFor(notifier.add(request)), std::nullopt);
    ASSERT_EQ(fake.server.shown.size(), 1);
    const auto& shown = fake.server.shown.first();
    EXPECT_EQ(shown.applicationName, QStringLiteral("Parcelmoor"));
    EXPECT_EQ(shown.replacesId, 0u);
    EXPECT_EQ(shown.summary, request.title);
    EXPECT_EQ(shown.body, request.body);
    EXPECT_TRUE(shown.actions.isEmpty());
    EXPECT_EQ(shown.expiry, -1);
    EXPECT_EQ(shown.hints,
              (QVariantMap{{QStringLiteral("sound-name"), QStringLiteral("message-new-instant")}}))
        << "the desktop's default sound for a notification";

    fake.server.refuses = true;
    EXPECT_EQ(QCoro::waitFor(notifier.add(request)), QStringLiteral("Notifications are switched off"));
  }

  EXPECT_EQ(QCoro::waitFor(notifier.settings()), kNoServer) << "the state follows the server going away";
}

TEST(DBusNotifier, WithoutABusNothingIsShownAndNothingDecided) {
  DBusNotifier notifier(QDBusConnection(QStringLiteral("never-connected")), 2s);
  EXPECT_EQ(QCoro::waitFor(notifier.settings()), kNoServer);
  EXPECT_TRUE(QCoro::waitFor(notifier.add({QStringLiteral("id"), QStringLiteral("t"), QStringLiteral("b")})));
}

}  // namespace
}  // namespace pm

#include "NotifierTest.moc"
