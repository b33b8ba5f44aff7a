#include "reader/smsreadererror.h"

namespace quorlin {

SMSReaderError SMSReaderError::databaseOpen(const QuorlinError &underlying)
{
    return SMSReaderError(Case::databaseOpen, underlying.description(), 0);
}

SMSReaderError SMSReaderError::chatNotFound(qint64 chatId)
{
    return SMSReaderError(Case::chatNotFound, QString(), chatId);
}

QString SMSReaderError::description() const
{
    switch (m_case) {
    case Case::databaseOpen:
        return QStringLiteral("Cannot open sms.db: ") + m_underlying;
    case Case::chatNotFound:
        return QStringLiteral("Chat ") + QString::number(m_chatId) + QStringLiteral(" not found.");
    }
    return QString();
}

} // namespace quorlin
