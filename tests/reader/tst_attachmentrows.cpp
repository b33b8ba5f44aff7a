#include "reader/smsreaderservice.h"
#include "support/fixtures.h"

#include <QTemporaryDir>
#include <QTest>

using namespace quorlin;
using namespace quorlin::testing;

using OptionalText = std::optional<QString>;
using OptionalInt = std::optional<qint64>;

namespace {

ChatRow chatRow(const QString &guid, const QString &identifier)
{
    ChatRow row;
    row.guid = guid;
    row.chatIdentifier = identifier;
    return row;
}

} // namespace

class AttachmentRowsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_count = 0;

    QString write(const SmsDatabaseBuilder &builder)
    {
        const QString path = m_dir.filePath(QStringLiteral("sms%1.db").arg(++m_count));
        builder.writeTo(path);
        return path;
    }

private slots:
    void specialKind_data()
    {
        QTest::addColumn<QString>("uti");
        QTest::addColumn<QString>("path");
        QTest::addColumn<qint64>("sticker");
        QTest::addColumn<OptionalInt>("kind"); // Attachment::Kind as an integer, absent for none

        const auto link = OptionalInt(qint64(Attachment::Kind::link));
        const auto sticker = OptionalInt(qint64(Attachment::Kind::sticker));
        QTest::newRow("URL balloon") << QStringLiteral("com.apple.messages.URLBalloonProvider")
                                     << QStringLiteral("a/IMG.jpeg") << qint64(1) << link;
        QTest::newRow("plugin payload") << QStringLiteral("public.jpeg")
                                        << QStringLiteral("x.pluginPayloadAttachment") << qint64(1) << link;
        QTest::newRow("sticker flag")
            << QStringLiteral("public.png") << QStringLiteral("a/b.png") << qint64(1) << sticker;
        QTest::newRow("sticker cache")
            << QString() << QStringLiteral("~/Library/SMS/StickerCache/x/s.heic") << qint64(0) << sticker;
        QTest::newRow("sticker flag 2 is not a sticker")
            << QString() << QStringLiteral("a.png") << qint64(2) << OptionalInt();
        QTest::newRow("ordinary") << QStringLiteral("public.jpeg") << QStringLiteral("a/IMG.jpeg")
                                  << qint64(0) << OptionalInt();
    }

    void specialKind()
    {
        QFETCH(QString, uti);
        QFETCH(QString, path);
        QFETCH(qint64, sticker);
        QFETCH(OptionalInt, kind);
        const auto result = SMSReaderService::specialAttachmentKind(uti, path, sticker);
        QCOMPARE(result ? OptionalInt(qint64(*result)) : OptionalInt(), kind);
    }

    void rowToAttachment_data()
    {
        QTest::addColumn<OptionalText>("filename");
        QTest::addColumn<OptionalText>("mimeType");
        QTest::addColumn<OptionalText>("transferName");
        QTest::addColumn<OptionalText>("uti");
        QTest::addColumn<OptionalInt>("totalBytes");
        QTest::addColumn<OptionalInt>("isSticker");
        QTest::addColumn<QString>("backupRelativePath");
        QTest::addColumn<QString>("expectedMime");
        QTest::addColumn<QString>("originalFilename");
        QTest::addColumn<qint64>("expectedBytes");
        QTest::addColumn<Attachment::Kind>("kind");

        const OptionalText none;
        const OptionalInt noInt;
        const QString tildePath = QStringLiteral("~/Library/SMS/Attachments/4f/15/AB12/IMG_0042.HEIC");
        QTest::newRow("ordinary image")
            << OptionalText(tildePath) << OptionalText(QStringLiteral("image/heic"))
            << OptionalText(QStringLiteral("IMG_0042.HEIC")) << OptionalText(QStringLiteral("public.heic"))
            << OptionalInt(2048) << OptionalInt(0) << tildePath << QStringLiteral("image/heic")
            << QStringLiteral("IMG_0042.HEIC") << qint64(2048) << Attachment::Kind::image;
        QTest::newRow("~/ path without transfer name")
            << OptionalText(tildePath) << OptionalText(QStringLiteral("image/heic")) << none << none << noInt
            << noInt << tildePath << QStringLiteral("image/heic") << QStringLiteral("IMG_0042.HEIC")
            << qint64(0) << Attachment::Kind::image;
        QTest::newRow("NULL mime type")
            << OptionalText(QStringLiteral("a/file.bin")) << none << none << none << noInt << noInt
            << QStringLiteral("a/file.bin") << QStringLiteral("application/octet-stream")
            << QStringLiteral("file.bin") << qint64(0) << Attachment::Kind::other;
        QTest::newRow("empty mime type stays empty")
            << OptionalText(QStringLiteral("a/f")) << OptionalText(QString()) << none << none << noInt
            << noInt << QStringLiteral("a/f") << QString() << QStringLiteral("f") << qint64(0)
            << Attachment::Kind::other;
        QTest::newRow("URL balloon wins over image mime")
            << OptionalText(QStringLiteral("a/x.png")) << OptionalText(QStringLiteral("image/png")) << none
            << OptionalText(QStringLiteral("com.apple.messages.URLBalloonProvider")) << noInt << noInt
            << QStringLiteral("a/x.png") << QStringLiteral("image/png") << QStringLiteral("x.png")
            << qint64(0) << Attachment::Kind::link;
        QTest::newRow("plugin payload is a link")
            << OptionalText(QStringLiteral("a/1.pluginPayloadAttachment")) << none << none << none << noInt
            << noInt << QStringLiteral("a/1.pluginPayloadAttachment")
            << QStringLiteral("application/octet-stream") << QStringLiteral("1.pluginPayloadAttachment")
            << qint64(0) << Attachment::Kind::link;
        QTest::newRow("sticker flag whatever mime")
            << OptionalText(QStringLiteral("a/s.mov")) << OptionalText(QStringLiteral("video/quicktime"))
            << none << none << noInt << OptionalInt(1) << QStringLiteral("a/s.mov")
            << QStringLiteral("video/quicktime") << QStringLiteral("s.mov") << qint64(0)
            << Attachment::Kind::sticker;
        QTest::newRow("sticker cache path")
            << OptionalText(QStringLiteral("~/Library/SMS/StickerCache/1/s.png"))
            << OptionalText(QStringLiteral("image/png")) << none << none << noInt << OptionalInt(0)
            << QStringLiteral("~/Library/SMS/StickerCache/1/s.png") << QStringLiteral("image/png")
            << QStringLiteral("s.png") << qint64(0) << Attachment::Kind::sticker;
        QTest::newRow("sticker through mime")
            << OptionalText(QStringLiteral("a/s")) << OptionalText(QStringLiteral("image/x-apple-sticker"))
            << none << none << noInt << noInt << QStringLiteral("a/s")
            << QStringLiteral("image/x-apple-sticker") << QStringLiteral("s") << qint64(0)
            << Attachment::Kind::sticker;
        QTest::newRow("nothing at all") << none << none << none << none << noInt << noInt << QString()
                                        << QStringLiteral("application/octet-stream") << QString()
                                        << qint64(0) << Attachment::Kind::other;
        QTest::newRow("transfer name with trailing slash")
            << OptionalText(QStringLiteral("a/b")) << OptionalText(QStringLiteral("audio/amr"))
            << OptionalText(QStringLiteral("dir/Audio Message.amr/")) << none << OptionalInt(7) << noInt
            << QStringLiteral("a/b") << QStringLiteral("audio/amr") << QStringLiteral("Audio Message.amr")
            << qint64(7) << Attachment::Kind::audio;
        QTest::newRow("transfer name of slashes only")
            << OptionalText(QStringLiteral("a/b")) << OptionalText(QStringLiteral("video/mp4"))
            << OptionalText(QStringLiteral("//")) << none << noInt << noInt << QStringLiteral("a/b")
            << QStringLiteral("video/mp4") << QStringLiteral("//") << qint64(0) << Attachment::Kind::video;
    }

    void rowToAttachment()
    {
        QFETCH(OptionalText, filename);
        QFETCH(OptionalText, mimeType);
        QFETCH(OptionalText, transferName);
        QFETCH(OptionalText, uti);
        QFETCH(OptionalInt, totalBytes);
        QFETCH(OptionalInt, isSticker);

        SmsDatabaseBuilder builder;
        const qint64 chat = builder.addChat(chatRow(QStringLiteral("c"), QStringLiteral("x")));
        MessageRow message;
        message.guid = QStringLiteral("m");
        message.chatIds = {chat};
        const qint64 messageId = builder.addMessage(message);
        AttachmentRow row;
        row.guid = QStringLiteral("att");
        row.filename = filename;
        row.mimeType = mimeType;
        row.transferName = transferName;
        row.uti = uti;
        row.totalBytes = totalBytes;
        row.isSticker = isSticker;
        builder.addAttachment(messageId, row);

        const auto byMessage = SMSReaderService(write(builder)).fetchAttachments({chat});
        QCOMPARE(byMessage.size(), 1);
        QCOMPARE(byMessage.value(messageId).size(), 1);
        const Attachment attachment = byMessage.value(messageId).first();
        QTEST(attachment.backupRelativePath, "backupRelativePath");
        QTEST(attachment.mimeType, "expectedMime");
        QTEST(attachment.originalFilename, "originalFilename");
        QTEST(attachment.totalBytes, "expectedBytes");
        QTEST(attachment.kind, "kind");
        QCOMPARE(attachment.fileURL, QStringLiteral("/dev/null"));
        QVERIFY(!attachment.linkURL);
    }

    void mergedChatsGiveEachAttachmentOnceInRowOrder()
    {
        SmsDatabaseBuilder builder;
        const qint64 first = builder.addChat(chatRow(QStringLiteral("c1"), QStringLiteral("x")));
        const qint64 second = builder.addChat(chatRow(QStringLiteral("c2"), QStringLiteral("x")));
        MessageRow message;
        message.guid = QStringLiteral("shared");
        message.chatIds = {first, second};
        const qint64 shared = builder.addMessage(message);
        message.guid = QStringLiteral("other");
        message.chatIds = {second};
        const qint64 other = builder.addMessage(message);
        for (const QString &name : {QStringLiteral("one.jpg"), QStringLiteral("two.jpg")}) {
            AttachmentRow row;
            row.guid = name;
            row.filename = QStringLiteral("~/Library/SMS/Attachments/") + name;
            row.mimeType = QStringLiteral("image/jpeg");
            builder.addAttachment(shared, row);
        }
        AttachmentRow row;
        row.guid = QStringLiteral("three");
        row.filename = QStringLiteral("three.png");
        builder.addAttachment(other, row);

        SMSReaderService reader(write(builder));
        const auto byMessage = reader.fetchAttachments({first, second});
        QCOMPARE(byMessage.value(shared).size(), 2);
        QCOMPARE(byMessage.value(shared).at(0).originalFilename, QStringLiteral("one.jpg"));
        QCOMPARE(byMessage.value(shared).at(1).originalFilename, QStringLiteral("two.jpg"));
        QCOMPARE(byMessage.value(other).size(), 1);
        QVERIFY(byMessage.value(shared).at(0).id != byMessage.value(shared).at(1).id);
        QCOMPARE(reader.fetchAttachments({first}).size(), 1);

        const QList<Message> messages = reader.fetchMessages({first, second});
        QCOMPARE(messages.size(), 2);
        QCOMPARE(messages.at(0).attachments.size(), 2);
        QCOMPARE(messages.at(1).attachments.size(), 1);
    }
};

QTEST_GUILESS_MAIN(AttachmentRowsTest)
#include "tst_attachmentrows.moc"
