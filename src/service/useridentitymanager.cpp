#include "service/useridentitymanager.h"

#include "support/preferences.h"

#include <QUuid>

namespace quorlin {

UserIdentityManager &UserIdentityManager::shared()
{
    static UserIdentityManager manager;
    return manager;
}

QString UserIdentityManager::deviceID() const
{
    const QString stored = preferences::value(defaultsKey).toString();
    if (!stored.isEmpty())
        return stored;
    const QString created = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    preferences::setValue(defaultsKey, created);
    return created;
}

} // namespace quorlin
