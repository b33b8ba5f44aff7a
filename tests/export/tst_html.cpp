#include "exportfixtures.h"

#include "export/exportheader.h"
#include "export/htmlwriter.h"
#include "support/displayformat.h"

using namespace quorlin;
using namespace quorlin::testing;

namespace {

const QString stylesheetStart = QStringLiteral(
    "</title>\n<style>\n  body { font-family: -apple-system, BlinkMacSystemFont, 'Helvetica Neue', "
    "sans-serif; "
    "background: #fff; max-width: 640px; margin: 24px auto; padding: 0 16px; color: #000; }\n  h1 { "
    "font-size: 22px; "
    "margin-bottom: 4px; }\n  .export-header { color: #555; font-size: 12px; line-height: 1.5; "
    "border-bottom: 1px "
    "solid #e5e5ea; padding-bottom: 12px; margin-bottom: 16px; }\n  .export-header div { margin: 0; }\n  "
    ".meta { "
    "color: #8e8e93; font-size: 13px; margin-bottom: 24px; }\n  .msg { display: flex; margin: 4px 0; "
    "flex-direction: column; max-width: 75%; }\n  .msg.out { margin-left: auto; align-items: flex-end; }\n  "
    ".msg.in "
    "{ margin-right: auto; align-items: flex-start; }\n  .ts { font-size: 12px; color: #8e8e93; margin: 10px "
    "0 2px; "
    "text-align: center; }\n  .bubble { padding: 8px 12px; border-radius: 16px; word-wrap: break-word; "
    "line-height: "
    "1.35; }\n  .out .bubble { background: ");

const QString stylesheetEnd = QStringLiteral(
    " }\n  .sender { font-size: 11px; font-weight: 600; color: #007aff; margin: 0 12px 2px; }\n  .reply { "
    "border-left: 3px solid currentColor; opacity: 0.7; padding-left: 8px; margin-bottom: 4px; font-size: "
    "12px; }\n "
    " .reactions { font-size: 12px; margin-top: 2px; opacity: 0.75; }\n  .attachment img, .attachment video "
    "{ "
    "max-width: 100%; border-radius: 10px; margin-top: 6px; }\n  .attachment audio { display: block; "
    "margin-top: "
    "6px; }\n  .attachment .file { font-size: 13px; opacity: 0.8; }\n</style>\n</head><body>");

QString linkByName(const Attachment &attachment)
{
    return QStringLiteral("attachments/") + attachment.originalFilename;
}

// The message blocks: everything between the title and the closing tags.
QString blocks(const QString &page)
{
    const qsizetype start = page.indexOf(QStringLiteral("</h1>")) + 5;
    return page.mid(start, page.size() - start - QStringLiteral("</body></html>").size());
}

QString today()
{
    return DisplayFormat().mediumDate(QDateTime::currentDateTime());
}

} // namespace

class TestHTML : public QObject {
    Q_OBJECT

private slots:
    void escape()
    {
        QCOMPARE(htmlEscape(QStringLiteral("a & <b> \"c\" 'd' &amp;")),
                 QStringLiteral("a &amp; &lt;b&gt; &quot;c&quot; &#39;d&#39; &amp;amp;"));
        QCOMPARE(htmlEscape(QStringLiteral("plain")), QStringLiteral("plain"));
    }

    void hexColors()
    {
        QCOMPARE(htmlHexColor(QColor::fromRgbF(0, 0.478f, 1)), QStringLiteral("#007AFF"));
        QCOMPARE(htmlHexColor(QColor::fromRgbF(0.204f, 0.78f, 0.349f)), QStringLiteral("#34C759"));
        QCOMPARE(htmlHexColor(QColor()), QStringLiteral("#000000"));
    }

