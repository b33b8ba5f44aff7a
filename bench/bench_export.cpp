// Export speed and memory on a generated conversation of 20,000 messages (500 pictures, 50 of them
// HEIC, 20 videos). Each format reports its time, its messages per second against its target, its
// ratio to a baseline measured in the same run (walking every message and concatenating its text),
// and its peak resident memory.

#include "export/csvwriter.h"
#include "export/exportservice.h"
#include "export/htmlwriter.h"
#include "export/pdfrenderer.h"
#include "export/transcriptwriter.h"
#include "gen/exportgenerator.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLocale>
#include <QMap>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <ctime>

using namespace quorlin;

namespace {

struct Figures {
    double seconds = 0; // per export, the best of the repetitions
    double peakMB = 0;  // resident memory high-water mark while the export ran
    double target = 0;  // messages per second to reach, 0 when the target is a time
    double maxSeconds = 0;
    double maxPeakMB = 0;
    double wallSeconds = 0; // elapsed time, which other work on a shared machine stretches
};

double processorSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

QMap<QString, Figures> &results()
{
    static QMap<QString, Figures> figures;
    return figures;
}

const Chat &conversation()
{
    static const Chat chat = [] {
        static QTemporaryDir scratch;
        const QString media =
            qEnvironmentVariable("QUORLIN_BENCH_MEDIA", scratch.filePath(QStringLiteral("media")));
        bench::ExportGenerator generator(media);
        if (!generator.prepareMedia())
            std::fprintf(stderr, "could not make the media files in %s\n", qPrintable(media));
        return generator.conversation();
    }();
    return chat;
}

// Linux keeps a resident-set high-water mark per process; writing 5 to clear_refs resets it.
void resetPeakMemory()
{
    QFile file(QStringLiteral("/proc/self/clear_refs"));
    if (file.open(QIODevice::WriteOnly))
        file.write("5");
}

double peakMemoryMB()
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return 0;
}

template <typename Work> void measure(benchmark::State &state, const QString &name, Figures limits, Work work)
{
    const Chat &chat = conversation();
    double best = 1e9;
    double bestWall = 1e9;
    double peak = 0;
    for (auto _ : state) {
        resetPeakMemory();
        const auto started = std::chrono::steady_clock::now();
        const double startedProcessor = processorSeconds();
        benchmark::DoNotOptimize(work(chat));
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
        best = std::min(best, processorSeconds() - startedProcessor);
        bestWall = std::min(bestWall, elapsed.count());
        peak = std::max(peak, peakMemoryMB());
    }
    state.SetItemsProcessed(state.iterations() * chat.items.size());
    state.counters["peak_MB"] = peak;
    limits.seconds = best;
    limits.wallSeconds = bestWall;
    limits.peakMB = peak;
    results()[name] = limits;
}

qsizetype totalSize(const QString &text)
{
    return text.size();
}

void BM_Baseline(benchmark::State &state)
{
    measure(state, QStringLiteral("baseline"), {}, [](const Chat &chat) {
        QString all;
        for (const Message &message : chat.items)
            all += message.message + QLatin1Char('\n');
        return totalSize(all);
    });
}

void BM_Text(benchmark::State &state)
{
    measure(state, QStringLiteral("text"), {0, 0, 1e6, 0, 0},
            [](const Chat &chat) { return renderTranscript(chat).toUtf8().size(); });
}

void BM_CSV(benchmark::State &state)
{
    measure(state, QStringLiteral("csv"), {0, 0, 1e6, 0, 0},
            [](const Chat &chat) { return renderCSV(chat).toUtf8().size(); });
}

void BM_HTMLPage(benchmark::State &state)
{
    measure(state, QStringLiteral("html page"), {0, 0, 2e5, 0, 0}, [](const Chat &chat) {
        const QString page = renderHTML(chat, ExportOptions{}, [](const Attachment &attachment) {
            return QStringLiteral("attachments/") + attachment.originalFilename;
        });
        return page.toUtf8().size();
    });
}

// The whole HTML export into a fresh folder: the page plus copying and converting the attachments.
void BM_HTMLFolder(benchmark::State &state)
{
    measure(state, QStringLiteral("html folder"), {}, [](const Chat &chat) {
        QTemporaryDir folder;
        return ExportService::shared()
            .exportChat(chat, ExportFormat::html, folder.filePath(QStringLiteral("export")), ExportOptions{})
            .size();
    });
}

void BM_PDF(benchmark::State &state)
{
    measure(state, QStringLiteral("pdf"), {0, 0, 0, 10, 500},
            [](const Chat &chat) { return renderPDF(chat, ExportOptions{}).size(); });
}

void printSummary()
{
    const Chat &chat = conversation();
    const double messages = double(chat.items.size());
    const double baseline = results().value(QStringLiteral("baseline")).seconds;
    std::printf("\n%-12s %10s %10s %14s %16s %12s %10s  %s\n", "format", "cpu ms", "wall ms", "messages/s",
                "target", "x baseline", "peak MB", "verdict");
    for (auto it = results().cbegin(); it != results().cend(); ++it) {
        const Figures &f = it.value();
        const double rate = f.seconds > 0 ? messages / f.seconds : 0;
        QString verdict = QStringLiteral("-");
        QString target = QStringLiteral("-");
        if (f.target > 0) {
            target = QString::number(f.target, 'g', 3) + QStringLiteral("/s");
            verdict = rate >= f.target ? QStringLiteral("meets target") : QStringLiteral("BELOW target");
        } else if (f.maxSeconds > 0) {
            target = QStringLiteral("<%1 s, <%2 MB").arg(f.maxSeconds).arg(f.maxPeakMB);
            verdict = f.seconds < f.maxSeconds && f.peakMB < f.maxPeakMB ? QStringLiteral("meets target")
                                                                         : QStringLiteral("BELOW target");
        }
        std::printf("%-12s %10.1f %10.1f %14.0f %16s %12.1f %10.1f  %s\n", qPrintable(it.key()),
                    f.seconds * 1000, f.wallSeconds * 1000, rate, qPrintable(target),
                    baseline > 0 ? f.seconds / baseline : 0.0, f.peakMB, qPrintable(verdict));
    }
}

} // namespace

BENCHMARK(BM_Baseline)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Text)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_CSV)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_HTMLPage)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_HTMLFolder)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PDF)->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    benchmark::Initialize(&argc, argv);
    conversation(); // media files and the conversation are made before any timing
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    printSummary();
    return 0;
}
