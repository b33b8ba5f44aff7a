#include "sample/samplesnapshot.h"

#include "sample/sampleconversation.h"
#include "sample/samplemedia.h"
#include "sample/snapshotbuilder.h"
#include "support/quorlinerror.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTimeZone>

namespace quorlin::sample {

namespace {

const QString sampleUdid = QStringLiteral("00008110-001C35E21E38801E");

QDateTime at(int year, int month, int day, int hour, int minute)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute), QTimeZone(-7 * 3600));
}

QByteArray shippedFile(const QString &resourcesFolder, const QString &name)
{
    QFile file(resourcesFolder + QLatin1Char('/') + name);
    if (!file.open(QIODevice::ReadOnly))
        throw FileSystemError(
            QStringLiteral("Quorlin could not read the sample file %1.").arg(file.fileName()));
    return file.readAll();
}

struct Handles {
    qint64 maya, jordanSms, jordan, sam;
};

// One long conversation over two years: every reaction, every kind of attachment, archived
// texts, a balloon, an undelivered and an undated message.
void writeMayaConversation(SnapshotBuilder &snapshot, const Handles &h, const QString &resources)
{
    const qint64 chat = snapshot.sms().addChat({QStringLiteral("iMessage;-;+14155550132"),
                                                QStringLiteral("+14155550132"),
                                                std::nullopt,
                                                std::nullopt,
                                                QStringLiteral("iMessage"),
                                                {h.maya}});
    SampleConversation c(snapshot, chat, QStringLiteral("iMessage"), h.maya);
    const qint64 me = SampleConversation::me;
    const qint64 maya = h.maya;

    c.sayUndated(maya, QStringLiteral("(This one came over from my old phone without a date)"));

    c.startAt(at(2022, 5, 14, 18, 2));
    c.say(maya, QStringLiteral("Hey! It's Maya, new number \U0001F389"));
    c.wait(3);
    c.say(me, QStringLiteral("Welcome back to the blue bubbles!"));
    c.say(maya, QStringLiteral("Are we still on for Yosemite in June?"));
    c.wait(12);
    const QString booked = c.say(me, QStringLiteral("Absolutely. I'll book the campsite tonight."));
    c.react(maya, booked, 2000, QStringLiteral("Absolutely. I'll book the campsite tonight."));

    c.startAt(at(2022, 6, 3, 20, 15));
    c.sendLink(me, QStringLiteral("https://www.recreation.gov/permits/234652"), landscapePhotoJPEG());
    c.wait(4);
    c.say(maya, QStringLiteral("Half Dome permits are a lottery, right?"), TextForm::typedStream);
    const QString entered = c.say(me, QStringLiteral("Yes, I entered us both. Fingers crossed!"));
    c.react(maya, entered, 2004, QStringLiteral("Yes, I entered us both. Fingers crossed!"));

    c.startAt(at(2022, 6, 18, 9, 40));
    const QString valley = c.send(me,
                                  {QStringLiteral("IMG_0412.jpeg"), QStringLiteral("image/jpeg"),
                                   QStringLiteral("public.jpeg"), landscapePhotoJPEG()},
                                  QStringLiteral("Made it to the valley!"));
    c.wait(6);
    c.say(maya, QStringLiteral("Gorgeous \U0001F60D"));
    c.react(maya, valley, 2000, QStringLiteral("Made it to the valley!"));

    c.startAt(at(2022, 7, 9, 12, 30));
    c.say(maya, QStringLiteral("How was the rest of the trip?"));
    c.wait(40);
    c.say(me, QStringLiteral("Sore legs, happy heart. We did the Mist Trail twice"));
    c.say(maya, QStringLiteral("Show-off \U0001F604"), TextForm::typedStream);

    c.startAt(at(2022, 8, 21, 17, 5));
    c.say(maya, QStringLiteral("Did you ever send me that lasagna recipe?"), TextForm::typedStream);
    c.wait(30);
    c.say(me, QStringLiteral("Oops, sending it now"));
    const QString recipe = c.say(me, QStringLiteral("Layer noodles, sauce and ricotta, three times over. "
                                                    "190\u00b0C for 45 minutes, then rest it for 10."));
    c.react(maya, recipe, 2001, QStringLiteral("Layer noodles, sauce and ricotta, three times over."));

    c.startAt(at(2022, 9, 17, 20, 0));
    c.say(me, QStringLiteral("Farmers market tomorrow?"), TextForm::typedStream);
    c.say(maya, QStringLiteral("Only if we get the peach pie again"));
    c.say(me, QStringLiteral("Deal"));

    c.startAt(at(2022, 10, 31, 19, 30));
    const QString sticker = c.send(maya, {QStringLiteral("sticker.png"), QStringLiteral("image/png"),
                                          QStringLiteral("public.png"), stickerPNG(), true});
    c.say(me, QStringLiteral("Happy Halloween to you too \U0001F383"));
    c.react(me, sticker, 2003, QStringLiteral("a sticker"));

    c.startAt(at(2022, 12, 24, 11, 0));
    c.say(me, QStringLiteral("Merry Christmas! Thank you for the scarf, it's perfect"),
          TextForm::keyedArchive);
    c.wait(45);
    c.say(maya, QStringLiteral("It suits you. Happy holidays! \U0001F384"), TextForm::typedStream);

    c.startAt(at(2023, 1, 1, 0, 10));
    c.say(maya, QStringLiteral("Happy new year! Any resolutions?"));
    c.wait(600);
    c.say(me, QStringLiteral("Learning to bake bread. You?"));
    c.say(maya, QStringLiteral("Painting every Sunday"));

    c.startAt(at(2023, 2, 11, 16, 20));
    const QString tower = c.send(maya,
                                 {QStringLiteral("IMG_0488.jpeg"), QStringLiteral("image/jpeg"),
                                  QStringLiteral("public.jpeg"), portraitPhotoJPEG()},
                                 QStringLiteral("New favourite painting spot"));
    c.wait(8);
    c.say(me, QStringLiteral("That's so tall! Where is this?"));
    c.say(maya, QStringLiteral("Pigeon Point, just south of Half Moon Bay"));
    c.react(me, tower, 2000, QStringLiteral("New favourite painting spot"));

    c.startAt(at(2023, 4, 9, 7, 55));
    const QString cancelled = c.say(maya, QStringLiteral("My flight got cancelled again"));
    c.react(me, cancelled, 2002, QStringLiteral("My flight got cancelled again"));
    c.say(me, QStringLiteral("Ugh, I'm sorry. Want me to pick you up tomorrow instead?"));
    c.wait(2);
    c.say(maya, QStringLiteral("That would be amazing, thank you"), TextForm::typedStream);

    c.startAt(at(2023, 5, 20, 15, 0));
    c.say(me, QStringLiteral("Jordan and I are doing the belay course, want to join?"));
    c.say(maya, QStringLiteral("Heights? No thank you \U0001F605"));

    c.startAt(at(2023, 6, 30, 21, 10));
    const QString tent = c.say(me, QStringLiteral("Can you bring the blue tent or the green one?"));
    c.react(maya, tent, 2005, QStringLiteral("Can you bring the blue tent or the green one?"));
    c.say(maya, QStringLiteral("We have a blue tent?"));
    c.say(me, QStringLiteral("The one from Jordan's garage sale! Never mind, I'll bring mine"));

    c.startAt(at(2023, 8, 15, 13, 45));
    c.send(maya, {QStringLiteral("Audio Message.caf"), QStringLiteral("audio/x-caf"),
                  QStringLiteral("com.apple.coreaudio-format"),
                  shippedFile(resources, QStringLiteral("Audio Message.caf"))});
    c.wait(5);
    c.say(me, QStringLiteral("Haha I can hear the waves in the background"));

    c.startAt(at(2023, 9, 30, 19, 25));
    const QByteArray heic =
        sunsetPhotoHEIC().value_or(shippedFile(resources, QStringLiteral("IMG_0560.heic")));
    const QString sunset = c.send(
        me,
        {QStringLiteral("IMG_0560.heic"), QStringLiteral("image/heic"), QStringLiteral("public.heic"), heic},
        QStringLiteral("Sunset from the pier"));
    c.react(maya, sunset, 2000, QStringLiteral("Sunset from the pier"));
    c.wait(1);
    c.react(maya, sunset, 3000, QStringLiteral("Sunset from the pier"));
    c.react(maya, sunset, 2004, QStringLiteral("Sunset from the pier"));
    c.say(maya, QStringLiteral("Wow, the colours!"));

    c.startAt(at(2023, 10, 28, 9, 15));
    c.say(maya, QStringLiteral("Book club picked your recommendation!"));
    c.say(me, QStringLiteral("Which one?"));
    c.say(maya, QStringLiteral("The one with the lighthouse keeper, of course"), TextForm::keyedArchive);

    c.startAt(at(2023, 11, 23, 10, 5));
    c.sendBalloon(maya, QStringLiteral("com.apple.Handwriting.HandwritingProvider"));
    c.wait(20);
    c.say(me, QStringLiteral("Aww, your handwriting hasn't changed since school"));

    c.startAt(at(2024, 1, 20, 8, 30));
    c.send(maya,
           {QStringLiteral("IMG_0731.mp4"), QStringLiteral("video/mp4"), QStringLiteral("public.mpeg-4"),
            shippedFile(resources, QStringLiteral("IMG_0731.mp4"))},
           QStringLiteral("Snow day!"));
    c.say(me, QStringLiteral("Looks freezing. Stay warm!"));

    c.startAt(at(2024, 2, 14, 19, 45));
    c.say(me, QStringLiteral("Sending you the photos from the pottery class soon"));
    c.say(maya, QStringLiteral("Can't wait to see your wobbly bowl"));

    c.startAt(at(2024, 3, 8, 18, 0));
    c.send(me, {QStringLiteral("Sam Okafor.vcf"), QStringLiteral("text/vcard"),
                QStringLiteral("public.vcard"), contactCardVCF()});
    c.say(me, QStringLiteral("Here's Sam's contact for the hike"));
    c.wait(15);
    c.say(maya, QStringLiteral("Thanks, adding them to the group"), TextForm::typedStream);

    c.startAt(at(2024, 4, 12, 8, 5));
    c.say(maya, QStringLiteral("Jordan says you're organising a hike?"));
    c.say(me, QStringLiteral("Yes! Making a group chat this week"));

    c.startAt(at(2024, 5, 2, 22, 40));
    c.sayUndelivered(QStringLiteral("See you Saturday at the trailhead!"));
    c.wait(3);
    c.say(me, QStringLiteral("See you Saturday at the trailhead!"));
    c.say(maya, QStringLiteral("\U0001F44D see you there"));
}

