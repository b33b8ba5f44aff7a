#include "exportfixtures.h"

#include "export/csvwriter.h"

using namespace quorlin;
using namespace quorlin::testing;

class TestCSV : public QObject {
    Q_OBJECT

private slots:
    void emptyConversationIsTheHeaderRowAlone()
    {
        QCOMPARE(
            renderCSV(oneToOneChat()),
            QStringLiteral("Direction,Sender,Date,Time,Service,Message,ReplyToSender,ReplyToText,Attachments,"
                           "Reactions"));
    }

    void rows()
    {
        Chat chat = oneToOneChat();
        Message hello = message(Message::Direction::out, "Hello", utc(2025, 3, 2, 9, 41));
        hello.serviceType = Message::ServiceType::sms;
        hello.reactions = {reaction(Reaction::Type::laugh, "+15551234"),
                           reaction(Reaction::Type::emphasize, "Me")};

        Message answer = message(Message::Direction::in, "He said \"no\"\nthen left", utc(2025, 3, 3, 10),
                                 QStringLiteral("+1555"));
        answer.replyToText = QStringLiteral("Hello \"there\"");
        answer.attachments = {attachment("a,b.jpg", Attachment::Kind::image),
                              attachment("preview", Attachment::Kind::link)};

        Message handwriting = message(Message::Direction::in, "");
        handwriting.balloonBundleId = QStringLiteral("com.apple.Handwriting.HandwritingProvider");
        handwriting.replyToSender = QStringLiteral("Ann");
        handwriting.replyToText = QString();

        Message system = message(Message::Direction::system, "left");
        system.serviceType = Message::ServiceType::unknown;

        chat.items = {hello, answer, handwriting, system};
        const QString expected = QStringLiteral(
            "Direction,Sender,Date,Time,Service,Message,ReplyToSender,ReplyToText,Attachments,Reactions\n"
            "\"out\",\"\",\"3/2/25\",\"9:41 AM\",\"sms\",\"Hello\",\"\",\"\",\"\",\"\U0001F602 +15551234; "
            "\u203C\uFE0F Me\"\n"
            "\"in\",\"+1555\",\"3/3/25\",\"10:00 AM\",\"iMessage\",\"He said \"\"no\"\"\nthen left\",\"\","
            "\"Hello \"\"there\"\"\",\"a,b.jpg; preview\",\"\"\n"
            "\"in\",\"\",\"\",\"\",\"iMessage\",\"[Handwritten message]\",\"Ann\",\"\",\"\",\"\"\n"
            "\"system\",\"\",\"\",\"\",\"unknown\",\"left\",\"\",\"\",\"\",\"\"");
        QCOMPARE(renderCSV(chat), expected);
    }
};

QUORLIN_EXPORT_TEST_MAIN(TestCSV)
#include "tst_csv.moc"
