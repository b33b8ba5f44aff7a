#include "app/storagesettings.h"
#include "app/updaterservice.h"
#include "support/preferences.h"
#include "support/supportfolders.h"

#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

using namespace quorlin;

class TestPreferences : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;

    // A feed address on loopback where nothing answers, so no test reaches the network.
    static QUrl closedFeed()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        const quint16 port = probe.serverPort();
        probe.close();
        return QUrl(QStringLiteral("http://127.0.0.1:%1/feed.json").arg(port));
    }

private slots:
    void initTestCase()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           m_home.filePath(QStringLiteral("config")));
        qputenv("XDG_DATA_HOME", m_home.filePath(QStringLiteral("data")).toUtf8());
        qputenv("XDG_CACHE_HOME", m_home.filePath(QStringLiteral("cache")).toUtf8());
    }

    void defaults()
    {
        for (const char *key :
             {preferences::hasSeenWelcomeKey, preferences::checkForUpdatesAutomaticallyKey,
              preferences::defaultExportFormatKey, preferences::imessageOnlyBackupKey,
              preferences::inkSavingKey, preferences::hideDatesKey, preferences::showContactKey})
            preferences::remove(key);
        QCOMPARE(preferences::hasSeenWelcome(), false);
        QCOMPARE(preferences::checkForUpdatesAutomatically(), true);
        QCOMPARE(preferences::defaultExportFormat(), QStringLiteral("pdf"));
        QCOMPARE(preferences::imessageOnlyBackup(), true);
        QCOMPARE(preferences::inkSavingEnabled(), false);
        QCOMPARE(preferences::hideDatesEnabled(), false);
        QCOMPARE(preferences::showContactInIndividualEnabled(), false);
    }

    void storedValuesReadBack()
    {
        preferences::setHasSeenWelcome(true);
        preferences::setImessageOnlyBackup(false);
        preferences::setDefaultExportFormat(QStringLiteral("csv"));
        preferences::setHideDatesEnabled(true);
        QCOMPARE(preferences::hasSeenWelcome(), true);
        QCOMPARE(preferences::imessageOnlyBackup(), false);
        QCOMPARE(preferences::defaultExportFormat(), QStringLiteral("csv"));
        QCOMPARE(preferences::hideDatesEnabled(), true);
    }

    void nonBooleanReadsAsTrue_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::newRow("text") << QVariant(QStringLiteral("yes please"));
        QTest::newRow("number") << QVariant(0);
        QTest::newRow("list") << QVariant(QStringList{QStringLiteral("a")});
    }
    void nonBooleanReadsAsTrue()
    {
        QFETCH(QVariant, stored);
        preferences::setValue(preferences::checkForUpdatesAutomaticallyKey, stored);
        preferences::setValue(preferences::imessageOnlyBackupKey, stored);
        QCOMPARE(preferences::checkForUpdatesAutomatically(), true);
        QCOMPARE(preferences::imessageOnlyBackup(), true);
    }

    void folderSizeOfMissingFolder()
    {
        QCOMPARE(folderSize(m_home.filePath(QStringLiteral("nowhere"))), QStringLiteral("0 bytes"));
    }

    void clearCacheRecreatesEmptyFolder()
    {
        ensureSupportFolders();
        QFile junk(cacheFolder() + QStringLiteral("/sms-db-cache/abc.db"));
        QDir().mkpath(cacheFolder() + QStringLiteral("/sms-db-cache"));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray(10000, 'x'));
        junk.close();

        StorageSettings storage;
        QCOMPARE(storage.cacheSize(), QStringLiteral("calculating..."));
        storage.refreshStorageSizes();
        QVERIFY(storage.cacheSize() != QStringLiteral("0 bytes"));

        QSignalSpy spy(&storage, &StorageSettings::sizesChanged);
        storage.clearCache();
        QCOMPARE(spy.count(), 1);
        QVERIFY(QFileInfo(cacheFolder()).isDir());
        QVERIFY(QDir(cacheFolder()).isEmpty());
        QCOMPARE(storage.cacheSize(), QStringLiteral("0 bytes"));
    }

    void updaterFollowsStoredFlag()
    {
        preferences::setValue(preferences::checkForUpdatesAutomaticallyKey, QStringLiteral("garbage"));
        UpdaterService service(closedFeed());
        QCOMPARE(service.automaticallyChecksForUpdates(), true);
        QCOMPARE(service.canCheckForUpdates(), false); // mirrored on the next turn of the main queue

        preferences::setCheckForUpdatesAutomatically(false);
        service.setAutomaticallyChecksForUpdates(false);
        QCOMPARE(service.automaticallyChecksForUpdates(), false);
    }

    void updaterCanCheckMirrorsController()
    {
        preferences::setCheckForUpdatesAutomatically(false);
        UpdaterService service(closedFeed());
        QSignalSpy spy(&service, &UpdaterService::canCheckForUpdatesChanged);
        QTRY_COMPARE(service.canCheckForUpdates(), true);

        // A check in progress disables checking until it ends (here: refused connection).
        QSignalSpy failed(&service.controller(), &Updater::checkFailed);
        service.checkForUpdates();
        QCOMPARE(service.controller().canCheckForUpdates(), false);
        QTRY_COMPARE(failed.count(), 1);
        QTRY_COMPARE(service.canCheckForUpdates(), true);
    }

    void versionComparison_data()
    {
        QTest::addColumn<QString>("candidate");
        QTest::addColumn<QString>("current");
        QTest::addColumn<bool>("newer");
        QTest::newRow("patch") << "0.1.1"
                               << "0.1.0" << true;
        QTest::newRow("same") << "0.1.0"
                              << "0.1.0" << false;
        QTest::newRow("older") << "0.0.9"
                               << "0.1.0" << false;
        QTest::newRow("numeric not text") << "0.10.0"
                                          << "0.9.0" << true;
    }
    void versionComparison()
    {
        QFETCH(QString, candidate);
        QFETCH(QString, current);
        QFETCH(bool, newer);
        QCOMPARE(Updater::isNewerVersion(candidate, current), newer);
    }
};

QTEST_GUILESS_MAIN(TestPreferences)
#include "tst_preferences.moc"
