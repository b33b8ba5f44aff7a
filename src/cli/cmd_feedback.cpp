#include "command.h"
#include "output.h"

#include "backup/backupcatalogue.h"
#include "service/apiclient.h"
#include "service/emailcheck.h"
#include "service/feedbackservice.h"
#include "service/waitfortask.h"

#include <QCommandLineParser>

namespace quorlin::cli {

namespace {

int runFeedback(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Sends feedback to Quorlin's makers, optionally with a "
                                                    "snapshot's backup log."));
    parser.addHelpOption();
    const QCommandLineOption emailOption(QStringLiteral("email"), QStringLiteral("Your e-mail address."),
                                         QStringLiteral("ADDRESS"));
    const QCommandLineOption messageOption(QStringLiteral("message"), QStringLiteral("The message."),
                                           QStringLiteral("TEXT"));
    const QCommandLineOption logOption(QStringLiteral("attach-log"),
                                       QStringLiteral("Attach the \"backup.log\" of this snapshot."),
                                       QStringLiteral("SNAPSHOT_FOLDER"));
    const QCommandLineOption urlOption(
        QStringLiteral("service-url"),
        QStringLiteral("Send to this service instead of Quorlin's (for trying it by hand)."),
        QStringLiteral("URL"));
    parser.addOptions({emailOption, messageOption, logOption, urlOption});
    parser.process(arguments);

    const QString email = parser.value(emailOption).trimmed();
    const QString message = parser.value(messageOption).trimmed();
    if (!isPlausibleEmail(email)) {
        printError(QStringLiteral("Give a valid e-mail address with --email."));
        return 2;
    }
    if (message.isEmpty()) {
        printError(QStringLiteral("Give a message with --message."));
        return 2;
    }
    std::optional<BackupInfo> backup;
    if (parser.isSet(logOption)) {
        backup = readSnapshot(parser.value(logOption), BackupInfo::Source::appManaged);
        if (!backup) {
            printError(QStringLiteral("No snapshot at %1.").arg(parser.value(logOption)));
            return 2;
        }
    }

    APIClient client(parser.isSet(urlOption) ? parser.value(urlOption)
                                             : QString::fromLatin1(APIClient::baseURL));
    FeedbackService service(client);
    try {
        const auto reply = waitForTask(service.send(email, message, backup));
        printOut(reply.ok ? QStringLiteral("Feedback sent. Thank you!")
                          : QStringLiteral("Feedback sent; the service answered \"ok\": false."));
    } catch (const QuorlinError &error) {
        printError(error.description());
        return 1;
    }
    return 0;
}

CommandRegistration reg(QStringLiteral("feedback"), QStringLiteral("Send feedback to Quorlin's makers"),
                        runFeedback);

} // namespace

} // namespace quorlin::cli