    void fullPage()
    {
        Chat chat = oneToOneChat();
        Message hello = message(Message::Direction::out, "Hi & <b>bye</b>", utc(2025, 3, 2, 9, 41));
        Message answer = message(Message::Direction::in, "Line one\nLine two", utc(2025, 3, 3, 10),
                                 QStringLiteral("+15551234"));
        answer.replyToText = QStringLiteral("Hi");
        answer.attachments = {attachment("photo.jpg", Attachment::Kind::image),
                              attachment("clip.mov", Attachment::Kind::video),
                              attachment("voice.caf", Attachment::Kind::audio),
                              attachment("doc.pdf", Attachment::Kind::other),
                              attachment("preview", Attachment::Kind::link),
                              attachment("sticker.png", Attachment::Kind::sticker)};
        answer.reactions = {reaction(Reaction::Type::love, "Me"),
                            reaction(Reaction::Type::like, "+15551234")};
        chat.items = {hello, answer};

        const QString expected =
            QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"UTF-8\"><title>Bob") +
            stylesheetStart +
            QStringLiteral(
                "#007AFF; color: #FFFFFF; }\n  .in .bubble { background: #E9E9EB; color: #000000;") +
            stylesheetEnd +
            QStringLiteral(
                "<div class=\"export-header\"><div>Messages exported from: Ann&#39;s iPhone</div>"
                "<div>With: Bob (+15551234)</div><div>Conversation: Mar 2, 2025 \u2013 Mar 3, 2025</div>"
                "<div>2 messages \u00B7 6 attachments</div><div>HTML document generated on ") +
            today() +
            QStringLiteral(
                " using Quorlin</div></div>\n<h1>Bob</h1>"
                "<div class='ts'>3/2/25 9:41 AM</div>\n<div class=\"msg out\">\n  \n  <div class=\"bubble\" "
                "style=\"background: #007AFF; color: #FFFFFF;\">Hi &amp; &lt;b&gt;bye&lt;/b&gt;</div>\n  "
                "\n</div>"
                "<div class='ts'>3/3/25 10:00 AM</div>\n<div class=\"msg in\">\n  \n  <div class=\"bubble\">"
                "<div class='reply'><b>?</b>: Hi</div>Line one<br>Line two"
                "<div class='attachment'><img src='attachments/photo.jpg' alt='photo.jpg'></div>"
                "<div class='attachment'><video controls src='attachments/clip.mov'></video></div>"
                "<div class='attachment'><audio controls src='attachments/voice.caf'></audio></div>"
                "<div class='attachment'><a class='file' href='attachments/doc.pdf'>\U0001F4CE "
                "doc.pdf</a></div>"
                "<div class='attachment'><img src='attachments/sticker.png' alt='sticker.png'></div>"
                "</div>\n  <div class='reactions'>\u2764\uFE0F Me \u00B7 \U0001F44D +15551234</div>\n</div>"
                "</body></html>");
        QCOMPARE(renderHTML(chat, ExportOptions{}, linkByName), expected);
    }

    void emptyConversation()
    {
        const Chat chat = oneToOneChat();
        const QString page = renderHTML(chat, ExportOptions{}, linkByName);
        QVERIFY(page.endsWith(QStringLiteral("<div>HTML document generated on ") + today() +
                              QStringLiteral(" using Quorlin</div></div>\n<h1>Bob</h1></body></html>")));
        QVERIFY(page.contains(QStringLiteral("<div>With: Bob (+15551234)</div><div>HTML document")));
    }

    void stylesheetColours_data()
    {
        QTest::addColumn<ChatStyle>("style");
        QTest::addColumn<bool>("inkSaving");
        QTest::addColumn<QString>("rules");

        const ChatStyle imessage;
        QTest::newRow("imessage")
            << imessage << false
            << "#007AFF; color: #FFFFFF; }\n  .in .bubble { background: #E9E9EB; color: #000000;";
        QTest::newRow("imessage, ink saving")
            << imessage << true
            << "transparent; color: #000000; border: 1.5px solid #007AFF; }\n  .in .bubble { background: "
               "transparent; color: #000000; border: 1.5px solid #E9E9EB;";

        ChatStyle whatsapp;
        whatsapp.type = ChatStyle::Type::whatsapp;
        QTest::newRow("whatsapp")
            << whatsapp << false
            << "#D9F5C7; color: #000000; }\n  .in .bubble { background: #ECEFF1; color: #000000;";

        ChatStyle customDefaults;
        customDefaults.type = ChatStyle::Type::custom;
        QTest::newRow("custom without colours")
            << customDefaults << false
            << "#9B59B6; color: #FFFFFF; }\n  .in .bubble { background: #ECEFF1; color: #000000;";

        ChatStyle custom = customDefaults;
        custom.customOutgoingColor = CodableColor{1, 0.5, 0};
        custom.customIncomingColor = CodableColor{0.1, 0.2, 0.3};
        custom.customOutgoingTextColor = CodableColor{0, 0, 0.5};
        custom.customIncomingTextColor = CodableColor{1, 1, 1};
        QTest::newRow("custom")
            << custom << false
            << "#FF8000; color: #000080; }\n  .in .bubble { background: #1A334D; color: #FFFFFF;";
        QTest::newRow("custom, ink saving")
            << custom << true
            << "transparent; color: #000000; border: 1.5px solid #FF8000; }\n  .in .bubble { background: "
               "transparent; color: #000000; border: 1.5px solid #1A334D;";
    }

    void stylesheetColours()
    {
        QFETCH(ChatStyle, style);
        QFETCH(bool, inkSaving);
        QFETCH(QString, rules);
        Chat chat = oneToOneChat();
        chat.style = style;
        ExportOptions options;
        options.inkSaving = inkSaving;
        const QString page = renderHTML(chat, options, linkByName);
        QVERIFY(page.contains(stylesheetStart + rules + stylesheetEnd));
    }

    void messageBlock_data()
    {
        QTest::addColumn<Chat>("chat");
        QTest::addColumn<ExportOptions>("options");
        QTest::addColumn<QString>("expected");

        const Chat base = oneToOneChat();
        const ExportOptions plain;
        ExportOptions hideDates;
        hideDates.hideDates = true;
        ExportOptions ink;
        ink.inkSaving = true;
        ExportOptions contact;
        contact.showContactInIndividual = true;

        Chat sms = base;
        sms.items = {message(Message::Direction::out, "text", utc(2025, 3, 2, 9, 41))};
        sms.items[0].serviceType = Message::ServiceType::sms;
        QTest::newRow("sms colour inline")
            << sms << plain
            << "<div class='ts'>3/2/25 9:41 AM</div>\n<div class=\"msg out\">\n  \n  <div class=\"bubble\" "
               "style=\"background: #34C759; color: #FFFFFF;\">text</div>\n  \n</div>";
        QTest::newRow("sms, ink saving, hidden dates")
            << sms << ExportOptions{true, true, false}
            << "\n<div class=\"msg out\">\n  \n  <div class=\"bubble\" style=\"background: transparent; "
               "border: "
               "1.5px solid #34C759; color: #000000;\">text</div>\n  \n</div>";

        Chat hiddenTimestamps = sms;
        hiddenTimestamps.hideTimestamps = true;
        QTest::newRow("conversation hides timestamps")
            << hiddenTimestamps << plain
            << "\n<div class=\"msg out\">\n  \n  <div class=\"bubble\" style=\"background: #34C759; color: "
               "#FFFFFF;\">text</div>\n  \n</div>";

        Chat dateOnly = base;
        dateOnly.items = {message(Message::Direction::in, "a")};
        dateOnly.items[0].date = QStringLiteral("3/2/25");
        QTest::newRow("date without time gets no time line")
            << dateOnly << plain
            << "\n<div class=\"msg in\">\n  \n  <div class=\"bubble\">a</div>\n  \n</div>";

        Chat escaping = base;
        escaping.items = {message(Message::Direction::system, "a <br> & b\nc")};
        QTest::newRow("escape before line breaks")
            << escaping << hideDates
            << "\n<div class=\"msg in\">\n  \n  <div class=\"bubble\">a &lt;br&gt; &amp; b<br>c</div>\n  "
               "\n</div>";

        Chat balloon = base;
        balloon.items = {message(Message::Direction::in, "")};
        balloon.items[0].balloonBundleId = QStringLiteral("com.apple.DigitalTouchBalloonProvider");
        QTest::newRow("balloon placeholder")
            << balloon << plain
            << "\n<div class=\"msg in\">\n  \n  <div class=\"bubble\">[Digital Touch]</div>\n  \n</div>";

        // 119 letters, then a thumbs-up with a skin tone (one character of four code units), then more.
        Chat reply = base;
        reply.items = {message(Message::Direction::in, "ok")};
        reply.items[0].replyToSender = QStringLiteral("Ann <3");
        reply.items[0].replyToText = QString(119, QLatin1Char('a')) +
                                     QString::fromUcs4(U"\U0001F44D\U0001F3FD") + QStringLiteral("zzz");
        QTest::newRow("reply cut at 120 characters")
            << reply << plain
            << "\n<div class=\"msg in\">\n  \n  <div class=\"bubble\"><div class='reply'><b>Ann &lt;3</b>: " +
                   QString(119, QLatin1Char('a')) + QString::fromUcs4(U"\U0001F44D\U0001F3FD") +
                   "</div>ok</div>\n  \n</div>";

        Chat group = base;
        group.participants = {"a", "b", "c"};
        group.items = {message(Message::Direction::in, "x", {}, QStringLiteral("+1 <555>")),
                       message(Message::Direction::out, "y"), message(Message::Direction::in, "z")};
        QTest::newRow("group names only over incoming senders")
            << group << contact
            << "\n<div class=\"msg in\">\n  <div class='sender'>+1 &lt;555&gt;</div>\n  <div "
               "class=\"bubble\">x</div>\n  \n</div>\n<div class=\"msg out\">\n  \n  <div class=\"bubble\" "
               "style=\"background: #007AFF; color: #FFFFFF;\">y</div>\n  \n</div>\n<div class=\"msg in\">\n "
               " \n  "
               "<div class=\"bubble\">z</div>\n  \n</div>";

        Chat individual = base;
        individual.items = {message(Message::Direction::out, "y"),
                            message(Message::Direction::in, "x", {}, QStringLiteral("+15551234")),
                            message(Message::Direction::system, "s")};
        QTest::newRow("one-to-one without names")
            << individual << plain
            << "\n<div class=\"msg out\">\n  \n  <div class=\"bubble\" "
               "style=\"background: #007AFF; color: #FFFFFF;\">y</div>\n  "
               "\n</div>\n<div class=\"msg in\">\n  \n  <div "
               "class=\"bubble\">x</div>\n  \n</div>\n<div class=\"msg in\">\n "
               " \n  <div class=\"bubble\">s</div>\n  \n</div>";
        QTest::newRow("one-to-one with names")
            << individual << contact
            << "\n<div class=\"msg out\">\n  <div class='sender'>Ann&#39;s iPhone</div>\n  <div "
               "class=\"bubble\" "
               "style=\"background: #007AFF; color: #FFFFFF;\">y</div>\n  \n</div>\n<div class=\"msg in\">\n "
               " <div "
               "class='sender'><div>Bob</div><div>+15551234</div></div>\n  <div class=\"bubble\">x</div>\n  "
               "\n</div>\n<div class=\"msg in\">\n  <div "
               "class='sender'><div>Bob</div><div>+15551234</div></div>\n  "
               "<div class=\"bubble\">s</div>\n  \n</div>";

        Chat blankName = base;
        blankName.displayName = QStringLiteral("  ");
        blankName.deviceName = QStringLiteral(" ");
        blankName.items = {message(Message::Direction::out, "y"), message(Message::Direction::in, "x")};
        QTest::newRow("blank display name and device")
            << blankName << contact
            << "\n<div class=\"msg out\">\n  \n  <div class=\"bubble\" style=\"background: #007AFF; color: "
               "#FFFFFF;\">y</div>\n  \n</div>\n<div class=\"msg in\">\n  <div "
               "class='sender'><div>+15551234</div>"
               "</div>\n  <div class=\"bubble\">x</div>\n  \n</div>";

        Chat noName = base;
        noName.displayName.reset();
        noName.title = QStringLiteral("+15551234");
        noName.items = {message(Message::Direction::in, "x")};
        QTest::newRow("title equal to handle gives one part")
            << noName << contact
            << "\n<div class=\"msg in\">\n  <div class='sender'><div>+15551234</div></div>\n  <div "
               "class=\"bubble\">x</div>\n  \n</div>";
    }

    void messageBlock()
    {
        QFETCH(Chat, chat);
        QFETCH(ExportOptions, options);
        QFETCH(QString, expected);
        QCOMPARE(blocks(renderHTML(chat, options, linkByName)), expected);
    }

    void linkCallbackRunsForEveryAttachmentInOrder()
    {
        Chat chat = oneToOneChat();
        chat.items = {message(Message::Direction::in, "a"), message(Message::Direction::out, "b")};
        chat.items[0].attachments = {attachment("one.jpg", Attachment::Kind::image),
                                     attachment("preview", Attachment::Kind::link)};
        chat.items[1].attachments = {attachment("two.m4a", Attachment::Kind::audio)};
        QStringList seen;
        const QString page = renderHTML(chat, ExportOptions{}, [&seen](const Attachment &attachment) {
            seen.append(attachment.originalFilename);
            return QStringLiteral("attachments/") + attachment.originalFilename;
        });
        QCOMPARE(seen, (QStringList{"one.jpg", "preview", "two.m4a"}));
        QVERIFY(!page.contains(QStringLiteral("preview")));
    }

    void conversationDataIsAlwaysEscaped()
    {
        const QString evil = QStringLiteral("<script>alert(\"x\")</script>' onerror='javascript:alert(1)&");
        const QString safe = htmlEscape(evil);
        Chat chat;
        chat.title = evil;
        chat.chatIdentifier = evil;
        chat.displayName = QStringLiteral("n") + evil;
        chat.deviceName = evil;
        chat.roomName = QString();
        Message out = message(Message::Direction::out, evil);
        out.date = evil;
        out.time = evil;
        out.replyToSender = evil;
        out.replyToText = evil;
        out.attachments = {
            attachment(evil, Attachment::Kind::image), attachment(evil, Attachment::Kind::other),
            attachment(evil, Attachment::Kind::video), attachment(evil, Attachment::Kind::audio)};
        out.reactions = {reaction(Reaction::Type::laugh, evil)};
        Message in = message(Message::Direction::in, evil, {}, evil);
        chat.items = {out, in};
        ExportOptions options;
        options.showContactInIndividual = true;

        const QString page = renderHTML(chat, options, [](const Attachment &attachment) {
            return QStringLiteral("javascript:") + attachment.originalFilename;
        });
        QVERIFY(!page.contains(QStringLiteral("<script")));
        QVERIFY(!page.contains(QStringLiteral("' onerror")));
        QVERIFY(!page.contains(QStringLiteral("alert(\"")));
        // Title twice; device name in the header and a name line; display name and handle in the header
        // and the name lines; date, time, reply sender and text, both message texts, four links, two
        // file names, the reaction sender.
        QCOMPARE(page.count(safe), 21);
        QCOMPARE(page.count(QStringLiteral("'javascript:&lt;script&gt;")), 4);

        Chat group = chat;
        group.participants = {evil, "b", "c"};
        const QString groupPage = renderHTML(group, options, linkByName);
        QVERIFY(!groupPage.contains(QStringLiteral("<script")));
        QVERIFY(groupPage.contains(QStringLiteral("<div class='sender'>") + safe + QStringLiteral("</div>")));
        QVERIFY(groupPage.contains(QStringLiteral("<div>Participants: ") + safe));
    }
};

QUORLIN_EXPORT_TEST_MAIN(TestHTML)
#include "tst_html.moc"
