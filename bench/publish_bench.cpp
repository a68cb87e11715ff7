// How long the publishing comparison takes for 5,000 files a side, once
// both listings are in: a quarter new, a quarter changed, half the same,
// and as many only on the server as are new.
#include "operations/publish_plan.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int kFiles = 5000;

struct Sides {
    QList<quillmar::LocalFile> local;
    QList<quillmar::ServerFile> server;
};

Sides MakeSides()
{
    const QDateTime taken(QDate(2026, 11, 1), QTime(10, 0), Qt::UTC);
    Sides sides;
    for (int i = 0; i < kFiles; ++i) {
        const QString path = QStringLiteral("album%1/photo_%2.jpg").arg(i % 20).arg(i);
        const qint64 size = 200000 + i;
        sides.local.append({path, size, taken});
        switch (i % 4) {
        case 0:   // new here; the server has another instead
            sides.server.append({QStringLiteral("album%1/old_%2.jpg").arg(i % 20).arg(i), size, taken});
            break;
        case 1:   // changed
            sides.server.append({path, size - 1, taken});
            break;
        default:  // same
            sides.server.append({path, size, taken.addSecs(60)});
        }
    }
    return sides;
}

void BM_PlanPublish(benchmark::State& state)
{
    const Sides sides = MakeSides();
    const quillmar::PublishPlan check = quillmar::PlanPublish(sides.local, sides.server, false);
    if (check.count(quillmar::PublishKind::Same) != kFiles / 2 || check.count(quillmar::PublishKind::New) != kFiles / 4) {
        state.SkipWithError("the generated sides do not compare as planned");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(quillmar::PlanPublish(sides.local, sides.server, false));
}
BENCHMARK(BM_PlanPublish)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
