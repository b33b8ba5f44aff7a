#include "service/emailcheck.h"

#include <QStringList>

namespace quorlin {

bool isPlausibleEmail(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (!trimmed.contains(QLatin1Char('@')) || !trimmed.contains(QLatin1Char('.')))
        return false;
    const QStringList pieces = trimmed.split(QLatin1Char('@'), Qt::SkipEmptyParts);
    if (pieces.size() != 2)
        return false;
    const QString &domain = pieces[1];
    return domain.contains(QLatin1Char('.')) && domain.size() > 2;
}

} // namespace quorlin
