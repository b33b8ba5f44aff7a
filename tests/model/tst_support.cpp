#include "support/designtokens.h"
#include "support/displayformat.h"
#include "support/supportfolders.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace quorlin;

class TestSupport : public QObject {
    Q_OBJECT

private slots:
    void hexColor_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QColor>("expected");
        QTest::newRow("6 digits") << "#34C759" << QColor::fromRgb(0x34, 0xC7, 0x59, 255);
        QTest::newRow("8 digits argb") << "80FF0000" << QColor::fromRgb(255, 0, 0, 0x80);
        QTest::newRow("3 digits") << "#abc" << QColor::fromRgb(0xAA, 0xBB, 0xCC, 255);
        QTest::newRow("surrounding punctuation") << "  (#FFD60A); " << QColor::fromRgb(0xFF, 0xD6, 0x0A, 255);
        QTest::newRow("bad length") << "#12345" << QColor::fromRgb(0, 0, 0, 255);
        QTest::newRow("empty") << "" << QColor::fromRgb(0, 0, 0, 255);
        QTest::newRow("not hex") << "#GGGGGG" << QColor::fromRgb(0, 0, 0, 255);
    }
    void hexColor()
    {
        QFETCH(QString, text);
        QFETCH(QColor, expected);
        QCOMPARE(quorlin::hexColor(text), expected);
    }

    void supportFoldersCreatedWithParents()
    {
        QTemporaryDir home;
        qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("deep/data")).toUtf8());
        qputenv("XDG_CACHE_HOME", home.filePath(QStringLiteral("deep/cache")).toUtf8());
        QCOMPARE(backupsFolder(), home.filePath(QStringLiteral("deep/data/Quorlin/Backups")));
        QCOMPARE(cacheFolder(), home.filePath(QStringLiteral("deep/cache/com.quorlin.mac")));

        ensureSupportFolders();
        for (const QString &folder :
             {supportRootFolder(), backupsFolder(), extractionFolder(), cacheFolder()})
            QVERIFY2(QFileInfo(folder).isDir(), qPrintable(folder));

        // Existing content stays.
        QFile keep(backupsFolder() + QStringLiteral("/keep.txt"));
        QVERIFY(keep.open(QIODevice::WriteOnly));
        keep.write("x");
        keep.close();
        ensureSupportFolders();
        QVERIFY(QFile::exists(keep.fileName()));
    }

    void byteCounts_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("expected");
        QTest::newRow("zero") << qint64(0) << "0 bytes";
        QTest::newRow("one") << qint64(1) << "1 byte";
        QTest::newRow("small") << qint64(999) << "999 bytes";
        QTest::newRow("kilobytes") << qint64(1500) << "1.5 kB";
        QTest::newRow("megabytes") << qint64(2000000) << "2.0 MB";
    }
    void byteCounts()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, expected);
        QCOMPARE(DisplayFormat(QLocale(QLocale::English, QLocale::UnitedStates)).byteCount(bytes), expected);
    }

    void dateStyles()
    {
        const DisplayFormat format(QLocale(QLocale::English, QLocale::UnitedStates));
        const QDateTime instant(QDate(2025, 3, 2), QTime(15, 4), Qt::LocalTime);
        QCOMPARE(format.mediumDate(instant), QStringLiteral("Mar 2, 2025"));
        QCOMPARE(format.shortDate(instant), QStringLiteral("3/2/25"));
        QVERIFY2(format.shortTime(instant).startsWith(QStringLiteral("3:04")),
                 qPrintable(format.shortTime(instant)));
    }
};

QTEST_GUILESS_MAIN(TestSupport)
#include "tst_support.moc"
