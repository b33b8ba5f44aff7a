#include "device/fakedevicetools.h"
#include "device/tooloutcome.h"

#include "device/linesplitter.h"
#include "device/mobiledeviceerror.h"
#include "device/mobiledeviceservice.h"

#include <QMutex>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

using namespace quorlin;
using namespace std::chrono_literals;

namespace {

// Collects streamed lines from both reader threads.
struct LineSink {
    QMutex lock;
    QStringList lines;
    MobileDeviceService::LineHandler handler()
    {
        return [this](const QString &line) {
            QMutexLocker locker(&lock);
            lines.append(line);
        };
    }
};

bool waitForCall(const FakeDeviceTools &tools, const QString &tool)
{
    return QTest::qWaitFor([&] { return !tools.callsOf(tool).isEmpty(); }, 10000);
}

} // namespace

class TestToolRunner : public QObject {
    Q_OBJECT

private slots:
    void locateToolFindsOnlyTheNamedFile()
    {
        FakeDeviceTools tools;
        MobileDeviceService service(tools.folder());
        QCOMPARE(service.locateTool(QStringLiteral("ideviceinfo")),
                 tools.path(QStringLiteral("ideviceinfo")));
        for (const QString &name :
             {QStringLiteral("idevicesyslog"), QStringLiteral("lib"), QStringLiteral("../idevice_id")}) {
            const ToolOutcome outcome = captureOutcome([&] { return service.locateTool(name); });
            QCOMPARE(outcome.kind, MobileDeviceError::Kind::binaryNotFound);
            QCOMPARE(outcome.errorText(),
                     QStringLiteral("Bundled binary %1 not found. Reinstall Quorlin.").arg(name));
        }
    }

    void errorDescriptions()
    {
        QCOMPARE(MobileDeviceError::commandFailed(QStringLiteral("idevicepair"), QStringLiteral("boom"), 3)
                     .description(),
                 QStringLiteral("idevicepair exited with code 3: boom"));
        QCOMPARE(MobileDeviceError::pairingFailed(QStringLiteral("no")).description(),
                 QStringLiteral("Pairing failed: no"));
        QCOMPARE(MobileDeviceError::deviceNotConnected().description(),
                 QStringLiteral("iPhone is not connected via USB."));
        QCOMPARE(MobileDeviceError::backupCancelled().description(), QStringLiteral("Backup cancelled."));
        QCOMPARE(
            MobileDeviceError::commandFailed(QStringLiteral("idevicebackup2"), QString(), -1).description(),
            QStringLiteral("idevicebackup2 exited with code -1: "));
    }

    void captureModeReturnsOutputAndSetsLibraryPath()
    {
        FakeDeviceTools tools;
        tools.setOutput(QStringLiteral("idevice_id"), "first\nsecond\n", "a warning\n", 0);
        MobileDeviceService service(tools.folder());
        QCOMPARE(service.runTool(QStringLiteral("idevice_id"), {QStringLiteral("-l")}),
                 QStringLiteral("first\nsecond\n"));
        QCOMPARE(tools.calls(), (QList<QStringList>{{QStringLiteral("idevice_id"), QStringLiteral("-l")}}));
        QCOMPARE(tools.libraryPath(), tools.path(QStringLiteral("lib")));
        QVERIFY(!service.hasRegisteredProcess());
    }

    void captureModeFailures_data()
    {
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QByteArray>("err");
        QTest::addColumn<int>("exitStatus");
        QTest::addColumn<QString>("description");
        QTest::newRow("boom") << QByteArray("ignored\n") << QByteArray("boom") << 3
                              << QStringLiteral("idevicepair exited with code 3: boom");
        QTest::newRow("no stderr") << QByteArray() << QByteArray() << 255
                                   << QStringLiteral("idevicepair exited with code 255: ");
        // Standard error that is not UTF-8 reads as empty text.
        QTest::newRow("binary stderr") << QByteArray() << QByteArray("\xff\xfe oops") << 1
                                       << QStringLiteral("idevicepair exited with code 1: ");
    }
    void captureModeFailures()
    {
        QFETCH(QByteArray, out);
        QFETCH(QByteArray, err);
        QFETCH(int, exitStatus);
        QFETCH(QString, description);
        FakeDeviceTools tools;
        tools.setOutput(QStringLiteral("idevicepair.validate"), out, err, exitStatus);
        MobileDeviceService service(tools.folder());
        const ToolOutcome outcome = captureOutcome([&] {
            return service.runTool(QStringLiteral("idevicepair"),
                                   {QStringLiteral("-u"), QStringLiteral("X"), QStringLiteral("validate")});
        });
        QCOMPARE(outcome.kind, MobileDeviceError::Kind::commandFailed);
        QCOMPARE(outcome.exitCode, exitStatus);
        QCOMPARE(outcome.errorText(), description);
        QVERIFY(!service.hasRegisteredProcess());
    }

