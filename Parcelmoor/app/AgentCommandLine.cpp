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

// The options QApplication takes out of the command line itself, with one or two dashes; those of the
// X11 platform too, whichever platform runs, since a session restored on another desktop passes them on.
void addQtOptions(QCommandLineParser& parser) {
  static constexpr const char* kWithValue[] = {
      "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "qwindowicon",
      "qwindowtitle", "session", "display", "geometry", "title", "icon", "name", "style", "stylesheet",
      "qmljsdebugger", "dialogs", "fontengine"};
  static constexpr const char* kFlags[] = {"reverse", "widgetcount", "testability", "nograb", "dograb", "sync"};
  for (const char* name : kWithValue) {
    QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(option);
  }
  for (const char* name : kFlags) {
    QCommandLineOption option(QString::fromLatin1(name));
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(option);
  }
}

}  // namespace

std::optional<int> handleAgentCommandLine(const QStringList& arguments, QTextStream& out, QTextStream& err) {
  QCommandLineParser parser;
  // "-help" is the word help, not the letters h, e, l and p; "-session" is Qt's option, not seven letters.
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
  parser.addOption(help);
  addQtOptions(parser);
  parser.addPositionalArgument(QStringLiteral("links"), QString(), QStringLiteral("[LINK...]"));
  // The parser skips the first entry as the program's name.
  if (!parser.parse(QStringList{QStringLiteral("Parcelmoor")} + arguments)) {
    err << "Parcelmoor: " << parser.errorText() << '\n' << usage() << Qt::flush;
    return 2;
  }
  if (parser.isSet(help)) {
    out << usage() << Qt::flush;
    return 0;
  }
  return std::nullopt;
}

}  // namespace pm
