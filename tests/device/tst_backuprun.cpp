#include "device/fakedevicetools.h"
#include "device/tooloutcome.h"

#include "device/backupoutput.h"
#include "device/mobiledeviceservice.h"
#include "support/fixtures.h"
#include "support/preferences.h"
#include "support/supportfolders.h"

#include <QDir>
#include <QRegularExpression>
#include <QTest>

using namespace quorlin;
using namespace std::chrono_literals;

namespace {

const QString udid = QStringLiteral("00008110-000A1B2C3D4E5F60");
const QString cancelled = QStringLiteral("Backup cancelled.");
const QByteArray lockedAttempt =
    "say 'Starting backup...'\n"
    "warn 'ERROR: Could not start service com.apple.mobilebackup2: error code 209'\n"
    "exit 1\n";

QString deviceFolder()
{
    return backupsFolder() + QLatin1Char('/') + udid;
}

QStringList snapshotFolders()
{
    return QDir(deviceFolder()).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
}

QString readText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// Every published change of the progress record, in the order the main thread saw them.
class ProgressRecorder {
public:
    explicit ProgressRecorder(BackupProgress *progress) : m_progress(progress)
    {
        QObject::connect(progress, &BackupProgress::percentChanged, &m_context,
                         [this] { events.append(QStringLiteral("percent %1").arg(m_progress->percent())); });
        QObject::connect(progress, &BackupProgress::statusMessageChanged, &m_context,
                         [this] { events.append(QStringLiteral("status ") + m_progress->statusMessage()); });
        QObject::connect(progress, &BackupProgress::awaitingUserActionChanged, &m_context, [this] {
            events.append(QStringLiteral("awaiting %1").arg(m_progress->awaitingUserAction()));
        });
        QObject::connect(progress, &BackupProgress::isRunningChanged, &m_context, [this] {
            events.append(QStringLiteral("running %1").arg(m_progress->isRunning()));
        });
    }
    QStringList events;

private:
    BackupProgress *m_progress;
    QObject m_context;
};

} // namespace

