#include "app/updaterservice.h"

#include "support/preferences.h"

namespace quorlin {

UpdaterService &UpdaterService::shared()
{
    static UpdaterService *service = new UpdaterService(QUrl(QString::fromLatin1(Updater::defaultFeedUrl)));
    return *service;
}

UpdaterService::UpdaterService(QUrl feedUrl, QObject *parent)
    : QObject(parent), m_controller(std::move(feedUrl))
{
    connect(&m_controller, &Updater::canCheckForUpdatesChanged, this, &UpdaterService::mirrorCanCheck,
            Qt::QueuedConnection);
    connect(&m_controller, &Updater::automaticallyChecksForUpdatesChanged, this,
            &UpdaterService::automaticallyChecksForUpdatesChanged);
    m_controller.setAutomaticallyChecksForUpdates(preferences::checkForUpdatesAutomatically());
    m_controller.start();
    // The initial value is delivered on the main queue too, like every later change.
    QMetaObject::invokeMethod(this, &UpdaterService::mirrorCanCheck, Qt::QueuedConnection);
}

void UpdaterService::mirrorCanCheck()
{
    if (m_canCheckForUpdates == m_controller.canCheckForUpdates())
        return;
    m_canCheckForUpdates = m_controller.canCheckForUpdates();
    emit canCheckForUpdatesChanged();
}

void UpdaterService::setAutomaticallyChecksForUpdates(bool enabled)
{
    m_controller.setAutomaticallyChecksForUpdates(enabled);
}

void UpdaterService::checkForUpdates()
{
    m_controller.checkForUpdates();
}

} // namespace quorlin