    void captureModeDecodesGarbageAsEmpty()
    {
        FakeDeviceTools tools;
        tools.setOutput(QStringLiteral("idevice_id"), QByteArray("\xff\xfe\x80 not text\n", 13));
        MobileDeviceService service(tools.folder());
        QCOMPARE(service.runTool(QStringLiteral("idevice_id"), {QStringLiteral("-l")}), QString());
    }

    // A tool that writes more than a pipe holds on both pipes must not stall.
    void captureModeReadsLargeOutputWhileRunning()
    {
        FakeDeviceTools tools;
        tools.setScript(QStringLiteral("idevice_id"), "flood 50000; exit 0\n");
        MobileDeviceService service(tools.folder());
        QFuture<ToolOutcome> future = inBackground(
            [&] { return service.runTool(QStringLiteral("idevice_id"), {QStringLiteral("-l")}); });
        QVERIFY(QTest::qWaitFor([&] { return future.isFinished(); }, 60000));
        const ToolOutcome outcome = future.result();
        QVERIFY(!outcome.error);
        QCOMPARE(outcome.value.count(QLatin1Char('\n')), 50000);
    }

    void streamingSplitsLines_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("unterminated rest")
            << QByteArray("printf 'a\\nb'") << QStringList{QStringLiteral("a")};
        QTest::newRow("carriage return stays")
            << QByteArray("printf 'x\\r\\n'") << QStringList{QStringLiteral("x\r")};
        QTest::newRow("character split across writes")
            << QByteArray("split_utf8") << QStringList{QStringLiteral("Backing up café photos")};
        QTest::newRow("garbage dropped")
            << QByteArray("garbage") << QStringList{QStringLiteral("after the garbage")};
        QTest::newRow("empty lines") << QByteArray("printf '\\n\\n'") << QStringList{QString(), QString()};
        QTest::newRow("last line before exit")
            << QByteArray("say done; exit 0") << QStringList{QStringLiteral("done")};
    }
    void streamingSplitsLines()
    {
        QFETCH(QByteArray, script);
        QFETCH(QStringList, lines);
        FakeDeviceTools tools;
        tools.setScript(QStringLiteral("idevice_id"), script + "\nexit 0\n");
        MobileDeviceService service(tools.folder());
        LineSink sink;
        QCOMPARE(service.runTool(QStringLiteral("idevice_id"), {QStringLiteral("-l")}, sink.handler()),
                 QString());
        QCOMPARE(sink.lines, lines);
    }

    void streamingReadsBothPipesCompletely()
    {
        FakeDeviceTools tools;
        tools.setScript(QStringLiteral("idevice_id"), "flood 20000; exit 4\n");
        MobileDeviceService service(tools.folder());
        LineSink sink;
        const ToolOutcome outcome = captureOutcome([&] {
            return service.runTool(QStringLiteral("idevice_id"), {QStringLiteral("-l")}, sink.handler());
        });
        // Streaming mode keeps no standard error text for the failure.
        QCOMPARE(outcome.errorText(), QStringLiteral("idevice_id exited with code 4: "));
        QCOMPARE(sink.lines.size(), 40000);
        QCOMPARE(sink.lines.count(
                     QStringLiteral("output line that fills the pipe quickly, again and again and again")),
                 20000);
    }

    void missingNotExecutableAndCrashingTools()
    {
        FakeDeviceTools tools;
        MobileDeviceService service(tools.folder());
        QFile::remove(tools.path(QStringLiteral("ideviceinfo")));
        ToolOutcome outcome =
            captureOutcome([&] { return service.runTool(QStringLiteral("ideviceinfo"), {}); });
        QCOMPARE(outcome.kind, MobileDeviceError::Kind::binaryNotFound);

        QFile::setPermissions(tools.path(QStringLiteral("idevicepair")),
                              QFile::ReadOwner | QFile::WriteOwner);
        outcome = captureOutcome([&] { return service.runTool(QStringLiteral("idevicepair"), {}); });
        QVERIFY(!outcome.kind);
        QCOMPARE(outcome.errorText(), QStringLiteral("Could not start idevicepair: Permission denied"));
        QVERIFY(!service.hasRegisteredProcess());

        tools.setScript(QStringLiteral("idevice_id"), "kill -SEGV $$\n");
        outcome = captureOutcome(
            [&] { return service.runTool(QStringLiteral("idevice_id"), {QStringLiteral("-l")}); });
        QCOMPARE(outcome.kind, MobileDeviceError::Kind::commandFailed);
        QCOMPARE(outcome.exitCode, 11);
        QVERIFY(!service.hasRegisteredProcess());
    }

    void cancelEndsRunningTool_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::newRow("hanging") << QByteArray("say started; hang\n");
        QTest::newRow("ignores SIGTERM") << QByteArray("say started; ignore_term; hang\n");
        QTest::newRow("exits 0 on SIGTERM") << QByteArray("trap 'kill $!; exit 0' TERM; sleep 600 & wait\n");
    }
    void cancelEndsRunningTool()
    {
        QFETCH(QByteArray, script);
        FakeDeviceTools tools;
        tools.setScript(QStringLiteral("idevice_id"), script);
        MobileDeviceService service(tools.folder());
        service.setKillDelay(200ms);
        QFuture<ToolOutcome> future = inBackground(
            [&] { return service.runTool(QStringLiteral("idevice_id"), {QStringLiteral("-l")}); });
        QVERIFY(waitForCall(tools, QStringLiteral("idevice_id")));
        QVERIFY(QTest::qWaitFor([&] { return service.hasRegisteredProcess(); }, 5000));
        QTest::qWait(100); // let the script reach its wait
        service.cancelBackup();
        QVERIFY(QTest::qWaitFor([&] { return future.isFinished(); }, 20000));
        const ToolOutcome outcome = future.result();
        QCOMPARE(outcome.kind, MobileDeviceError::Kind::backupCancelled);
        QCOMPARE(outcome.errorText(), QStringLiteral("Backup cancelled."));
        QVERIFY(!service.hasRegisteredProcess());
        QTRY_COMPARE(service.progress()->statusMessage(), QStringLiteral("Cancelling…"));
    }

    void cancelWithoutToolChangesNothingVisible()
    {
        FakeDeviceTools tools;
        MobileDeviceService service(tools.folder());
        QSignalSpy spy(service.progress(), &BackupProgress::statusMessageChanged);
        service.cancelBackup();
        QTest::qWait(20);
        QCOMPARE(spy.count(), 0);
        QVERIFY(service.wasCancelled());
        // The next run starts with the flag reset and succeeds.
        QCOMPARE(service.runTool(QStringLiteral("idevice_id"), {QStringLiteral("-l")}),
                 QStringLiteral("00008110-000A1B2C3D4E5F60\n"));
        QVERIFY(!service.wasCancelled());
    }

    void killStrayBackupToolsEndsToolsByName()
    {
        QTemporaryDir folder;
        const QString stray = folder.filePath(QStringLiteral("idevicebackup2"));
        QVERIFY(QFile::copy(QStringLiteral("/bin/sleep"), stray));
        QFile::setPermissions(stray, QFile::ReadOwner | QFile::ExeOwner);
        QProcess process;
        process.start(stray, {QStringLiteral("600")});
        QVERIFY(process.waitForStarted());
        MobileDeviceService service(folder.path());
        service.killStrayBackupTools();
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitStatus(), QProcess::CrashExit);
    }

    // No phone (and normally no usbmuxd) here: the real tools fail clearly or list nothing.
    void realToolsListNoDeviceWithoutHanging()
    {
        QString folder = QFileInfo(QStringLiteral(QUORLIN_CLI_PATH)).absolutePath() +
                         QStringLiteral("/../share/quorlin/libimobiledevice");
        if (!QFileInfo::exists(folder + QStringLiteral("/idevice_id")))
            folder = QStringLiteral("/usr/bin");
        if (!QFileInfo::exists(folder + QStringLiteral("/idevice_id")))
            QSKIP("libimobiledevice-utils is not installed");
        MobileDeviceService service(folder);
        QFuture<ToolOutcome> future = inBackground([&] {
            const QList<DeviceInfo> devices = service.listDevices();
            return QString::number(devices.size());
        });
        if (!QTest::qWaitFor([&] { return future.isFinished(); }, 60000)) {
            service.cancelBackup();
            future.waitForFinished();
            QFAIL("listing devices with the real tools did not finish");
        }
        const ToolOutcome outcome = future.result();
        if (outcome.error) {
            QCOMPARE(outcome.kind, MobileDeviceError::Kind::commandFailed);
            QVERIFY2(outcome.error->startsWith(QStringLiteral("idevice_id exited with code ")),
                     qPrintable(outcome.errorText()));
            QVERIFY2(!outcome.standardError.trimmed().isEmpty(), qPrintable(outcome.errorText()));
        } else {
            QCOMPARE(outcome.value, QStringLiteral("0"));
        }
    }
};

QTEST_GUILESS_MAIN(TestToolRunner)
#include "tst_toolrunner.moc"
