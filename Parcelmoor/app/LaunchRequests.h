#pragma once

#include <QStringList>

#include <optional>

class QTextStream;

namespace pm {

class AppDelegate;
class SingleInstance;

// What a launch does about an agent that may run already: a second launch hands its request (a reopen,
// or its parcelmoor:// links) to the running one and ends. Returns the exit code when this process has
// nothing left to do (messages go to `err`), nothing when it goes on as the agent. `arguments` are the
// command line without the program name.
std::optional<int> handOffToRunningAgent(SingleInstance& instance, const QStringList& arguments,
                                         QTextStream& err);

// Routes what later launches hand over to `delegate`, and hands it this launch's own parcelmoor:// links;
// anything else on the command line is never opened.
void routeLaunchRequests(SingleInstance& instance, AppDelegate& delegate, const QStringList& arguments);

}  // namespace pm
