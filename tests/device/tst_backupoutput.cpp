#include "device/backupoutput.h"
#include "device/mobiledeviceservice.h"

#include <QSignalSpy>
#include <QTest>

using namespace quorlin;

namespace {

const QString unlockPasscode = QStringLiteral("Unlock your iPhone — enter your passcode on the device.");

QList<double> publishedPercentages(MobileDeviceService &service, const QStringList &lines)
{
    QList<double> values;
    QObject::connect(service.progress(), &BackupProgress::percentChanged, service.progress(),
                     [&] { values.append(service.progress()->percent()); });
    for (const QString &line : lines)
        service.handleBackupLine(line);
    QCoreApplication::processEvents();
    QObject::disconnect(service.progress(), &BackupProgress::percentChanged, nullptr, nullptr);
    return values;
}

} // namespace

class TestBackupOutput : public QObject {
    Q_OBJECT

private slots:
    void logWorthiness_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("worthy");
        QTest::newRow("spaces only") << QStringLiteral("    ") << false;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("progress bar") << QStringLiteral("[=====     ] 45% Finished") << false;
        QTest::newRow("empty bar") << QStringLiteral("[] 0% Finished") << false;
        QTest::newRow("arrow inside") << QStringLiteral("[====>     ] 45% Finished") << true;
        QTest::newRow("status sentence") << QStringLiteral("Receiving files") << true;
        QTest::newRow("finished without percent") << QStringLiteral("Backup Finished") << true;
        QTest::newRow("percent finished") << QStringLiteral("12% Finished") << false;
        QTest::newRow("bracket without close") << QStringLiteral("[==== 45% Finished") << false;
        QTest::newRow("bracket without close or finished") << QStringLiteral("[==== 45% done") << true;
        QTest::newRow("trailing carriage return") << QStringLiteral("Receiving files\r") << true;
    }
    void logWorthiness()
    {
        QFETCH(QString, line);
        QFETCH(bool, worthy);
        QCOMPARE(isLogWorthy(line), worthy);
    }

    void prompts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        QTest::newRow("confirm, capital P") << QStringLiteral("Please confirm on the device")
                                            << QStringLiteral("Confirm the backup prompt on your iPhone.");
        QTest::newRow("password") << QStringLiteral("Please enter the backup password")
                                  << QStringLiteral("Enter the backup password on your iPhone.");
        QTest::newRow("encrypted") << QStringLiteral("Backup will be encrypted.")
                                   << QStringLiteral("Backup is encrypted — keep your iPhone unlocked.");
        QTest::newRow("earlier row wins")
            << QStringLiteral("Waiting for passcode... please unlock")
            << QStringLiteral("Enter your passcode on the iPhone to start the backup.");
        QTest::newRow("passcode required") << QStringLiteral("Passcode required") << unlockPasscode;
        QTest::newRow("password-protected")
            << QStringLiteral("Device is Password-Protected") << unlockPasscode;
        QTest::newRow("device locked") << QStringLiteral("ERROR: device locked")
                                       << QStringLiteral("Unlock your iPhone to continue the backup.");
        QTest::newRow("209") << QStringLiteral("ERROR: Could not start service: error code 209")
                             << unlockPasscode;
        QTest::newRow("trust") << QStringLiteral("Please trust this computer")
                               << QStringLiteral("Tap Trust on your iPhone, then enter your passcode.");
        QTest::newRow("trust not paired")
            << QStringLiteral("Trust dialog: device not paired")
            << QStringLiteral("Tap Trust on your iPhone, then enter your passcode.");
        QTest::newRow("nothing") << QStringLiteral("Receiving files") << QString();
    }
    void prompts()
    {
        QFETCH(QString, text);
        QFETCH(QString, message);
        QCOMPARE(promptMessage(text).value_or(QString()), message);
    }

    void unlockRetry_data()
    {
        QTest::addColumn<QString>("log");
        QTest::addColumn<int>("attempt");
        QTest::addColumn<bool>("retry");
        QTest::newRow("209 first attempt") << QStringLiteral("x\nERROR: Error Code 209") << 0 << true;
        QTest::newRow("209 fifth attempt") << QStringLiteral("error code 209") << 4 << true;
        QTest::newRow("209 sixth attempt") << QStringLiteral("error code 209") << 5 << false;
        QTest::newRow("waiting") << QStringLiteral("Waiting for passcode") << 1 << true;
        QTest::newRow("password protected") << QStringLiteral("password protected") << 0 << true;
        QTest::newRow("passcode protected") << QStringLiteral("passcode protected") << 0 << true;
        QTest::newRow("locked is not a trigger") << QStringLiteral("device is locked") << 0 << false;
        QTest::newRow("other failure")
            << QStringLiteral("ERROR: could not connect to lockdownd") << 0 << false;
    }
    void unlockRetry()
    {
        QFETCH(QString, log);
        QFETCH(int, attempt);
        QFETCH(bool, retry);
        QCOMPARE(needsUnlockRetry(log, attempt), retry);
    }

    void failureMessages_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        QTest::newRow("waiting")
            << QStringLiteral("Waiting for passcode\nidevicebackup2 exited with code 1: ")
            << QStringLiteral("Your iPhone wasn't unlocked in time. Unlock it now and tap Try Again.");
        QTest::newRow("passcode protected")
            << QStringLiteral("PasswordProtected")
            << QStringLiteral("Your iPhone is passcode-locked. Unlock it on the device, then try again.");
        QTest::newRow("space form is no failure phrase") << QStringLiteral("password protected") << QString();
        QTest::newRow("locked beats lockdownd")
            << QStringLiteral("ERROR: Could not connect to LOCKDOWND\nThe device is locked")
            << QStringLiteral("Your iPhone is locked. Unlock it and try again.");
        QTest::newRow("denied")
            << QStringLiteral("User denied the backup")
            << QStringLiteral("Backup was declined on the iPhone. Tap Trust on your iPhone and try again.");
        QTest::newRow("trust") << QStringLiteral("trust: not paired")
                               << QStringLiteral(
                                      "Tap Trust on your iPhone and enter your passcode, then try again.");
        QTest::newRow("lockdownd")
            << QStringLiteral("Could not connect to lockdownd, error code -21")
            << QStringLiteral("iPhone disconnected or sleeping. Reconnect, unlock it, then try again.");
        QTest::newRow("password required")
            << QStringLiteral("A password is required")
            << QStringLiteral("Backup encryption is enabled. Confirm the password prompt on your iPhone, "
                              "then try again.");
        QTest::newRow("none") << QStringLiteral("idevicebackup2 exited with code 1: ") << QString();
    }
    void failureMessages()
    {
        QFETCH(QString, text);
        QFETCH(QString, message);
        QCOMPARE(failureMessage(text).value_or(QString()), message);
    }

    void progressLinesAreThrottled_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QList<double>>("published");
        QTest::newRow("whole part must grow")
            << QStringList{QStringLiteral("10.2% Finished"), QStringLiteral("10.9% Finished"),
                           QStringLiteral("11.0% Finished")}
            << QList<double>{10.2, 11.0};
        QTest::newRow("bars") << QStringList{QStringLiteral("[=          ] 12.5% Finished"),
                                             QStringLiteral("[=          ] 12.9% Finished"),
                                             QStringLiteral("[==         ] 13% Finished")}
                              << QList<double>{12.5, 13};
        QTest::newRow("no finished word") << QStringList{QStringLiteral("45% done")} << QList<double>{};
        QTest::newRow("huge value ignored")
            << QStringList{QStringLiteral("99999999999999999999999% Finished"),
                           QStringLiteral("50% Finished")}
            << QList<double>{50};
    }
    void progressLinesAreThrottled()
    {
        QFETCH(QStringList, lines);
        QFETCH(QList<double>, published);
        MobileDeviceService service(QStringLiteral("/nonexistent"));
        QCOMPARE(publishedPercentages(service, lines), published);
    }

    void backupLineFeedsLogAndProgress()
    {
        MobileDeviceService service(QStringLiteral("/nonexistent"));
        service.handleBackupLine(QStringLiteral("[=========           ] 45% Finished"));
        service.handleBackupLine(QStringLiteral("[===>    ] 46% Finished"));
        service.handleBackupLine(QStringLiteral("   "));
        service.handleBackupLine(QStringLiteral("  Receiving files  "));
        QCOMPARE(service.liveLog().lines(), (QStringList{QStringLiteral("[===>    ] 46% Finished"),
                                                         QStringLiteral("  Receiving files  ")}));
        QTRY_COMPARE(service.progress()->percent(), 46.0);

        service.handleBackupLine(QStringLiteral("\tPlease confirm on the device\t"));
        QTRY_VERIFY(service.progress()->awaitingUserAction());
        QCOMPARE(service.progress()->statusMessage(),
                 QStringLiteral("Confirm the backup prompt on your iPhone."));
        service.handleBackupLine(QStringLiteral("[==========          ] 50% Finished"));
        QTRY_VERIFY(!service.progress()->awaitingUserAction());
        QCOMPARE(service.progress()->statusMessage(), QString());
        QCOMPARE(service.progress()->percent(), 50.0);
    }
};

QTEST_GUILESS_MAIN(TestBackupOutput)
#include "tst_backupoutput.moc"
