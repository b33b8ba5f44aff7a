#include "service/apierror.h"

namespace quorlin {

APIError::APIError(Case kind, QString underlying, int status, std::optional<QString> detail)
    : m_case(kind), m_underlying(std::move(underlying)), m_status(status), m_detail(std::move(detail))
{
}

APIError APIError::transport(QString underlying)
{
    return APIError(Case::transport, std::move(underlying), 0, std::nullopt);
}

APIError APIError::http(int status, std::optional<QString> detail)
{
    return APIError(Case::http, QString(), status, std::move(detail));
}

APIError APIError::decoding(QString underlying)
{
    return APIError(Case::decoding, std::move(underlying), 0, std::nullopt);
}

APIError APIError::invalidURL()
{
    return APIError(Case::invalidURL, QString(), 0, std::nullopt);
}

QString APIError::description() const
{
    switch (m_case) {
    case Case::transport:
        return m_underlying;
    case Case::http:
        return m_detail ? *m_detail : QStringLiteral("Server error (%1)").arg(m_status);
    case Case::decoding:
        return QStringLiteral("Bad server response: ") + m_underlying;
    case Case::invalidURL:
        return QStringLiteral("Invalid request URL");
    }
    return {};
}

} // namespace quorlin
