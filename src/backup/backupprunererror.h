#pragma once

#include "support/quorlinerror.h"

namespace quorlin {

// Why a snapshot was not pruned. Each case stops the pruner before anything is deleted.
class BackupPrunerError : public QuorlinError {
public:
    enum class Case { manifestUnreadable, manifestMissing, smsDbNotInManifest };

    // Carries the description of the copy, open or read failure behind it.
    [[nodiscard]] static BackupPrunerError manifestUnreadable(const QString &underlying)
    {
        return BackupPrunerError(Case::manifestUnreadable, underlying);
    }
    [[nodiscard]] static BackupPrunerError manifestMissing()
    {
        return BackupPrunerError(Case::manifestMissing);
    }
    [[nodiscard]] static BackupPrunerError smsDbNotInManifest()
    {
        return BackupPrunerError(Case::smsDbNotInManifest);
    }

    [[nodiscard]] Case kind() const { return m_case; }
    [[nodiscard]] QString underlying() const { return m_underlying; }
    [[nodiscard]] QString description() const override;

private:
    explicit BackupPrunerError(Case kind, QString underlying = {})
        : m_case(kind), m_underlying(std::move(underlying))
    {
    }

    Case m_case;
    QString m_underlying;
};

} // namespace quorlin
