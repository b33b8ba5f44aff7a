#include "support/applogger.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QLoggingCategory>
#include <QTest>
#include <QtConcurrent>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace quorlin;

namespace {
constexpr auto socketPath = "/run/systemd/journal/socket";

// Parses the journal's native datagram format: KEY=value lines, or KEY\n<le64 size><bytes>\n.
QHash<QByteArray, QByteArray> parseEntry(const QByteArray &datagram)
{
    QHash<QByteArray, QByteArray> fields;
    qsizetype pos = 0;
    while (pos < datagram.size()) {
        const qsizetype eol = datagram.indexOf('\n', pos);
        if (eol < 0)
            break;
        const QByteArray line = datagram.mid(pos, eol - pos);
        const qsizetype eq = line.indexOf('=');
        if (eq >= 0) {
            fields.insert(line.left(eq), line.mid(eq + 1));
            pos = eol + 1;
        } else {
            quint64 size = 0;
            memcpy(&size, datagram.constData() + eol + 1, 8);
            fields.insert(line, datagram.mid(eol + 9, qsizetype(size)));
            pos = eol + 9 + qsizetype(size) + 1;
        }
    }
    return fields;
}
} // namespace

// Binds the journal's socket itself (when no journal runs here) so that the real sd_journal_send
// path is exercised and its fields can be read back.
class TestAppLogger : public QObject {
    Q_OBJECT

    int m_socket = -1;

    QByteArray receive()
    {
        QByteArray buffer(65536, Qt::Uninitialized);
        const ssize_t n = ::recv(m_socket, buffer.data(), size_t(buffer.size()), MSG_DONTWAIT);
        return n > 0 ? buffer.left(n) : QByteArray();
    }

private slots:
    void initTestCase()
    {
        if (QFile::exists(QString::fromLatin1(socketPath)))
            QSKIP("A journal runs on this machine; its entries cannot be captured here");
        if (!QDir().mkpath(QStringLiteral("/run/systemd/journal")))
            QSKIP("Cannot create the journal's folder (not root)");
        m_socket = ::socket(AF_UNIX, SOCK_DGRAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        strncpy(address.sun_path, socketPath, sizeof(address.sun_path) - 1);
        QVERIFY(::bind(m_socket, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0);
    }

    void cleanupTestCase()
    {
        if (m_socket >= 0) {
            ::close(m_socket);
            ::unlink(socketPath);
        }
    }

    void writesOneEntryWithFields()
    {
        AppLogger::error(QStringLiteral("Load backup failed: disk gone"), AppLogger::backup());
        const auto fields = parseEntry(receive());
        QCOMPARE(fields.value("MESSAGE"), QByteArray("Load backup failed: disk gone"));
        QCOMPARE(fields.value("QUORLIN_SUBSYSTEM"), QByteArray("com.quorlin.mac"));
        QCOMPARE(fields.value("QUORLIN_CATEGORY"), QByteArray("backup"));
        QCOMPARE(fields.value("PRIORITY"), QByteArray("3"));
        QCOMPARE(fields.value("QUORLIN_LEVEL"), QByteArray("error"));
        QVERIFY(receive().isEmpty()); // exactly one entry
    }

    void emptyDescriptionKeepsPrefix()
    {
        AppLogger::error(QStringLiteral("Load backup failed: ") + QString(), AppLogger::backup());
        QCOMPARE(parseEntry(receive()).value("MESSAGE"), QByteArray("Load backup failed: "));
    }

    void disabledLevelWritesNothing()
    {
        QLoggingCategory::setFilterRules(QStringLiteral("com.quorlin.mac.sms.debug=false"));
        AppLogger::debug(QStringLiteral("Manifest lookup miss: 'x'"), AppLogger::sms());
        QVERIFY(receive().isEmpty());
        QLoggingCategory::setFilterRules(QStringLiteral("com.quorlin.mac.sms.debug=true"));
        AppLogger::debug(QStringLiteral("Manifest lookup miss: 'x'"), AppLogger::sms());
        const auto fields = parseEntry(receive());
        QCOMPARE(fields.value("PRIORITY"), QByteArray("7"));
        QCOMPARE(fields.value("QUORLIN_CATEGORY"), QByteArray("sms"));
    }

    void categoriesCreatedOnceUnderConcurrency()
    {
        const auto addresses = QtConcurrent::blockingMapped(
            QList<int>(64, 0), [](int) { return reinterpret_cast<quintptr>(&AppLogger::exporting()); });
        for (quintptr address : addresses)
            QCOMPARE(address, addresses.first());
        QCOMPARE(QByteArray(AppLogger::exporting().name()), QByteArray("export"));
    }
};

QTEST_GUILESS_MAIN(TestAppLogger)
#include "tst_applogger.moc"
