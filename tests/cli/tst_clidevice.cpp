#include "device/fakedevicetools.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <csignal>

namespace {

const QString udid = QStringLiteral("00008110-000A1B2C3D4E5F60");

struct CliResult {
    int exitCode = -1;
    QString out;
    QString err;
};

} // namespace

// quorlin-cli devices and backup as a user runs them, against the stand-in device tools.
class TestCliDevice : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_home;

    QProcessEnvironment environment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath(QStringLiteral("data")));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), m_home.filePath(QStringLiteral("cache")));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return environment;
    }

    void start(QProcess &process, const QStringList &arguments) const
    {
        process.setProcessEnvironment(environment());
        process.start(QStringLiteral(QUORLIN_CLI_PATH), arguments);
    }

    CliResult cli(const QStringList &arguments) const
    {
        QProcess process;
        start(process, arguments);
        CliResult result;
        if (!process.waitForFinished(120000)) {
            process.kill();
            process.waitForFinished();
            result.err = QStringLiteral("quorlin-cli did not finish");
            return result;
        }
        result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.out = QString::fromUtf8(process.readAllStandardOutput());
        result.err = QString::fromUtf8(process.readAllStandardError());
        return result;
    }

private slots:
    void devicesAsTable()
    {
        FakeDeviceTools tools;
        tools.setOutput(QStringLiteral("idevice_id"), "AAA\nBBB\n");
        tools.setScript(QStringLiteral("idevicepair.validate"), "[ \"$udid\" = BBB ] && exit 1; exit 0\n");
        const CliResult result =
            cli({QStringLiteral("devices"), QStringLiteral("--tools-folder"), tools.folder()});
        QCOMPARE(result.exitCode, 0);
        const QStringList lines = result.out.trimmed().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines[0].startsWith(QStringLiteral("UDID")));
        QVERIFY(lines[1].startsWith(QStringLiteral("AAA")) &&
                lines[1].contains(QStringLiteral("Test iPhone")));
        QVERIFY(lines[1].endsWith(QStringLiteral("yes")));
        QVERIFY(lines[2].endsWith(QStringLiteral("no")));
    }

    void devicesAsJson()
    {
        FakeDeviceTools tools;
        tools.setOutput(QStringLiteral("ideviceinfo.DeviceName"), "Anna’s iPhone\n");
        const CliResult result = cli({QStringLiteral("devices"), QStringLiteral("--json"),
                                      QStringLiteral("--tools-folder"), tools.folder()});
        QCOMPARE(result.exitCode, 0);
        const QJsonArray devices = QJsonDocument::fromJson(result.out.toUtf8()).array();
        QCOMPARE(devices.size(), 1);
        const QJsonObject device = devices[0].toObject();
        QCOMPARE(device.keys(), (QStringList{QStringLiteral("deviceName"), QStringLiteral("iosVersion"),
                                             QStringLiteral("isPaired"), QStringLiteral("productType"),
                                             QStringLiteral("udid")}));
        QCOMPARE(device[QStringLiteral("udid")].toString(), udid);
        QCOMPARE(device[QStringLiteral("deviceName")].toString(), QStringLiteral("Anna’s iPhone"));
        QCOMPARE(device[QStringLiteral("productType")].toString(), QStringLiteral("iPhone14,2"));
        QCOMPARE(device[QStringLiteral("iosVersion")].toString(), QStringLiteral("17.4"));
        QCOMPARE(device[QStringLiteral("isPaired")].toBool(), true);
    }

    void noDevices_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("output");
        QTest::newRow("text") << QStringList() << QStringLiteral("No iPhone is connected.\n");
        QTest::newRow("json") << QStringList{QStringLiteral("--json")} << QStringLiteral("[\n]\n");
    }
    void noDevices()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, output);
        FakeDeviceTools tools;
        tools.setOutput(QStringLiteral("idevice_id"), "");
        const CliResult result =
            cli(QStringList{QStringLiteral("devices"), QStringLiteral("--tools-folder"), tools.folder()} +
                options);
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(result.out, output);
    }

    void devicesFailure()
    {
        FakeDeviceTools tools;
        tools.setOutput(QStringLiteral("idevice_id"), "", "ERROR: Unable to retrieve device list!\n", 255);
        const CliResult result =
            cli({QStringLiteral("devices"), QStringLiteral("--tools-folder"), tools.folder()});
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(result.err.contains(QStringLiteral(
                     "idevice_id exited with code 255: ERROR: Unable to retrieve device list!")),
                 qPrintable(result.err));
        QCOMPARE(result.out, QString());
    }

    void helpDocumentsTheToolsFolder_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("devices") << QStringLiteral("devices");
        QTest::newRow("backup") << QStringLiteral("backup");
    }
    void helpDocumentsTheToolsFolder()
    {
        QFETCH(QString, command);
        const CliResult result = cli({command, QStringLiteral("--help")});
        QCOMPARE(result.exitCode, 0);
        QVERIFY2(result.out.contains(QStringLiteral("--tools-folder <dir>")), qPrintable(result.out));
        QVERIFY(result.out.contains(QStringLiteral("Testing aid")));
    }

    void backupShowsProgressAndSavesTheSnapshot()
    {
        FakeDeviceTools tools;
        tools.setScript(QStringLiteral("idevicebackup2"), "say 'Please confirm on the device'\nsleep 0.3\n"
                                                          "progress 0 25.5 50 100\nwrite_snapshot\nexit 0\n");
        const CliResult result =
            cli({QStringLiteral("backup"), udid, QStringLiteral("--tools-folder"), tools.folder()});
        QVERIFY2(result.exitCode == 0, qPrintable(result.err));
        QVERIFY(result.out.contains(QStringLiteral("Starting backup...\n")));
        QVERIFY(result.out.contains(
            QStringLiteral(">>> Action needed on your iPhone: Confirm the backup prompt on your iPhone.\n")));
        QVERIFY2(result.out.contains(QRegularExpression(
                     QStringLiteral("\\] +25%  elapsed \\d\\d:\\d\\d  remaining \\d\\d:\\d\\d\\n"))),
                 qPrintable(result.out));
        QVERIFY(result.out.contains(QRegularExpression(QStringLiteral("\\[#{30}\\] 100%  elapsed "))));
        QVERIFY(result.out.contains(QStringLiteral("Pruning non-iMessage data...\n")));
        const QRegularExpressionMatch saved =
            QRegularExpression(QStringLiteral("Backup saved to (.+)\\n$")).match(result.out);
        QVERIFY2(saved.hasMatch(), qPrintable(result.out));
        QVERIFY(saved.captured(1).startsWith(m_home.filePath(QStringLiteral("data/Quorlin/Backups/")) + udid +
                                             QLatin1Char('/')));
        QVERIFY(QFileInfo::exists(saved.captured(1) + QStringLiteral("/backup.log")));
    }

    void backupFailures_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<QString>("message");
        QTest::newRow("explained by the log")
            << QByteArray("warn 'ERROR: Could not connect to lockdownd, error code -21'\nexit 255\n")
            << QStringLiteral("iPhone disconnected or sleeping. Reconnect, unlock it, then try again.\n"
                              "Details: idevicebackup2 exited with code 255: \n");
        QTest::newRow("description")
            << QByteArray("say 'Backup Successful.'\nexit 0\n")
            << QStringLiteral("idevicebackup2 exited with code -1: Expected snapshot not found at %1/%2\n")
                   .arg(m_home.filePath(QStringLiteral("data/Quorlin/Backups/")) + udid, udid);
    }
    void backupFailures()
    {
        QFETCH(QByteArray, script);
        QFETCH(QString, message);
        FakeDeviceTools tools;
        tools.setScript(QStringLiteral("idevicebackup2"), script);
        const CliResult result =
            cli({QStringLiteral("backup"), udid, QStringLiteral("--tools-folder"), tools.folder()});
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(result.err.endsWith(message), qPrintable(result.err));
    }

    void backupNeedsOneUdid()
    {
        const CliResult result = cli({QStringLiteral("backup")});
        QCOMPARE(result.exitCode, 2);
        QVERIFY(result.err.contains(QStringLiteral("UDID")));
    }

    void ctrlCCancelsTheBackup()
    {
        FakeDeviceTools tools;
        tools.setScript(QStringLiteral("idevicebackup2"), "write_partial\nsay 'Receiving files'\nhang\n");
        QProcess process;
        start(process, {QStringLiteral("backup"), udid, QStringLiteral("--tools-folder"), tools.folder()});
        QVERIFY(process.waitForStarted());
        QVERIFY(QTest::qWaitFor([&] { return !tools.backupCalls().isEmpty(); }, 60000));
        QTest::qWait(200);
        ::kill(pid_t(process.processId()), SIGINT);
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 130);
        QVERIFY(
            QString::fromUtf8(process.readAllStandardError()).contains(QStringLiteral("Backup cancelled.")));
        QVERIFY(QString::fromUtf8(process.readAllStandardOutput()).contains(QStringLiteral("Cancelling…")));
    }
};

QTEST_GUILESS_MAIN(TestCliDevice)
#include "tst_clidevice.moc"
