#include <QDBusConnection>
#include <QProcess>
#include <QUuid>

#include <gtest/gtest.h>

#include "core/AccountState.h"
#include "platform/SharedDefaults.h"
#include "platform/Signals.h"
#include "support/TestSupport.h"

namespace pm {
namespace {

using namespace std::chrono_literals;

// A name no other test or program uses, so runs on one bus cannot hear each other.
QString uniqueName() {
  return QStringLiteral("com.wrenfold.Parcelmoor.test") + QUuid::createUuid().toString(QUuid::Id128);
}

struct Counter {
  explicit Counter(Signals& signals) {
    QObject::connect(&signals, &Signals::notified, &context, [this](const QString& name) { received.append(name); });
  }
  QObject context;
  QStringList received;
};

TEST(DBusSignals, ObservingTwiceAndPostingOnceDeliversOnce) {
  DBusSignals signals;
  Counter counter(signals);
  const QString name = uniqueName();
  signals.observeDarwinNotification(name);
  signals.observeDarwinNotification(name);
  signals.postDarwinNotification(name);
  ASSERT_TRUE(test::runUntil([&] { return !counter.received.isEmpty(); }));
  // A while longer, for a second delivery to show if there were one.
  test::spin(200ms);
  EXPECT_EQ(counter.received, QStringList{name});
}

TEST(DBusSignals, UnobservedNamesAreNotDelivered) {
  DBusSignals signals;
  Counter counter(signals);
  const QString observed = uniqueName();
  signals.observeDarwinNotification(observed);
  signals.postDarwinNotification(uniqueName());
  signals.postDarwinNotification(observed);
  ASSERT_TRUE(test::runUntil([&] { return !counter.received.isEmpty(); }));
  // A while longer, for the unobserved name to show if it were delivered.
  test::spin(100ms);
  EXPECT_EQ(counter.received, QStringList{observed});
}

TEST(DBusSignals, PostFromAnotherProcessArrives) {
  DBusSignals signals;
  Counter counter(signals);
  const QString name = uniqueName();
  signals.observeDarwinNotification(name);
  const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
  // dbus-send is an independent sender: it also pins the wire form (path, interface, member, no body).
  const int exitCode = QProcess::execute(
      QStringLiteral("dbus-send"),
      {QStringLiteral("--session"), QStringLiteral("--type=signal"), QStringLiteral("/com/wrenfold/Parcelmoor"),
       name.left(dot) + QLatin1Char('.') + name.mid(dot + 1)});
  ASSERT_EQ(exitCode, 0);
  ASSERT_TRUE(test::runUntil([&] { return !counter.received.isEmpty(); }));
  EXPECT_EQ(counter.received, QStringList{name});
}

TEST(DBusSignals, ReaderWokenByAccountChangedFindsTheNewState) {
  test::TempRoot root;
  const QString suite = root.paths().suiteFile(QStringLiteral("suite"));
  FileSharedDefaults writerDefaults(suite);
  FileSharedDefaults readerDefaults(suite);
  DBusSignals writer;
  DBusSignals reader;
  const QString name = QStringLiteral("com.wrenfold.Parcelmoor.accountChanged");
  reader.observeDarwinNotification(name);
  QList<AccountState> seen;
  QObject context;
  reader.onNotification(name, &context, [&] { seen.append(AccountState::load(readerDefaults)); });

  AccountState::signedIn(QStringLiteral("ada@example.com"), true).save(writerDefaults, writer);
  ASSERT_TRUE(test::runUntil([&] { return !seen.isEmpty(); }));
  EXPECT_EQ(seen.first(), AccountState::signedIn(QStringLiteral("ada@example.com"), true));
}

TEST(LocalSignals, DeliversFromTheEventLoopOncePerObservedName) {
  LocalSignals signals;
  Counter counter(signals);
  const QString name = uniqueName();
  signals.observeDarwinNotification(name);
  signals.observeDarwinNotification(name);
  signals.postDarwinNotification(name);
  signals.postDarwinNotification(uniqueName());
  EXPECT_TRUE(counter.received.isEmpty()) << "no handler runs inside the poster";
  // Both posts were queued together, so the unobserved one would arrive in the same turn.
  ASSERT_TRUE(test::runUntil([&] { return !counter.received.isEmpty(); }));
  EXPECT_EQ(counter.received, QStringList{name});
  EXPECT_EQ(signals.posted().size(), 2);
}

}  // namespace
}  // namespace pm
