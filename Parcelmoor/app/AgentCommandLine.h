#pragma once

#include <QStringList>

#include <optional>

class QTextStream;

namespace pm {

// The agent's own command line, read before anything starts: `Parcelmoor [LINK...]`, where the links are
// the parcelmoor:// URLs the desktop hands over. --help prints the usage of the agent and of `send` to
// `out`; an option the agent does not know prints its error and the same usage to `err`. The options
// every Qt program takes (-session from a session manager restoring a login, -platform, -display, ...)
// are let through for the application object to take. Returns the exit code when the process has nothing
// left to do (0 after --help, 2 after a wrong option), nothing when the agent goes on. `arguments` are the
// command line without the program name.
std::optional<int> handleAgentCommandLine(const QStringList& arguments, QTextStream& out, QTextStream& err);

}  // namespace pm
