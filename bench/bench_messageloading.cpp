// Loading one long conversation: fetchMessages against SQLite's own time for the same two
// statements, and a full assembleChat with attachment extraction, first and second time.
#include "gen/conversationgenerator.h"

#include "backup/backupmanifestservice.h"
#include "model/backupinfo.h"
#include "reader/assemblechat.h"
#include "reader/smsreaderservice.h"
#include "support/sqlitedatabase.h"
#include "support/supportfolders.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <ctime>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quorlin;

namespace {

QString g_snapshot;
qint64 g_chatId = 1;
QString g_chatGuid;
QString g_smsCopy;

// CPU time of this thread: the machine may be shared, and waiting is not work.
double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

long peakResidentKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Prepares, binds, steps through every row and fetches every column value in its stored type:
// the work SQLite itself does to deliver a statement's results.
qint64 stepAll(sqlite3 *db, const SMSReaderService::Query &query)
{
    const QByteArray sql = query.sql.toUtf8();
    sqlite3_stmt *statement = nullptr;
    sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &statement, nullptr);
    int position = 1;
    for (const QVariant &argument : query.arguments)
        sqlite3_bind_int64(statement, position++, argument.toLongLong());
    qint64 rows = 0;
    const int columns = sqlite3_column_count(statement);
    while (sqlite3_step(statement) == SQLITE_ROW) {
        ++rows;
        for (int column = 0; column < columns; ++column) {
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
    sqlite3_finalize(statement);
    return rows;
}

void fetchMessagesAgainstSqlite(benchmark::State &state)
{
    const SMSReaderService reader(g_smsCopy);
    SqliteDatabase db(g_smsCopy, SqliteDatabase::Mode::readOnly);
    const QList<qint64> chatIds{g_chatId};
    double sqliteMs = 0;
    double fetchMs = 0;
    qsizetype messages = 0;
    qint64 rows = 0;
    for (auto _ : state) {
        // Alternate the order so that neither side always finds the caches warmed by the other.
        const bool sqliteFirst = state.iterations() % 2 == 0;
        double start = threadCpuMs();
        if (sqliteFirst) {
            rows = stepAll(db.handle(), SMSReaderService::attachmentsQuery(chatIds));
            rows += stepAll(db.handle(), SMSReaderService::messagesQuery(chatIds, {}));
            sqliteMs += threadCpuMs() - start;
            start = threadCpuMs();
        }
        {
            const QList<Message> loaded = reader.fetchMessages(chatIds);
            fetchMs += threadCpuMs() - start;
            messages = loaded.size();
        }
        if (!sqliteFirst) {
            start = threadCpuMs();
            rows = stepAll(db.handle(), SMSReaderService::attachmentsQuery(chatIds));
            rows += stepAll(db.handle(), SMSReaderService::messagesQuery(chatIds, {}));
            sqliteMs += threadCpuMs() - start;
        }
    }
    const double n = double(state.iterations());
    state.counters["sqlite_cpu_ms"] = sqliteMs / n;
    state.counters["fetchMessages_cpu_ms"] = fetchMs / n;
    state.counters["ratio"] = fetchMs / sqliteMs; // target: under 2
    state.counters["messages"] = double(messages);
    state.counters["sqlite_rows"] = double(rows);
}

void assembleChatFirstAndSecondLoad(benchmark::State &state)
{
    ChatSummary summary;
    summary.id = g_chatId;
    summary.chatIds = {g_chatId};
    summary.guid = g_chatGuid;
    summary.chatIdentifier = QStringLiteral("+15550100");
    BackupInfo backup;
    backup.location = g_snapshot;
    backup.deviceName = QStringLiteral("Bench iPhone");
    double firstMs = 0;
    double secondMs = 0;
    long peakBefore = 0;
    long peakAfterFirst = 0;
    qsizetype extracted = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QDir(extractionFolder()).removeRecursively();
        peakBefore = peakResidentKilobytes();
        state.ResumeTiming();
        QElapsedTimer timer;
        timer.start();
        {
            const Chat chat = assembleChat(summary, backup);
            firstMs += double(timer.nsecsElapsed()) / 1e6;
            for (const Message &message : chat.items) {
                for (const Attachment &attachment : message.attachments)
                    extracted += attachment.fileURL != QLatin1String("/dev/null") ? 1 : 0;
            }
        }
        peakAfterFirst = peakResidentKilobytes();
        timer.restart();
        const Chat again = assembleChat(summary, backup);
        secondMs += double(timer.nsecsElapsed()) / 1e6;
        benchmark::DoNotOptimize(again.items.size());
    }
    const double n = double(state.iterations());
    state.counters["first_ms"] = firstMs / n;
    state.counters["second_ms"] = secondMs / n;
    state.counters["second_over_first"] = secondMs / firstMs; // target: under 1/3
    state.counters["peak_rss_MB"] = double(peakAfterFirst) / 1024.0;
    state.counters["rss_before_MB"] = double(peakBefore) / 1024.0;
    state.counters["extracted"] = double(extracted) / n;
}

// The full load runs first so that its peak resident size is not the fetch benchmark's.
BENCHMARK(assembleChatFirstAndSecondLoad)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(fetchMessagesAgainstSqlite)->Unit(benchmark::kMillisecond)->Iterations(6);

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir root;
    qputenv("XDG_DATA_HOME", root.filePath(QStringLiteral("data")).toUtf8());
    qputenv("XDG_CACHE_HOME", root.filePath(QStringLiteral("cache")).toUtf8());
    g_snapshot = root.filePath(QStringLiteral("snapshot"));

    // The snapshot is written by a child process so that the generator's memory does not count
    // in this process's peak resident size.
    const pid_t child = fork();
    if (child == 0) {
        bench::generateConversation(g_snapshot);
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return 1;
    g_chatId = 1;
    g_chatGuid = QStringLiteral("iMessage;-;+15550100");

    BackupManifestService manifest(g_snapshot);
    manifest.openManifest(std::nullopt);
    g_smsCopy = manifest.smsDatabaseURL();

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
