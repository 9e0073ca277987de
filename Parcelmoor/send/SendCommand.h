#pragma once

#include <QDBusConnection>
#include <QString>
#include <QStringList>

#include "platform/Paths.h"
#include "platform/SingleInstance.h"

class QTextStream;

namespace pm {

class SharedDefaults;

// Where `Parcelmoor send` leaves its batch and whom it wakes. The defaults are the real ones; tests point
// them elsewhere.
struct SendCommandEnvironment {
  Paths paths = Paths::standard();
  // The agent started when none runs; empty means this very program (the agent's own binary).
  QString agentProgram;
  QDBusConnection connection = QDBusConnection::sessionBus();
  QString serviceName = QString::fromLatin1(SingleInstance::kServiceName);
  // The suite whose connections --connection must name; without it no connection is known.
  const SharedDefaults* defaults = nullptr;
};

// How `Parcelmoor send` is used, as --help and a wrong argument print it.
QString sendCommandUsage();

// `Parcelmoor send [--connection <UUID>] [--] PATH…`: `arguments` are those after "send". Leaves one
// inbox batch of the absolute paths and the wake marker, then asks the running agent to Reopen (it drains
// the inbox) or starts the agent, detached, when none runs. Nothing is written when an argument is wrong,
// a path is missing or --connection names no stored connection. The usage asked for with --help goes to
// `out`; errors, and the usage after a wrong argument, go to `err`. Needs a QCoreApplication (a GUI one is
// not needed). Returns the process exit code: 0 sent, 1 not sent (or sent but no agent could be
// started), 2 usage.
int runSendCommand(const QStringList& arguments, QTextStream& out, QTextStream& err,
                   const SendCommandEnvironment& environment = SendCommandEnvironment{});

}  // namespace pm