// The same person over SMS first and iMessage later: two chats that the list shows as one row.
void writeJordanConversations(SnapshotBuilder &snapshot, const Handles &h)
{
    const qint64 me = SampleConversation::me;
    const qint64 smsChat = snapshot.sms().addChat({QStringLiteral("SMS;-;+14155550177"),
                                                   QStringLiteral("+14155550177"),
                                                   std::nullopt,
                                                   std::nullopt,
                                                   QStringLiteral("SMS"),
                                                   {h.jordanSms}});
    SampleConversation sms(snapshot, smsChat, QStringLiteral("SMS"), h.jordanSms);
    sms.startAt(at(2023, 3, 2, 12, 10));
    sms.say(h.jordanSms,
            QStringLiteral("Hi, this is Jordan from the climbing gym. Is the belay course still on?"));
    sms.wait(20);
    sms.say(me, QStringLiteral("Yes, Thursday at 7"));
    sms.say(h.jordanSms, QStringLiteral("Great, see you then"));

    const qint64 imessageChat = snapshot.sms().addChat({QStringLiteral("iMessage;-;+14155550177"),
                                                        QStringLiteral("+14155550177"),
                                                        std::nullopt,
                                                        std::nullopt,
                                                        QStringLiteral("iMessage"),
                                                        {h.jordan}});
    SampleConversation imessage(snapshot, imessageChat, QStringLiteral("iMessage"), h.jordan);
    imessage.startAt(at(2024, 4, 18, 19, 0));
    imessage.say(h.jordan, QStringLiteral("Switched to an iPhone, finally"));
    const QString welcome = imessage.say(me, QStringLiteral("Welcome! Now we get read receipts \U0001F604"));
    imessage.react(h.jordan, welcome, 2003, QStringLiteral("Welcome! Now we get read receipts \U0001F604"));
    imessage.wait(60 * 24 * 2);
    imessage.say(h.jordan, QStringLiteral("Are you coming to the hike on Saturday?"));
    imessage.say(me, QStringLiteral("Wouldn't miss it"));
}

