// Runs the spreadsheet writer over generated pages (by default 2,000 pages of 50 lines of 6 texts,
// like an inventory listing) and prints pages per second, the file size and the peak resident size.
// "XLSWriterBench 500" measures another page count; a second argument keeps the file under that name.
#include "filters/RLXLSFilter.h"
#include "pagestore/RLMetaFile.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <sys/resource.h>

namespace {

TRLGraphicSurface* InventoryPage(int Page)
{
    auto* page = new TRLGraphicSurface;
    page->SetWidth(794);
    page->SetHeight(1123);
    page->CurrentFont().SetName(QStringLiteral("Arial"));
    page->CurrentFont().SetSize(8);
    static const int lefts[] = { 40, 110, 420, 500, 590, 680 };
    static const int widths[] = { 70, 310, 80, 90, 90, 74 };
    for (int line = 0; line < 50; ++line) {
        NewGroupId();
        const int top = 60 + line * 20;
        const int item = Page * 50 + line;
        const QString texts[] = {
            QString::number(100000 + item),
            QStringLiteral("PRODUTO DE TESTE NÚMERO %1").arg(item),
            QStringLiteral("UN"),
            QStringLiteral("%1,%2").arg(item % 997).arg(item % 100, 2, 10, QLatin1Char('0')),
            QStringLiteral("1.%1,50").arg(item % 1000, 3, 10, QLatin1Char('0')),
            QStringLiteral("%1%").arg(item % 4 == 0 ? 7 : 17),
        };
        for (int column = 0; column < 6; ++column) {
            const TRect rect(lefts[column], top, lefts[column] + widths[column], top + 18);
            page->WriteText(rect, rect.Left, rect.Top, texts[column],
                column >= 3 ? MetaTextAlignmentRight : MetaTextAlignmentLeft, MetaTextLayoutTop, 5);
        }
    }
    return page;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const int pages = argc > 1 ? QByteArray(argv[1]).toInt() : 2000;

    TComponent owner;
    auto* storage = new TRLGraphicStorage(&owner);
    for (int page = 0; page < pages; ++page)
        storage->Add(InventoryPage(page));

    QTemporaryDir folder;
    const QString path
        = argc > 2 ? QString::fromLocal8Bit(argv[2]) : folder.filePath(QStringLiteral("bench.xls"));
    TRLXLSFilter filter;
    filter.SetOptions(foFindValueCells);
    filter.SetShowProgress(false);
    filter.SetFileName(path);
    QElapsedTimer clock;
    clock.start();
    filter.ProcessPages(storage, 1, -1, false);
    const double seconds = clock.elapsed() / 1000.0;

    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%10s %10s %12s %14s %14s\n", "pages", "seconds", "pages/s", "file MiB", "peak RSS MiB");
    std::printf("%10d %10.2f %12.1f %14.1f %14.1f\n", pages, seconds, seconds > 0 ? pages / seconds : 0.0,
        QFileInfo(path).size() / 1048576.0, usage.ru_maxrss / 1024.0);
    return 0;
}
