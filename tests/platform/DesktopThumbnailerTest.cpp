#include <QDBusConnection>
#include <QDBusContext>
#include <QUuid>

#include <gtest/gtest.h>

#include "platform/DesktopThumbnailer.h"
#include "support/TestSupport.h"

namespace pm {
namespace {

using namespace std::chrono_literals;

// A thumbnailer service that leaves its first question unanswered, as one still starting on a busy
// machine does, and answers the next ones.
class SlowThumbnailer : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.thumbnails.Thumbnailer1")

 public:
  int asked = 0;

 public Q_SLOTS:
  QStringList GetSupported(QStringList& mimeTypes) {
    if (++asked == 1) {
      setDelayedReply(true);
      return {};
    }
    mimeTypes = {QStringLiteral("application/pdf")};
    return {QStringLiteral("file")};
  }
};

// Owns the service's own bus connection, so the questions travel through the bus.
class RegisteredThumbnailer {
 public:
  RegisteredThumbnailer()
      : name_(QStringLiteral("org.example.SlowThumbnailer.t") + QUuid::createUuid().toString(QUuid::Id128)),
        connection_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, name_)) {
    registered_ = connection_.registerObject(QStringLiteral("/org/freedesktop/thumbnails/Thumbnailer1"), &server,
                                             QDBusConnection::ExportAllSlots) &&
                  connection_.registerService(name_);
  }
  ~RegisteredThumbnailer() {
    connection_.unregisterService(name_);
    connection_.unregisterObject(QStringLiteral("/org/freedesktop/thumbnails/Thumbnailer1"));
    QDBusConnection::disconnectFromBus(name_);
  }

  bool registered() const { return registered_; }
  const QString& name() const { return name_; }
  SlowThumbnailer server;

 private:
  QString name_;
  QDBusConnection connection_;
  bool registered_ = false;
};

TEST(DesktopThumbnailer, AServiceThatAnswersTooLateIsAskedAgainForTheNextFile) {
  RegisteredThumbnailer service;
  ASSERT_TRUE(service.registered());
  DesktopThumbnailer thumbnailer(QDBusConnection::sessionBus(), service.name());
  const QString file = QStringLiteral("/tmp/flyer.pdf");
  const QString type = QStringLiteral("application/pdf");

  EXPECT_FALSE(test::wait(thumbnailer.make(file, type, DesktopThumbnailer::Flavor::normal, 200ms)));
  // The service renders the type now, but has no picture to make (it knows no other method).
  EXPECT_FALSE(test::wait(thumbnailer.make(file, type, DesktopThumbnailer::Flavor::normal, 2s)));
  EXPECT_EQ(service.server.asked, 2) << "a late answer is no sign that no service is there";
}

}  // namespace
}  // namespace pm

#include "DesktopThumbnailerTest.moc"
