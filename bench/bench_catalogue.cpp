// Measures the catalogue's size walk against du and the pruner against find -delete on the same
// generated snapshot (100,000 stored files in 256 folders, 2,000 of them Messages data), and
// prints both ratios at the end. Targets: under 1.5.
#include "backup/backupcatalogue.h"
#include "backup/backuppruner.h"
#include "gen/storegenerator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

using namespace quorlin;

namespace {

QString g_master; // the generated snapshot, never modified
QString g_work;   // a fresh copy for each destructive run
std::map<std::string, std::pair<double, int>> g_seconds; // name -> (total seconds, runs)

void record(benchmark::State &state, const char *name, double seconds)
{
    state.SetIterationTime(seconds);
    auto &entry = g_seconds[name];
    entry.first += seconds;
    entry.second += 1;
}

double mean(const char *name)
{
    const auto &entry = g_seconds[name];
    return entry.second ? entry.first / entry.second : 0;
}

void runOrThrow(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(-1) || process.exitCode() != 0)
        throw std::runtime_error(("failed: " + program + QLatin1Char(' ') + arguments.join(QLatin1Char(' '))).toStdString());
}

void freshCopy()
{
    runOrThrow(QStringLiteral("rm"), {QStringLiteral("-rf"), g_work});
    runOrThrow(QStringLiteral("cp"), {QStringLiteral("-a"), g_master, g_work});
}

void BM_allocatedSize(benchmark::State &state)
{
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        benchmark::DoNotOptimize(allocatedSize(g_master));
        record(state, "allocatedSize", timer.nsecsElapsed() / 1e9);
    }
}

void BM_duBaseline(benchmark::State &state)
{
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        runOrThrow(QStringLiteral("du"), {QStringLiteral("-s"), QStringLiteral("--block-size=1"), g_master});
        record(state, "du", timer.nsecsElapsed() / 1e9);
    }
}

void BM_prune(benchmark::State &state)
{
    for (auto _ : state) {
        freshCopy();
        QElapsedTimer timer;
        timer.start();
        const PruneResult result = BackupPruner().prune(g_work);
        record(state, "prune", timer.nsecsElapsed() / 1e9);
        state.counters["deleted"] = double(result.deletedFiles);
        state.counters["kept"] = double(result.keptFiles);
    }
}

void BM_findDeleteBaseline(benchmark::State &state)
{
    for (auto _ : state) {
        freshCopy();
        QElapsedTimer timer;
        timer.start();
        runOrThrow(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("find \"$1\"/?? -type f -delete"),
                                          QStringLiteral("sh"), g_work});
        record(state, "find", timer.nsecsElapsed() / 1e9);
    }
}

BENCHMARK(BM_allocatedSize)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_duBaseline)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
// Each destructive run needs a fresh copy of 100,000 files, so these run twice only.
BENCHMARK(BM_prune)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_findDeleteBaseline)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir root;
    qputenv("XDG_CACHE_HOME", QFile::encodeName(root.filePath(QStringLiteral("cache"))));
    g_master = root.filePath(QStringLiteral("master"));
    g_work = root.filePath(QStringLiteral("work"));
    std::fprintf(stderr, "generating the snapshot in %s ...\n", qPrintable(g_master));
    bench::generateStore(g_master, {});

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::printf("allocatedSize / du -s --block-size=1: %.2f (target < 1.5)\n", mean("allocatedSize") / mean("du"));
    std::printf("prune / find ?? -type f -delete:      %.2f (target < 1.5)\n", mean("prune") / mean("find"));
    std::fflush(stdout);
    return 0;
}
