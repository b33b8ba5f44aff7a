#pragma once

#include "app/updater.h"

#include <QObject>

namespace quorlin {

// The application's wrapper around the updater: mirrors its can-check state on the main thread
// and applies the stored automatic-check preference.
class UpdaterService : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool canCheckForUpdates READ canCheckForUpdates NOTIFY canCheckForUpdatesChanged)
    Q_PROPERTY(bool automaticallyChecksForUpdates READ automaticallyChecksForUpdates WRITE
                   setAutomaticallyChecksForUpdates NOTIFY automaticallyChecksForUpdatesChanged)

public:
    // The single shared instance, created on first use (on the main thread).
    static UpdaterService &shared();

    // For tests: a service over an updater reading the given feed.
    explicit UpdaterService(QUrl feedUrl, QObject *parent = nullptr);

    [[nodiscard]] bool canCheckForUpdates() const { return m_canCheckForUpdates; }
    [[nodiscard]] bool automaticallyChecksForUpdates() const
    {
        return m_controller.automaticallyChecksForUpdates();
    }
    // Set directly by the General tab's toggle, after it stored the preference.
    void setAutomaticallyChecksForUpdates(bool enabled);

    Q_INVOKABLE void checkForUpdates();

    [[nodiscard]] Updater &controller() { return m_controller; }

signals:
    void canCheckForUpdatesChanged();
    void automaticallyChecksForUpdatesChanged();

private:
    void mirrorCanCheck();

    bool m_canCheckForUpdates = false;
    Updater m_controller;
};

} // namespace quorlin
