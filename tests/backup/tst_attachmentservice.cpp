#include "backup/attachmentservice.h"
#include "backup/backupmanifestservice.h"
#include "support/fixtures.h"
#include "support/supportfolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <cstdio>
#include <unistd.h>

using namespace quorlin;
using namespace quorlin::testing;

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

Attachment attachmentFor(const QString &path, const QString &name,
                         const QString &mime = QStringLiteral("image/jpeg"))
{
    Attachment attachment;
    attachment.backupRelativePath = path;
    attachment.originalFilename = name;
    attachment.mimeType = mime;
    return attachment;
}

// Captures what the process writes to standard error while `work` runs (the log's fallback sink).
template <typename Work> QByteArray captureStandardError(Work work)
{
    QTemporaryFile capture;
    if (!capture.open())
        return {};
    std::fflush(stderr);
    const int saved = dup(STDERR_FILENO);
    dup2(capture.handle(), STDERR_FILENO);
    work();
    std::fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    capture.seek(0);
    return capture.readAll();
}

} // namespace

class AttachmentServiceTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    QString m_snapshot;
    const QString m_photo = QStringLiteral("Library/SMS/Attachments/4f/15/AB12/IMG_0042.jpeg");
    const QString m_other = QStringLiteral("Library/SMS/Attachments/4f/16/CD34/IMG_0042.jpeg");
    const QString m_unstored = QStringLiteral("Library/SMS/Attachments/00/00/EF/gone.png");
    std::unique_ptr<BackupManifestService> m_manifest;

