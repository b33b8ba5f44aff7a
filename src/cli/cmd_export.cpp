#include "command.h"
#include "conversationloader.h"
#include "output.h"

#include "export/daterangefilter.h"
#include "export/exportservice.h"
#include "support/quorlinerror.h"

#include <QCommandLineParser>
#include <QDate>
#include <QTimeZone>

#include <limits>

#include <optional>

using namespace quorlin;
using namespace quorlin::cli;

namespace {

// A problem with the command line itself, reported before anything is read or written.
class UsageError : public QuorlinError {
public:
    explicit UsageError(QString description) : m_description(std::move(description)) {}
    [[nodiscard]] QString description() const override { return m_description; }

private:
    QString m_description;
};

std::optional<ExportFormat> formatFromOption(const QString &value)
{
    const QString name = value.toLower();
    if (name == QLatin1String("pdf"))
        return ExportFormat::pdf;
    if (name == QLatin1String("csv"))
        return ExportFormat::csv;
    if (name == QLatin1String("text"))
        return ExportFormat::text;
    if (name == QLatin1String("html"))
        return ExportFormat::html;
    return std::nullopt;
}

std::optional<QDate> dateOption(const QCommandLineParser &parser, const QString &name)
{
    if (!parser.isSet(name))
        return std::nullopt;
    const QString value = parser.value(name);
    const QDate date = QDate::fromString(value, QStringLiteral("yyyy-MM-dd"));
    if (!date.isValid())
        throw UsageError(
            QStringLiteral("Invalid date for --%1: \"%2\" (expected YYYY-MM-DD)").arg(name, value));
    return date;
}

// The conversation view's range: from the first instant of the --from day to the last instant of
// the --to day, in the local time zone; an open end reaches as far as any date can.
Chat narrowedToDates(const Chat &chat, std::optional<QDate> from, std::optional<QDate> to)
{
    if (!from && !to)
        return chat;
    const QDateTime start =
        from ? startOfLocalDay(*from)
             : QDateTime::fromMSecsSinceEpoch(std::numeric_limits<qint64>::min() / 4, QTimeZone::utc());
    const QDateTime end =
        to ? endOfLocalDay(*to)
           : QDateTime::fromMSecsSinceEpoch(std::numeric_limits<qint64>::max() / 4, QTimeZone::utc());
    return filteredChat(chat, start, end);
}

int runExport(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Exports one conversation of a backup snapshot as a PDF, CSV, text or HTML file."));
    parser.addHelpOption();
    const QCommandLineOption formatOption(QStringLiteral("format"),
                                          QStringLiteral("Export format: pdf, csv, text or html."),
                                          QStringLiteral("FORMAT"));
    const QCommandLineOption outputOption(QStringLiteral("output"),
                                          QStringLiteral("File to write (for html, the folder to create)."),
                                          QStringLiteral("PATH"));
    const QCommandLineOption fromOption(
        QStringLiteral("from"), QStringLiteral("First day to include (YYYY-MM-DD)."), QStringLiteral("DATE"));
    const QCommandLineOption toOption(QStringLiteral("to"),
                                      QStringLiteral("Last day to include, the whole day (YYYY-MM-DD)."),
                                      QStringLiteral("DATE"));
    const QCommandLineOption hideDatesOption(
        QStringLiteral("hide-dates"), QStringLiteral("No date and time line above messages (pdf, html)."));
    const QCommandLineOption inkSavingOption(QStringLiteral("ink-saving"),
                                             QStringLiteral("Outlined bubbles with black text (pdf, html)."));
    const QCommandLineOption showContactOption(
        QStringLiteral("show-contact"),
        QStringLiteral("Name lines above bubbles in one-to-one conversations (pdf, html)."));
    parser.addOptions({formatOption, outputOption, fromOption, toOption, hideDatesOption, inkSavingOption,
                       showContactOption});
    parser.addPositionalArgument(QStringLiteral("SNAPSHOT_FOLDER"),
                                 QStringLiteral("The backup snapshot folder."));
    parser.addPositionalArgument(QStringLiteral("CHAT_ID"),
                                 QStringLiteral("The conversation's id, as `chats` lists it."));
    if (!parser.parse(arguments)) {
        printError(parser.errorText());
        return 2;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        printOut(parser.helpText());
        return 0;
    }

    try {
        const QStringList positional = parser.positionalArguments();
        if (positional.size() != 2)
            throw UsageError(QStringLiteral("Expected a snapshot folder and a conversation id.\n\n") +
                             parser.helpText());
        bool isNumber = false;
        const qint64 chatId = positional.at(1).toLongLong(&isNumber);
        if (!isNumber)
            throw UsageError(QStringLiteral("Invalid conversation id: \"%1\"").arg(positional.at(1)));
        if (!parser.isSet(formatOption))
            throw UsageError(QStringLiteral("Missing --format (pdf, csv, text or html)."));
        const std::optional<ExportFormat> format = formatFromOption(parser.value(formatOption));
        if (!format) {
            throw UsageError(QStringLiteral("Unknown format: \"%1\" (use pdf, csv, text or html)")
                                 .arg(parser.value(formatOption)));
        }
        if (!parser.isSet(outputOption) || parser.value(outputOption).isEmpty())
            throw UsageError(QStringLiteral("Missing --output PATH."));
        const std::optional<QDate> from = dateOption(parser, fromOption.names().first());
        const std::optional<QDate> to = dateOption(parser, toOption.names().first());

        ExportOptions options;
        options.hideDates = parser.isSet(hideDatesOption);
        options.inkSaving = parser.isSet(inkSavingOption);
        options.showContactInIndividual = parser.isSet(showContactOption);

        const Chat chat = narrowedToDates(loadConversation(positional.at(0), chatId), from, to);
        printOut(ExportService::shared().exportChat(chat, *format, parser.value(outputOption), options));
    } catch (const UsageError &error) {
        printError(error.description());
        return 2;
    } catch (const QuorlinError &error) {
        printError(error.description());
        return 1;
    }
    return 0;
}

CommandRegistration registration(QStringLiteral("export"), QStringLiteral("Export a conversation to a file"),
                                 runExport);

} // namespace
