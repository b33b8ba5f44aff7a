#pragma once

#include <QNetworkAccessManager>
#include <QObject>
#include <QUrl>

namespace quorlin {

// A small software updater: reads a JSON version feed ({"version": "1.2.3", "url": "https://..."})
// over HTTPS and tells whether a newer version than the running one exists.
class Updater : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool canCheckForUpdates READ canCheckForUpdates NOTIFY canCheckForUpdatesChanged)
    Q_PROPERTY(bool automaticallyChecksForUpdates READ automaticallyChecksForUpdates WRITE
                   setAutomaticallyChecksForUpdates NOTIFY automaticallyChecksForUpdatesChanged)

public:
    static constexpr auto defaultFeedUrl = "https://updates.quorlin.app/linux/feed.json";

    explicit Updater(QUrl feedUrl = QUrl(QString::fromLatin1(defaultFeedUrl)), QObject *parent = nullptr);

    // Starts the updater: checking becomes possible, and an automatic check runs when enabled.
    void start();

    [[nodiscard]] bool canCheckForUpdates() const { return m_canCheck; }
    [[nodiscard]] bool automaticallyChecksForUpdates() const { return m_automatic; }
    void setAutomaticallyChecksForUpdates(bool enabled);

    void checkForUpdates();

    // True when `candidate` is a later dotted version than `current`.
    [[nodiscard]] static bool isNewerVersion(const QString &candidate, const QString &current);

signals:
    void canCheckForUpdatesChanged();
    void automaticallyChecksForUpdatesChanged();
    void updateAvailable(const QString &version, const QUrl &downloadUrl);
    void noUpdateAvailable();
    void checkFailed(const QString &description);

private:
    void setCanCheck(bool value);

    QUrl m_feedUrl;
    QNetworkAccessManager m_network;
    bool m_started = false;
    bool m_canCheck = false;
    bool m_automatic = false;
};

} // namespace quorlin