private slots:
    void initTestCase()
    {
        qputenv("XDG_DATA_HOME", m_home.filePath(QStringLiteral("data")).toUtf8());
        qputenv("XDG_CACHE_HOME", m_home.filePath(QStringLiteral("cache")).toUtf8());
        m_snapshot = m_home.filePath(QStringLiteral("snapshot"));
        SnapshotBuilder snapshot(m_snapshot);
        snapshot.addFile(QStringLiteral("MediaDomain"), m_photo, "first photo");
        snapshot.addFile(QStringLiteral("MediaDomain"), m_other, "second photo, other bytes");
        snapshot.addManifestRow(fileIDFor(QStringLiteral("MediaDomain"), m_unstored),
                                QStringLiteral("MediaDomain"), m_unstored);
        snapshot.write();
        m_manifest = std::make_unique<BackupManifestService>(m_snapshot);
        m_manifest->openManifest(std::nullopt);
    }

    void init() { QDir(extractionFolder()).removeRecursively(); }

    void destinationFolder_data()
    {
        QTest::addColumn<QString>("guid");
        QTest::addColumn<QString>("folder");
        QTest::newRow("plain") << QStringLiteral("iMessage;-;+15550001")
                               << QStringLiteral("iMessage;-;+15550001");
        QTest::newRow("slashes become one level") << QStringLiteral("a/b/c") << QStringLiteral("a_b_c");
        QTest::newRow("dot") << QStringLiteral(".") << QStringLiteral("chat-2e");
        QTest::newRow("dot dot") << QStringLiteral("..") << QStringLiteral("chat-2e2e");
        QTest::newRow("empty") << QString() << QStringLiteral("chat-");
        QTest::newRow("NUL") << QStringLiteral("a") + QChar(u'\0') << QStringLiteral("chat-6100");
        QTest::newRow("slash alone is safe after replacement") << QStringLiteral("/") << QStringLiteral("_");
    }

    void destinationFolder()
    {
        QFETCH(QString, guid);
        QFETCH(QString, folder);
        const AttachmentService service(*m_manifest, guid);
        const QString expected =
            extractionFolder() + QLatin1Char('/') + folder + QStringLiteral("/attachments");
        QCOMPARE(service.destinationRoot(), expected);
        QVERIFY(QFileInfo(expected).isDir());
        QCOMPARE(QFileInfo(expected + QStringLiteral("/../..")).canonicalFilePath(),
                 QFileInfo(extractionFolder()).canonicalFilePath());
    }

    void extractsUnderReadableName_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("device path") << m_photo;
        QTest::newRow("~/ path") << QStringLiteral("~/") + m_photo;
    }

    void extractsUnderReadableName()
    {
        QFETCH(QString, path);
        const AttachmentService service(*m_manifest, QStringLiteral("chat"));
        const Attachment original = attachmentFor(path, QStringLiteral("IMG_0042.jpeg"));
        const Attachment extracted = service.extractAttachment(original);
        QCOMPARE(extracted.fileURL, service.destinationRoot() + QStringLiteral("/IMG_0042.jpeg"));
        QCOMPARE(readFile(extracted.fileURL), QByteArray("first photo"));
        Attachment expected = original;
        expected.fileURL = extracted.fileURL;
        QCOMPARE(extracted, expected);
    }

    void sameNameSharesTheFirstCopy()
    {
        const AttachmentService service(*m_manifest, QStringLiteral("chat"));
        Message message;
        message.attachments = {attachmentFor(m_photo, QStringLiteral("IMG_0042.jpeg")),
                               attachmentFor(m_other, QStringLiteral("IMG_0042.jpeg"))};
        const QList<Message> result = service.extractAttachments({message});
        QCOMPARE(result.first().attachments.at(0).fileURL, result.first().attachments.at(1).fileURL);
        QCOMPARE(readFile(result.first().attachments.at(1).fileURL), QByteArray("first photo"));
    }

    void namelessAttachmentGetsItsIdentifier_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("mime");
        QTest::addColumn<QString>("suffix");
        QTest::newRow("JPEG") << QString() << QStringLiteral("image/jpeg") << QStringLiteral(".jpg");
        QTest::newRow("PNG") << QString() << QStringLiteral("image/png") << QStringLiteral(".png");
        QTest::newRow("unknown type")
            << QString() << QStringLiteral("application/x-quorlin-unknown") << QString();
        QTest::newRow("empty type") << QString() << QString() << QString();
        QTest::newRow("dot") << QStringLiteral(".") << QStringLiteral("image/jpeg") << QStringLiteral(".jpg");
        QTest::newRow("dot dot") << QStringLiteral("..") << QStringLiteral("image/jpeg")
                                 << QStringLiteral(".jpg");
        QTest::newRow("NUL") << QStringLiteral("a") + QChar(u'\0') + QStringLiteral("b")
                             << QStringLiteral("image/jpeg") << QStringLiteral(".jpg");
        QTest::newRow("slashes") << QStringLiteral("//") << QStringLiteral("image/jpeg")
                                 << QStringLiteral(".jpg");
    }

    void namelessAttachmentGetsItsIdentifier()
    {
        QFETCH(QString, name);
        QFETCH(QString, mime);
        QFETCH(QString, suffix);
        const AttachmentService service(*m_manifest, QStringLiteral("chat"));
        const Attachment original = attachmentFor(m_photo, name, mime);
        const Attachment extracted = service.extractAttachment(original);
        const QString expectedName = original.id.toString(QUuid::WithoutBraces).toUpper() + suffix;
        QCOMPARE(extracted.fileURL, service.destinationRoot() + QLatin1Char('/') + expectedName);
        QCOMPARE(readFile(extracted.fileURL), QByteArray("first photo"));
        QCOMPARE(QDir(service.destinationRoot()).entryList(QDir::Files), QStringList({expectedName}));
    }

    void failures_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("code"); // 0 for a file-system error
        QTest::addColumn<QString>("description");
        QTest::newRow("empty path") << QString() << 400
                                    << QStringLiteral("Empty backup path for attachment: pic.jpeg");
        QTest::newRow("not in manifest")
            << QStringLiteral("~/Library/SMS/Attachments/none.jpeg") << 404
            << QStringLiteral("Attachment not found in backup: ~/Library/SMS/Attachments/none.jpeg");
        QTest::newRow("stored file missing") << m_unstored << 0 << QString();
    }

    void failures()
    {
        QFETCH(QString, path);
        QFETCH(int, code);
        QFETCH(QString, description);
        const AttachmentService service(*m_manifest, QStringLiteral("chat"));
        const Attachment original = attachmentFor(path, QStringLiteral("pic.jpeg"));
        if (code != 0) {
            try {
                (void)service.extractAttachment(original);
                QFAIL("no error");
            } catch (const AttachmentServiceError &error) {
                QCOMPARE(error.domain(), QStringLiteral("AttachmentService"));
                QCOMPARE(error.code(), code);
                QCOMPARE(error.description(), description);
            }
        } else {
            QVERIFY_THROWS_EXCEPTION(FileSystemError, (void)service.extractAttachment(original));
        }

        // In a batch the failure is logged and skipped; the next attachment is still extracted.
        Message message;
        message.attachments = {original, attachmentFor(m_photo, QStringLiteral("ok.jpeg"))};
        QList<Message> result;
        const QByteArray log = captureStandardError([&] { result = service.extractAttachments({message}); });
        QCOMPARE(result.first().attachments.at(0), original);
        QCOMPARE(result.first().attachments.at(1).fileURL,
                 service.destinationRoot() + QStringLiteral("/ok.jpeg"));
        QVERIFY(!QFileInfo::exists(service.destinationRoot() + QStringLiteral("/pic.jpeg")));
        if (!QFileInfo::exists(QStringLiteral("/run/systemd/journal/socket"))) {
            const QString expected = QStringLiteral("Attachment extract failed: pic.jpeg backupPath=") +
                                     path + QStringLiteral(" error=") + description;
            QVERIFY2(QString::fromUtf8(log).contains(expected), log.constData());
        }
    }

    void secondLoadCopiesNothing()
    {
        Message message;
        message.attachments = {attachmentFor(m_photo, QStringLiteral("IMG_0042.jpeg")),
                               attachmentFor(m_other, QStringLiteral("other.jpeg"))};
        const QList<Message> first =
            AttachmentService(*m_manifest, QStringLiteral("a/b")).extractAttachments({message});
        const QString copy = first.first().attachments.at(1).fileURL;
        QFile::remove(copy);
        QVERIFY(QFile(copy).open(QIODevice::WriteOnly));
        const QDateTime written = QFileInfo(copy).lastModified();

        const QList<Message> second =
            AttachmentService(*m_manifest, QStringLiteral("a/b")).extractAttachments({message});
        QCOMPARE(second.first().attachments.at(1).fileURL, copy);
        QCOMPARE(readFile(copy), QByteArray()); // the copy in place is used as it is
        QCOMPARE(QFileInfo(copy).lastModified(), written);
    }

    void unwritableExtractionFolderFailsCreation()
    {
        ensureSupportFolders();
        QFile blocker(extractionFolder() + QStringLiteral("/blocked"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QVERIFY_THROWS_EXCEPTION(FileSystemError, AttachmentService(*m_manifest, QStringLiteral("blocked")));
    }
};

QTEST_GUILESS_MAIN(AttachmentServiceTest)
#include "tst_attachmentservice.moc"
