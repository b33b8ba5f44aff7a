#include "support/sqlitedatabase.h"

#include <sqlite3.h>

#include <QUrl>

#include <cstring>

namespace quorlin {

namespace {

[[noreturn]] void throwFor(sqlite3 *db, int code)
{
    const char *message = db ? sqlite3_errmsg(db) : sqlite3_errstr(code);
    throw DatabaseError(code, QString::fromUtf8(message ? message : sqlite3_errstr(code)));
}

} // namespace

SqliteDatabase::SqliteDatabase(const QString &path, Mode mode)
{
    int flags = SQLITE_OPEN_NOMUTEX;
    switch (mode) {
    case Mode::readOnly:
        flags |= SQLITE_OPEN_READONLY;
        break;
    case Mode::readOnlyImmutable:
        flags |= SQLITE_OPEN_READONLY | SQLITE_OPEN_URI;
        break;
    case Mode::readWrite:
        flags |= SQLITE_OPEN_READWRITE;
        break;
    case Mode::readWriteCreate:
        flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
        break;
    }
    const QByteArray encoded = mode == Mode::readOnlyImmutable
                                   ? "file:" + QUrl::toPercentEncoding(path, "/") + "?immutable=1"
                                   : path.toUtf8();
    const int rc = sqlite3_open_v2(encoded.constData(), &m_db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const DatabaseError error(rc, QString::fromUtf8(m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc)));
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        throw error;
    }
    sqlite3_extended_result_codes(m_db, 1);
    // Opening is lazy in SQLite: read the schema now so that a file that is not a database fails here.
    char *message = nullptr;
    const int check = sqlite3_exec(m_db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, &message);
    if (check != SQLITE_OK) {
        const DatabaseError error(check, QString::fromUtf8(message ? message : sqlite3_errstr(check)));
        sqlite3_free(message);
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        throw error;
    }
}

SqliteDatabase::~SqliteDatabase()
{
    sqlite3_close_v2(m_db);
}

SqliteStatement SqliteDatabase::prepare(const QString &sql)
{
    const QByteArray text = sql.toUtf8();
    sqlite3_stmt *statement = nullptr;
    const int rc = sqlite3_prepare_v2(m_db, text.constData(), int(text.size()), &statement, nullptr);
    if (rc != SQLITE_OK)
        throwFor(m_db, rc);
    return SqliteStatement(m_db, statement);
}

void SqliteDatabase::execute(const QString &sql)
{
    char *message = nullptr;
    const int rc = sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &message);
    if (rc != SQLITE_OK) {
        const QString text = QString::fromUtf8(message ? message : sqlite3_errstr(rc));
        sqlite3_free(message);
        throw DatabaseError(rc, text);
    }
}

qint64 SqliteDatabase::lastInsertRowId() const
{
    return sqlite3_last_insert_rowid(m_db);
}

SqliteStatement::SqliteStatement(sqlite3 *db, sqlite3_stmt *statement) : m_db(db), m_statement(statement)
{
}

SqliteStatement::~SqliteStatement()
{
    sqlite3_finalize(m_statement);
}

SqliteStatement::SqliteStatement(SqliteStatement &&other) noexcept
    : m_db(other.m_db), m_statement(other.m_statement)
{
    other.m_statement = nullptr;
}

SqliteStatement &SqliteStatement::bind(int position, const QVariant &value)
{
    int rc = SQLITE_OK;
    if (value.isNull()) {
        rc = sqlite3_bind_null(m_statement, position);
    } else {
        switch (value.typeId()) {
        case QMetaType::QString: {
            const QByteArray text = value.toString().toUtf8();
            rc = sqlite3_bind_text64(m_statement, position, text.constData(), sqlite3_uint64(text.size()),
                                     SQLITE_TRANSIENT, SQLITE_UTF8);
            break;
        }
        case QMetaType::QByteArray: {
            const QByteArray bytes = value.toByteArray();
            rc = sqlite3_bind_blob64(m_statement, position, bytes.constData(), sqlite3_uint64(bytes.size()),
                                     SQLITE_TRANSIENT);
            break;
        }
        case QMetaType::Double:
        case QMetaType::Float:
            rc = sqlite3_bind_double(m_statement, position, value.toDouble());
            break;
        case QMetaType::Bool:
            rc = sqlite3_bind_int64(m_statement, position, value.toBool() ? 1 : 0);
            break;
        default:
            rc = sqlite3_bind_int64(m_statement, position, value.toLongLong());
            break;
        }
    }
    if (rc != SQLITE_OK)
        fail(rc);
    return *this;
}

