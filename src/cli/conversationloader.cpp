#include "conversationloader.h"

#include "backup/backupmanifestservice.h"
#include "backup/propertylistfile.h"
#include "reader/assemblechat.h"
#include "reader/smsreaderservice.h"
#include "support/quorlinerror.h"

#include <QDir>
#include <QFileInfo>

namespace quorlin::cli {

namespace {

class UnknownConversationError : public QuorlinError {
public:
    UnknownConversationError(qint64 chatId, QString folder) : m_chatId(chatId), m_folder(std::move(folder)) {}
    [[nodiscard]] QString description() const override
    {
        return QStringLiteral("No conversation with id %1 in the snapshot %2.").arg(m_chatId).arg(m_folder);
    }

private:
    qint64 m_chatId;
    QString m_folder;
};

} // namespace

Chat loadConversation(const QString &snapshotFolder, qint64 chatId)
{
    const QString folder = QDir::cleanPath(QFileInfo(snapshotFolder).absoluteFilePath());
    std::optional<ChatSummary> found;
    {
        BackupManifestService manifest(folder);
        manifest.openManifest(std::nullopt);
        const SMSReaderService reader(manifest.smsDatabaseURL());
        for (const ChatSummary &summary : reader.fetchChatSummaries()) {
            if (summary.id == chatId) {
                found = summary;
                break;
            }
        }
    }
    if (!found)
        throw UnknownConversationError(chatId, folder);
    // The device name the export header shows, read as the backup catalogue reads it.
    BackupInfo backup;
    backup.location = folder;
    if (const auto info = PropertyListFile::readDictionary(folder + QStringLiteral("/Info.plist")))
        backup.deviceName = info->text("Device Name").value_or(QStringLiteral("iPhone"));
    return assembleChat(*found, backup);
}

} // namespace quorlin::cli
