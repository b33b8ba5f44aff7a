#include "device/mobiledeviceservice.h"

#include "backup/backupmanifestencryption.h"
#include "backup/backuppruner.h"

namespace quorlin {

void MobileDeviceService::pruneSnapshot(const QString &snapshotFolder)
{
    post([](BackupProgress &progress) { progress.pruningStarted(); });
    if (isBackupEncrypted(snapshotFolder + QStringLiteral("/Manifest.plist"))) {
        m_liveLog.appendLine(QStringLiteral("[pruner] skipped: encrypted backup"));
        return;
    }
    // A failed prune leaves the full snapshot, which is still a good backup.
    try {
        const PruneResult result = BackupPruner().prune(snapshotFolder);
        m_liveLog.appendLine(QString::asprintf(
            "[pruner] deleted %lld files (freed %.1f MB), kept %lld files (%.1f MB)",
            static_cast<long long>(result.deletedFiles), double(result.freedBytes) / 1048576.0,
            static_cast<long long>(result.keptFiles), double(result.keptBytes) / 1048576.0));
    } catch (const QuorlinError &error) {
        m_liveLog.appendLine(QStringLiteral("[pruner] failed: ") + error.description() +
                             QStringLiteral(" — snapshot preserved full"));
    } catch (const std::exception &error) {
        m_liveLog.appendLine(QStringLiteral("[pruner] failed: ") + QString::fromLocal8Bit(error.what()) +
                             QStringLiteral(" — snapshot preserved full"));
    }
}

} // namespace quorlin
