#include "app/updater.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QVersionNumber>

namespace quorlin {

Updater::Updater(QUrl feedUrl, QObject *parent) : QObject(parent), m_feedUrl(std::move(feedUrl))
{
    m_network.setTransferTimeout(30000);
}

void Updater::start()
{
    if (m_started)
        return;
    m_started = true;
    setCanCheck(true);
    if (m_automatic)
        checkForUpdates();
}

void Updater::setAutomaticallyChecksForUpdates(bool enabled)
{
    if (m_automatic == enabled)
        return;
    m_automatic = enabled;
    emit automaticallyChecksForUpdatesChanged();
}

void Updater::setCanCheck(bool value)
{
    if (m_canCheck == value)
        return;
    m_canCheck = value;
    emit canCheckForUpdatesChanged();
}

bool Updater::isNewerVersion(const QString &candidate, const QString &current)
{
    return QVersionNumber::fromString(candidate) > QVersionNumber::fromString(current);
}

void Updater::checkForUpdates()
{
    if (!m_canCheck)
        return;
    setCanCheck(false); // one check at a time
    QNetworkReply *reply = m_network.get(QNetworkRequest(m_feedUrl));
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        reply->deleteLater();
        setCanCheck(true);
        if (reply->error() != QNetworkReply::NoError) {
            emit checkFailed(reply->errorString());
            return;
        }
        const QJsonObject feed = QJsonDocument::fromJson(reply->readAll()).object();
        const QString version = feed.value(QStringLiteral("version")).toString();
        if (version.isEmpty()) {
            emit checkFailed(QStringLiteral("The update feed could not be read."));
            return;
        }
        if (isNewerVersion(version, QStringLiteral(QUORLIN_VERSION)))
            emit updateAvailable(version, QUrl(feed.value(QStringLiteral("url")).toString()));
        else
            emit noUpdateAvailable();
    });
}

} // namespace quorlin
