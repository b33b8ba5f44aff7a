#include "export/pdfrenderer.h"
#include "tst_pdfprobe.h"

#include <QTemporaryDir>
#include <QTest>

using namespace quorlin;
using namespace pdfprobe;

namespace {

const QString longText = QStringLiteral(
    "This message is long enough that it cannot fit on one line of the bubble, so the renderer has to "
    "wrap it onto a second and a third line inside the text column.");

Message textMessage(const QString &text, Message::Direction direction = Message::Direction::in)
{
    Message message;
    message.message = text;
    message.direction = direction;
    return message;
}

Message datedMessage(const QString &text, const QString &time)
{
    Message message = textMessage(text);
    message.date = QStringLiteral("3/2/25");
    message.time = time;
    return message;
}

Chat oneToOne()
{
    Chat chat;
    chat.title = QStringLiteral("Alice Example");
    chat.chatIdentifier = QStringLiteral("+15551234567");
    chat.displayName = QStringLiteral("Alice Example");
    chat.deviceName = QStringLiteral("Bob's iPhone");
    chat.participants = {QStringLiteral("+15551234567")};
    return chat;
}

Chat group()
{
    Chat chat = oneToOne();
    chat.roomName = QStringLiteral("Climbing");
    chat.participants = {QStringLiteral("alice@example.com"), QStringLiteral("carol@example.com"),
                         QStringLiteral("dave@example.com")};
    return chat;
}

} // namespace

