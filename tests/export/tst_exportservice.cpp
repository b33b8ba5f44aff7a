#include "exportfixtures.h"

#include "export/csvwriter.h"
#include "export/exportservice.h"
#include "export/heictranscoder.h"
#include "export/htmlwriter.h"
#include "export/transcriptwriter.h"
#include "support/quorlinerror.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace quorlin;
using namespace quorlin::testing;

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

Attachment fileAttachment(const QString &path, const QString &name, Attachment::Kind kind,
                          const QString &mime = QString())
{
    Attachment result = attachment(name, kind, mime);
    result.fileURL = path;
    return result;
}

// While alive, the calling thread's effective capabilities lack the permission override, so even the
// superuser is held to folder permissions. The permitted set is kept, so it can be restored after.
class PermissionOverrideSuspension {
public:
    PermissionOverrideSuspension()
    {
        m_header.version = _LINUX_CAPABILITY_VERSION_3;
        m_header.pid = 0;
        if (syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct lowered[2] = {m_saved[0], m_saved[1]};
        lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        m_active = syscall(SYS_capset, &m_header, lowered) == 0;
    }
    ~PermissionOverrideSuspension()
    {
        if (m_active)
            syscall(SYS_capset, &m_header, m_saved);
    }

private:
    __user_cap_header_struct m_header{};
    __user_cap_data_struct m_saved[2]{};
    bool m_active = false;
};

// Collects what the process writes to standard error while alive, where the logger writes when no
// system journal is reachable.
class StandardErrorCapture {
public:
    explicit StandardErrorCapture(const QString &path) : m_path(path)
    {
        std::fflush(stderr);
        m_saved = dup(STDERR_FILENO);
        const int fd = open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, STDERR_FILENO);
        close(fd);
    }
    QByteArray finish()
    {
        if (m_saved >= 0) {
            std::fflush(stderr);
            dup2(m_saved, STDERR_FILENO);
            close(m_saved);
            m_saved = -1;
        }
        return readAll(m_path);
    }
    ~StandardErrorCapture() { finish(); }

private:
    QString m_path;
    int m_saved = -1;
};

} // namespace

