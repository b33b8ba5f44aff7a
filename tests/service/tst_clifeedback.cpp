#include <QHttpServer>
#include <QHttpServerResponse>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// Runs the real quorlin-cli feedback command against a local service.
class TestCliFeedback : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    QHttpServer m_server;
    quint16 m_port = 0;
    QJsonObject m_lastBody;

    struct Result {
        int exitCode;
        QString out;
        QString err;
    };

    Result run(const QStringList &arguments)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), m_home.filePath(QStringLiteral("cache")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(QUORLIN_CLI_PATH), QStringList{QStringLiteral("feedback")} + arguments);
        // The event loop must run while waiting: the server answers from this thread.
        QDeadlineTimer deadline(30000);
        while (process.state() != QProcess::NotRunning && !deadline.hasExpired())
            QTest::qWait(20);
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

private slots:
    void initTestCase()
    {
        m_server.route(QStringLiteral("/feedback"), [this](const QHttpServerRequest &request) {
            m_lastBody = QJsonDocument::fromJson(request.body()).object();
            if (m_lastBody.value(QStringLiteral("message")).toString() == QLatin1String("fail"))
                return QHttpServerResponse(QByteArray("application/json"), QByteArray(R"({"error": "Nope"})"),
                                           QHttpServerResponse::StatusCode::BadRequest);
            return QHttpServerResponse(QByteArray("application/json"), QByteArray(R"({"ok": true})"));
        });
        m_port = quint16(m_server.listen(QHostAddress::LocalHost));
        QVERIFY(m_port != 0);
    }

    void sendsAndReports()
    {
        const QString url = QStringLiteral("http://127.0.0.1:%1").arg(m_port);
        const Result ok =
            run({QStringLiteral("--email"), QStringLiteral(" ann@example.com "), QStringLiteral("--message"),
                 QStringLiteral("Hello"), QStringLiteral("--service-url"), url});
        QCOMPARE(ok.exitCode, 0);
        QVERIFY(ok.out.contains(QStringLiteral("Feedback sent")));
        QCOMPARE(m_lastBody.value(QStringLiteral("email")).toString(), QStringLiteral("ann@example.com"));

        const Result failed =
            run({QStringLiteral("--email"), QStringLiteral("ann@example.com"), QStringLiteral("--message"),
                 QStringLiteral("fail"), QStringLiteral("--service-url"), url});
        QCOMPARE(failed.exitCode, 1);
        QCOMPARE(failed.err.trimmed(), QStringLiteral("Nope"));
    }

    void rejectsBadInput()
    {
        const Result result = run({QStringLiteral("--email"), QStringLiteral("ann@b."),
                                   QStringLiteral("--message"), QStringLiteral("x")});
        QCOMPARE(result.exitCode, 2);
        QVERIFY(result.err.contains(QStringLiteral("e-mail")));
    }
};

QTEST_GUILESS_MAIN(TestCliFeedback)
#include "tst_clifeedback.moc"