SqliteStatement &SqliteStatement::bindAll(const std::vector<QVariant> &values)
{
    int position = 1;
    for (const QVariant &value : values)
        bind(position++, value);
    return *this;
}

SqliteStatement &SqliteStatement::bindAll(std::initializer_list<QVariant> values)
{
    int position = 1;
    for (const QVariant &value : values)
        bind(position++, value);
    return *this;
}

bool SqliteStatement::next()
{
    const int rc = sqlite3_step(m_statement);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    fail(rc);
}

void SqliteStatement::reset()
{
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);
}

int SqliteStatement::columnIndex(const char *column) const
{
    const int count = sqlite3_column_count(m_statement);
    for (int i = 0; i < count; ++i) {
        const char *name = sqlite3_column_name(m_statement, i);
        if (name && std::strcmp(name, column) == 0)
            return i;
    }
    return -1;
}

int SqliteStatement::requireColumn(const char *column) const
{
    const int index = columnIndex(column);
    if (index < 0)
        throw DatabaseError(SQLITE_ERROR,
                            QStringLiteral("no column named %1").arg(QString::fromUtf8(column)));
    return index;
}

bool SqliteStatement::isNull(const char *column) const
{
    return sqlite3_column_type(m_statement, requireColumn(column)) == SQLITE_NULL;
}

std::optional<qint64> SqliteStatement::optionalInt(const char *column) const
{
    return optionalIntAt(requireColumn(column));
}

std::optional<qint64> SqliteStatement::optionalIntAt(int index) const
{
    if (sqlite3_column_type(m_statement, index) == SQLITE_NULL)
        return std::nullopt;
    return sqlite3_column_int64(m_statement, index);
}

std::optional<double> SqliteStatement::optionalDouble(const char *column) const
{
    const int index = requireColumn(column);
    if (sqlite3_column_type(m_statement, index) == SQLITE_NULL)
        return std::nullopt;
    return sqlite3_column_double(m_statement, index);
}

std::optional<QString> SqliteStatement::optionalText(const char *column) const
{
    return optionalTextAt(requireColumn(column));
}

std::optional<QString> SqliteStatement::optionalTextAt(int index) const
{
    if (sqlite3_column_type(m_statement, index) == SQLITE_NULL)
        return std::nullopt;
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(m_statement, index));
    const int size = sqlite3_column_bytes(m_statement, index);
    return QString::fromUtf8(text, size);
}

std::optional<QByteArray> SqliteStatement::optionalBlob(const char *column) const
{
    return optionalBlobAt(requireColumn(column));
}

std::optional<QByteArray> SqliteStatement::optionalBlobAt(int index) const
{
    if (sqlite3_column_type(m_statement, index) == SQLITE_NULL)
        return std::nullopt;
    const auto *data = static_cast<const char *>(sqlite3_column_blob(m_statement, index));
    const int size = sqlite3_column_bytes(m_statement, index);
    return QByteArray(data, size);
}

qint64 SqliteStatement::requiredInt(const char *column) const
{
    const auto value = optionalInt(column);
    if (!value)
        throw DatabaseError(SQLITE_MISMATCH,
                            QStringLiteral("unexpected NULL in column %1").arg(QString::fromUtf8(column)));
    return *value;
}

QString SqliteStatement::requiredText(const char *column) const
{
    const auto value = optionalText(column);
    if (!value)
        throw DatabaseError(SQLITE_MISMATCH,
                            QStringLiteral("unexpected NULL in column %1").arg(QString::fromUtf8(column)));
    return *value;
}

void SqliteStatement::fail(int code) const
{
    throwFor(m_db, code);
}

} // namespace quorlin
