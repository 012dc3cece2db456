// The results scan and the tag stripper on synthetic pages.
#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include "ResultScan.h"
#include "TextOps.h"

namespace {

const QString Marker = QStringLiteral("href=\"/f/");

QString makePage(int entries)
{
    QString page = QStringLiteral("<DIV class=\"pager\"><A href=\"/search.php?key=x&amp;page=2\">下一页</A></DIV>");
    for (int i = 0; i < entries; ++i) {
        page += QStringLiteral("<DIV class=\"item\"><DIV class=\"t\"><A href=\"/f/id%1.html\" target=\"_blank\">"
                               "Qt <B>编程</B>入门教程 第%1版</A></DIV><DIV class=\"m\">%2大小:12.5 MB | 下载:%1 | "
                               "日期:2026-11-01</DIV></DIV>\n")
                    .arg(i)
                    .arg(i % 4 == 0 ? QStringLiteral("<SPAN class=\"pts\">积分:5</SPAN> ") : QString());
    }
    return page;
}

// Entries scanned, title stripped for each free one; event processing as the
// window does between entries is measured by BM_ScanWithEvents.
void BM_Scan(benchmark::State &state)
{
    const QString page = makePage(int(state.range(0)));
    for (auto _ : state) {
        ResultScanner scanner(page);
        int n = 0;
        while (const auto e = scanner.next(Marker)) {
            if (!e->costsPoints)
                benchmark::DoNotOptimize(TextOps::HtmToTxt(e->title));
            ++n;
        }
        benchmark::DoNotOptimize(n);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetBytesProcessed(state.iterations() * page.size() * qsizetype(sizeof(QChar)));
    state.counters["page_MB"] = double(page.size() * sizeof(QChar)) / (1 << 20);
}
BENCHMARK(BM_Scan)->Arg(10)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

void BM_ScanWithEvents(benchmark::State &state)
{
    const QString page = makePage(int(state.range(0)));
    for (auto _ : state) {
        ResultScanner scanner(page);
        while (const auto e = scanner.next(Marker)) {
            if (!e->costsPoints)
                benchmark::DoNotOptimize(TextOps::HtmToTxt(e->title, [] { QCoreApplication::processEvents(); }));
            QCoreApplication::processEvents();
        }
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ScanWithEvents)->Arg(10)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

void BM_HtmToTxt(benchmark::State &state)
{
    QString title;
    for (int i = 0; i < state.range(0); ++i)
        title += QStringLiteral("<SPAN class=\"c%1\">词%1</SPAN>").arg(i);
    for (auto _ : state)
        benchmark::DoNotOptimize(TextOps::HtmToTxt(title));
}
BENCHMARK(BM_HtmToTxt)->Arg(1)->Arg(10)->Arg(100);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
