#pragma once

#include "support/quorlinerror.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <initializer_list>
#include <memory>
#include <optional>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace quorlin {

// An SQLite failure; the description is SQLite's own message.
class DatabaseError : public QuorlinError {
public:
    DatabaseError(int code, QString message) : m_code(code), m_message(std::move(message)) {}
    [[nodiscard]] QString description() const override { return m_message; }
    [[nodiscard]] int code() const { return m_code; }

private:
    int m_code;
    QString m_message;
};

class SqliteStatement;

// One open SQLite connection, closed when the object goes away. Used by one task at a time.
class SqliteDatabase {
public:
    // readOnlyImmutable opens a file that must not change by a single byte (a backup's own index):
    // no locks, no journal or side files, and a WAL beside it is not read.
    enum class Mode { readOnly, readOnlyImmutable, readWrite, readWriteCreate };

    // Opens the file and checks that it really is a database (the header is read at once).
    SqliteDatabase(const QString &path, Mode mode);
    ~SqliteDatabase();
    SqliteDatabase(const SqliteDatabase &) = delete;
    SqliteDatabase &operator=(const SqliteDatabase &) = delete;

    // Prepares a fixed statement text; values are bound positionally, never spliced in.
    [[nodiscard]] SqliteStatement prepare(const QString &sql);
    void execute(const QString &sql); // runs statements that return no rows
    [[nodiscard]] sqlite3 *handle() const { return m_db; }
    [[nodiscard]] qint64 lastInsertRowId() const;

private:
    sqlite3 *m_db = nullptr;
};

// A prepared statement with positional "?" arguments and result columns read by name.
class SqliteStatement {
public:
    SqliteStatement(sqlite3 *db, sqlite3_stmt *statement);
    ~SqliteStatement();
    SqliteStatement(SqliteStatement &&other) noexcept;
    SqliteStatement &operator=(SqliteStatement &&) = delete;

    // Binds in order from the first "?": QString as text, QByteArray as blob, integers and
    // doubles as numbers, a null QVariant as NULL.
    SqliteStatement &bind(int position, const QVariant &value);
    SqliteStatement &bindAll(const std::vector<QVariant> &values);
    SqliteStatement &bindAll(std::initializer_list<QVariant> values);

    // Advances to the next row; false when there are no more.
    bool next();
    void reset();

    [[nodiscard]] bool isNull(const char *column) const;
    [[nodiscard]] std::optional<qint64> optionalInt(const char *column) const;
    [[nodiscard]] std::optional<QString> optionalText(const char *column) const;
    [[nodiscard]] std::optional<QByteArray> optionalBlob(const char *column) const;
    [[nodiscard]] std::optional<double> optionalDouble(const char *column) const;
    // Non-optional reads: a NULL or missing column is a DatabaseError naming the column.
    [[nodiscard]] qint64 requiredInt(const char *column) const;
    [[nodiscard]] QString requiredText(const char *column) const;

    [[nodiscard]] int columnIndex(const char *column) const; // -1 when absent
    // The name of a result column must exist: DatabaseError otherwise.
    [[nodiscard]] int requireColumn(const char *column) const;
    // Reads by position, for loops over many rows that resolved the positions once.
    [[nodiscard]] std::optional<qint64> optionalIntAt(int index) const;
    [[nodiscard]] std::optional<QString> optionalTextAt(int index) const;
    [[nodiscard]] std::optional<QByteArray> optionalBlobAt(int index) const;

private:
    [[noreturn]] void fail(int code) const;

    sqlite3 *m_db;
    sqlite3_stmt *m_statement;
};

} // namespace quorlin
