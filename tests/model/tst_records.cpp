#include "model/attachment.h"
#include "model/backupinfo.h"
#include "model/chat.h"
#include "model/deviceinfo.h"
#include "model/message.h"

#include <QSet>
#include <QTest>

using namespace quorlin;

class TestRecords : public QObject {
    Q_OBJECT

private slots:
    void kindForMimeType_data()
    {
        QTest::addColumn<QString>("mime");
        QTest::addColumn<Attachment::Kind>("kind");
        QTest::newRow("capital png") << "IMAGE/PNG" << Attachment::Kind::image;
        QTest::newRow("sticker") << "image/x-apple-sticker" << Attachment::Kind::sticker;
        QTest::newRow("quicktime") << "video/quicktime" << Attachment::Kind::video;
        QTest::newRow("audio") << "audio/x-caf" << Attachment::Kind::audio;
        QTest::newRow("octet") << "application/octet-stream" << Attachment::Kind::other;
        QTest::newRow("text") << "text/plain" << Attachment::Kind::other;
        QTest::newRow("empty") << "" << Attachment::Kind::other;
    }
    void kindForMimeType()
    {
        QFETCH(QString, mime);
        QFETCH(Attachment::Kind, kind);
        QCOMPARE(quorlin::kindForMimeType(mime), kind);
    }

    void rawValues()
    {
        QCOMPARE(reactionTypeFromRawValue(2006), std::nullopt);
        QCOMPARE(reactionTypeFromRawValue(1999), std::nullopt);
        QCOMPARE(reactionTypeFromRawValue(3000), std::nullopt);
        QCOMPARE(reactionTypeFromRawValue(2004), Reaction::Type::emphasize);
        QCOMPARE(toRawValue(Reaction::Type::question), 2005);
        QCOMPARE(directionFromRawValue(QStringLiteral("system")), Message::Direction::system);
        QCOMPARE(directionFromRawValue(QStringLiteral("IN")), std::nullopt);
        QCOMPARE(toRawValue(Message::ServiceType::iMessage), QStringLiteral("iMessage"));
        QCOMPARE(serviceTypeFromRawValue(QStringLiteral("sms")), Message::ServiceType::sms);
        QCOMPARE(kindFromRawValue(QStringLiteral("link")), Attachment::Kind::link);
        QCOMPARE(chatStyleTypeFromRawValue(QStringLiteral("whatsapp")), ChatStyle::Type::whatsapp);
        QCOMPARE(sourceFromRawValue(QStringLiteral("finder")), BackupInfo::Source::finder);
        QCOMPARE(sourceFromRawValue(QStringLiteral("Finder")), std::nullopt);
        QCOMPARE(toRawValue(BackupInfo::Source::appManaged), QStringLiteral("appManaged"));
    }

    void exportBody_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<std::optional<QString>>("balloon");
        QTest::addColumn<QString>("expected");
        using O = std::optional<QString>;
        QTest::newRow("text wins") << " hi " << O(QStringLiteral("x.Handwriting")) << " hi ";
        QTest::newRow("handwriting") << "  " << O(QStringLiteral("com.apple.Handwriting.x"))
                                     << "[Handwritten message]";
        QTest::newRow("no balloon") << "  " << O() << "  ";
        QTest::newRow("digital touch") << "" << O(QStringLiteral("DigitalTouchBalloon")) << "[Digital Touch]";
        QTest::newRow("sticker before audio") << "\n" << O(QStringLiteral("StickerAudio")) << "[Sticker]";
        QTest::newRow("audio") << "" << O(QStringLiteral("Audio")) << "[Audio message]";
        QTest::newRow("case sensitive") << "" << O(QStringLiteral("handwriting")) << "[Message attachment]";
    }
    void exportBody()
    {
        QFETCH(QString, text);
        QFETCH(std::optional<QString>, balloon);
        QFETCH(QString, expected);
        Message message;
        message.message = text;
        message.balloonBundleId = balloon;
        QCOMPARE(message.exportBody(), expected);
    }

    void chatEqualityById()
    {
        Chat a;
        Chat b = a;
        b.items.append(Message{});
        QCOMPARE(a, b);
        QCOMPARE(qHash(a), qHash(b));
        Chat c;
        QVERIFY(!(a == c));
    }

    void bubbleColors()
    {
        ChatStyle style;
        QCOMPARE(style.outgoingBubbleColor(Message::ServiceType::sms),
                 CodableColor({0.204, 0.78, 0.349}).toColor());
        QCOMPARE(style.outgoingBubbleColor(Message::ServiceType::unknown),
                 CodableColor({0, 0.478, 1}).toColor());
        style.type = ChatStyle::Type::custom;
        QCOMPARE(style.outgoingBubbleColor(Message::ServiceType::iMessage),
                 CodableColor({0.608, 0.349, 0.714}).toColor());
        style.customOutgoingColor = CodableColor{0.1, 0.2, 0.3};
        QCOMPARE(style.outgoingBubbleColor(Message::ServiceType::sms),
                 CodableColor({0.1, 0.2, 0.3}).toColor());
        QCOMPARE(style.incomingBubbleColor(), CodableColor({0.925, 0.937, 0.945}).toColor());
        style.type = ChatStyle::Type::whatsapp;
        QCOMPARE(style.outgoingBubbleColor(Message::ServiceType::sms),
                 CodableColor({0.85, 0.96, 0.78}).toColor());
    }

    void backupEqualityByLocation()
    {
        BackupInfo a;
        a.location = QStringLiteral("/x/y");
        a.sizeBytes = 1;
        BackupInfo b = a;
        b.sizeBytes = 2;
        QCOMPARE(a, b);
        QSet<BackupInfo> set{a, b};
        QCOMPARE(set.size(), 1);
    }

    void deviceEqualityByAllFields()
    {
        DeviceInfo a{QStringLiteral("u"), QStringLiteral("n"), QStringLiteral("p"), QStringLiteral("v"),
                     true};
        DeviceInfo b = a;
        b.isPaired = false;
        QVERIFY(!(a == b));
    }

    void displayLabel()
    {
        BackupInfo backup;
        backup.deviceName = QStringLiteral("Ann's iPhone");
        backup.backupDate = QDateTime(QDate(2025, 3, 2), QTime(15, 4));
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QVERIFY2(backup.displayLabel().startsWith(QStringLiteral("Ann's iPhone \u2014 Mar 2, 2025")),
                 qPrintable(backup.displayLabel()));
    }
};

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
