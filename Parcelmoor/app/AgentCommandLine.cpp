#include "AgentCommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include "send/SendCommand.h"

namespace pm {

namespace {

QString translated(const char* text) {
  return QCoreApplication::translate("AgentCommandLine", text);
}

QString usage() {
  return translated(
             "Usage: Parcelmoor [--help] [LINK...]\n"
             "Starts the Parcelmoor agent, which uploads the files dropped on its bar or sent to it and "
             "hands "
             "back\n"
             "share links. A second start hands its parcelmoor:// links to the agent that runs, or opens "
             "the\n"
             "settings when it has none.\n"
             "\n"
             "Options:\n"
             "  -h, --help  Show this help and exit.\n"
             "\n") +
         sendCommandUsage();
}

}  // namespace

std::optional<int> handleAgentCommandLine(const QStringList& arguments, QTextStream& err) {
  QCommandLineParser parser;
  // "-help" is the word help, not the letters h, e, l and p.
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
  parser.addOption(help);
  parser.addPositionalArgument(QStringLiteral("links"), QString(), QStringLiteral("[LINK...]"));
  // The parser skips the first entry as the program's name.
  if (!parser.parse(QStringList{QStringLiteral("Parcelmoor")} + arguments)) {
    err << "Parcelmoor: " << parser.errorText() << '\n' << usage() << Qt::flush;
    return 2;
  }
  if (parser.isSet(help)) {
    err << usage() << Qt::flush;
    return 0;
  }
  return std::nullopt;
}

}  // namespace pm
