#include "SendCommand.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTextStream>
#include <QUuid>

#include <optional>
#include <variant>

#include "core/Identifiers.h"
#include "core/InboxBatchWriter.h"
#include "core/StoredConnections.h"

namespace pm {

namespace {

QString translated(const char* text) {
  return QCoreApplication::translate("SendCommand", text);
}

struct SendRequest {
  std::optional<QUuid> connection;
  QStringList paths;
  bool help = false;
};

struct UsageError {
  QString message;
};

std::variant<SendRequest, UsageError> parse(const QStringList& arguments) {
  SendRequest request;
  bool optionsEnded = false;
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    const QString& argument = arguments.at(i);
    if (optionsEnded || !argument.startsWith(QLatin1Char('-')) || argument == QLatin1String("-")) {
      request.paths.append(argument);
      continue;
    }
    if (argument == QLatin1String("--")) {
      optionsEnded = true;
    } else if (argument == QLatin1String("-h") || argument == QLatin1String("--help")) {
      request.help = true;
    } else if (argument == QLatin1String("--connection") ||
               argument.startsWith(QLatin1String("--connection="))) {
      QString value;
      if (argument.contains(QLatin1Char('='))) {
        value = argument.section(QLatin1Char('='), 1);
      } else if (i + 1 < arguments.size()) {
        value = arguments.at(++i);
      } else {
        return UsageError{translated("--connection needs a connection identifier.")};
      }
      request.connection = uuidFromText(value);
      if (!request.connection)
        return UsageError{translated("Not a connection identifier (a UUID such as "
                                     "0F8E2A4C-6B1D-4E3F-9A7C-2D5B8E1F4A6C): %1")
                              .arg(value)};
    } else {
      return UsageError{translated("Unknown option: %1").arg(argument)};
    }
  }
  if (!request.help && request.paths.isEmpty()) return UsageError{translated("No files or folders to send.")};
  return request;
}

// Why `connection` may not be sent to, or nothing when the suite holds a connection of that identifier. A
// batch for an unknown connection would go to the first ready one instead, where the user did not mean to
// share the files.
std::optional<QString> unknownConnection(const SendCommandEnvironment& environment, const QUuid& connection) {
  const std::optional<StoredConnections> stored =
      environment.defaults ? StoredConnections::load(*environment.defaults) : std::nullopt;
  if (!stored)
    return translated("The connections could not be read just now, so %1 could not be checked.")
        .arg(uuidText(connection));
  for (const UploaderConfig& config : stored->configs()) {
    if (config.id == connection) return std::nullopt;
  }
  return translated("No connection has the identifier %1.").arg(uuidText(connection));
}

}  // namespace

QString sendCommandUsage() {
  return translated(
      "Usage: Parcelmoor send [--connection <UUID>] [--] PATH...\n"
      "Hands files and folders to the running Parcelmoor (starting it when needed), which uploads them to "
      "the\n"
      "connection named by --connection, or to its first ready connection.\n");
}

int runSendCommand(const QStringList& arguments, QTextStream& out, QTextStream& err,
                   const SendCommandEnvironment& environment) {
  const auto parsed = parse(arguments);
  if (const auto* wrong = std::get_if<UsageError>(&parsed)) {
    err << "Parcelmoor send: " << wrong->message << '\n' << sendCommandUsage() << Qt::flush;
    return 2;
  }
  const SendRequest& request = std::get<SendRequest>(parsed);
  if (request.help) {
    out << sendCommandUsage() << Qt::flush;
    return 0;
  }
  if (const std::optional<QString> unknown =
          request.connection ? unknownConnection(environment, *request.connection) : std::nullopt) {
    err << "Parcelmoor send: " << *unknown << '\n'
        << "Parcelmoor send: " << translated("Nothing was sent.") << '\n'
        << Qt::flush;
    return 1;
  }

  const InboxBatchWriter::Outcome outcome =
      InboxBatchWriter(environment.paths).write(request.paths, request.connection);
  if (!outcome.ok()) {
    for (const QString& problem : outcome.problems) err << "Parcelmoor send: " << problem << '\n';
    err << "Parcelmoor send: " << translated("Nothing was sent.") << '\n' << Qt::flush;
    return 1;
  }

  // Asked by name first: a plain forward to an absent agent would only log a bus error.
  if (SingleInstance::isRunning(environment.connection, environment.serviceName)) {
    if (SingleInstance::forwardToRunning({}, environment.connection, environment.serviceName)) return 0;
    // A second agent would only find the name taken; the running one takes the batch when it next drains.
    err << "Parcelmoor send: "
        << translated(
               "Parcelmoor is running but did not answer. The files wait in the inbox and are taken when "
               "it next looks.")
        << '\n'
        << Qt::flush;
    return 1;
  }
  // The agent drains the inbox as it starts. Should another start meanwhile, the single-instance
  // claim turns this one into a forwarder.
  const QString program =
      environment.agentProgram.isEmpty() ? QCoreApplication::applicationFilePath() : environment.agentProgram;
  QProcess agent;
  agent.setProgram(program);
  // The agent outlives this command, and the terminal or pipe that ran the command may be gone by the
  // time it writes (a write into a closed pipe would end it), so it gets no standard channels of ours.
  agent.setStandardInputFile(QProcess::nullDevice());
  agent.setStandardOutputFile(QProcess::nullDevice());
  agent.setStandardErrorFile(QProcess::nullDevice());
  if (!agent.startDetached()) {
    err << "Parcelmoor send: "
        << translated(
               "The files wait in the inbox, but Parcelmoor could not be started (%1). They are taken "
               "when Parcelmoor next starts.")
               .arg(program)
        << '\n'
        << Qt::flush;
    return 1;
  }
  return 0;
}

}  // namespace pm