// A named group of three.
void writeGroupConversation(SnapshotBuilder &snapshot, const Handles &h)
{
    const qint64 me = SampleConversation::me;
    const QString room = QStringLiteral("chat874203915624788611");
    const qint64 chat = snapshot.sms().addChat({QStringLiteral("iMessage;+;") + room,
                                                room,
                                                QStringLiteral("Weekend Hikers"),
                                                room,
                                                QStringLiteral("iMessage"),
                                                {h.maya, h.jordan, h.sam}});
    SampleConversation c(snapshot, chat, QStringLiteral("iMessage"), 0);
    c.startAt(at(2024, 5, 3, 18, 30));
    c.say(me, QStringLiteral("Welcome to Weekend Hikers! \U0001F97E"));
    c.say(h.maya, QStringLiteral("Yay!"));
    c.say(h.jordan, QStringLiteral("Thanks for adding me"));
    c.wait(10);
    c.say(h.sam, QStringLiteral("What time on Saturday?"));
    const QString time = c.say(me, QStringLiteral("8:00 at the Mount Tamalpais trailhead"));
    c.react(h.maya, time, 2001, QStringLiteral("8:00 at the Mount Tamalpais trailhead"));
    c.react(h.sam, time, 2001, QStringLiteral("8:00 at the Mount Tamalpais trailhead"));
    c.say(h.sam, QStringLiteral("I'll bring snacks"), TextForm::typedStream);
    c.wait(90);
    c.say(h.jordan, QStringLiteral("Forecast says sunny \u2600\ufe0f"));
}

