#include "device/backupprogress.h"
#include "device/logbuffer.h"

#include <QSignalSpy>
#include <QTest>

#include <thread>

using namespace quorlin;

class TestProgressLog : public QObject {
    Q_OBJECT

private slots:
    void appendBeyondCapDropsOldest()
    {
        LogBuffer log;
        for (int i = 1; i <= 5001; ++i)
            log.appendLine(QString::number(i));
        const QStringList lines = log.lines();
        QCOMPARE(lines.size(), 5000);
        QCOMPARE(lines.first(), QStringLiteral("2"));
        QCOMPARE(lines.last(), QStringLiteral("5001"));
        QCOMPARE(log.droppedCount(), 1);
        log.clearLog();
        QCOMPARE(log.droppedCount(), 0);
        QCOMPARE(log.wholeText(), QString());
    }

    void recentAndWholeText()
    {
        LogBuffer log;
        for (const char *line : {"one", "two", "three"})
            log.appendLine(QString::fromLatin1(line));
        QCOMPARE(log.recentText(200), QStringLiteral("one\ntwo\nthree"));
        QCOMPARE(log.recentText(2), QStringLiteral("two\nthree"));
        QCOMPARE(log.recentText(0), QString());
        QCOMPARE(log.wholeText(), QStringLiteral("one\ntwo\nthree"));
    }

    void concurrentAppendsKeepTheCap()
    {
        LogBuffer log;
        std::thread first([&] {
            for (int i = 0; i < 6000; ++i)
                log.appendLine(QStringLiteral("a"));
        });
        std::thread second([&] {
            for (int i = 0; i < 6000; ++i)
                log.appendLine(QStringLiteral("b"));
        });
        for (int i = 0; i < 100; ++i)
            (void)log.recentText(200);
        first.join();
        second.join();
        QCOMPARE(log.lines().size(), 5000);
        QCOMPARE(log.droppedCount(), 7000);
    }

    void startsEmpty()
    {
        BackupProgress progress;
        QCOMPARE(progress.percent(), 0.0);
        QCOMPARE(progress.bytesTransferred(), 0);
        QCOMPARE(progress.totalBytes(), 0);
        QCOMPARE(progress.currentFile(), QString());
        QCOMPARE(progress.isRunning(), false);
        QCOMPARE(progress.statusMessage(), QString());
        QCOMPARE(progress.awaitingUserAction(), false);
    }

    void eventsWriteTheirFields()
    {
        BackupProgress progress;
        QSignalSpy running(&progress, &BackupProgress::isRunningChanged);
        QSignalSpy awaiting(&progress, &BackupProgress::awaitingUserActionChanged);
        progress.runStarted();
        QVERIFY(progress.isRunning());
        QCOMPARE(progress.statusMessage(), QStringLiteral("Starting backup..."));
        QCOMPARE(running.count(), 1);

        progress.percentageSeen(10.2);
        QCOMPARE(progress.percent(), 10.2);
        QCOMPARE(progress.statusMessage(),
                 QStringLiteral("Starting backup...")); // no prompt shown: unchanged

        progress.promptSeen(QStringLiteral("Unlock your iPhone to continue the backup."));
        QVERIFY(progress.awaitingUserAction());
        progress.percentageSeen(9.0); // lower: percent stays, prompt clears
        QCOMPARE(progress.percent(), 10.2);
        QVERIFY(!progress.awaitingUserAction());
        QCOMPARE(progress.statusMessage(), QString());
        QCOMPARE(awaiting.count(), 2);

        progress.waitingForUnlock();
        QCOMPARE(progress.statusMessage(), QStringLiteral("Waiting for you to unlock your iPhone…"));
        QVERIFY(progress.awaitingUserAction());
        progress.attemptRestarted();
        QCOMPARE(progress.percent(), 0.0);
        QVERIFY(!progress.awaitingUserAction());
        QCOMPARE(progress.statusMessage(), QStringLiteral("Reconnecting to iPhone…"));
        progress.pruningStarted();
        QCOMPARE(progress.statusMessage(), QStringLiteral("Pruning non-iMessage data..."));
        progress.cancellationRequested();
        QCOMPARE(progress.statusMessage(), QStringLiteral("Cancelling…"));
        progress.percentageSeen(55);
        progress.runEnded();
        QVERIFY(!progress.isRunning());
        // The last values stay until the next run.
        QCOMPARE(progress.percent(), 55.0);
        QCOMPARE(progress.statusMessage(), QStringLiteral("Cancelling…"));
    }
};

QTEST_GUILESS_MAIN(TestProgressLog)
#include "tst_progresslog.moc"
