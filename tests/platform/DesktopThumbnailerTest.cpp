#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QUuid>

#include <gtest/gtest.h>

#include "platform/Async.h"
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

const QString kObjectPath = QStringLiteral("/org/freedesktop/thumbnails/Thumbnailer1");
const QString kInterface = QStringLiteral("org.freedesktop.thumbnails.Thumbnailer1");

// A thumbnailer service that renders PDFs. Asked for a picture, it answers with a handle and, when
// `signalsAtOnce`, reports the picture stored and the request finished right behind that answer, as a
// service with the picture at hand does; otherwise it keeps the request until it is withdrawn.
class EagerThumbnailer : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.thumbnails.Thumbnailer1")

 public:
  bool signalsAtOnce = true;
  QList<uint> queued;
  QList<uint> dequeued;

 public Q_SLOTS:
  QStringList GetSupported(QStringList& mimeTypes) {
    mimeTypes = {QStringLiteral("application/pdf")};
    return {QStringLiteral("file")};
  }

  uint Queue(const QStringList& uris, const QStringList& /*mimeTypes*/, const QString& /*flavor*/,
             const QString& /*scheduler*/, uint /*handleToUnqueue*/) {
    const uint handle = 41 + uint(queued.size());
    queued.append(handle);
    if (!signalsAtOnce) return handle;
    setDelayedReply(true);
    connection().send(message().createReply(QVariant::fromValue(handle)));
    QDBusMessage ready = QDBusMessage::createSignal(kObjectPath, kInterface, QStringLiteral("Ready"));
    ready << handle << uris;
    connection().send(ready);
    QDBusMessage finished = QDBusMessage::createSignal(kObjectPath, kInterface, QStringLiteral("Finished"));
    finished << handle;
    connection().send(finished);
    return handle;
  }

  void Dequeue(uint handle) { dequeued.append(handle); }
};

// Owns the service's own bus connection, so the questions and the signals travel through the bus.
template <typename Server>
class RegisteredThumbnailer {
 public:
  RegisteredThumbnailer()
      : name_(QStringLiteral("org.example.Thumbnailer.t") + QUuid::createUuid().toString(QUuid::Id128)),
        connection_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, name_)) {
    registered_ = connection_.registerObject(kObjectPath, &server, QDBusConnection::ExportAllSlots) &&
                  connection_.registerService(name_);
  }
  ~RegisteredThumbnailer() {
    connection_.unregisterService(name_);
    connection_.unregisterObject(kObjectPath);
    QDBusConnection::disconnectFromBus(name_);
  }

  bool registered() const { return registered_; }
  const QString& name() const { return name_; }
  Server server;

 private:
  QString name_;
  QDBusConnection connection_;
  bool registered_ = false;
};

TEST(DesktopThumbnailer, AServiceThatAnswersTooLateIsAskedAgainForTheNextFile) {
  RegisteredThumbnailer<SlowThumbnailer> service;
  ASSERT_TRUE(service.registered());
  DesktopThumbnailer thumbnailer(QDBusConnection::sessionBus(), service.name());
  const QString file = QStringLiteral("/tmp/flyer.pdf");
  const QString type = QStringLiteral("application/pdf");

  EXPECT_FALSE(test::wait(thumbnailer.make(file, type, DesktopThumbnailer::Flavor::normal, 200ms)));
  // The service renders the type now, but has no picture to make (it knows no other method).
  EXPECT_FALSE(test::wait(thumbnailer.make(file, type, DesktopThumbnailer::Flavor::normal, 2s)));
  EXPECT_EQ(service.server.asked, 2) << "a late answer is no sign that no service is there";
}

// The answers that follow the service's reply at once must count: lost, the picture waits for the whole
// cap and the file's icon stands in. Several requests, as a strip of documents sends them.
TEST(DesktopThumbnailer, ASignalRightBehindTheReplyCounts) {
  RegisteredThumbnailer<EagerThumbnailer> service;
  ASSERT_TRUE(service.registered());
  DesktopThumbnailer thumbnailer(QDBusConnection::sessionBus(), service.name());
  const QString type = QStringLiteral("application/pdf");
  for (int n = 0; n < 5; ++n) {
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(test::wait(thumbnailer.make(QStringLiteral("/tmp/flyer-%1.pdf").arg(n), type,
                                            DesktopThumbnailer::Flavor::normal, 8s)))
        << "request " << n;
    EXPECT_LT(clock.elapsed(), 4000) << "request " << n << " waited for its cap";
  }
}

TEST(DesktopThumbnailer, ACancelledRequestEndsAtOnceAndIsWithdrawnFromTheService) {
  RegisteredThumbnailer<EagerThumbnailer> service;
  ASSERT_TRUE(service.registered());
  service.server.signalsAtOnce = false;
  DesktopThumbnailer thumbnailer(QDBusConnection::sessionBus(), service.name());
  const CancelTokenPtr cancel = makeCancelToken();
  bool made = true;
  bool done = false;
  auto asking = [&]() -> QCoro::Task<> {
    made = co_await thumbnailer.make(QStringLiteral("/tmp/scrolled-past.pdf"), QStringLiteral("application/pdf"),
                                     DesktopThumbnailer::Flavor::normal, 8s, cancel);
    done = true;
  };
  QCoro::Task<> task = asking();
  ASSERT_TRUE(test::runUntil([&] { return !service.server.queued.isEmpty(); }));
  QElapsedTimer clock;
  clock.start();
  cancel->cancel();
  ASSERT_TRUE(test::runUntil([&] { return done && !service.server.dequeued.isEmpty(); }));
  EXPECT_FALSE(made);
  EXPECT_LT(clock.elapsed(), 4000) << "the wait went on after the cancel";
  EXPECT_EQ(service.server.dequeued, service.server.queued);
}

}  // namespace
}  // namespace pm

#include "DesktopThumbnailerTest.moc"
