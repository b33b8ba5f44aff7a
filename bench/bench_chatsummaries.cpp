// Times the conversation list on a large generated sms.db next to what SQLite alone needs for the
// same statements, and prints the ratio between the two.
#include "gen/smsdbgenerator.h"

#include "reader/smsreaderservice.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

QString databasePath;

const char *const summarySql = "SELECT\n"
                               "  chat.ROWID AS chat_id,\n"
                               "  chat.guid AS guid,\n"
                               "  chat.chat_identifier AS chat_identifier,\n"
                               "  chat.display_name AS display_name,\n"
                               "  chat.room_name AS room_name,\n"
                               "  chat.service_name AS service_name,\n"
                               "  COUNT(message.ROWID) AS msg_count,\n"
                               "  MIN(NULLIF(message.date, 0)) AS first_date,\n"
                               "  MAX(message.date) AS last_date\n"
                               "FROM chat\n"
                               "LEFT JOIN chat_message_join cmj ON cmj.chat_id = chat.ROWID\n"
                               "LEFT JOIN message ON message.ROWID = cmj.message_id\n"
                               "GROUP BY chat.ROWID\n"
                               "ORDER BY last_date DESC";
const char *const attachmentCountSql = "SELECT cmj.chat_id AS chat_id,\n"
                                       "       COUNT(DISTINCT maj.attachment_id) AS att_count\n"
                                       "FROM message_attachment_join maj\n"
                                       "JOIN chat_message_join cmj ON cmj.message_id = maj.message_id\n"
                                       "GROUP BY cmj.chat_id";
const std::string participantsSql = "SELECT DISTINCT h.id AS id FROM handle h\n"
                                    "JOIN chat_handle_join chj ON chj.handle_id = h.ROWID\n"
                                    "WHERE chj.chat_id IN (";
const std::string previewSql = "SELECT m.text AS text, m.attributedBody AS attributed_body\n"
                               "FROM message m\n"
                               "JOIN chat_message_join cmj ON m.ROWID = cmj.message_id\n"
                               "WHERE cmj.chat_id IN (";

// The merged chat id lists, as the reader forms them, worked out once before timing.
std::vector<std::vector<sqlite3_int64>> groupsOf(sqlite3 *db)
{
    std::vector<std::vector<sqlite3_int64>> groups;
    std::map<std::string, size_t> indexOfKey;
    sqlite3_stmt *statement = nullptr;
    sqlite3_prepare_v2(db, summarySql, -1, &statement, nullptr);
    while (sqlite3_step(statement) == SQLITE_ROW) {
        const auto *room = reinterpret_cast<const char *>(sqlite3_column_text(statement, 4));
        const auto *identifier = reinterpret_cast<const char *>(sqlite3_column_text(statement, 2));
        const std::string key =
            room && *room ? "room:" + std::string(room) : "id:" + std::string(identifier ? identifier : "");
        auto found = indexOfKey.find(key);
        if (found == indexOfKey.end()) {
            found = indexOfKey.emplace(key, groups.size()).first;
            groups.emplace_back();
        }
        groups[found->second].push_back(sqlite3_column_int64(statement, 0));
    }
    sqlite3_finalize(statement);
    return groups;
}

// Reads every column of the current row in its stored type, without converting or copying it.
void readColumns(sqlite3_stmt *statement)
{
    for (int column = 0; column < sqlite3_column_count(statement); ++column) {
        switch (sqlite3_column_type(statement, column)) {
        case SQLITE_INTEGER:
            benchmark::DoNotOptimize(sqlite3_column_int64(statement, column));
            break;
        case SQLITE_TEXT:
            benchmark::DoNotOptimize(sqlite3_column_text(statement, column));
            benchmark::DoNotOptimize(sqlite3_column_bytes(statement, column));
            break;
        case SQLITE_BLOB:
            benchmark::DoNotOptimize(sqlite3_column_blob(statement, column));
            benchmark::DoNotOptimize(sqlite3_column_bytes(statement, column));
            break;
        default:
            break;
        }
    }
}