QString freeSnapshotName(const QDir &deviceFolder, QDateTime *instant)
{
    for (;;) {
        const QString name =
            QLocale::c().toString(instant->toLocalTime(), QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
        if (!deviceFolder.exists(name))
            return name;
        *instant = instant->addSecs(1);
    }
}

} // namespace

QString sampleResourcesFolder()
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath() +
                           QStringLiteral("/../share/quorlin/sample"));
}

QString writeSampleSnapshot(const QString &backupsFolder, const QString &resourcesFolder)
{
    const QString devicePath = QDir(backupsFolder).filePath(sampleUdid);
    if (!QDir().mkpath(devicePath))
        throw FileSystemError(QStringLiteral("Quorlin could not create %1.").arg(devicePath));
    const QDir deviceFolder(devicePath);
    QDateTime instant = QDateTime::currentDateTimeUtc();
    instant.setTime(QTime(instant.time().hour(), instant.time().minute(), instant.time().second()));
    const QString name = freeSnapshotName(deviceFolder, &instant);

    // Written under a ".working-" name and renamed when complete, so that a listing never shows
    // half a sample (the catalogue clears such leftovers).
    const QString workPath = deviceFolder.filePath(QStringLiteral(".working-sample-") + name);
    QDir(workPath).removeRecursively();
    SnapshotBuilder snapshot(workPath);
    DeviceValues device;
    device.udid = sampleUdid;
    device.deviceName = QStringLiteral("Sample iPhone");
    device.productType = QStringLiteral("iPhone15,2");
    device.iosVersion = QStringLiteral("17.5");
    device.lastBackupDate = instant;
    snapshot.setDevice(device);

    Handles handles{};
    handles.maya = snapshot.sms().addHandle(QStringLiteral("+14155550132"));
    handles.jordanSms = snapshot.sms().addHandle(QStringLiteral("+14155550177"), QStringLiteral("SMS"));
    handles.jordan = snapshot.sms().addHandle(QStringLiteral("+14155550177"));
    handles.sam = snapshot.sms().addHandle(QStringLiteral("sam.okafor@example.com"));
    try {
        writeMayaConversation(snapshot, handles, resourcesFolder);
        writeJordanConversations(snapshot, handles);
        writeGroupConversation(snapshot, handles);
        snapshot.write();
    } catch (...) {
        QDir(workPath).removeRecursively();
        throw;
    }

    const QString snapshotPath = deviceFolder.filePath(name);
    if (!QDir().rename(workPath, snapshotPath)) {
        QDir(workPath).removeRecursively();
        throw FileSystemError(QStringLiteral("Quorlin could not create %1.").arg(snapshotPath));
    }
    return snapshotPath;
}

} // namespace quorlin::sample
