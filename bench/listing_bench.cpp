// How fast raw listing lines become rows: 100,000 Unix long-format lines a
// pass, reported as lines per second.
#include "session/listing.h"

#include <QStringList>

#include <benchmark/benchmark.h>

namespace {

constexpr int kLines = 100000;

QStringList MakeListing()
{
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    QStringList lines;
    lines.reserve(kLines);
    lines.append(QStringLiteral("total %1").arg(kLines));
    for (int i = 1; i < kLines; ++i) {
        const bool folder = i % 10 == 0;
        // Sizes spread over bytes, kilobytes and megabytes.
        const qint64 size = folder ? 4096 : (qint64(i) * 7919) % (i % 3 == 0 ? 900 : 90000000);
        lines.append(QStringLiteral("%1 %2 owner%3 pictures %4 %5 %6 %7 %8%9")
                         .arg(folder ? "drwxr-xr-x" : "-rw-r--r--")
                         .arg(1 + i % 3, 3)
                         .arg(i % 7)
                         .arg(size, 10)
                         .arg(QLatin1StringView(kMonths[i % 12]))
                         .arg(1 + i % 28, 2)
                         .arg(i % 2 ? QStringLiteral("12:%1").arg(i % 60, 2, 10, QChar(u'0')) : QStringLiteral(" 2019"))
                         .arg(folder ? "album " : "photo_")
                         .arg(folder ? QString::number(i) : QString::number(i) + QStringLiteral(".jpg")));
    }
    return lines;
}

void BM_ParseListLine(benchmark::State& state)
{
    const QStringList lines = MakeListing();
    const std::optional<quillmar::ListRow> sample = quillmar::ParseListLine(lines[1]);
    if (!sample || sample->text != QStringLiteral("photo_1.jpg") || sample->bytes != 7919) {
        state.SkipWithError("the generated lines do not parse as long-format lines");
        return;
    }
    qint64 totalBytes = 0;
    for (auto _ : state) {
        for (const QString& line : lines) {
            std::optional<quillmar::ListRow> row = quillmar::ParseListLine(line);
            if (row)
                totalBytes = quillmar::AddToTotal(totalBytes, row->bytes);
            benchmark::DoNotOptimize(row);
        }
    }
    benchmark::DoNotOptimize(totalBytes);
    state.SetItemsProcessed(state.iterations() * lines.size());
    state.counters["lines/s"] =
        benchmark::Counter(double(state.iterations() * lines.size()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ParseListLine)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
