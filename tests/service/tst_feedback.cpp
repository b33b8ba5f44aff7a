#include "service/emailcheck.h"
#include "service/feedbackservice.h"
#include "service/feedbackviewmodel.h"
#include "service/waitfortask.h"
#include "support/preferences.h"

#include <QDir>
#include <QHttpServer>
#include <QHttpServerResponse>
#include <QJsonDocument>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace quorlin;

class TestFeedback : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QHttpServer m_server;
    quint16 m_port = 0;
    QJsonObject m_lastBody;
    int m_requests = 0;
    int m_status = 200;

    BackupInfo backupWithLog(const QString &name, std::optional<qint64> logSize)
    {
        BackupInfo backup;
        backup.deviceName = QStringLiteral("Ann's iPhone 15");
        backup.backupDate = QDateTime(QDate(2025, 3, 2), QTime(15, 4, 5), Qt::LocalTime);
        backup.location = m_dir.filePath(name);
        QDir().mkpath(backup.location);
        if (logSize) {
            QFile log(backup.location + QStringLiteral("/backup.log"));
            if (!log.open(QIODevice::WriteOnly))
                qFatal("cannot write log");
            QByteArray bytes(*logSize, 'b');
            bytes[0] = 'A'; // the first byte shows whether the head was cut
            log.write(bytes);
        }
        return backup;
    }

    QString baseURL() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }

