#pragma once

#include <QString>
#include <exception>

namespace quorlin {

// Base of every service's error type: the description is the exact text shown to the user.
class QuorlinError : public std::exception {
public:
    [[nodiscard]] virtual QString description() const = 0;
    const char *what() const noexcept override;

private:
    mutable QByteArray m_what;
};

// A failure reported by the file system (copying, writing, removing), carrying its own description.
class FileSystemError : public QuorlinError {
public:
    explicit FileSystemError(QString description) : m_description(std::move(description)) {}
    [[nodiscard]] QString description() const override { return m_description; }

private:
    QString m_description;
};

} // namespace quorlin
