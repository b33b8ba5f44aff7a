#include "command.h"
#include "output.h"

#include "device/backupoutput.h"
#include "device/mobiledeviceerror.h"
#include "device/mobiledeviceservice.h"
#include "support/quorlinerror.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFutureWatcher>
#include <QSocketNotifier>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace quorlin::cli {

QCommandLineOption toolsFolderOption(); // cmd_devices.cpp

namespace {

// Ctrl-C only writes a byte here; the main loop turns it into a cancellation.
int interruptPipe[2] = {-1, -1};

void onInterrupt(int)
{
    const char byte = 1;
    [[maybe_unused]] auto written = ::write(interruptPipe[1], &byte, 1);
}

QString clock(qint64 milliseconds)
{
    const qint64 seconds = milliseconds / 1000;
    if (seconds >= 3600)
        return QStringLiteral("%1:%2:%3")
            .arg(seconds / 3600)
            .arg((seconds / 60) % 60, 2, 10, QLatin1Char('0'))
            .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2")
        .arg(seconds / 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

// Draws the progress record on the terminal: a bar redrawn in place on a terminal, one line per
// whole percent otherwise, and each status or instruction on a line of its own.
class TerminalProgress {
public:
    explicit TerminalProgress(BackupProgress *progress) : m_progress(progress)
    {
        m_interactive = ::isatty(STDOUT_FILENO) == 1;
        m_runTimer.start();
        m_attemptTimer.start();
        QObject::connect(progress, &BackupProgress::percentChanged, &m_context, [this] { showPercent(); });
        QObject::connect(progress, &BackupProgress::statusMessageChanged, &m_context,
                         [this] { scheduleStatus(); });
        QObject::connect(progress, &BackupProgress::awaitingUserActionChanged, &m_context,
                         [this] { scheduleStatus(); });
    }

    void finishLine()
    {
        if (m_barShown && m_interactive)
            std::fputc('\n', stdout);
        m_barShown = false;
        std::fflush(stdout);
    }

private:
    void showPercent()
    {
        const double percent = qBound(0.0, m_progress->percent(), 100.0);
        const int whole = int(percent);
        if (whole < m_lastWhole || percent == 0)
            m_attemptTimer.restart(); // a new attempt starts from zero
        if (whole == m_lastWhole)
            return;
        m_lastWhole = whole;
        const int filled = whole * 30 / 100;
        const qint64 attemptElapsed = m_attemptTimer.elapsed();
        const QString remaining =
            whole > 0 ? clock(qint64(attemptElapsed * (100.0 - percent) / percent)) : QStringLiteral("--:--");
        const QString line =
            QStringLiteral("[%1%2] %3%  elapsed %4  remaining %5")
                .arg(QString(filled, QLatin1Char('#')), QString(30 - filled, QLatin1Char('-')))
                .arg(whole, 3)
                .arg(clock(m_runTimer.elapsed()), remaining);
        const QByteArray bytes = line.toUtf8();
        if (m_interactive) {
            std::fputs("\r\033[K", stdout);
            std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
            std::fflush(stdout);
            m_barShown = true;
        } else {
            printOut(line);
        }
    }

    // A prompt writes the message and the flag in one go; report them together once both are set.
    void scheduleStatus()
    {
        if (m_statusScheduled)
            return;
        m_statusScheduled = true;
        QTimer::singleShot(0, &m_context, [this] {
            m_statusScheduled = false;
            showStatus();
        });
    }

    void showStatus()
    {
        const QString message = m_progress->statusMessage();
        const bool awaiting = m_progress->awaitingUserAction();
        if (message.isEmpty() || (message == m_lastMessage && awaiting == m_lastAwaiting))
            return;
        m_lastMessage = message;
        m_lastAwaiting = awaiting;
        finishLine();
        printOut(awaiting ? QStringLiteral(">>> Action needed on your iPhone: ") + message : message);
        if (message == QLatin1String("Reconnecting to iPhone…"))
            m_lastWhole = -1;
    }

    BackupProgress *m_progress;
    QObject m_context;
    QElapsedTimer m_runTimer;
    QElapsedTimer m_attemptTimer;
    bool m_interactive = false;
    bool m_barShown = false;
    bool m_statusScheduled = false;
    int m_lastWhole = -1;
    QString m_lastMessage;
    bool m_lastAwaiting = false;
};

struct RunResult {
    QString snapshotFolder;
    std::exception_ptr error;
};

} // namespace

int runBackupCommand(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Backs up the connected iPhone with the given UDID (see 'quorlin-cli devices') into a new snapshot "
        "folder, showing progress and what to do on the phone. Unlock the phone and tap Trust when asked; "
        "the backup waits and retries while the phone is locked. Ctrl-C cancels the backup.\n"
        "Exit status: 0 when the snapshot was made, 1 when the backup failed, 130 when it was cancelled."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("UDID"),
                                 QStringLiteral("identifier of the iPhone to back up"));
    const QCommandLineOption toolsFolder = toolsFolderOption();
    parser.addOption(toolsFolder);
    parser.process(arguments);
    if (parser.positionalArguments().size() != 1) {
        printError(QStringLiteral("backup needs exactly one UDID.\n\n") + parser.helpText());
        return 2;
    }
    const QString udid = parser.positionalArguments().first();

    std::unique_ptr<MobileDeviceService> ownService;
    if (parser.isSet(toolsFolder))
        ownService = std::make_unique<MobileDeviceService>(parser.value(toolsFolder));
    MobileDeviceService &service = ownService ? *ownService : MobileDeviceService::shared();

    TerminalProgress terminal(service.progress());

    if (::pipe2(interruptPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        printError(QStringLiteral("Could not set up Ctrl-C handling."));
        return 1;
    }
    QSocketNotifier interruptNotifier(interruptPipe[0], QSocketNotifier::Read);
    QObject::connect(&interruptNotifier, &QSocketNotifier::activated, &interruptNotifier, [&] {
        char bytes[16];
        while (::read(interruptPipe[0], bytes, sizeof bytes) > 0) {
        }
        service.cancelBackup();
    });
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    struct sigaction previous = {};
    ::sigaction(SIGINT, &action, &previous);

    QFutureWatcher<RunResult> watcher;
    QEventLoop loop;
    QObject::connect(&watcher, &QFutureWatcher<RunResult>::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(QtConcurrent::run([&service, udid] {
        RunResult result;
        try {
            result.snapshotFolder = service.runBackup(udid);
        } catch (...) {
            result.error = std::current_exception();
        }
        return result;
    }));
    loop.exec();
    // Let the last posted progress changes arrive before the summary.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();

    ::sigaction(SIGINT, &previous, nullptr);
    ::close(interruptPipe[0]);
    ::close(interruptPipe[1]);
    terminal.finishLine();

    const RunResult result = watcher.result();
    if (!result.error) {
        printOut(QStringLiteral("Backup saved to %1").arg(result.snapshotFolder));
        return 0;
    }
    QString description;
    bool cancelled = false;
    try {
        std::rethrow_exception(result.error);
    } catch (const MobileDeviceError &error) {
        description = error.description();
        cancelled = error.kind() == MobileDeviceError::Kind::backupCancelled;
    } catch (const QuorlinError &error) {
        description = error.description();
    } catch (const std::exception &error) {
        description = QString::fromLocal8Bit(error.what());
    }
    if (cancelled) {
        printError(description);
        return 130;
    }
    const std::optional<QString> message =
        failureMessage(service.liveLog().wholeText() + QLatin1Char('\n') + description);
    printError(message.value_or(description));
    if (message)
        printError(QStringLiteral("Details: ") + description);
    return 1;
}

static CommandRegistration registration(QStringLiteral("backup"),
                                        QStringLiteral("back up a connected iPhone into a new snapshot"),
                                        runBackupCommand);

} // namespace quorlin::cli
