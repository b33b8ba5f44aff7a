#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace quorlin::cli {

// One sub-command of quorlin-cli. `run` gets the arguments after the command name (with the
// program name first, as QCommandLineParser expects) and returns the exit status.
struct Command {
    QString name;
    QString summary;
    std::function<int(const QStringList &arguments)> run;
};

std::vector<Command> &commandTable();

// Each command file registers itself with a static CommandRegistration.
struct CommandRegistration {
    CommandRegistration(QString name, QString summary, std::function<int(const QStringList &)> run);
};

} // namespace quorlin::cli
