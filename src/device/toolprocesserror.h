#pragma once

#include "support/quorlinerror.h"

namespace quorlin {

// The operating system refused to start a device tool or to hand over its output.
class ToolProcessError : public QuorlinError {
public:
    explicit ToolProcessError(QString description) : m_description(std::move(description)) {}
    [[nodiscard]] QString description() const override { return m_description; }

private:
    QString m_description;
};

} // namespace quorlin