private slots:
    void initTestCase()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           m_dir.filePath(QStringLiteral("config")));
        m_server.route(QStringLiteral("/feedback"), [this](const QHttpServerRequest &request) {
            ++m_requests;
            m_lastBody = QJsonDocument::fromJson(request.body()).object();
            return QHttpServerResponse(QByteArray("application/json"),
                                       m_status == 200 ? QByteArray(R"({"ok": true})")
                                                       : QByteArray(R"({"detail": "Try later"})"),
                                       QHttpServerResponse::StatusCode(m_status));
        });
        m_port = quint16(m_server.listen(QHostAddress::LocalHost));
        QVERIFY(m_port != 0);
    }

    void emailCheck_data()
    {
        QTest::addColumn<QString>("email");
        QTest::addColumn<bool>("valid");
        QTest::newRow("plain") << "ann@example.com" << true;
        QTest::newRow("surrounding spaces") << "  ann@example.com \n" << true;
        QTest::newRow("doubled at-sign passes") << "ann@@example.com" << true;
        QTest::newRow("two-character domain") << "ann@b." << false;
        QTest::newRow("three-character domain") << "ann@b.c" << true;
        QTest::newRow("no at") << "ann.example.com" << false;
        QTest::newRow("no dot") << "ann@example" << false;
        QTest::newRow("dot only in local part") << "a.nn@example" << false;
        QTest::newRow("two at-signs apart") << "a@b@c.com" << false;
        QTest::newRow("empty local part") << "@example.com" << false;
        QTest::newRow("empty") << "" << false;
    }
    void emailCheck()
    {
        QFETCH(QString, email);
        QFETCH(bool, valid);
        QCOMPARE(isPlausibleEmail(email), valid);
    }

    void logTail_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<qint64>("sent");
        QTest::addColumn<char>("first");
        QTest::newRow("exactly the limit") << qint64(15000000) << qint64(15000000) << 'A';
        QTest::newRow("one over loses the first byte") << qint64(15000001) << qint64(15000000) << 'b';
        QTest::newRow("small") << qint64(10) << qint64(10) << 'A';
    }
    void logTail()
    {
        QFETCH(qint64, size);
        QFETCH(qint64, sent);
        QFETCH(char, first);
        const auto request =
            FeedbackService::makeRequest(QStringLiteral("a@b.com"), QStringLiteral("hi"),
                                         backupWithLog(QStringLiteral("tail%1").arg(size), size));
        QVERIFY(request.logContentBase64);
        const QByteArray bytes = QByteArray::fromBase64(request.logContentBase64->toLatin1());
        QCOMPARE(bytes.size(), sent);
        QCOMPARE(bytes.at(0), first);
    }

    void logFilename()
    {
        const BackupInfo backup = backupWithLog(QStringLiteral("name"), 1);
        QCOMPARE(FeedbackService::logFilename(backup),
                 QStringLiteral("backup-Ann's_iPhone_15-2025-03-02_15-04-05.log"));
    }

    void requestWithoutLogLeavesKeysOut()
    {
        FeedbackService service(*new APIClient(baseURL()));
        waitForTask(service.send(QStringLiteral("a@b.com"), QStringLiteral("hello"),
                                 backupWithLog(QStringLiteral("nolog"), std::nullopt)));
        QCOMPARE(m_lastBody.value(QStringLiteral("email")).toString(), QStringLiteral("a@b.com"));
        QCOMPARE(m_lastBody.value(QStringLiteral("message")).toString(), QStringLiteral("hello"));
        QCOMPARE(m_lastBody.value(QStringLiteral("platform")).toString(), QStringLiteral("mac"));
        QCOMPARE(m_lastBody.value(QStringLiteral("app_version")).toString(),
                 QStringLiteral(QUORLIN_VERSION " (" QUORLIN_BUILD_NUMBER ")"));
        QVERIFY(!m_lastBody.value(QStringLiteral("os_version")).toString().isEmpty());
        QVERIFY(!m_lastBody.contains(QStringLiteral("log_filename")));
        QVERIFY(!m_lastBody.contains(QStringLiteral("log_content_b64")));

        waitForTask(service.send(QStringLiteral("a@b.com"), QStringLiteral("hello"),
                                 backupWithLog(QStringLiteral("withlog"), 5)));
        QVERIFY(m_lastBody.value(QStringLiteral("log_filename"))
                    .toString()
                    .startsWith(QStringLiteral("backup-")));
        QCOMPARE(m_lastBody.value(QStringLiteral("log_content_b64")).toString(), QStringLiteral("QWJiYmI="));
    }

    void unreadableLogSendsNothing()
    {
        BackupInfo backup = backupWithLog(QStringLiteral("unreadable"), std::nullopt);
        QDir().mkpath(backup.location + QStringLiteral("/backup.log")); // a folder where the log should be
        FeedbackService service(*new APIClient(baseURL()));
        const int before = m_requests;
        bool failed = false;
        try {
            waitForTask(service.send(QStringLiteral("a@b.com"), QStringLiteral("x"), backup));
        } catch (const FileSystemError &error) {
            failed = !error.description().isEmpty();
        }
        QVERIFY(failed);
        QCOMPARE(m_requests, before);
    }

    void viewModelSends()
    {
        APIClient client(baseURL());
        FeedbackService service(client);
        FeedbackViewModel model(service, {});
        QVERIFY(!model.canSend());
        model.setEmail(QStringLiteral("  ann@example.com "));
        model.setMessage(QStringLiteral(" \n "));
        QVERIFY(!model.canSend()); // only spaces and line breaks
        model.setMessage(QStringLiteral("  It works \n"));
        QVERIFY(model.canSend());

        m_status = 503;
        waitForTask(model.sendTask());
        QCOMPARE(model.errorMessage(), std::optional<QString>(QStringLiteral("Try later")));
        QVERIFY(!model.didSucceed());
        QVERIFY(!model.isSending());
        QCOMPARE(model.email(), QStringLiteral("  ann@example.com ")); // input kept for another try

        m_status = 200;
        QSignalSpy sending(&model, &FeedbackViewModel::isSendingChanged);
        waitForTask(model.sendTask());
        QCOMPARE(sending.count(), 2);
        QVERIFY(model.didSucceed());
        QCOMPARE(model.errorMessage(), std::nullopt);
        QCOMPARE(m_lastBody.value(QStringLiteral("email")).toString(), QStringLiteral("ann@example.com"));
        QCOMPARE(m_lastBody.value(QStringLiteral("message")).toString(), QStringLiteral("It works"));
    }

    void initialMessageAndBackupList()
    {
        APIClient client(baseURL());
        FeedbackService service(client);
        BackupInfo older, newer;
        older.location = QStringLiteral("/a");
        older.backupDate = QDateTime::fromSecsSinceEpoch(1000);
        newer.location = QStringLiteral("/b");
        newer.backupDate = QDateTime::fromSecsSinceEpoch(2000);
        FeedbackViewModel model(
            service,
            [=] {
                return QList<BackupInfo>{older, newer};
            },
            QStringLiteral("Export failed: disk full"));
        QCOMPARE(model.message(), QStringLiteral("Export failed: disk full"));
        QSignalSpy spy(&model, &FeedbackViewModel::availableBackupsChanged);
        model.loadBackups();
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 30000);
        QCOMPARE(model.availableBackups(), (QList<BackupInfo>{newer, older}));
        model.setSelectedBackupIndex(1);
        QCOMPARE(model.selectedBackup()->location, QStringLiteral("/a"));
    }
};

QTEST_GUILESS_MAIN(TestFeedback)
#include "tst_feedback.moc"
