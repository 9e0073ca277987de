#pragma once

#include <QDBusConnection>
#include <QDBusReply>
#include <QObject>
#include <QString>
#include <QStringList>

namespace pm {

// One agent per desktop session. The agent owns a well-known name on the session bus and exports an
// object there; a second launch hands its request (a plain reopen, or the parcelmoor:// URLs it was given)
// to that object and exits. Owning the name is atomic on the bus, so two agents started at the same moment
// still end up as one owner and one forwarder.
//
// The exported object: path "/com/wrenfold/Parcelmoor/Agent", interface "com.wrenfold.Parcelmoor.Agent",
// methods Reopen() and OpenUrls(as).
class SingleInstance : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "com.wrenfold.Parcelmoor.Agent")

 public:
  static constexpr char kServiceName[] = "com.wrenfold.Parcelmoor";
  static constexpr char kObjectPath[] = "/com/wrenfold/Parcelmoor/Agent";
  static constexpr char kInterface[] = "com.wrenfold.Parcelmoor.Agent";

  enum class Claim {
    claimed,        // this process owns the name and answers Reopen and OpenUrls
    heldByAnother,  // another process owns it
    noBus,          // no session bus, or the bus refused: nobody can be reached, nobody can reach us
  };

  enum class Launch {
    primary,     // this process is the agent now
    forwarded,   // the running agent took the request; this process has nothing left to do
    noBus,       // no session bus: run alone, unreachable for later launches
    unanswered,  // another process holds the name but never took the request: report it, start nothing
  };

  // `serviceName` is the bus name to own; tests pass names of their own so they never meet a real agent.
  explicit SingleInstance(QDBusConnection connection = QDBusConnection::sessionBus(),
                          QString serviceName = QString::fromLatin1(kServiceName), QObject* parent = nullptr);
  ~SingleInstance() override;

  // Exports the object, then asks for the name without queueing, so a refusal is immediate.
  Claim claim();
  bool isClaimed() const { return claimed_; }

  // What main() does first: claim the name, or forward `arguments` (a program's command-line arguments
  // without the program name) to the process that holds it. When the holder quits between the two steps,
  // the claim is tried again.
  Launch claimOrForward(const QStringList& arguments);

  // Hands the parcelmoor:// URLs among `arguments` to the running agent with OpenUrls, or asks it to Reopen
  // when there are none. True when the agent answered; false when none runs or it did not answer in time.
  static bool forwardToRunning(const QStringList& arguments,
                               QDBusConnection connection = QDBusConnection::sessionBus(),
                               const QString& serviceName = QString::fromLatin1(kServiceName));

  // Whether some process owns the agent's name now.
  static bool isRunning(QDBusConnection connection = QDBusConnection::sessionBus(),
                        const QString& serviceName = QString::fromLatin1(kServiceName));

  // The arguments that are parcelmoor:// URLs (scheme compared without regard to case), in order. Anything
  // else (a file path, a web address) is left out, so a launch can never make the agent open it.
  static QStringList schemeUrls(const QStringList& arguments);

 public Q_SLOTS:
  // The exported methods; called by the bus on the main thread.
  Q_SCRIPTABLE void Reopen();
  Q_SCRIPTABLE void OpenUrls(const QStringList& urls);

 Q_SIGNALS:
  void reopenRequested();
  // Only parcelmoor:// URLs arrive here; a call whose list holds none of them arrives as an empty list.
  void urlsOpened(const QStringList& urls);

 private:
  QDBusConnection connection_;
  QString serviceName_;
  bool exported_ = false;
  bool claimed_ = false;
};

}  // namespace pm