class TestExportService : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_png;  // a 40 × 30 picture
    QString m_heic; // the same picture as HEIC

    QString path(const QString &name) const { return m_dir.filePath(name); }

    Chat chatWithText() const
    {
        Chat chat = oneToOneChat();
        chat.items = {
            message(Message::Direction::out, QStringLiteral("Caf\u00E9 \"ok\""), utc(2025, 3, 2)),
            message(Message::Direction::in, QStringLiteral("\U0001F600"), {}, QStringLiteral("+1555"))};
        return chat;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_png = path(QStringLiteral("source.png"));
        QImage picture(40, 30, QImage::Format_RGB32);
        picture.fill(QColor(200, 30, 30));
        QVERIFY(picture.save(m_png));
        m_heic = path(QStringLiteral("source.heic"));
        QProcess encoder;
        encoder.start(QStringLiteral("heif-enc"), {QStringLiteral("-o"), m_heic, m_png});
        QVERIFY(encoder.waitForFinished(60000));
        QCOMPARE(encoder.exitCode(), 0);
        QVERIFY(QFileInfo(m_heic).size() > 0);
    }

    void textFormats_data()
    {
        QTest::addColumn<ExportFormat>("format");
        QTest::newRow("csv") << ExportFormat::csv;
        QTest::newRow("text") << ExportFormat::text;
    }

    void textFormats()
    {
        QFETCH(ExportFormat, format);
        const Chat chat = chatWithText();
        const QString destination = path(QStringLiteral("out-") + toRawValue(format));
        writeFile(destination, QByteArray(100000, 'x')); // an existing longer file is replaced whole
        const QString location =
            ExportService::shared().exportChat(chat, format, destination, ExportOptions{});
        QCOMPARE(location, destination);
        const QString expected = format == ExportFormat::csv ? renderCSV(chat) : renderTranscript(chat);
        QCOMPARE(readAll(destination), expected.toUtf8());
        QVERIFY(!readAll(destination).startsWith("\xEF\xBB\xBF"));
    }

    void pdfIsWrittenAsRendered()
    {
        const QString destination = path(QStringLiteral("chat.pdf"));
        QCOMPARE(ExportService::shared().exportChat(chatWithText(), ExportFormat::pdf, destination,
                                                    ExportOptions{}),
                 destination);
        QVERIFY(QFileInfo::exists(destination));
        const QByteArray bytes = readAll(destination);
        QVERIFY(bytes.isEmpty() || bytes.startsWith("%PDF"));
    }

    void unwritableDestinationFails_data()
    {
        QTest::addColumn<ExportFormat>("format");
        QTest::addColumn<QString>("destination");
        QTest::addColumn<QString>("description");
        const QString missing = m_dir.filePath(QStringLiteral("no-such-folder/out"));
        const QString underFile = m_dir.filePath(QStringLiteral("source.png/out"));
        for (ExportFormat format : allExportFormats) {
            const QByteArray name = toRawValue(format).toUtf8();
            QTest::newRow(name + " into a missing folder")
                << format << missing
                << (format == ExportFormat::html ? QString() : QStringLiteral("No such file or directory"));
            QTest::newRow(name + " under a file") << format << underFile << QStringLiteral("Not a directory");
            // Even the superuser cannot create files in the kernel's attribute folder.
            QTest::newRow(name + " into a read-only place")
                << format << QStringLiteral("/sys/quorlin-export-test")
                << (format == ExportFormat::html ? QStringLiteral("Operation not permitted")
                                                 : QStringLiteral("Permission denied"));
        }
    }

    void unwritableDestinationFails()
    {
        QFETCH(ExportFormat, format);
        QFETCH(QString, destination);
        QFETCH(QString, description);
        if (format == ExportFormat::html && description.isEmpty()) {
            // A missing HTML folder is created with its parents.
            QCOMPARE(ExportService::shared().exportChat(chatWithText(), format, destination, ExportOptions{}),
                     destination);
            QVERIFY(QFileInfo::exists(destination + QStringLiteral("/chat.html")));
            QVERIFY(QDir(m_dir.filePath(QStringLiteral("no-such-folder"))).removeRecursively());
            return;
        }
        try {
            ExportService::shared().exportChat(chatWithText(), format, destination, ExportOptions{});
            QFAIL("the export should have failed");
        } catch (const QuorlinError &error) {
            QVERIFY2(error.description().contains(description), qPrintable(error.description()));
        }
        QVERIFY(!QFileInfo::exists(destination));
    }

    void readOnlyFolderLeavesNothingBehind_data()
    {
        QTest::addColumn<ExportFormat>("format");
        for (ExportFormat format : allExportFormats)
            QTest::newRow(toRawValue(format).toUtf8()) << format;
    }

    void readOnlyFolderLeavesNothingBehind()
    {
        QFETCH(ExportFormat, format);
        QTemporaryDir folder;
        QVERIFY(QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::ExeOwner));
        const auto restore = qScopeGuard([&folder] {
            QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        });
        const QString destination = folder.filePath(QStringLiteral("out"));
        {
            const PermissionOverrideSuspension suspension;
            QFile probe(folder.filePath(QStringLiteral("probe")));
            if (probe.open(QIODevice::WriteOnly)) {
                probe.remove();
                QSKIP("this user writes into read-only folders");
            }
            try {
                ExportService::shared().exportChat(chatWithText(), format, destination, ExportOptions{});
                QFAIL("the export should have failed");
            } catch (const FileSystemError &error) {
                QVERIFY2(error.description().contains(QStringLiteral("Permission denied")),
                         qPrintable(error.description()));
            }
        }
        QCOMPARE(QDir(folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList());
    }

    void isHEIC_data()
    {
        QTest::addColumn<QString>("mime");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("heic");
        QTest::newRow("heic type") << "image/heic"
                                   << "a.jpg" << true;
        QTest::newRow("heif type in capitals") << "IMAGE/HEIF"
                                               << "a" << true;
        QTest::newRow("heic extension") << "application/octet-stream"
                                        << "IMG_1.HEIC" << true;
        QTest::newRow("heif extension") << "image/jpeg"
                                        << "x.heif" << true;
        QTest::newRow("jpeg") << "image/jpeg"
                              << "x.jpg" << false;
        QTest::newRow("heic inside the name") << "image/png"
                                              << "heic.png" << false;
    }

    void isHEIC()
    {
        QFETCH(QString, mime);
        QFETCH(QString, name);
        QFETCH(bool, heic);
        QCOMPARE(ExportService::isHEIC(attachment(name, Attachment::Kind::image, mime)), heic);
    }

    void transcodeWritesAJPEG()
    {
        const QString jpeg = path(QStringLiteral("direct.jpg"));
        QVERIFY(transcodeToJPEG(m_heic, jpeg));
        QImageReader reader(jpeg);
        QCOMPARE(reader.format(), QByteArray("jpeg"));
        QCOMPARE(reader.size(), QSize(40, 30));
        const QImage decoded = reader.read();
        QVERIFY(qAbs(decoded.pixelColor(20, 15).red() - 200) < 20);
    }

    void transcodeFailures_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("missing file") << QByteArray();
        QTest::newRow("not an image") << QByteArray("just some text");
        QTest::newRow("truncated") << QByteArray("truncate");
    }

    void transcodeFailures()
    {
        QFETCH(QByteArray, content);
        const QString source = path(QStringLiteral("broken.heic"));
        QFile::remove(source);
        if (content == "truncate")
            writeFile(source, readAll(m_heic).left(QFileInfo(m_heic).size() / 2));
        else if (!content.isEmpty())
            writeFile(source, content);
        const QString jpeg = path(QStringLiteral("broken.jpg"));
        QVERIFY(!transcodeToJPEG(source, jpeg));
        QVERIFY(!QFileInfo::exists(jpeg));
    }

    void htmlFolder()
    {
        const QString folder = path(QStringLiteral("html/nested/Bob"));
        const QString truncated = path(QStringLiteral("truncated.heic"));
        writeFile(truncated, readAll(m_heic).left(200));
        const QString note = path(QStringLiteral("note.txt"));
        writeFile(note, "first");

        Chat chat = chatWithText();
        chat.items[0].attachments = {
            fileAttachment(m_png, QStringLiteral("photo.png"), Attachment::Kind::image),
            fileAttachment(m_heic, QStringLiteral("IMG_0001.HEIC"), Attachment::Kind::image,
                           QStringLiteral("image/heic")),
            fileAttachment(truncated, QStringLiteral("broken.heic"), Attachment::Kind::image),
            fileAttachment(path(QStringLiteral("missing.heic")), QStringLiteral("gone.heic"),
                           Attachment::Kind::image),
            fileAttachment(path(QStringLiteral("missing.mov")), QStringLiteral("clip.mov"),
                           Attachment::Kind::video)};
        chat.items[1].attachments = {
            fileAttachment(note, QStringLiteral("note.txt"), Attachment::Kind::other),
            fileAttachment(m_png, QStringLiteral("note.txt"), Attachment::Kind::other),
            fileAttachment(note, QStringLiteral("../escape.txt"), Attachment::Kind::other),
            fileAttachment(note, QStringLiteral("preview"), Attachment::Kind::link)};

        StandardErrorCapture capture(path(QStringLiteral("stderr.log")));
        QCOMPARE(ExportService::shared().exportChat(chat, ExportFormat::html, folder, ExportOptions{}),
                 folder);
        const QByteArray log = capture.finish();
        if (!QFileInfo::exists(QStringLiteral("/run/systemd/journal/socket"))) {
            QVERIFY(
                log.contains("[com.quorlin.mac:export] error: HEIC\xE2\x86\x92JPEG transcode failed, falling "
                             "back to original: broken.heic\n"));
            QVERIFY(log.contains("falling back to original: gone.heic\n"));
            QVERIFY(!log.contains("IMG_0001"));
        }
        const QDir attachments(folder + QStringLiteral("/attachments"));
        QCOMPARE(attachments.entryList(QDir::Files | QDir::Hidden, QDir::Name),
                 (QStringList{".._escape.txt", "IMG_0001.jpg", "broken.heic", "note.txt", "photo.png",
                              "preview"}));
        QCOMPARE(readAll(attachments.filePath(QStringLiteral("photo.png"))), readAll(m_png));
        QCOMPARE(readAll(attachments.filePath(QStringLiteral("broken.heic"))), readAll(truncated));
        QCOMPARE(readAll(attachments.filePath(QStringLiteral("note.txt"))), QByteArray("first"));
        QImageReader converted(attachments.filePath(QStringLiteral("IMG_0001.jpg")));
        QCOMPARE(converted.format(), QByteArray("jpeg"));
        QCOMPARE(converted.size(), QSize(40, 30));
        QVERIFY(!QFileInfo::exists(path(QStringLiteral("html/nested/escape.txt"))));

        const QStringList links{
            "attachments/photo.png", "attachments/IMG_0001.jpg",  "attachments/broken.heic",
            "attachments/gone.heic", "attachments/clip.mov",      "attachments/note.txt",
            "attachments/note.txt",  "attachments/.._escape.txt", "attachments/preview"};
        qsizetype next = 0;
        const QString page = renderHTML(chat, ExportOptions{},
                                        [&links, &next](const Attachment &) { return links.at(next++); });
        QCOMPARE(QString::fromUtf8(readAll(folder + QStringLiteral("/chat.html"))), page);

        // A second export into the same folder keeps the first copies and replaces the page.
        writeFile(note, "second");
        const QByteArray sentinel("kept JPEG");
        writeFile(attachments.filePath(QStringLiteral("IMG_0001.jpg")), sentinel);
        chat.title = QStringLiteral("Renamed");
        ExportService::shared().exportChat(chat, ExportFormat::html, folder, ExportOptions{});
        QCOMPARE(readAll(attachments.filePath(QStringLiteral("note.txt"))), QByteArray("first"));
        QCOMPARE(readAll(attachments.filePath(QStringLiteral("IMG_0001.jpg"))), sentinel);
        QVERIFY(readAll(folder + QStringLiteral("/chat.html")).contains("<h1>Renamed</h1>"));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"chat.html"});
    }
};

QUORLIN_EXPORT_TEST_MAIN(TestExportService)
#include "tst_exportservice.moc"