void drain(sqlite3 *db, const std::string &sql, const std::vector<sqlite3_int64> &ids, bool oneRow)
{
    sqlite3_stmt *statement = nullptr;
    sqlite3_prepare_v2(db, sql.c_str(), int(sql.size()), &statement, nullptr);
    for (size_t i = 0; i < ids.size(); ++i)
        sqlite3_bind_int64(statement, int(i) + 1, ids[i]);
    while (sqlite3_step(statement) == SQLITE_ROW) {
        readColumns(statement);
        if (oneRow)
            break;
    }
    sqlite3_finalize(statement);
}

void runAll(sqlite3 *db, const char *sql)
{
    sqlite3_stmt *statement = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
    while (sqlite3_step(statement) == SQLITE_ROW) {
        readColumns(statement);
    }
    sqlite3_finalize(statement);
}

std::string placeholders(size_t count)
{
    std::string text;
    for (size_t i = 0; i < count; ++i)
        text += i == 0 ? "?" : ",?";
    return text;
}

void BM_SqliteBaseline(benchmark::State &state)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(databasePath.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    const auto groups = groupsOf(db);
    sqlite3_close(db);
    for (auto _ : state) {
        // A fresh connection each time, set up as the reader sets up its own: a list is read once
        // per opened snapshot, so SQLite's page cache starts cold.
        sqlite3_open_v2(databasePath.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
        sqlite3_exec(db, "PRAGMA cache_size = -131072", nullptr, nullptr, nullptr);
        sqlite3_exec(db, "BEGIN DEFERRED", nullptr, nullptr, nullptr);
        runAll(db, summarySql);
        runAll(db, attachmentCountSql);
        for (const auto &ids : groups) {
            const std::string marks = placeholders(ids.size());
            drain(db, participantsSql + marks + ")", ids, false);
            drain(db, previewSql + marks + ")\nORDER BY m.date DESC\nLIMIT 1", ids, true);
        }
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    state.counters["conversations"] = double(groups.size());
}

void BM_FetchChatSummaries(benchmark::State &state)
{
    qsizetype count = 0;
    for (auto _ : state) {
        const quorlin::SMSReaderService reader(databasePath);
        const QList<quorlin::ChatSummary> summaries = reader.fetchChatSummaries();
        count = summaries.size();
        benchmark::DoNotOptimize(summaries.constData());
    }
    state.counters["conversations"] = double(count);
}

BENCHMARK(BM_SqliteBaseline)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_FetchChatSummaries)->Unit(benchmark::kMillisecond)->Iterations(5);

// Keeps each benchmark's time per iteration so the ratio can be printed after the table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            times[run.benchmark_name()] = run.GetAdjustedRealTime();
            cpuTimes[run.benchmark_name()] = run.GetAdjustedCPUTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
    std::map<std::string, double> cpuTimes;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    QTemporaryDir folder;
    databasePath = folder.filePath(QStringLiteral("sms.db"));
    std::printf("Generating sms.db (2,000 chats, 300,000 messages, 20,000 attachments)...\n");
    quorlin::bench::generateSmsDatabase(databasePath);

    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const std::string baselineName = "BM_SqliteBaseline/iterations:5";
    const std::string readerName = "BM_FetchChatSummaries/iterations:5";
    const double baseline = reporter.times[baselineName];
    const double reader = reporter.times[readerName];
    if (baseline > 0 && reader > 0) {
        std::printf("wall: fetchChatSummaries %.1f ms, SQLite alone %.1f ms, ratio %.2f (target < 1.5)\n",
                    reader, baseline, reader / baseline);
        std::printf("cpu:  fetchChatSummaries %.1f ms, SQLite alone %.1f ms, ratio %.2f\n",
                    reporter.cpuTimes[readerName], reporter.cpuTimes[baselineName],
                    reporter.cpuTimes[readerName] / reporter.cpuTimes[baselineName]);
    }
    benchmark::Shutdown();
    return 0;
}
