#include "backup/filemanagerreveal.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace quorlin {

namespace {
// A file manager that is installed answers at once; do not hold the caller up for long otherwise.
constexpr int replyTimeoutMs = 3000;
} // namespace

void revealInFileManager(const QString &path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
            QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
        call << QStringList{QUrl::fromLocalFile(absolute).toString()} << QString();
        const QDBusMessage reply = bus.call(call, QDBus::Block, replyTimeoutMs);
        if (reply.type() == QDBusMessage::ReplyMessage)
            return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(absolute).absolutePath()));
}

} // namespace quorlin
