#include "support/quorlinerror.h"

namespace quorlin {

const char *QuorlinError::what() const noexcept
{
    m_what = description().toUtf8();
    return m_what.constData();
}

} // namespace quorlin
