#include "service/authtokenmanager.h"

#include "service/useridentitymanager.h"

#include <QMessageAuthenticationCode>

namespace quorlin {

QString AuthTokenManager::token()
{
    return token(QDateTime::currentDateTimeUtc(), UserIdentityManager::shared().deviceID());
}

QString AuthTokenManager::token(const QDateTime &now, const QString &deviceID)
{
    // Whole seconds, rounded toward zero even before 1970.
    const qint64 milliseconds = now.toMSecsSinceEpoch();
    const qint64 seconds = milliseconds / 1000;
    const QByteArray payload = QByteArray::number(seconds) + ':' + deviceID.toUtf8();
    const QByteArray mac =
        QMessageAuthenticationCode::hash(payload, QByteArray(signingKey), QCryptographicHash::Sha256);
    const QByteArray text = payload + ':' + mac.toBase64();
    return QString::fromLatin1(text.toBase64());
}

} // namespace quorlin
