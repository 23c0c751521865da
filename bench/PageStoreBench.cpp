// Figures for the page store: pages stored per second, pages read back per second through the cache
// (every read a miss), the swap file's size and the page store file's writing speed.
#include "pagestore/RLMetaFile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int pages = argc > 1 ? QByteArray(argv[1]).toInt() : 3000;
    const int linesPerPage = 40;
    TRLGraphicStorage store;
    TFont font;
    font.SetName(QStringLiteral("Arial"));
    font.SetSize(8);

    QElapsedTimer timer;
    timer.start();
    for (int p = 0; p < pages; ++p) {
        auto* page = new TRLGraphicSurface;
        page->SetWidth(794);
        page->SetHeight(1123);
        page->SetFont(font);
        for (int line = 0; line < linesPerPage; ++line) {
            NewGroupId();
            const int top = 60 + line * 24;
            page->WriteText(TRect(40, top, 400, top + 16), 40, top,
                QStringLiteral("Produto número %1").arg(p * 40 + line), MetaTextAlignmentLeft,
                MetaTextLayoutTop, TextFlagKeepWhole);
            page->WriteText(TRect(600, top, 750, top + 16), 700, top, QStringLiteral("1.234,56"),
                MetaTextAlignmentRight, MetaTextLayoutTop, TextFlagKeepWhole);
            page->FillRect(TRect(40, top + 18, 750, top + 19));
        }
        store.Add(page);
    }
    const double storeSeconds = timer.nsecsElapsed() / 1e9;

    timer.restart();
    qint64 objects = 0;
    for (int p = 0; p < pages; p += 6) // a stride beyond the cache: every read is a miss
        if (TRLGraphicSurface* page = store.Pages(p))
            objects += page->ObjectCount();
    const int reads = (pages + 5) / 6;
    const double readSeconds = timer.nsecsElapsed() / 1e9;

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("bench.pgx"));
    timer.restart();
    store.SaveToFile(file);
    const double saveSeconds = timer.nsecsElapsed() / 1e9;

    std::printf(
        "pages stored:        %d in %.3f s (%.0f pages/s)\n", pages, storeSeconds, pages / storeSeconds);
    std::printf("pages read back:     %d in %.3f s (%.0f pages/s, %lld objects)\n", reads, readSeconds,
        reads / readSeconds, static_cast<long long>(objects));
    std::printf("swap file size:      %.1f MB\n", QFileInfo(store.SwapFileName()).size() / 1048576.0);
    std::printf(
        "page store file:     %.1f MB written in %.3f s\n", QFileInfo(file).size() / 1048576.0, saveSeconds);
    return 0;
}
