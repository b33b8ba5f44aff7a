#pragma once

#include <QObject>
#include <QString>

namespace quorlin {

// Allocated size of a folder and everything in it, as display text ("0 bytes" when it cannot be read).
[[nodiscard]] QString folderSize(const QString &folder);

// The storage figures and actions behind the settings window's Storage tab.
class StorageSettings : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString backupsSize READ backupsSize NOTIFY sizesChanged)
    Q_PROPERTY(QString cacheSize READ cacheSize NOTIFY sizesChanged)

public:
    explicit StorageSettings(QObject *parent = nullptr);

    [[nodiscard]] QString backupsSize() const { return m_backupsSize; }
    [[nodiscard]] QString cacheSize() const { return m_cacheSize; }

    Q_INVOKABLE void refreshStorageSizes();
    // Removes the cache folder, creates it again empty and refreshes both figures.
    Q_INVOKABLE void clearCache();
    // Opens the file manager on the support root.
    Q_INVOKABLE void revealSupportFolder() const;

signals:
    void sizesChanged();

private:
    QString m_backupsSize = QStringLiteral("calculating...");
    QString m_cacheSize = QStringLiteral("calculating...");
};

} // namespace quorlin
