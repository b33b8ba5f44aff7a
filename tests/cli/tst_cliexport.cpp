#include "support/fixtures.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using namespace quorlin::testing;

namespace {

QDateTime utc(int year, int month, int day, int hour)
{
    return QDateTime(QDate(year, month, day), QTime(hour, 0), QTimeZone::utc());
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

} // namespace

// quorlin-cli export run as a user would, on a snapshot folder built for the test.
class TestCliExport : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    QString m_snapshot;
    QByteArray m_png;

    Run run(const QStringList &arguments) const
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath(QStringLiteral("data")));
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), m_home.filePath(QStringLiteral("cache")));
        environment.insert(QStringLiteral("TZ"), QStringLiteral("UTC"));
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("en_US.UTF-8"));
        environment.insert(QStringLiteral("LANG"), QStringLiteral("en_US.UTF-8"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(QUORLIN_CLI_PATH), QStringList{QStringLiteral("export")} + arguments);
        Run result;
        if (!process.waitForFinished(120000))
            return result;
        result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.out = QString::fromUtf8(process.readAllStandardOutput());
        result.err = QString::fromUtf8(process.readAllStandardError());
        return result;
    }

    QString output(const QString &name) const { return m_home.filePath(QStringLiteral("out/") + name); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        QVERIFY(QDir().mkpath(m_home.filePath(QStringLiteral("out"))));
        m_snapshot = m_home.filePath(QStringLiteral("snapshot"));
        SnapshotBuilder snapshot(m_snapshot);
        SmsDatabaseBuilder &sms = snapshot.sms();
        const qint64 bob = sms.addHandle(QStringLiteral("+15551234"));
        const qint64 chat = sms.addChat({QStringLiteral("iMessage;-;+15551234"),
                                         QStringLiteral("+15551234"),
                                         QStringLiteral("Bob"),
                                         std::nullopt,
                                         QStringLiteral("iMessage"),
                                         {bob}});

        MessageRow first;
        first.guid = QStringLiteral("m1");
        first.text = QStringLiteral("March first from Bob");
        first.date = SmsDatabaseBuilder::appleNanoseconds(utc(2025, 3, 1, 10));
        first.handleId = bob;
        first.chatIds = {chat};
        sms.addMessage(first);

        MessageRow second;
        second.guid = QStringLiteral("m2");
        second.text = QStringLiteral("March second <b>&</b> a picture");
        second.date = SmsDatabaseBuilder::appleNanoseconds(utc(2025, 3, 2, 23));
        second.isFromMe = 1;
        second.cacheHasAttachments = 1;
        second.chatIds = {chat};
        const qint64 secondId = sms.addMessage(second);

        MessageRow undated;
        undated.guid = QStringLiteral("m3");
        undated.text = QStringLiteral("Undated note");
        undated.date = 0;
        undated.handleId = bob;
        undated.chatIds = {chat};
        sms.addMessage(undated);

        MessageRow third;
        third.guid = QStringLiteral("m4");
        third.text = QStringLiteral("March third from Bob");
        third.date = SmsDatabaseBuilder::appleNanoseconds(utc(2025, 3, 3, 8));
        third.handleId = bob;
        third.chatIds = {chat};
        sms.addMessage(third);

        QImage picture(64, 48, QImage::Format_RGB32);
        picture.fill(QColor(20, 120, 220));
        QBuffer buffer(&m_png);
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(picture.save(&buffer, "PNG"));
        const QString devicePath = QStringLiteral("Library/SMS/Attachments/ab/01/IMG_0001.png");
        AttachmentRow image;
        image.guid = QStringLiteral("a1");
        image.filename = QStringLiteral("~/") + devicePath;
        image.mimeType = QStringLiteral("image/png");
        image.transferName = QStringLiteral("IMG_0001.png");
        image.totalBytes = m_png.size();
        sms.addAttachment(secondId, image);
        snapshot.addFile(QStringLiteral("MediaDomain"), devicePath, m_png);
        snapshot.write();
    }

    void text()
    {
        const QString path = output(QStringLiteral("chat.txt"));
        const Run result = run({m_snapshot, QStringLiteral("1"), QStringLiteral("--format"),
                                QStringLiteral("text"), QStringLiteral("--output"), path});
        QVERIFY2(result.exitCode == 0, qPrintable(result.err));
        QCOMPARE(result.out.trimmed(), path);
        const QString transcript = QString::fromUtf8(readAll(path));
        QVERIFY(transcript.startsWith(
            QStringLiteral("Messages exported from: Test iPhone\nWith: Bob (+15551234)\n"
                           "Conversation: Mar 1, 2025 \u2013 Mar 3, 2025\n"
                           "4 messages \u00B7 1 attachment\n")));
        QVERIFY(transcript.contains(QStringLiteral("\n[+15551234] 3/1/25 10:00 AM: March first from Bob\n")));
        QVERIFY(transcript.contains(QStringLiteral("[Me] 3/2/25 11:00 PM: March second <b>&</b> a picture\n"
                                                   "  [Attachments: IMG_0001.png]\n")));
        QVERIFY(transcript.contains(QStringLiteral("\n[+15551234]: Undated note\n")));
        QVERIFY(transcript.endsWith(QStringLiteral("[+15551234] 3/3/25 8:00 AM: March third from Bob")));
    }

    void csvNarrowedToOneDay()
    {
        const QString path = output(QStringLiteral("chat.csv"));
        const Run result =
            run({m_snapshot, QStringLiteral("1"), QStringLiteral("--format"), QStringLiteral("csv"),
                 QStringLiteral("--output"), path, QStringLiteral("--from"), QStringLiteral("2025-03-02"),
                 QStringLiteral("--to"), QStringLiteral("2025-03-02")});
        QVERIFY2(result.exitCode == 0, qPrintable(result.err));
        QCOMPARE(result.out.trimmed(), path);
        const QStringList rows = QString::fromUtf8(readAll(path)).split(QLatin1Char('\n'));
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows.at(0),
                 QStringLiteral("Direction,Sender,Date,Time,Service,Message,ReplyToSender,ReplyToText,"
                                "Attachments,Reactions"));
        // Messages come in stored date order, so the undated one (date 0) leads.
        QCOMPARE(rows.at(2),
                 QStringLiteral("\"out\",\"\",\"3/2/25\",\"11:00 PM\",\"iMessage\",\"March second "
                                "<b>&</b> a picture\",\"\",\"\",\"IMG_0001.png\",\"\""));
        QCOMPARE(rows.at(1),
                 QStringLiteral("\"in\",\"+15551234\",\"\",\"\",\"iMessage\",\"Undated note\",\"\",\"\","
                                "\"\",\"\""));
    }

    void htmlWithSwitches()
    {
        const QString folder = output(QStringLiteral("Bob"));
        const Run result =
            run({m_snapshot, QStringLiteral("1"), QStringLiteral("--format"), QStringLiteral("html"),
                 QStringLiteral("--output"), folder, QStringLiteral("--from"), QStringLiteral("2025-03-02"),
                 QStringLiteral("--hide-dates"), QStringLiteral("--ink-saving"),
                 QStringLiteral("--show-contact")});
        QVERIFY2(result.exitCode == 0, qPrintable(result.err));
        QCOMPARE(result.out.trimmed(), folder);
        const QString page = QString::fromUtf8(readAll(folder + QStringLiteral("/chat.html")));
        QVERIFY(page.contains(QStringLiteral("March second &lt;b&gt;&amp;&lt;/b&gt; a picture")));
        QVERIFY(page.contains(QStringLiteral("<img src='attachments/IMG_0001.png' alt='IMG_0001.png'>")));
        QVERIFY(page.contains(QStringLiteral("<div class='sender'>Test iPhone</div>")));
        QVERIFY(
            page.contains(QStringLiteral("<div class='sender'><div>Bob</div><div>+15551234</div></div>")));
        QVERIFY(page.contains(QStringLiteral("background: transparent; border: 1.5px solid #007AFF")));
        QVERIFY(!page.contains(QStringLiteral("class='ts'")));
        QVERIFY(!page.contains(QStringLiteral("March first")));
        QVERIFY(page.contains(QStringLiteral("March third")));
        QVERIFY(page.contains(QStringLiteral("<div>3 messages \u00B7 1 attachment</div>")));
        QCOMPARE(readAll(folder + QStringLiteral("/attachments/IMG_0001.png")), m_png);
    }

    void pdf()
    {
        const QString path = output(QStringLiteral("chat.pdf"));
        const Run result =
            run({m_snapshot, QStringLiteral("1"), QStringLiteral("--format"), QStringLiteral("pdf"),
                 QStringLiteral("--output"), path, QStringLiteral("--to"), QStringLiteral("2025-03-01")});
        QVERIFY2(result.exitCode == 0, qPrintable(result.err));
        QCOMPARE(result.out.trimmed(), path);
        QVERIFY(readAll(path).startsWith("%PDF"));
        QProcess text;
        text.start(QStringLiteral("pdftotext"), {path, QStringLiteral("-")});
        QVERIFY(text.waitForFinished(60000));
        const QString content = QString::fromUtf8(text.readAllStandardOutput());
        // The drawn text may use the "fi" ligature, so the check avoids those letters.
        QVERIFY2(content.contains(QStringLiteral("3/1/25 10:00 AM")), qPrintable(content));
        QVERIFY(content.contains(QStringLiteral("rst from Bob")));
        QVERIFY(content.contains(QStringLiteral("Undated note")));
        QVERIFY(!content.contains(QStringLiteral("March second")));
        QVERIFY(!content.contains(QStringLiteral("March third")));
    }

    void failures_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        const QString ok = output(QStringLiteral("never.txt"));
        QTest::newRow("unknown format") << QStringList{"1", "--format", "docx", "--output", ok} << "docx";
        QTest::newRow("no format") << QStringList{"1", "--output", ok} << "--format";
        QTest::newRow("no output") << QStringList{"1", "--format", "text"} << "--output";
        QTest::newRow("bad date") << QStringList{"1", "--format", "text",      "--output",
                                                 ok,  "--from",   "2025-13-01"}
                                  << "2025-13-01";
        QTest::newRow("unknown conversation")
            << QStringList{"99", "--format", "text", "--output", ok} << "99";
        QTest::newRow("missing output folder")
            << QStringList{"1", "--format", "csv", "--output", output(QStringLiteral("missing/chat.csv"))}
            << "No such file or directory";
    }

    void failures()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        const Run result = run(QStringList{m_snapshot} + arguments);
        QVERIFY(result.exitCode > 0);
        QVERIFY2(result.err.contains(message), qPrintable(result.err));
        QCOMPARE(result.out, QString());
        QVERIFY(!QFileInfo::exists(output(QStringLiteral("never.txt"))));
    }
};

QTEST_GUILESS_MAIN(TestCliExport)
#include "tst_cliexport.moc"
