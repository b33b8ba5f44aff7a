#include "command.h"

namespace quorlin::cli {

std::vector<Command> &commandTable()
{
    static std::vector<Command> table;
    return table;
}

CommandRegistration::CommandRegistration(QString name, QString summary,
                                         std::function<int(const QStringList &)> run)
{
    commandTable().push_back(Command{std::move(name), std::move(summary), std::move(run)});
}

} // namespace quorlin::cli
