// Paints an inventory-like page (about 600 texts in rows of six columns, a frame, rules and a header
// band) onto an A4 picture at 100% and 150% zoom, and prints the time per page. Each paint makes a
// fresh canvas, as the preview does on every repaint, so converted fonts are not carried over.
// Given a file name, it also saves the page painted at 100% there.
#include "pagestore/RLCanvas.h"
#include "pagestore/RLMetaFile.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

void BuildPage(TRLGraphicSurface& Page)
{
    Page.SetWidth(794);
    Page.SetHeight(1123);
    TPen pen;
    pen.SetWidth(1);
    Page.SetPen(pen);
    TBrush clear;
    clear.SetStyle(bsClear);
    Page.SetBrush(clear);
    Page.Rectangle(38, 38, 756, 1085);

    TFont title;
    title.SetName(QStringLiteral("Arial"));
    title.SetSize(12);
    title.SetStyle(fsBold);
    Page.SetFont(title);
    Page.WriteText(TRect(38, 40, 756, 60), 40, 40, QStringLiteral("Inventário por Preço de Custo"),
        MetaTextAlignmentCenter, MetaTextLayoutTop, TextFlagKeepWhole);

    TFont body;
    body.SetName(QStringLiteral("Arial"));
    body.SetSize(8);
    Page.SetFont(body);
    const int columns[7] = { 40, 100, 360, 430, 520, 620, 754 };
    for (int row = 0; row < 100; ++row) {
        const int top = 70 + row * 10;
        for (int column = 0; column < 6; ++column) {
            const TRect rect(columns[column], top, columns[column + 1], top + 10);
            QString text;
            TRLMetaTextAlignment alignment = MetaTextAlignmentRight;
            switch (column) {
            case 0:
                text = QString::number(100000 + row * 37);
                break;
            case 1:
                text = QStringLiteral("PRODUTO DE LIMPEZA %1 EMBALAGEM ECONÔMICA").arg(row);
                alignment = MetaTextAlignmentLeft;
                break;
            case 2:
                text = QStringLiteral("UN");
                alignment = MetaTextAlignmentCenter;
                break;
            default:
                text = QStringLiteral("%1,%2").arg(row * 13 + column).arg(row % 100, 2, 10, QLatin1Char('0'));
            }
            Page.WriteText(rect, rect.Left, rect.Top, text, alignment, MetaTextLayoutTop, TextFlagKeepWhole);
        }
        if (row % 10 == 9) {
            TBrush shade;
            shade.SetColor(clSilver);
            Page.SetBrush(shade);
            Page.SetClipRect(TRect(38, top + 9, 756, top + 10));
            Page.FillRect(TRect(38, top + 9, 756, top + 10));
            Page.ResetClipRect();
            Page.SetBrush(clear);
        }
    }
    auto* rule = new TRLLineObject(&Page);
    rule->FromPoint = TPoint(38, 1060);
    rule->ToPoint = TPoint(756, 1060);
    rule->BoundsRect = TRect(38, 1060, 756, 1061);
    rule->Pen.Width = 2;
    rule->Pen.Style = MetaPenStyleDash;
    Page.WriteText(TRect(38, 1065, 756, 1080), 40, 1065,
        QStringLiteral("Página {PageNumber} de {LastPageNumber}"), MetaTextAlignmentRight, MetaTextLayoutTop,
        TextFlagAutoSize | TextFlagKeepWhole);
}

// The processor time of this thread: painting runs on it alone, so other programs on a busy
// machine do not count, as they do in the wall time.
double ThreadMilliseconds()
{
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

void Measure(const TRLGraphicSurface& Page, double Zoom, int Rounds)
{
    const int width = int(794 * Zoom);
    const int height = int(1123 * Zoom);
    QImage image(width, height, QImage::Format_RGB32);
    std::vector<double> times;
    std::vector<double> processor;
    for (int round = 0; round < Rounds; ++round) {
        image.fill(Qt::white);
        QElapsedTimer timer;
        timer.start();
        const double started = ThreadMilliseconds();
        {
            TRLCanvas canvas(&image);
            Page.PaintTo(canvas, TRect(0, 0, width, height));
        }
        processor.push_back(ThreadMilliseconds() - started);
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    std::sort(processor.begin(), processor.end());
    double total = 0;
    for (double t : times)
        total += t;
    std::printf(
        "zoom %3.0f%%  %4d x %4d  %d paints: mean %.2f ms, median %.2f ms, best %.2f ms, worst %.2f ms;"
        " processor time median %.2f ms\n",
        Zoom * 100, width, height, Rounds, total / times.size(), times[times.size() / 2], times.front(),
        times.back(), processor[processor.size() / 2]);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM",
        qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    QGuiApplication app(argc, argv);
    TRLGraphicSurface page;
    BuildPage(page);
    std::printf("page: %d objects\n", page.ObjectCount());
    Measure(page, 1.0, 3); // warm the shared advance tables and the glyph caches
    Measure(page, 1.0, 100);
    Measure(page, 1.5, 50);
    if (argc > 1) {
        // A look at what was measured: PageDrawBench page.png
        QImage image(794, 1123, QImage::Format_RGB32);
        image.fill(Qt::white);
        {
            TRLCanvas canvas(&image);
            page.PaintTo(canvas, TRect(0, 0, 794, 1123));
        }
        image.save(QString::fromLocal8Bit(argv[1]));
    }
#ifdef NDEBUG
    std::printf("build: optimised\n");
#else
    std::printf("build: debug (assertions on, no optimisation)\n");
#endif
    return 0;
}
