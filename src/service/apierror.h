#pragma once

#include "support/quorlinerror.h"

#include <optional>

namespace quorlin {

// A failed call to the maker's web service.
class APIError : public QuorlinError {
public:
    enum class Case { transport, http, decoding, invalidURL };

    static APIError transport(QString underlying);
    static APIError http(int status, std::optional<QString> detail);
    static APIError decoding(QString underlying);
    static APIError invalidURL();

    [[nodiscard]] Case kind() const { return m_case; }
    [[nodiscard]] int status() const { return m_status; }
    [[nodiscard]] const std::optional<QString> &detail() const { return m_detail; }
    [[nodiscard]] QString description() const override;

private:
    APIError(Case kind, QString underlying, int status, std::optional<QString> detail);

    Case m_case;
    QString m_underlying;
    int m_status = 0;
    std::optional<QString> m_detail;
};

} // namespace quorlin
