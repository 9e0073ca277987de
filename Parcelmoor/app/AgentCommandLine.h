#pragma once

#include <QStringList>

#include <optional>

class QTextStream;

namespace pm {

// The agent's own command line, read before anything starts: `Parcelmoor [LINK...]`, where the links are
// the parcelmoor:// URLs the desktop hands over. --help prints the usage of the agent and of `send`; an
// option the agent does not know prints the same after its error. Returns the exit code when the process
// has nothing left to do (0 after --help, 2 after a wrong option), nothing when the agent goes on.
// `arguments` are the command line without the program name.
std::optional<int> handleAgentCommandLine(const QStringList& arguments, QTextStream& err);

}  // namespace pm