class TestBackupRun : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_home;

    // Runs the backup on the thread pool while the main thread delivers the progress.
    ToolOutcome run(MobileDeviceService &service, const QString &device = udid)
    {
        QFuture<ToolOutcome> future = inBackground([&] { return service.runBackup(device); });
        if (!QTest::qWaitFor([&] { return future.isFinished(); }, 60000)) {
            service.cancelBackup();
            future.waitForFinished();
            qWarning("the backup run did not finish in time");
        }
        QCoreApplication::processEvents();
        QTest::qWait(10);
        return future.result();
    }

    void writeTemplate(const FakeDeviceTools &tools)
    {
        testing::SnapshotBuilder builder(tools.templateFolder());
        testing::DeviceValues device;
        device.udid = udid;
        builder.setDevice(device);
        builder.addFile(QStringLiteral("MediaDomain"),
                        QStringLiteral("Library/SMS/Attachments/ab/11/GUID/IMG_0001.jpg"),
                        QByteArray(4096, 'j'));
        builder.addFile(QStringLiteral("HomeDomain"), QStringLiteral("Library/Notes/notes.sqlite"),
                        QByteArray(8192, 'n'));
        builder.addFile(QStringLiteral("CameraRollDomain"),
                        QStringLiteral("Media/DCIM/100APPLE/IMG_0002.HEIC"), QByteArray(16384, 'h'));
        builder.write();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.filePath(QStringLiteral("data"))));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.filePath(QStringLiteral("config"))));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(m_home.filePath(QStringLiteral("cache"))));
    }

    void init()
    {
        preferences::remove(preferences::imessageOnlyBackupKey);
        QDir(backupsFolder()).removeRecursively();
    }

    void snapshotNameUsesLocalTime()
    {
        const QDateTime instant(QDate(2025, 3, 2), QTime(14, 5, 9, 700));
        QCOMPARE(MobileDeviceService::snapshotName(instant), QStringLiteral("2025-03-02_14-05-09"));
        QCOMPARE(MobileDeviceService::snapshotName(instant.toUTC()), QStringLiteral("2025-03-02_14-05-09"));
    }

    void successfulRunMakesASnapshot_data()
    {
        QTest::addColumn<QVariant>("storedSetting");
        QTest::addColumn<bool>("toolAcceptsSmsOnly");
        QTest::addColumn<bool>("expectSmsOnly");
        QTest::addColumn<bool>("expectPruning");
        QTest::newRow("setting absent, tool with the option") << QVariant() << true << true << true;
        QTest::newRow("setting absent, Debian's tool") << QVariant() << false << false << true;
        QTest::newRow("setting true") << QVariant(true) << true << true << true;
        QTest::newRow("setting not a Boolean") << QVariant(QStringLiteral("no")) << true << true << true;
        QTest::newRow("setting false") << QVariant(false) << true << false << false;
    }
    void successfulRunMakesASnapshot()
    {
        QFETCH(QVariant, storedSetting);
        QFETCH(bool, toolAcceptsSmsOnly);
        QFETCH(bool, expectSmsOnly);
        QFETCH(bool, expectPruning);
        if (storedSetting.isValid())
            preferences::setValue(preferences::imessageOnlyBackupKey, storedSetting);
        FakeDeviceTools tools;
        tools.setAcceptsSmsOnly(toolAcceptsSmsOnly);
        writeTemplate(tools);
        MobileDeviceService service(tools.folder());
        ProgressRecorder recorder(service.progress());

        const ToolOutcome outcome = run(service);
        QVERIFY2(!outcome.error, qPrintable(outcome.errorText()));

        QStringList expectedArguments{QStringLiteral("backup")};
        if (expectSmsOnly)
            expectedArguments << QStringLiteral("--sms-only");
        expectedArguments << QStringLiteral("--full") << QStringLiteral("-u") << udid << deviceFolder();
        QCOMPARE(tools.backupCalls(), (QList<QStringList>{expectedArguments}));

        const QStringList folders = snapshotFolders();
        QCOMPARE(folders.size(), 1);
        QVERIFY(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d$"))
                    .match(folders[0])
                    .hasMatch());
        const QString snapshot = deviceFolder() + QLatin1Char('/') + folders[0];
        QCOMPARE(outcome.value, snapshot);
        QVERIFY(QFileInfo::exists(snapshot + QStringLiteral("/Manifest.db")));

        const QStringList log = readText(snapshot + QStringLiteral("/backup.log")).split(QLatin1Char('\n'));
        QVERIFY(log.contains(QStringLiteral("Backup Successful.")));
        QVERIFY(!log.contains(QStringLiteral("[==========          ] 50% Finished"))); // bars stay out
        if (expectPruning)
            QVERIFY2(log.last().startsWith(QStringLiteral("[pruner] deleted ")), qPrintable(log.last()));
        else
            QVERIFY(!log.join(QLatin1Char('\n')).contains(QStringLiteral("[pruner]")));

        QStringList expectedEvents{QStringLiteral("running 1"), QStringLiteral("status Starting backup..."),
                                   QStringLiteral("percent 12.5"), QStringLiteral("percent 50"),
                                   QStringLiteral("percent 100")};
        if (expectPruning)
            expectedEvents << QStringLiteral("status Pruning non-iMessage data...");
        expectedEvents << QStringLiteral("running 0");
        QCOMPARE(recorder.events, expectedEvents);
    }

    void prunedSnapshotKeepsOnlyMessages()
    {
        FakeDeviceTools tools;
        writeTemplate(tools);
        MobileDeviceService service(tools.folder());
        const ToolOutcome outcome = run(service);
        QVERIFY2(!outcome.error, qPrintable(outcome.errorText()));
        const QString snapshot = outcome.value;
        const auto stored = [&](const QString &domain, const QString &path) {
            const QString id = testing::fileIDFor(domain, path);
            return QFileInfo::exists(snapshot + QLatin1Char('/') + id.left(2) + QLatin1Char('/') + id);
        };
        QVERIFY(stored(QStringLiteral("HomeDomain"), QStringLiteral("Library/SMS/sms.db")));
        QVERIFY(stored(QStringLiteral("MediaDomain"),
                       QStringLiteral("Library/SMS/Attachments/ab/11/GUID/IMG_0001.jpg")));
        QVERIFY(!stored(QStringLiteral("HomeDomain"), QStringLiteral("Library/Notes/notes.sqlite")));
        QVERIFY(
            !stored(QStringLiteral("CameraRollDomain"), QStringLiteral("Media/DCIM/100APPLE/IMG_0002.HEIC")));
        const QString log = readText(snapshot + QStringLiteral("/backup.log"));
        QVERIFY2(
            log.contains(QRegularExpression(QStringLiteral("\\[pruner\\] deleted 2 files \\(freed \\d+\\.\\d "
                                                           "MB\\), kept 2 files \\(\\d+\\.\\d MB\\)$"))),
            qPrintable(log));
    }

    void encryptedSnapshotIsNotPruned()
    {
        FakeDeviceTools tools;
        testing::SnapshotBuilder(tools.templateFolder()).setEncrypted(true).write();
        MobileDeviceService service(tools.folder());
        const ToolOutcome outcome = run(service);
        QVERIFY2(!outcome.error, qPrintable(outcome.errorText()));
        QVERIFY(readText(outcome.value + QStringLiteral("/backup.log"))
                    .endsWith(QStringLiteral("\n[pruner] skipped: encrypted backup")));
    }

    void pruningFailureKeepsTheFullSnapshot()
    {
        FakeDeviceTools tools; // no template: the stand-in writes a folder without Manifest.db
        MobileDeviceService service(tools.folder());
        const ToolOutcome outcome = run(service);
        QVERIFY2(!outcome.error, qPrintable(outcome.errorText()));
        const QString last =
            readText(outcome.value + QStringLiteral("/backup.log")).split(QLatin1Char('\n')).last();
        QVERIFY2(last.startsWith(QStringLiteral("[pruner] failed: ")) &&
                     last.endsWith(QStringLiteral(" — snapshot preserved full")),
                 qPrintable(last));
        QVERIFY(QFileInfo::exists(outcome.value + QStringLiteral("/Status.plist")));
    }

    void promptsAreShownUntilProgressResumes()
    {
        FakeDeviceTools tools;
        tools.setScript(QStringLiteral("idevicebackup2"), "say 'Please confirm on the device'\n"
                                                          "sleep 0.3\n"
                                                          "progress 5\n"
                                                          "write_snapshot\nexit 0\n");
        MobileDeviceService service(tools.folder());
        preferences::setImessageOnlyBackup(false);
        ProgressRecorder recorder(service.progress());
        const ToolOutcome outcome = run(service);
        QVERIFY2(!outcome.error, qPrintable(outcome.errorText()));
        QCOMPARE(recorder.events,
                 (QStringList{QStringLiteral("running 1"), QStringLiteral("status Starting backup..."),
                              QStringLiteral("status Confirm the backup prompt on your iPhone."),
                              QStringLiteral("awaiting 1"), QStringLiteral("percent 5"),
                              QStringLiteral("awaiting 0"), QStringLiteral("status "),
                              QStringLiteral("running 0")}));
    }

    void lockedPhoneIsRetried()
    {
        FakeDeviceTools tools;
        tools.setScript(QStringLiteral("idevicebackup2.1"), lockedAttempt);
        tools.setScript(QStringLiteral("idevicebackup2.2"), "progress 30\n" + lockedAttempt);
        writeTemplate(tools);
        MobileDeviceService service(tools.folder());
        service.setRetryWait(0ms);
        ProgressRecorder recorder(service.progress());
        const ToolOutcome outcome = run(service);
        QVERIFY2(!outcome.error, qPrintable(outcome.errorText()));
        QCOMPARE(tools.backupCalls().size(), 3);
        const QString wait = QStringLiteral("status Waiting for you to unlock your iPhone…");
        const QString restart = QStringLiteral("status Reconnecting to iPhone…");
        QCOMPARE(recorder.events.count(wait), 2);
        QCOMPARE(recorder.events.count(restart), 2);
        // The second attempt starts again from 0 and its progress is published afresh.
        const qsizetype firstRestart = recorder.events.indexOf(restart);
        QVERIFY(recorder.events.indexOf(QStringLiteral("percent 30"), firstRestart) > firstRestart);
        QVERIFY(recorder.events.indexOf(QStringLiteral("percent 0"),
                                        recorder.events.indexOf(QStringLiteral("percent 30"))) > 0);
        QCOMPARE(recorder.events.last(), QStringLiteral("running 0"));
        // The log is kept across attempts.
        const QString log = readText(outcome.value + QStringLiteral("/backup.log"));
        QCOMPARE(log.count(QStringLiteral("error code 209")), 2);
        QVERIFY(log.contains(QStringLiteral("Backup Successful.")));
    }

    void sixthLockedAttemptFails()
    {
        FakeDeviceTools tools;
        tools.setScript(QStringLiteral("idevicebackup2"), "write_partial\n" + lockedAttempt);
        MobileDeviceService service(tools.folder());
        service.setRetryWait(0ms);
        const ToolOutcome outcome = run(service);
        QCOMPARE(outcome.kind, MobileDeviceError::Kind::commandFailed);
        QCOMPARE(outcome.errorText(), QStringLiteral("idevicebackup2 exited with code 1: "));
        QCOMPARE(tools.backupCalls().size(), 6);
        QVERIFY(!service.progress()->isRunning());
        // The failed run's output stays on disk as a snapshot folder; no log is written.
        const QStringList folders = snapshotFolders();
        QCOMPARE(folders.size(), 1);
        QVERIFY(QFileInfo::exists(deviceFolder() + QLatin1Char('/') + folders[0] +
                                  QStringLiteral("/partial.bin")));
        QVERIFY(!QFileInfo::exists(deviceFolder() + QLatin1Char('/') + folders[0] +
                                   QStringLiteral("/backup.log")));
        QVERIFY(failureMessage(service.liveLog().wholeText() + QLatin1Char('\n') + outcome.errorText()) ==
                std::nullopt);
    }

    void otherFailuresAreNotRetried_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("description");
        QTest::newRow("lockdownd")
            << QByteArray("warn 'ERROR: Could not connect to lockdownd, error code -21'; exit 255\n") << 255
            << QStringLiteral("idevicebackup2 exited with code 255: ");
        QTest::newRow("crash") << QByteArray("write_partial; progress 10; kill -SEGV $$\n") << 11
                               << QStringLiteral("idevicebackup2 exited with code 11: ");
        QTest::newRow("exit 0 without folder")
            << QByteArray("say 'Backup Successful.'; exit 0\n") << -1
            << QStringLiteral("idevicebackup2 exited with code -1: Expected snapshot not found at %1/%2")
                   .arg(deviceFolder(), udid);
    }
    void otherFailuresAreNotRetried()
    {
        QFETCH(QByteArray, script);
        QFETCH(int, exitCode);
        QFETCH(QString, description);
        FakeDeviceTools tools;
        tools.setScript(QStringLiteral("idevicebackup2"), script);
        MobileDeviceService service(tools.folder());
        service.setRetryWait(0ms);
        const ToolOutcome outcome = run(service);
        QCOMPARE(outcome.kind, MobileDeviceError::Kind::commandFailed);
        QCOMPARE(outcome.exitCode, exitCode);
        QCOMPARE(outcome.errorText(), description);
        QCOMPARE(tools.backupCalls().size(), 1);
        QVERIFY(!service.progress()->isRunning());
        if (exitCode == -1)
            QVERIFY(snapshotFolders().isEmpty());
    }

    void garbageOutputIsDropped()
    {
        FakeDeviceTools tools;
        tools.setScript(QStringLiteral("idevicebackup2"), "garbage\nsplit_utf8\nwrite_snapshot\nexit 0\n");
        preferences::setImessageOnlyBackup(false);
        MobileDeviceService service(tools.folder());
        const ToolOutcome outcome = run(service);
        QVERIFY2(!outcome.error, qPrintable(outcome.errorText()));
        QCOMPARE(readText(outcome.value + QStringLiteral("/backup.log")),
                 QStringLiteral("after the garbage\nBacking up café photos"));
    }

    void cancelDuringAnAttempt()
    {
        FakeDeviceTools tools;
        tools.setScript(QStringLiteral("idevicebackup2"),
                        "write_partial\nsay 'Receiving files'\nignore_term\nhang\n");
        MobileDeviceService service(tools.folder());
        service.setKillDelay(100ms);
        service.setRetryWait(0ms);
        QFuture<ToolOutcome> future = inBackground([&] { return service.runBackup(udid); });
        QVERIFY(QTest::qWaitFor(
            [&] { return service.liveLog().lines().contains(QStringLiteral("Receiving files")); }, 30000));
        service.cancelBackup();
        QVERIFY(QTest::qWaitFor([&] { return future.isFinished(); }, 30000));
        const ToolOutcome outcome = future.result();
        QCOMPARE(outcome.errorText(), cancelled);
        QCOMPARE(tools.backupCalls().size(), 1);
        QTRY_VERIFY(!service.progress()->isRunning());
        QCOMPARE(service.progress()->statusMessage(), QStringLiteral("Cancelling…"));
        const QStringList folders = snapshotFolders();
        QCOMPARE(folders.size(), 1);
        QVERIFY(QFileInfo::exists(deviceFolder() + QLatin1Char('/') + folders[0] +
                                  QStringLiteral("/partial.bin")));
    }

    void cancelDuringAWait()
    {
        FakeDeviceTools tools;
        tools.setScript(QStringLiteral("idevicebackup2"), lockedAttempt);
        MobileDeviceService service(tools.folder());
        service.setRetryWait(10min); // only the cancellation can end this wait
        QFuture<ToolOutcome> future = inBackground([&] { return service.runBackup(udid); });
        QTRY_COMPARE_WITH_TIMEOUT(service.progress()->statusMessage(),
                                  QStringLiteral("Waiting for you to unlock your iPhone…"), 30000);
        QVERIFY(service.progress()->awaitingUserAction());
        service.cancelBackup();
        QVERIFY(QTest::qWaitFor([&] { return future.isFinished(); }, 30000));
        QCOMPARE(future.result().errorText(), cancelled);
        QCOMPARE(tools.backupCalls().size(), 1);
        QTRY_VERIFY(!service.progress()->isRunning());
    }

    // A device listing during the run neither takes over the cancellation nor swallows it.
    void listingDuringARunKeepsTheBackupCancellable()
    {
        FakeDeviceTools tools;
        tools.setScript(QStringLiteral("idevicebackup2"), "say 'Receiving files'\nhang\n");
        MobileDeviceService service(tools.folder());
        QFuture<ToolOutcome> future = inBackground([&] { return service.runBackup(udid); });
        QVERIFY(QTest::qWaitFor(
            [&] { return service.liveLog().lines().contains(QStringLiteral("Receiving files")); }, 30000));
        QCOMPARE(service.listDevices().size(), 1);
        service.cancelBackup();
        QVERIFY(QTest::qWaitFor([&] { return future.isFinished(); }, 30000));
        QCOMPARE(future.result().errorText(), cancelled);
    }

    void missingToolFailsTheRun()
    {
        FakeDeviceTools tools;
        QFile::remove(tools.path(QStringLiteral("idevicebackup2")));
        MobileDeviceService service(tools.folder());
        ProgressRecorder recorder(service.progress());
        const ToolOutcome outcome = run(service);
        QCOMPARE(outcome.errorText(),
                 QStringLiteral("Bundled binary idevicebackup2 not found. Reinstall Quorlin."));
        QCOMPARE(recorder.events.last(), QStringLiteral("running 0"));
    }

    void stagingLeftoversAreCleared()
    {
        FakeDeviceTools tools;
        preferences::setImessageOnlyBackup(false);
        QDir().mkpath(deviceFolder() + QStringLiteral("/.working-1234/x"));
        QDir().mkpath(deviceFolder() + QLatin1Char('/') + udid + QStringLiteral("/stale"));
        QDir().mkpath(deviceFolder() + QStringLiteral("/2020-01-01_00-00-00"));
        MobileDeviceService service(tools.folder());
        const ToolOutcome outcome = run(service);
        QVERIFY2(!outcome.error, qPrintable(outcome.errorText()));
        QStringList folders = snapshotFolders();
        QCOMPARE(folders.size(), 2);
        QCOMPARE(folders[0], QStringLiteral("2020-01-01_00-00-00"));
        QVERIFY(!QFileInfo::exists(outcome.value + QStringLiteral("/stale")));
    }

    // A snapshot folder that already exists is never replaced.
    void existingSnapshotFolderIsNeverReplaced()
    {
        FakeDeviceTools tools;
        preferences::setImessageOnlyBackup(false);
        const QDateTime now = QDateTime::currentDateTime();
        for (int second = 0; second < 30; ++second) {
            const QString folder =
                deviceFolder() + QLatin1Char('/') + MobileDeviceService::snapshotName(now.addSecs(second));
            QDir().mkpath(folder);
            QFile file(folder + QStringLiteral("/keep.txt"));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("earlier run");
        }
        MobileDeviceService service(tools.folder());
        const ToolOutcome outcome = run(service);
        QVERIFY(outcome.error);
        QVERIFY2(outcome.errorText().startsWith(QStringLiteral("Could not move ")),
                 qPrintable(outcome.errorText()));
        for (const QString &folder : snapshotFolders())
            if (folder != udid)
                QCOMPARE(readText(deviceFolder() + QLatin1Char('/') + folder + QStringLiteral("/keep.txt")),
                         QStringLiteral("earlier run"));
    }

    void unsafeDeviceIdentifierIsRefused()
    {
        FakeDeviceTools tools;
        MobileDeviceService service(tools.folder());
        ProgressRecorder recorder(service.progress());
        for (const QString &device : {QStringLiteral("../escape"), QStringLiteral(".."), QString()}) {
            const ToolOutcome outcome = run(service, device);
            QVERIFY(outcome.error);
        }
        QVERIFY(recorder.events.isEmpty());
        QVERIFY(tools.backupCalls().isEmpty());
        QVERIFY(!QFileInfo::exists(backupsFolder() + QStringLiteral("/../escape")));
    }
};

QTEST_GUILESS_MAIN(TestBackupRun)
#include "tst_backuprun.moc"
