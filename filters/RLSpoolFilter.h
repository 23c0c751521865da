#pragma once
// The printer filter: prints the pages of a page store on the selected printer, through the printer
// wrapper. Every page is mapped onto the sheet by the paper size and orientation recorded with it; a
// page whose paper or orientation differs from the one before ends the print job and begins another,
// since a platform print job has one kind of sheet. The sheet is turned only when the next page is
// drawn on it, so a job never ends with a blank sheet left by a change of paper.
//
// The sheet rectangle (PrinterRect) is the whole paper in printer pixels, moved so that the printable
// area's corner, where the printer's painting starts, is the origin: the unprintable borders lie at
// negative coordinates, and a report laid out over the whole paper lands where it was designed.
#include "filters/RLFilters.h"
#include "platform/Rect.h"

class TRLCanvas;

class TRLSpoolFilter : public TRLCustomPrintFilter
{
    Q_OBJECT
public:
    Q_INVOKABLE explicit TRLSpoolFilter(TComponent* AOwner = nullptr);

    // Makes sure the job in progress is for this paper (millimetres, portrait sense) and orientation
    // (1 portrait, 2 landscape): nothing happens when it is; otherwise the job in progress ends, the
    // printer is set up for the paper and a new job begins.
    void SetDocumentBounds(double PaperWidth, double PaperHeight, int Orientation);

    TRect PrinterRect() const { return FPrinterRect; }
    bool DocumentStarted() const { return FDocumentStarted; }
    double PaperWidth() const { return FPaperWidth; }
    double PaperHeight() const { return FPaperHeight; }
    int Orientation() const { return FOrientation; }

    // Draws Surface on Canvas so that its Width x Height fills PrinterRect (a zero width or height
    // counts as scale 1). Every mapped rectangle keeps at least one pixel of width and height. The
    // canvas ends unclipped, also when an object fails to draw.
    static void DrawSurface(TRLCanvas& Canvas, const TRLGraphicSurface& Surface, const TRect& PrinterRect);

protected:
    void BeginDocument() override;
    void EndDocument() override;
    void NewPage() override;
    void DrawPage(TRLGraphicSurface* Surface) override;

private:
    TRect FPrinterRect;
    bool FDocumentStarted = false;
    double FPaperWidth = 0;
    double FPaperHeight = 0;
    int FOrientation = 0;
    bool FNewPagePending = false;
};