class TestPdf : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_count = 0;

    QString render(const Chat &chat, const ExportOptions &options = {})
    {
        const QByteArray bytes = renderPDF(chat, options);
        if (bytes.isEmpty())
            qFatal("renderPDF returned no bytes");
        return writeFile(m_dir.filePath(QStringLiteral("doc%1.pdf").arg(++m_count)), bytes);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        if (!hasTool(QStringLiteral("pdftotext")) || !hasTool(QStringLiteral("pdfinfo")) ||
            !hasTool(QStringLiteral("pdftoppm")))
            QSKIP("poppler-utils is not installed");
    }

    void emptyConversationIsOneLetterPage()
    {
        const QString pdf = render(oneToOne());
        QCOMPARE(pageCount(pdf), 1);
        QVERIFY2(pageSize(pdf).startsWith(QLatin1String("612 x 792 pts")), qPrintable(pageSize(pdf)));
        const QString all = text(pdf);
        QVERIFY(all.contains(QLatin1String("Messages exported from: Bob's iPhone")));
        QVERIFY(all.contains(QLatin1String("With: Alice Example (+15551234567)")));
        QVERIFY(all.contains(QLatin1String("PDF document generated on")));
        QVERIFY(!all.contains(QLatin1String("Conversation:")));

        // Three header lines 15 points apart, the separator 6 below them, the title 12 lower.
        const QList<Word> found = words(pdf);
        QVERIFY(qAbs(findWord(found, QStringLiteral("Messages")).box.top() - 40) < 1.5);
        QVERIFY(qAbs(findWord(found, QStringLiteral("With:")).box.top() - 55) < 1.5);
        QVERIFY(qAbs(findWord(found, QStringLiteral("Alice"), 80).box.top() - 103) < 2);
        const QImage page = renderPage(pdf, 1, 72);
        // The separator is the one long grey row between the header and the title.
        const auto grey = [](QColor c) { return near(c, QColor(204, 204, 204), 30); };
        int ruleRow = -1;
        for (int y = 60; y < 110 && ruleRow < 0; ++y) {
            const QRect row = pixelBounds(page, grey, QRect(0, y, page.width(), 1));
            if (row.width() > 500)
                ruleRow = y;
        }
        QVERIFY(qAbs(ruleRow - 91) <= 1);
        const QRect rule = pixelBounds(page, grey, QRect(0, ruleRow, page.width(), 1));
        QVERIFY2(qAbs(rule.left() - 40) <= 1 && qAbs(rule.right() - 571) <= 1,
                 qPrintable(QString::number(rule.left())));
    }

    void bubbleWidth_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<bool>("outgoing");
        QTest::addColumn<qreal>("left");
        QTest::addColumn<qreal>("right");
        QTest::newRow("short incoming is 80 wide") << QStringLiteral("Hi") << false << 40.0 << 120.0;
        QTest::newRow("short outgoing is 80 wide") << QStringLiteral("Hi") << true << 492.0 << 572.0;
        QTest::newRow("wrapped incoming is 472 wide") << longText << false << 40.0 << 512.0;
        QTest::newRow("wrapped outgoing is 472 wide") << longText << true << 100.0 << 572.0;
    }
    void bubbleWidth()
    {
        QFETCH(QString, body);
        QFETCH(bool, outgoing);
        QFETCH(qreal, left);
        QFETCH(qreal, right);
        Chat chat = oneToOne();
        chat.items << textMessage(body, outgoing ? Message::Direction::out : Message::Direction::in);
        const QString pdf = render(chat);
        const QColor fill = outgoing ? QColor(0x00, 0x7A, 0xFF) : QColor(0xE9, 0xE9, 0xEB);
        // Two pixels a point, so edges are found to half a point.
        const QImage page = renderPage(pdf, 1, 144);
        const QRect bubble = pixelBounds(
            page, [&](QColor c) { return near(c, fill, 6); }, QRect(0, 300, page.width(), page.height()));
        QVERIFY(!bubble.isNull());
        QVERIFY2(qAbs(bubble.left() / 2.0 - left) <= 1, qPrintable(QString::number(bubble.left() / 2.0)));
        QVERIFY2(qAbs((bubble.right() + 1) / 2.0 - right) <= 1,
                 qPrintable(QString::number(bubble.right() / 2.0)));
        QVERIFY(text(pdf).contains(body.left(20)));
    }

    void pageBreakMovesDateAndNameLines()
    {
        Chat chat = group();
        for (int i = 0; i < 30; ++i) {
            Message message = datedMessage(QStringLiteral("Note%1").arg(i, 2, 10, QLatin1Char('0')),
                                           QStringLiteral("10:%1").arg(i, 2, 10, QLatin1Char('0')));
            message.sender = QStringLiteral("alice@example.com");
            chat.items << message;
        }
        const QString pdf = render(chat);
        const QList<Word> found = words(pdf);
        QVERIFY(pageCount(pdf) >= 2);

        // Every message has the same height: read it from two neighbours on one page.
        const Word first = findWord(found, QStringLiteral("10:00"));
        const qreal height = findWord(found, QStringLiteral("10:01")).box.top() - first.box.top();
        QVERIFY(height > 40 && height < 80);
        int onFirstPage = 0;
        while (onFirstPage < 30 &&
               findWord(found, QStringLiteral("Note%1").arg(onFirstPage, 2, 10, QLatin1Char('0'))).page == 1)
            ++onFirstPage;
        // The first page holds exactly the messages that end above 752.
        const int expected = int((752 - first.box.top() + 0.5) / height);
        QCOMPARE(onFirstPage, expected);

        // The next message starts the second page at the top, with its date and name lines.
        const QString time = QStringLiteral("10:%1").arg(onFirstPage, 2, 10, QLatin1Char('0'));
        const Word date = findWord(found, time);
        QCOMPARE(date.page, 2);
        QVERIFY2(qAbs(date.box.top() - 40) < 1.5, qPrintable(QString::number(date.box.top())));
        QList<Word> namesOnPage2;
        for (const Word &word : found) {
            if (word.page == 2 && word.text == QLatin1String("alice@example.com"))
                namesOnPage2 << word;
        }
        QVERIFY(!namesOnPage2.isEmpty());
        QVERIFY(qAbs(namesOnPage2.first().box.top() - 58) < 1.5);
        const Word body = findWord(found, QStringLiteral("Note%1").arg(onFirstPage, 2, 10, QLatin1Char('0')));
        QCOMPARE(body.page, 2);
        QVERIFY(qAbs(body.box.top() - (58 + 16 + 8)) < 1.5);
        // Nothing of that message stayed behind on the first page.
        for (const Word &word : found) {
            if (word.text == time)
                QCOMPARE(word.page, 2);
        }
    }

    void dateRows_data()
    {
        QTest::addColumn<bool>("hideDates");
        QTest::addColumn<bool>("hideTimestamps");
        QTest::addColumn<bool>("shown");
        QTest::newRow("shown") << false << false << true;
        QTest::newRow("hidden by the export switch") << true << false << false;
        QTest::newRow("hidden by the conversation") << false << true << false;
    }
    void dateRows()
    {
        QFETCH(bool, hideDates);
        QFETCH(bool, hideTimestamps);
        QFETCH(bool, shown);
        Chat chat = oneToOne();
        chat.hideTimestamps = hideTimestamps;
        chat.items << datedMessage(QStringLiteral("Alpha"), QStringLiteral("9:41"))
                   << datedMessage(QStringLiteral("Beta"), QStringLiteral("9:42"));
        Message undated = textMessage(QStringLiteral("Gamma"));
        chat.items << undated;
        ExportOptions options;
        options.hideDates = hideDates;
        const QList<Word> found = words(render(chat, options));
        QCOMPARE(findWord(found, QStringLiteral("9:41")).page == 1, shown);
        QCOMPARE(findWord(found, QStringLiteral("3/2/25")).page == 1, shown);
        // No room is kept for a hidden row: the step between messages shrinks by 18 points.
        const qreal alpha = findWord(found, QStringLiteral("Alpha")).box.top();
        const qreal beta = findWord(found, QStringLiteral("Beta")).box.top();
        const qreal gamma = findWord(found, QStringLiteral("Gamma")).box.top();
        QVERIFY(qAbs((beta - alpha) - (gamma - beta) - (shown ? 18 : 0)) < 0.5);
        if (shown) {
            const Word date = findWord(found, QStringLiteral("3/2/25"));
            const qreal centre = (date.box.left() + findWord(found, QStringLiteral("9:41")).box.right()) / 2;
            QVERIFY(qAbs(centre - 306) < 2);
        }
    }

    void inkSaving_data()
    {
        QTest::addColumn<bool>("inkSaving");
        QTest::addColumn<Message::ServiceType>("service");
        QTest::addColumn<QColor>("bubble");
        QTest::newRow("filled iMessage")
            << false << Message::ServiceType::iMessage << QColor(0x00, 0x7A, 0xFF);
        QTest::newRow("outlined iMessage")
            << true << Message::ServiceType::iMessage << QColor(0x00, 0x7A, 0xFF);
        QTest::newRow("outlined SMS") << true << Message::ServiceType::sms << QColor(0x34, 0xC7, 0x59);
    }
    void inkSaving()
    {
        QFETCH(bool, inkSaving);
        QFETCH(Message::ServiceType, service);
        QFETCH(QColor, bubble);
        Chat chat = oneToOne();
        Message message = textMessage(QStringLiteral("WWWWWWWWWW"), Message::Direction::out);
        message.serviceType = service;
        chat.items << message;
        ExportOptions options;
        options.inkSaving = inkSaving;
        const QImage page = renderPage(render(chat, options), 1, 144);
        const QRect outline = pixelBounds(page, [&](QColor c) { return near(c, bubble, 10); });
        QVERIFY(!outline.isNull());
        // Just inside the left edge, halfway down: filled, or white inside an outline.
        const QColor inside = page.pixelColor(outline.left() + 6, outline.center().y());
        QCOMPARE(near(inside, bubble, 10), !inkSaving);
        QCOMPARE(near(inside, Qt::white, 10), inkSaving);
        // The text is white on a filled bubble and black on an outlined one.
        const QRect textArea = outline.adjusted(20, 12, -20, -12);
        const QRect dark = pixelBounds(
            page, [](QColor c) { return near(c, Qt::black, 40); }, textArea);
        const QRect light = pixelBounds(
            page, [](QColor c) { return near(c, Qt::white, 20); }, textArea);
        QCOMPARE(!dark.isNull(), inkSaving);
        QVERIFY(!light.isNull()); // white text, or the white inside of the outline
    }

    void nameLines()
    {
        Chat chat = oneToOne();
        chat.items << textMessage(QStringLiteral("Incoming"), Message::Direction::in)
                   << textMessage(QStringLiteral("Outgoing"), Message::Direction::out);
        ExportOptions options;
        QCOMPARE(findWord(words(render(chat, options)), QStringLiteral("Bob's"), 130).page, 0);
        options.showContactInIndividual = true;
        chat.displayName = QStringLiteral("Alice");
        const QList<Word> found = words(render(chat, options));
        // The incoming message shows the name, then the differing handle, left-aligned in the bubble.
        const Word name = findWord(found, QStringLiteral("Alice"), 130);
        const Word handle = findWord(found, QStringLiteral("+15551234567"), 130);
        QVERIFY(qAbs(name.box.left() - 52) < 1.5);
        QVERIFY(qAbs(handle.box.top() - name.box.top() - 16) < 0.5);
        QVERIFY(qAbs(findWord(found, QStringLiteral("Incoming")).box.top() - handle.box.top() - 24) < 0.5);
        // The outgoing one shows the device name, right-aligned 12 points inside the bubble.
        const Word device = findWord(found, QStringLiteral("iPhone"), 130);
        QVERIFY2(qAbs(device.box.right() - 560) < 1.5, qPrintable(QString::number(device.box.right())));
    }

    void groupNamesOnlyForIncoming()
    {
        Chat chat = group();
        Message incoming = textMessage(QStringLiteral("Hello"));
        incoming.sender = QStringLiteral("carol@example.com");
        Message outgoing = textMessage(QStringLiteral("Reply"), Message::Direction::out);
        outgoing.sender = QStringLiteral("me@example.com");
        chat.items << incoming << outgoing;
        ExportOptions options;
        options.showContactInIndividual = true;
        const QString all = text(render(chat, options));
        QVERIFY(all.contains(QLatin1String("carol@example.com")));
        QVERIFY(!all.contains(QLatin1String("me@example.com")));
        QCOMPARE(all.count(QLatin1String("Bob's")), 1); // only in the header
    }

    void labels_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<Attachment::Kind>("kind");
        QTest::addColumn<QString>("filename");
        QTest::addColumn<QString>("linkURL");
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QStringList>("absent");
        QTest::newRow("audio") << QString() << Attachment::Kind::audio << QStringLiteral("Voice memo.m4a")
                               << QString() << QStringList{QStringLiteral("♪ Voice memo.m4a")}
                               << QStringList{};
        QTest::newRow("video without a file")
            << QString() << Attachment::Kind::video << QStringLiteral("trip.mov") << QString()
            << QStringList{QStringLiteral("▶"), QStringLiteral("trip.mov")} << QStringList{};
        QTest::newRow("other file") << QString() << Attachment::Kind::other << QStringLiteral("notes.pdf")
                                    << QString() << QStringList{QStringLiteral("notes.pdf")} << QStringList{};
        QTest::newRow("link shown without an address in the text")
            << QStringLiteral("Look at this") << Attachment::Kind::link << QString()
            << QStringLiteral("https://news.example.org/story")
            << QStringList{QStringLiteral("https://news.example.org/story")} << QStringList{};
        QTest::newRow("link without an address")
            << QString() << Attachment::Kind::link << QString() << QString()
            << QStringList{QStringLiteral("Shared link")} << QStringList{};
        QTest::newRow("link omitted after a web address")
            << QStringLiteral("Read https://news.example.org/story now") << Attachment::Kind::link
            << QString() << QStringLiteral("https://other.example.net/")
            << QStringList{QStringLiteral("Read")}
            << QStringList{QStringLiteral("other.example.net"), QStringLiteral("Shared link")};
        QTest::newRow("link omitted after a bare domain")
            << QStringLiteral("see example.com for details") << Attachment::Kind::link << QString()
            << QString() << QStringList{QStringLiteral("details")}
            << QStringList{QStringLiteral("Shared link")};
    }
    void labels()
    {
        QFETCH(QString, body);
        QFETCH(Attachment::Kind, kind);
        QFETCH(QString, filename);
        QFETCH(QString, linkURL);
        QFETCH(QStringList, present);
        QFETCH(QStringList, absent);
        Attachment attachment;
        attachment.kind = kind;
        attachment.originalFilename = filename;
        if (!linkURL.isEmpty())
            attachment.linkURL = linkURL;
        Message message = textMessage(body);
        message.attachments << attachment;
        Chat chat = oneToOne();
        chat.items << message;
        const QString all = text(render(chat));
        for (const QString &piece : present)
            QVERIFY2(all.contains(piece), qPrintable(piece + QLatin1String(" missing from:\n") + all));
        for (const QString &piece : absent)
            QVERIFY2(!all.contains(piece), qPrintable(piece));
    }

    void replyAndReactionsKeepTheLayout()
    {
        Chat chat = oneToOne();
        Message message = textMessage(QStringLiteral("Answer"));
        message.replyToSender = QStringLiteral("Carol");
        message.replyToText = QStringLiteral("Quoted words ") + QString(100, QLatin1Char('x'));
        Reaction love;
        love.type = Reaction::Type::love;
        message.reactions << love;
        chat.items << message << textMessage(QStringLiteral("Next"));
        const QList<Word> found = words(render(chat));
        const Word sender = findWord(found, QStringLiteral("Carol"));
        const Word quoted = findWord(found, QStringLiteral("Quoted"));
        const Word answer = findWord(found, QStringLiteral("Answer"));
        QVERIFY(qAbs(sender.box.left() - 60) < 1.5);
        QVERIFY(qAbs(quoted.box.top() - sender.box.top() - 14) < 1);
        QVERIFY(answer.box.top() > quoted.box.bottom());
        // Only the first 80 characters of the quote are shown.
        QVERIFY(!text(m_dir.filePath(QStringLiteral("doc%1.pdf").arg(m_count)))
                     .contains(QString(81 - 13, QLatin1Char('x'))));
        // The reactions row adds 16 points before the next message.
        QVERIFY(findWord(found, QStringLiteral("Next")).box.top() > answer.box.bottom() + 16 + 10);
    }

    void emojiArePicturesOfStableSize()
    {
        if (!hasTool(QStringLiteral("pdfimages")))
            QSKIP("poppler-utils is not installed");
        Chat chat = oneToOne();
        Message message = textMessage(QStringLiteral("Party 🎉 time"));
        Reaction laugh;
        laugh.type = Reaction::Type::laugh;
        message.reactions << laugh << laugh;
        chat.items << message;
        // Twice in one process: the first document must not change how the second measures emoji.
        const QString first = render(chat);
        const QString second = render(chat);
        const QList<EmbeddedImage> firstImages = images(first);
        const QList<EmbeddedImage> secondImages = images(second);
        QCOMPARE(firstImages.size(), 3); // one picture per emoji drawn
        QCOMPARE(secondImages.size(), firstImages.size());
        for (int i = 0; i < firstImages.size(); ++i)
            QCOMPARE(QSize(secondImages.at(i).width, secondImages.at(i).height),
                     QSize(firstImages.at(i).width, firstImages.at(i).height));
        const QList<Word> firstWords = words(first);
        const QList<Word> secondWords = words(second);
        QCOMPARE(findWord(secondWords, QStringLiteral("time")).box,
                 findWord(firstWords, QStringLiteral("time")).box);
        // The emoji keeps the width of a glyph at the text size: "time" starts well after "Party".
        const qreal gap = findWord(firstWords, QStringLiteral("time")).box.left() -
                          findWord(firstWords, QStringLiteral("Party")).box.right();
        QVERIFY2(gap > 14 && gap < 30, qPrintable(QString::number(gap)));
    }

    void veryTallMessageStaysWhole()
    {
        Chat chat = oneToOne();
        QStringList lines;
        for (int i = 0; i < 60; ++i)
            lines << QStringLiteral("Line%1").arg(i);
        chat.items << textMessage(QStringLiteral("Before")) << textMessage(lines.join(QLatin1Char('\n')))
                   << textMessage(QStringLiteral("After"));
        const QString pdf = render(chat);
        const QList<Word> found = words(pdf);
        QCOMPARE(findWord(found, QStringLiteral("Before")).page, 1);
        QCOMPARE(findWord(found, QStringLiteral("Line0")).page, 2);
        QVERIFY(qAbs(findWord(found, QStringLiteral("Line0")).box.top() - 48) < 1.5);
        QCOMPARE(findWord(found, QStringLiteral("After")).page, 3);
    }
};

QTEST_MAIN(TestPdf)
#include "tst_pdf.moc"
