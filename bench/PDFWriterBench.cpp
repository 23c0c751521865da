// Writes 2,000 A4 pages of 50 text lines each, close to a 100,000-product inventory (some 2,300
// pages), as a PDF document and prints pages per second and megabytes per second.
// Usage: PDFWriterBench [pages]
#include "filters/RLPDFFilter.h"
#include "pagestore/RLMetaFile.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int pageCount = argc > 1 ? qMax(1, QByteArray(argv[1]).toInt()) : 2000;

    TComponent owner;
    auto* store = new TRLGraphicStorage(&owner);
    store->SetOrientation(1);
    store->SetPaperWidth(210);
    store->SetPaperHeight(297);
    QElapsedTimer timer;
    timer.start();
    for (int p = 0; p < pageCount; ++p) {
        auto* page = new TRLGraphicSurface;
        page->SetWidth(store->OrientedWidth());
        page->SetHeight(store->OrientedHeight());
        for (int line = 0; line < 50; ++line) {
            const int top = 60 + line * 20;
            const bool amount = line % 2 == 1;
            auto* text = new TRLTextObject(page);
            text->Font.SetName(QStringLiteral("Arial"));
            text->Font.Size = 8;
            text->BoundsRect = amount ? TRect(500, top, 740, top + 16) : TRect(40, top, 480, top + 16);
            text->Origin = TPoint(text->BoundsRect.Left, top);
            text->Alignment = amount ? MetaTextAlignmentRight : MetaTextAlignmentLeft;
            text->Text = amount
                ? QStringLiteral("%1,%2").arg(p * 50 + line).arg(line % 100, 2, 10, QLatin1Char('0'))
                : QStringLiteral("PRODUTO AÇÃO Nº %1 - DESCRIÇÃO").arg(p * 50 + line);
        }
        store->Add(page);
    }
    const qint64 buildMs = timer.elapsed();

    QTemporaryDir dir;
    const QString fileName = dir.filePath(QStringLiteral("bench.pdf"));
    TRLPDFFilter filter;
    filter.SetShowProgress(false);
    filter.SetFileName(fileName);
    timer.restart();
    filter.ProcessPages(store, 1, -1, false);
    const double seconds = qMax<qint64>(timer.elapsed(), 1) / 1000.0;
    const double megabytes = QFileInfo(fileName).size() / (1024.0 * 1024.0);
    std::printf("built %d pages in %lld ms\n", pageCount, static_cast<long long>(buildMs));
    std::printf("wrote %d pages (%.1f MB) in %.2f s: %.0f pages/s, %.1f MB/s\n", pageCount, megabytes,
        seconds, pageCount / seconds, megabytes / seconds);
    return 0;
}
