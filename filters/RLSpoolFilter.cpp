#include "filters/RLSpoolFilter.h"

#include "filters/RLPrinterWrapper.h"
#include "filters/RLPrinters.h"
#include "pagestore/RLCanvas.h"
#include "pagestore/RLMetaDraw.h"
#include "pagestore/RLMetaFile.h"

#include <QCoreApplication>

#include <algorithm>
#include <limits>

namespace {

int ClampToInt(qint64 Value)
{
    return int(std::clamp<qint64>(Value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

// Report pixels to printer pixels: v lands on Offset + round(v x Factor).
struct TSheetMap
{
    double XFactor;
    double YFactor;
    int Left;
    int Top;

    int X(int Value) const
    {
        return ClampToInt(qint64(Left) + RoundToPixel(static_cast<long double>(Value) * XFactor));
    }
    int Y(int Value) const
    {
        return ClampToInt(qint64(Top) + RoundToPixel(static_cast<long double>(Value) * YFactor));
    }
    TPoint Point(const TPoint& P) const { return TPoint(X(P.x()), Y(P.y())); }
    // A rectangle never collapses below one printer pixel, so hairline boxes and thin fills show.
    TRect Rect(const TRect& R) const
    {
        TRect r(X(R.Left), Y(R.Top), X(R.Right), Y(R.Bottom));
        if (r.Right < r.Left + 1)
            r.Right = ClampToInt(qint64(r.Left) + 1);
        if (r.Bottom < r.Top + 1)
            r.Bottom = ClampToInt(qint64(r.Top) + 1);
        return r;
    }
    QList<TPoint> Points(const TRLPointArray& Source) const
    {
        QList<TPoint> mapped;
        mapped.reserve(Source.size());
        for (const TPoint& p : Source)
            mapped.append(Point(p));
        return mapped;
    }
};

void PenFor(TRLCanvas& Canvas, const TRLMetaPen& Pen, double XFactor)
{
    PenToCanvas(Pen, Canvas.Pen());
    ScaleCanvasPen(Canvas.Pen(), XFactor);
}

TRLSpoolFilter* DefaultSpoolFilter = nullptr;

void FreeDefaultSpoolFilter()
{
    delete DefaultSpoolFilter;
    DefaultSpoolFilter = nullptr;
}

} // namespace

TRLSpoolFilter::TRLSpoolFilter(TComponent* AOwner)
    : TRLCustomPrintFilter(AOwner)
{ }

void TRLSpoolFilter::BeginDocument()
{
    FDocumentStarted = false;
    FNewPagePending = false;
    TRLGraphicStorage* pages = Pages();
    if (pages)
        SetDocumentBounds(pages->PaperWidth(), pages->PaperHeight(), pages->Orientation());
    else
        SetDocumentBounds(-1, -1, PortraitOrientationCode); // the printer's own paper
}

void TRLSpoolFilter::EndDocument()
{
    FDocumentStarted = false;
    FNewPagePending = false;
    PrinterWrapper().EndDoc();
}

void TRLSpoolFilter::NewPage()
{
    // The sheet is turned when the next page is drawn: should that page need another paper, its new
    // job starts on a fresh sheet, and the old job must not end with a blank one.
    FNewPagePending = true;
}

void TRLSpoolFilter::SetDocumentBounds(double APaperWidth, double APaperHeight, int AOrientation)
{
    if (FDocumentStarted && APaperWidth == FPaperWidth && APaperHeight == FPaperHeight
        && AOrientation == FOrientation)
        return;
    FPaperWidth = APaperWidth;
    FPaperHeight = APaperHeight;
    FOrientation = AOrientation;
    TRLPrinterWrapper& printer = PrinterWrapper();
    int copies = 0;
    if (FDocumentStarted) {
        // One job has one kind of sheet: a new paper or orientation is a new job. Ending a job
        // selects the printer again with its own settings, and the copies asked for the run are for
        // its every job.
        copies = printer.PrinterCopies();
        FDocumentStarted = false;
        printer.EndDoc();
    }
    const bool landscape = FOrientation == 2;
    printer.SetPaper(FPaperWidth, FPaperHeight, landscape, false);
    if (copies > 0)
        printer.SetPrinterCopies(copies);
    TRLPrinterMetricsRecord metrics;
    printer.ReadPrinterMetrics(metrics);
    int width;
    int height;
    if (!(FPaperWidth > 0) || !(FPaperHeight > 0)) {
        // "Printer default" (or no size at all): the sheet is whatever paper the printer has.
        width = metrics.PhysicalWidth;
        height = metrics.PhysicalHeight;
    } else if (landscape) {
        width = RoundToPixel(static_cast<long double>(metrics.PPIX) * FPaperHeight / 25.4L);
        height = RoundToPixel(static_cast<long double>(metrics.PPIY) * FPaperWidth / 25.4L);
    } else {
        width = RoundToPixel(static_cast<long double>(metrics.PPIX) * FPaperWidth / 25.4L);
        height = RoundToPixel(static_cast<long double>(metrics.PPIY) * FPaperHeight / 25.4L);
    }
    // The metrics were read with the orientation already set, so the printable area's corner is at
    // (left, top) of the sheet as it lies, in landscape as in portrait.
    FPrinterRect = TRect(-metrics.MarginLeft, -metrics.MarginTop,
        ClampToInt(qint64(width) - metrics.MarginLeft), ClampToInt(qint64(height) - metrics.MarginTop));
    printer.BeginDoc();
    FDocumentStarted = true;
    FNewPagePending = false;
}

void TRLSpoolFilter::DrawPage(TRLGraphicSurface* Surface)
{
    // A page that does not carry its own paper (an older or hand-made page) is printed on the
    // document's paper rather than on a sheet of no size.
    bool hasWidth = false;
    bool hasHeight = false;
    bool hasOrientation = false;
    MacroValue(Surface->MacroValues, QStringLiteral("PaperWidth"), &hasWidth);
    MacroValue(Surface->MacroValues, QStringLiteral("PaperHeight"), &hasHeight);
    MacroValue(Surface->MacroValues, QStringLiteral("Orientation"), &hasOrientation);
    SetDocumentBounds(hasWidth ? Surface->PaperWidth() : FPaperWidth,
        hasHeight ? Surface->PaperHeight() : FPaperHeight,
        hasOrientation ? Surface->Orientation() : FOrientation);
    if (FNewPagePending) {
        FNewPagePending = false;
        PrinterWrapper().NewPage();
    }
    DrawSurface(PrinterWrapper().PrinterCanvas(), *Surface, FPrinterRect);
}

void TRLSpoolFilter::DrawSurface(
    TRLCanvas& Canvas, const TRLGraphicSurface& Surface, const TRect& PrinterRect)
{
    const double xFactor
        = Surface.Width() == 0 ? 1.0 : double(qint64(PrinterRect.Right) - PrinterRect.Left) / Surface.Width();
    const double yFactor = Surface.Height() == 0
        ? 1.0
        : double(qint64(PrinterRect.Bottom) - PrinterRect.Top) / Surface.Height();
    const TSheetMap map { xFactor, yFactor, PrinterRect.Left, PrinterRect.Top };

    // Newest first; the current clip starts as the whole sheet.
    QList<TRect> clips;
    TRect current = PrinterRect;
    ClipCanvas(Canvas, PrinterRect);

    struct TUnclip
    {
        TRLCanvas& Canvas;
        QList<TRect>& Clips;
        ~TUnclip()
        {
            UnclipCanvas(Canvas);
            Clips.clear();
        }
    } unclip { Canvas, clips };

    for (int i = 0; i < Surface.ObjectCount(); ++i) {
        const TRLGraphicObject* object = Surface.Objects(i);
        switch (object->Kind()) {
        case okPixel: {
            const auto* pixel = static_cast<const TRLPixelObject*>(object);
            Canvas.Brush().SetColor(FromMetaColor(pixel->Color));
            Canvas.Brush().SetStyle(bsSolid);
            Canvas.FillRect(map.Rect(pixel->BoundsRect));
            break;
        }
        case okLine: {
            const auto* line = static_cast<const TRLLineObject*>(object);
            const TPoint from = map.Point(line->FromPoint);
            const TPoint to = map.Point(line->ToPoint);
            PenFor(Canvas, line->Pen, xFactor);
            BrushToCanvas(line->Brush, Canvas.Brush());
            Canvas.MoveTo(from.x(), from.y());
            DashedLineTo(Canvas, to.x(), to.y());
            break;
        }
        case okRectangle: {
            const auto* rectangle = static_cast<const TRLRectangleObject*>(object);
            const TRect r = map.Rect(rectangle->BoundsRect);
            PenFor(Canvas, rectangle->Pen, xFactor);
            BrushToCanvas(rectangle->Brush, Canvas.Brush());
            Canvas.Rectangle(r);
            break;
        }
        case okText: {
            const auto* text = static_cast<const TRLTextObject*>(object);
            const TRect r = map.Rect(text->BoundsRect);
            const TPoint origin = map.Point(text->Origin);
            BrushToCanvas(text->Brush, Canvas.Brush());
            FontToCanvas(text->Font, Canvas.Font(), yFactor);
            DrawText(Canvas, r, origin.x(), origin.y(), text->DisplayText(), text->Alignment, text->Layout,
                text->TextFlags);
            break;
        }
        case okFillRect: {
            const auto* fill = static_cast<const TRLFillRectObject*>(object);
            BrushToCanvas(fill->Brush, Canvas.Brush());
            Canvas.FillRect(map.Rect(fill->BoundsRect));
            break;
        }
        case okEllipse: {
            const auto* ellipse = static_cast<const TRLEllipseObject*>(object);
            const TRect r = map.Rect(ellipse->BoundsRect);
            PenFor(Canvas, ellipse->Pen, xFactor);
            BrushToCanvas(ellipse->Brush, Canvas.Brush());
            Canvas.Ellipse(r.Left, r.Top, r.Right, r.Bottom);
            break;
        }
        case okPolygon: {
            const auto* polygon = static_cast<const TRLPolygonObject*>(object);
            const QList<TPoint> points = map.Points(polygon->Points);
            PenFor(Canvas, polygon->Pen, xFactor);
            BrushToCanvas(polygon->Brush, Canvas.Brush());
            Canvas.Polygon(points);
            break;
        }
        case okPolyline: {
            const auto* polyline = static_cast<const TRLPolylineObject*>(object);
            const QList<TPoint> points = map.Points(polyline->Points);
            PenFor(Canvas, polyline->Pen, xFactor);
            Canvas.Brush().SetStyle(bsClear);
            Canvas.Polyline(points);
            break;
        }
        case okImage: {
            const auto* image = static_cast<const TRLImageObject*>(object);
            DrawImageData(Canvas, map.Rect(image->BoundsRect), image->Data, image->IntegralWidth);
            break;
        }
        case okSetClipRect:
            clips.prepend(current);
            current = map.Rect(object->BoundsRect);
            ClipCanvas(Canvas, current);
            break;
        case okResetClipRect:
            // A reset without its set (a damaged page) keeps the clip it has instead of failing.
            if (!clips.isEmpty())
                current = clips.takeFirst();
            ClipCanvas(Canvas, current);
            break;
        default:
            break; // a kind the printer does not know is skipped
        }
    }
}

// --- process-wide --------------------------------------------------------------------------------

TRLCustomPrintFilter* DefaultPrintFilter()
{
    if (!DefaultSpoolFilter) {
        DefaultSpoolFilter = new TRLSpoolFilter(nullptr);
        if (QCoreApplication::instance())
            qAddPostRoutine(FreeDefaultSpoolFilter);
    }
    return DefaultSpoolFilter;
}

void PrintPages(
    TRLGraphicStorage* Pages, TRLCustomFilter* Filter, int FirstPage, int LastPage, bool Background)
{
    TRLCustomFilter* filter = Filter ? Filter : DefaultPrintFilter();
    filter->ProcessPages(Pages, FirstPage, LastPage, Background);
}
