#pragma once

#include "support/quorlinerror.h"

#include <QString>

namespace quorlin {

// Failures of the Messages database reader. The description is the text shown to the user.
class SMSReaderError : public QuorlinError {
public:
    enum class Case { databaseOpen, chatNotFound };

    // The file could not be opened as a database; `underlying` is the reason given by SQLite.
    [[nodiscard]] static SMSReaderError databaseOpen(const QuorlinError &underlying);
    [[nodiscard]] static SMSReaderError chatNotFound(qint64 chatId);

    [[nodiscard]] Case errorCase() const { return m_case; }
    [[nodiscard]] QString underlyingDescription() const { return m_underlying; }
    [[nodiscard]] qint64 chatId() const { return m_chatId; }
    [[nodiscard]] QString description() const override;

private:
    SMSReaderError(Case errorCase, QString underlying, qint64 chatId)
        : m_case(errorCase), m_underlying(std::move(underlying)), m_chatId(chatId)
    {
    }

    Case m_case;
    QString m_underlying;
    qint64 m_chatId;
};

} // namespace quorlin
