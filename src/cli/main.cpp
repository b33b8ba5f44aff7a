#include "command.h"
#include "output.h"

#include "support/supportfolders.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <algorithm>

using namespace quorlin::cli;

namespace {

// Qt's notices about the desktop session (for example a missing XDG_RUNTIME_DIR when run as root)
// mean nothing to a command-line user and would mix into the error output scripts read.
QtMessageHandler standardHandler = nullptr;

void quietSessionNotices(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg && message.startsWith(QLatin1String("QStandardPaths: ")))
        return;
    standardHandler(type, context, message);
}

QString usage()
{
    auto commands = commandTable();
    std::sort(commands.begin(), commands.end(),
              [](const Command &a, const Command &b) { return a.name < b.name; });
    QString text = QStringLiteral("Usage: quorlin-cli COMMAND [OPTIONS]\n\n"
                                  "Reads, exports and makes iPhone Messages backups without a window.\n\n"
                                  "Commands:\n");
    for (const Command &command : commands)
        text += QStringLiteral("  %1  %2\n").arg(command.name.leftJustified(14), command.summary);
    text += QStringLiteral("\nRun 'quorlin-cli COMMAND --help' for a command's options.");
    return text;
}

} // namespace

int main(int argc, char *argv[])
{
    // Pictures are decoded and PDFs drawn without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    standardHandler = qInstallMessageHandler(quietSessionNotices);
    QGuiApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Quorlin"));
    QCoreApplication::setApplicationName(QStringLiteral("Quorlin"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUORLIN_VERSION));

    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 2 || arguments[1] == QLatin1String("--help") ||
        arguments[1] == QLatin1String("-h") || arguments[1] == QLatin1String("help")) {
        printOut(usage());
        return arguments.size() < 2 ? 1 : 0;
    }
    if (arguments[1] == QLatin1String("--version")) {
        printOut(QStringLiteral("quorlin-cli %1 (%2)")
                     .arg(QStringLiteral(QUORLIN_VERSION), QStringLiteral(QUORLIN_BUILD_NUMBER)));
        return 0;
    }

    const QString name = arguments[1];
    for (const Command &command : commandTable()) {
        if (command.name == name) {
            quorlin::ensureSupportFolders();
            QStringList rest = arguments.mid(2);
            rest.prepend(QStringLiteral("quorlin-cli %1").arg(name));
            return command.run(rest);
        }
    }
    printError(QStringLiteral("Unknown command '%1'.\n\n%2").arg(name, usage()));
    return 2;
}
