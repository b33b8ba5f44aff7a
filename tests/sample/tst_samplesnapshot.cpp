#include "backup/backupcatalogue.h"
#include "backup/backupmanifestservice.h"
#include "reader/assemblechat.h"
#include "reader/smsreaderservice.h"
#include "sample/samplesnapshot.h"
#include "support/quorlinerror.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using namespace quorlin;

namespace {

const QString sampleUdid = QStringLiteral("00008110-001C35E21E38801E");

} // namespace

class SampleSnapshotTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        // Private copies and extracted attachments go into this temporary home, never the user's.
        qputenv("XDG_DATA_HOME", m_home.filePath(QStringLiteral("data")).toUtf8());
        qputenv("XDG_CACHE_HOME", m_home.filePath(QStringLiteral("cache")).toUtf8());
        qputenv("XDG_CONFIG_HOME", m_home.filePath(QStringLiteral("config")).toUtf8());
        m_backups = m_home.filePath(QStringLiteral("Backups"));
        m_snapshot = sample::writeSampleSnapshot(m_backups);

        BackupManifestService manifest(m_snapshot);
        manifest.openManifest();
        SMSReaderService reader(manifest.smsDatabaseURL());
        m_summaries = reader.fetchChatSummaries();
    }

    void snapshotIsListedAsAFinishedBackup()
    {
        QCOMPARE(QFileInfo(m_snapshot).dir().dirName(), sampleUdid);
        QVERIFY(QRegularExpression(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}_\\d{2}-\\d{2}-\\d{2}$"))
                    .match(QFileInfo(m_snapshot).fileName())
                    .hasMatch());
        const QList<BackupInfo> backups = listBackups(m_backups);
        QCOMPARE(backups.size(), 1);
        QCOMPARE(backups[0].location, m_snapshot);
        QCOMPARE(backups[0].udid, sampleUdid);
        QCOMPARE(backups[0].deviceName, QStringLiteral("Sample iPhone"));
        QVERIFY(!backups[0].isEncrypted);
        QVERIFY(!backups[0].isDamaged);
    }

    void conversationList()
    {
        QCOMPARE(m_summaries.size(), 3);
        // Newest activity first: the group, the long conversation, the merged SMS and iMessage pair.
        const ChatSummary &group = m_summaries[0];
        QCOMPARE(group.title(), QStringLiteral("Weekend Hikers"));
        QCOMPARE(group.participants.size(), 3);
        QCOMPARE(group.serviceName, std::optional<QString>(QStringLiteral("iMessage")));

        const ChatSummary &maya = m_summaries[1];
        QCOMPARE(maya.title(), QStringLiteral("+14155550132"));
        QVERIFY(maya.messageCount > group.messageCount);
        QCOMPARE(maya.attachmentCount, 8);
        QVERIFY(maya.firstMessageDate && maya.lastMessageDate);
        QVERIFY(maya.firstMessageDate->daysTo(*maya.lastMessageDate) > 700);

        const ChatSummary &jordan = m_summaries[2];
        QCOMPARE(jordan.chatIds.size(), 2);
        QCOMPARE(jordan.participants, QStringList{QStringLiteral("+14155550177")});
        QCOMPARE(jordan.serviceName, std::nullopt); // SMS and iMessage
        QCOMPARE(jordan.messageCount, 8);
        QCOMPARE(jordan.id, std::min(jordan.chatIds[0], jordan.chatIds[1]));
    }

    void longConversation()
    {
        const std::optional<BackupInfo> backup = readSnapshot(m_snapshot, BackupInfo::Source::appManaged);
        QVERIFY(backup);
        const Chat chat = assembleChat(m_summaries[1], *backup);
        QVERIFY(chat.items.size() >= 40);

        QSet<Reaction::Type> reactions;
        QSet<Attachment::Kind> kinds;
        int undelivered = 0;
        for (const Message &message : chat.items) {
            for (const Reaction &reaction : message.reactions)
                reactions.insert(reaction.type);
            for (const Attachment &attachment : message.attachments) {
                kinds.insert(attachment.kind);
                QVERIFY2(QFileInfo::exists(attachment.fileURL) &&
                             attachment.fileURL != QLatin1String("/dev/null"),
                         qPrintable(attachment.originalFilename));
            }
            undelivered += message.isNotDelivered ? 1 : 0;
        }
        QCOMPARE(reactions, (QSet<Reaction::Type>{Reaction::Type::love, Reaction::Type::like,
                                                  Reaction::Type::dislike, Reaction::Type::laugh,
                                                  Reaction::Type::emphasize, Reaction::Type::question}));
        QCOMPARE(kinds, (QSet<Attachment::Kind>{Attachment::Kind::image, Attachment::Kind::video,
                                                Attachment::Kind::audio, Attachment::Kind::sticker,
                                                Attachment::Kind::link, Attachment::Kind::other}));
        QCOMPARE(undelivered, 1);
        // Neither reaction rows nor their removals appear as messages.
        for (const Message &message : chat.items)
            QVERIFY2(!message.message.startsWith(QLatin1String("Removed")), qPrintable(message.message));

        // The undated message sorts first and has no date texts.
        QVERIFY(!chat.items.first().rawDate);
        QVERIFY(!chat.items.first().date);
        for (qsizetype i = 1; i < chat.items.size(); ++i)
            QVERIFY(chat.items[i].rawDate);

        QStringList texts;
        for (const Message &message : chat.items)
            texts << message.message;
        QVERIFY(texts.contains(QStringLiteral("Half Dome permits are a lottery, right?"))); // typedstream
        QVERIFY(texts.contains(
            QStringLiteral("Merry Christmas! Thank you for the scarf, it's perfect"))); // keyed

        const auto handwritten = std::find_if(chat.items.begin(), chat.items.end(), [](const Message &m) {
            return m.balloonBundleId && m.balloonBundleId->contains(QLatin1String("Handwriting"));
        });
        QVERIFY(handwritten != chat.items.end());
        QCOMPARE(handwritten->exportBody(), QStringLiteral("[Handwritten message]"));
    }

    void mediaFilesAreWhatTheyClaim()
    {
        const std::optional<BackupInfo> backup = readSnapshot(m_snapshot, BackupInfo::Source::appManaged);
        const Chat chat = assembleChat(m_summaries[1], *backup);
        QHash<QString, Attachment> byName;
        for (const Message &message : chat.items)
            for (const Attachment &attachment : message.attachments)
                byName.insert(attachment.originalFilename, attachment);

        QImageReader portrait(byName.value(QStringLiteral("IMG_0488.jpeg")).fileURL);
        portrait.setAutoTransform(true);
        QCOMPARE(portrait.transformation(), QImageIOHandler::TransformationRotate90);
        const QImage upright = portrait.read();
        QCOMPARE(upright.size(), QSize(360, 480));
        // The sky is at the top once the orientation is applied.
        QVERIFY(qBlue(upright.pixel(180, 10)) > qRed(upright.pixel(180, 10)));

        QCOMPARE(QImage(byName.value(QStringLiteral("IMG_0412.jpeg")).fileURL).size(), QSize(640, 427));
        QFile heic(byName.value(QStringLiteral("IMG_0560.heic")).fileURL);
        QVERIFY(heic.open(QIODevice::ReadOnly));
        QCOMPARE(heic.read(12).mid(4), QByteArray("ftypheic"));
        QVERIFY(QImage(byName.value(QStringLiteral("sticker.png")).fileURL).hasAlphaChannel());
        QCOMPARE(byName.value(QStringLiteral("IMG_0731.mp4")).mimeType, QStringLiteral("video/mp4"));
        QVERIFY(byName.value(QStringLiteral("IMG_0731.mp4")).totalBytes > 0);

        const auto link = std::find_if(byName.begin(), byName.end(),
                                       [](const Attachment &a) { return a.kind == Attachment::Kind::link; });
        QVERIFY(link != byName.end());
        QCOMPARE(link->linkURL.value_or(QStringLiteral("none")),
                 QStringLiteral("https://www.recreation.gov/permits/234652"));
    }

    void everyRunWritesItsOwnSnapshot()
    {
        QTemporaryDir folder;
        const QString first = sample::writeSampleSnapshot(folder.path());
        const QString second = sample::writeSampleSnapshot(folder.path());
        QVERIFY(first != second);
        const QStringList entries = QDir(folder.filePath(sampleUdid))
                                        .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
        QCOMPARE(entries.size(), 2); // no ".working-" leftovers
    }

    void missingShippedMediaLeavesNothingBehind()
    {
        QTemporaryDir folder;
        QVERIFY_THROWS_EXCEPTION(
            FileSystemError,
            sample::writeSampleSnapshot(folder.path(), folder.filePath(QStringLiteral("none"))));
        QCOMPARE(QDir(folder.filePath(sampleUdid))
                     .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList());
    }

    void commandPrintsTheSnapshotFolder()
    {
        QTemporaryDir folder;
        QProcess cli;
        cli.start(QStringLiteral(QUORLIN_CLI_PATH),
                  {QStringLiteral("sample-backup"), QStringLiteral("--into"), folder.path()});
        QVERIFY(cli.waitForFinished(120000));
        QCOMPARE(cli.exitCode(), 0);
        const QString printed = QString::fromUtf8(cli.readAllStandardOutput()).trimmed();
        QVERIFY2(printed.startsWith(folder.filePath(sampleUdid) + QLatin1Char('/')), qPrintable(printed));
        QVERIFY(QFileInfo::exists(printed + QStringLiteral("/Manifest.db")));
        QVERIFY(QFileInfo::exists(printed + QStringLiteral("/Info.plist")));
    }

    void commandRejectsStrayArguments()
    {
        QProcess cli;
        cli.start(QStringLiteral(QUORLIN_CLI_PATH),
                  {QStringLiteral("sample-backup"), QStringLiteral("extra")});
        QVERIFY(cli.waitForFinished(60000));
        QVERIFY(cli.exitCode() != 0);
        QVERIFY(cli.readAllStandardError().contains("extra"));
    }

private:
    QTemporaryDir m_home;
    QString m_backups;
    QString m_snapshot;
    QList<ChatSummary> m_summaries;
};

QTEST_MAIN(SampleSnapshotTest)
#include "tst_samplesnapshot.moc"
