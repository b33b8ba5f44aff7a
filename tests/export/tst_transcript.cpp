#include "exportfixtures.h"

#include "export/exportheader.h"
#include "export/transcriptwriter.h"

using namespace quorlin;
using namespace quorlin::testing;

class TestTranscript : public QObject {
    Q_OBJECT

private:
    static QString header(const Chat &chat)
    {
        return headerLines(chat, ExportFormat::text).join(QLatin1Char('\n')) + QLatin1Char('\n') +
               QString(40, QLatin1Char('-')) + QLatin1Char('\n');
    }

private slots:
    void emptyConversationEndsAfterTheRule()
    {
        const Chat chat = oneToOneChat();
        const QString transcript = renderTranscript(chat);
        QCOMPARE(transcript, header(chat));
        QVERIFY(transcript.endsWith(QStringLiteral("----------------------------------------\n")));
    }

    void fullConversation()
    {
        Chat chat = oneToOneChat();
        Message hello = message(Message::Direction::out, "Hello", utc(2025, 3, 2, 9, 41));
        hello.reactions = {reaction(Reaction::Type::like, "+15551234")};

        Message answer = message(Message::Direction::in, "Sure \"quoted\"\nsecond line", utc(2025, 3, 3, 10),
                                 QStringLiteral("+15551234"));
        answer.replyToText =
            QStringLiteral("Hello, a long text that is never shortened in the transcript at all, "
                           "whatever its length may be, even past one hundred and twenty.");
        answer.attachments = {attachment("IMG_1.HEIC", Attachment::Kind::image),
                              attachment("preview", Attachment::Kind::link)};
        answer.reactions = {reaction(Reaction::Type::love, "Me"),
                            reaction(Reaction::Type::question, "Unknown")};

        Message handwriting = message(Message::Direction::in, " \n");
        handwriting.balloonBundleId = QStringLiteral("com.apple.Handwriting.HandwritingProvider");

        Message emptySender = message(Message::Direction::in, "hi", {}, QString());
        emptySender.replyToText = QStringLiteral("x");
        emptySender.replyToSender = QStringLiteral("Ann");

        Message dateOnly = message(Message::Direction::system, "Bob named the conversation");
        dateOnly.date = QStringLiteral("3/4/25");

        chat.items = {hello, answer, handwriting, emptySender, dateOnly};

        const QString expected =
            header(chat) +
            QStringLiteral("\n[Me] 3/2/25 9:41 AM: Hello\n"
                           "  [Reactions: \U0001F44D +15551234]\n"
                           "[+15551234] 3/3/25 10:00 AM: Sure \"quoted\"\nsecond line\n"
                           "  (replying to ?: \"Hello, a long text that is never shortened in the "
                           "transcript at all, whatever its length may be, even past one hundred "
                           "and twenty.\")\n"
                           "  [Attachments: IMG_1.HEIC, preview]\n"
                           "  [Reactions: \u2764\uFE0F Me, \u2753 Unknown]\n"
                           "[Them]: [Handwritten message]\n"
                           "[]: hi\n"
                           "  (replying to Ann: \"x\")\n"
                           "[System] 3/4/25: Bob named the conversation");
        QCOMPARE(renderTranscript(chat), expected);
    }
};

QUORLIN_EXPORT_TEST_MAIN(TestTranscript)
#include "tst_transcript.moc"
