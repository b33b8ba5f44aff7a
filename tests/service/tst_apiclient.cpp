#include "service/apiclient.h"
#include "service/authtokenmanager.h"
#include "service/feedbackservice.h"
#include "service/useridentitymanager.h"
#include "service/waitfortask.h"
#include "support/preferences.h"

#include <QCoroTask>
#include <QHttpServer>
#include <QHttpServerResponse>
#include <QJsonDocument>
#include <QMessageAuthenticationCode>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

using namespace quorlin;
using namespace std::chrono_literals;

namespace {

struct Reply {
    int status = 200;
    QByteArray body;
};

// Runs a coroutine to completion on this thread's event loop and returns its error text, if any.
template <typename T> std::optional<QString> failureOf(QCoro::Task<T> task)
{
    try {
        waitForTask(std::move(task));
    } catch (const QuorlinError &error) {
        return error.description();
    }
    return std::nullopt;
}

quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

} // namespace

class TestAPIClient : public QObject {
    Q_OBJECT

    QTemporaryDir m_config;
    QHttpServer m_server;
    quint16 m_port = 0;
    Reply m_next;
    QHttpServerRequest::Method m_method{};
    QByteArray m_path, m_contentType, m_authorization, m_body;

    QString baseURL() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }

private slots:
    void initTestCase()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_config.path());
        m_server.route(QStringLiteral("/feedback"), [this](const QHttpServerRequest &request) {
            m_method = request.method();
            m_path = request.url().path().toUtf8();
            m_body = request.body();
            m_contentType.clear();
            m_authorization.clear();
            for (const auto &[name, value] : request.headers()) {
                if (name.compare("Content-Type", Qt::CaseInsensitive) == 0)
                    m_contentType = value;
                if (name.compare("Authorization", Qt::CaseInsensitive) == 0)
                    m_authorization = value;
            }
            return QHttpServerResponse(QByteArray("application/json"), m_next.body,
                                       QHttpServerResponse::StatusCode(m_next.status));
        });
        m_port = quint16(m_server.listen(QHostAddress::LocalHost));
        QVERIFY(m_port != 0);
    }

    void requestIsSignedJsonPost()
    {
        preferences::setValue(UserIdentityManager::defaultsKey, QStringLiteral("ABC-DEVICE"));
        m_next = {200, R"({"ok": true})"};
        APIClient client(baseURL());
        const qint64 before = QDateTime::currentSecsSinceEpoch();
        const auto reply = waitForTask(client.post<FeedbackService::Response>(
            QStringLiteral("/feedback"), QJsonObject{{QStringLiteral("email"), QStringLiteral("a@b.com")}}));
        const qint64 after = QDateTime::currentSecsSinceEpoch();
        QVERIFY(reply.ok);
        QCOMPARE(m_method, QHttpServerRequest::Method::Post);
        QCOMPARE(m_path, QByteArray("/feedback"));
        QCOMPARE(m_contentType, QByteArray("application/json"));
        QCOMPARE(QJsonDocument::fromJson(m_body).object().value(QStringLiteral("email")).toString(),
                 QStringLiteral("a@b.com"));

        QVERIFY(m_authorization.startsWith("Bearer "));
        const QByteArray token = QByteArray::fromBase64(m_authorization.mid(7));
        const QList<QByteArray> parts = token.split(':');
        QCOMPARE(parts.size(), 3);
        const qint64 seconds = parts[0].toLongLong();
        QVERIFY(seconds >= before && seconds <= after);
        QCOMPARE(parts[1], QByteArray("ABC-DEVICE"));
        const QByteArray mac = QMessageAuthenticationCode::hash(
            parts[0] + ':' + parts[1], AuthTokenManager::signingKey, QCryptographicHash::Sha256);
        QCOMPARE(parts[2], mac.toBase64());
    }

    void replies_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("failure"); // empty: success
        QTest::newRow("ok false is success") << 200 << QByteArray(R"({"ok": false})") << QString();
        QTest::newRow("201 success") << 201 << QByteArray(R"({"ok": true, "extra": 1})") << QString();
        QTest::newRow("2xx without ok")
            << 200 << QByteArray("{}") << "Bad server response: The reply has no value for the key \"ok\".";
        QTest::newRow("2xx not json") << 200 << QByteArray("<html>") << "Bad server response: ";
        QTest::newRow("ok not boolean") << 200 << QByteArray(R"({"ok": "yes"})") << "Bad server response: ";
        QTest::newRow("detail") << 400 << QByteArray(R"({"detail": "Message too long"})")
                                << "Message too long";
        QTest::newRow("error only") << 403 << QByteArray(R"({"error": "Forbidden here"})")
                                    << "Forbidden here";
        QTest::newRow("detail over error") << 422 << QByteArray(R"({"error": "e", "detail": "d"})") << "d";
        QTest::newRow("empty detail") << 400 << QByteArray(R"({"detail": ""})") << "";
        QTest::newRow("500 empty body") << 500 << QByteArray() << "Server error (500)";
        QTest::newRow("neither key") << 502 << QByteArray(R"({"message": "x"})") << "Server error (502)";
        QTest::newRow("huge garbage") << 500 << QByteArray(2'000'000, '\xff') << "Server error (500)";
    }
    void replies()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, failure);
        m_next = {status, body};
        APIClient client(baseURL());
        const auto result =
            failureOf(client.post<FeedbackService::Response>(QStringLiteral("/feedback"), QJsonObject{}));
        if (QTest::currentDataTag() == QLatin1String("empty detail")) {
            QCOMPARE(result, std::optional<QString>(QString()));
        } else if (failure.isEmpty()) {
            QCOMPARE(result, std::nullopt);
        } else {
            QVERIFY(result);
            QVERIFY2(result->startsWith(failure), qPrintable(*result));
        }
    }

    void closedPortIsTransportError()
    {
        APIClient client(QStringLiteral("http://127.0.0.1:%1").arg(closedPort()));
        const auto result =
            failureOf(client.post<FeedbackService::Response>(QStringLiteral("/feedback"), QJsonObject{}));
        QVERIFY(result);
        QVERIFY2(result->contains(QStringLiteral("refused"), Qt::CaseInsensitive), qPrintable(*result));
    }

    void silentServerTimesOut()
    {
        QTcpServer silent; // accepts and never answers
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        QList<QTcpSocket *> held;
        connect(&silent, &QTcpServer::newConnection, [&] { held << silent.nextPendingConnection(); });
        APIClient client(QStringLiteral("http://127.0.0.1:%1").arg(silent.serverPort()), 300ms);
        const auto result =
            failureOf(client.post<FeedbackService::Response>(QStringLiteral("/feedback"), QJsonObject{}));
        QCOMPARE(result, std::optional<QString>(QStringLiteral("The request timed out.")));
    }

    void invalidURL()
    {
        APIClient client(QStringLiteral("not a url"));
        const auto result =
            failureOf(client.post<FeedbackService::Response>(QStringLiteral("/feedback"), QJsonObject{}));
        QCOMPARE(result, std::optional<QString>(QStringLiteral("Invalid request URL")));
    }

    void tokensInOneSecondAreEqual()
    {
        const QDateTime now = QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC);
        QCOMPARE(AuthTokenManager::token(now, QStringLiteral("ID")),
                 AuthTokenManager::token(now.addMSecs(999), QStringLiteral("ID")));
        QVERIFY(AuthTokenManager::token(now, QStringLiteral("ID")) !=
                AuthTokenManager::token(now.addSecs(1), QStringLiteral("ID")));
        const QByteArray decoded =
            QByteArray::fromBase64(AuthTokenManager::token(now, QStringLiteral("ID")).toLatin1());
        QVERIFY(decoded.startsWith("1700000000:ID:"));
    }

    void deviceIDCreatedOnceAndEmptyReplaced()
    {
        preferences::setValue(UserIdentityManager::defaultsKey, QString());
        const QString created = UserIdentityManager::shared().deviceID();
        QCOMPARE(created.size(), 36);
        QCOMPARE(created, created.toUpper());
        QVERIFY(!QUuid::fromString(created).isNull());
        QCOMPARE(preferences::value(UserIdentityManager::defaultsKey).toString(), created);
        QCOMPARE(UserIdentityManager::shared().deviceID(), created);
    }
};

QTEST_GUILESS_MAIN(TestAPIClient)
#include "tst_apiclient.moc"
