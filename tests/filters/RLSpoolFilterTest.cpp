// The printer filter: every kind of page object mapped onto the sheet rectangle, clipping, the sheet
// rectangle from paper and printer metrics, one print job per paper and orientation, and whole runs
// printed into PDF files by stand-in printers and read back by an independent renderer.
#include "filters/RLSpoolFilter.h"

#include "engine/RLConsts.h"
#include "filters/RLPrinterWrapper.h"
#include "pagestore/RLCanvas.h"
#include "pagestore/RLMetaFile.h"
#include "platform/Exceptions.h"

#include <QFile>
#include <QImage>
#include <QPageLayout>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

constexpr QRgb White = 0xFFFFFFFF;

TRLMetaColor Meta(int R, int G, int B)
{
    TRLMetaColor c;
    c.Red = uint8_t(R);
    c.Green = uint8_t(G);
    c.Blue = uint8_t(B);
    return c;
}

const TRLMetaColor MetaBlack = Meta(0, 0, 0);
const TRLMetaColor MetaRed = Meta(255, 0, 0);
const TRLMetaColor MetaBlue = Meta(0, 0, 255);
const TRLMetaColor MetaGreen = Meta(0, 255, 0);

TRLMetaBrush SolidBrush(TRLMetaColor Color)
{
    TRLMetaBrush brush;
    brush.Color = Color;
    brush.Style = MetaBrushStyleSolid;
    return brush;
}

TRLMetaPen Pen(TRLMetaColor Color, int Width)
{
    TRLMetaPen pen;
    pen.Color = Color;
    pen.Width = Width;
    return pen;
}

QImage Blank(int Width, int Height)
{
    QImage image(Width, Height, QImage::Format_RGB32);
    image.fill(White);
    return image;
}

QRgb Rgb(TRLMetaColor C)
{
    return qRgb(C.Red, C.Green, C.Blue);
}

// Inclusive bounds of every pixel of one colour.
QRect Extent(const QImage& Image, QRgb Color)
{
    QRect found;
    for (int y = 0; y < Image.height(); ++y)
        for (int x = 0; x < Image.width(); ++x)
            if (Image.pixel(x, y) == Color)
                found |= QRect(x, y, 1, 1);
    return found;
}

void Spool(QImage& Image, const TRLGraphicSurface& Surface, const TRect& Sheet)
{
    TRLCanvas canvas(&Image);
    TRLSpoolFilter::DrawSurface(canvas, Surface, Sheet);
    EXPECT_FALSE(canvas.HasClip()); // the canvas is left unclipped
}

// --- mapping onto the sheet ------------------------------------------------------------------------

TEST(SpoolDrawing, FilledShapesLandOnTheMappedRectangles)
{
    // A 100 x 50 page onto a sheet of 300 x 150 at (10, 20): factor 3 both ways.
    TRLGraphicSurface page;
    page.SetWidth(100);
    page.SetHeight(50);
    auto* fill = new TRLFillRectObject(&page);
    fill->BoundsRect = TRect(10, 10, 20, 20);
    fill->Brush = SolidBrush(MetaRed);
    auto* rectangle = new TRLRectangleObject(&page);
    rectangle->BoundsRect = TRect(30, 10, 40, 20);
    rectangle->Pen = Pen(MetaBlack, 1);
    rectangle->Brush = SolidBrush(MetaBlue);
    auto* pixel = new TRLPixelObject(&page);
    pixel->BoundsRect = TRect(50, 10, 50, 10); // collapsed: still one sheet pixel
    pixel->Color = MetaGreen;

    QImage image = Blank(340, 190);
    Spool(image, page, TRect(10, 20, 310, 170));

    struct TCase
    {
        const char* What;
        QRgb Color;
        QRect Expected;
    };
    const TCase cases[] = {
        { "fill", Rgb(MetaRed), QRect(QPoint(40, 50), QPoint(69, 79)) },
        { "rectangle inside", Rgb(MetaBlue), QRect(QPoint(101, 51), QPoint(128, 78)) },
        { "rectangle outline", qRgb(0, 0, 0), QRect(QPoint(100, 50), QPoint(129, 79)) },
        { "pixel", Rgb(MetaGreen), QRect(160, 50, 1, 1) },
    };
    for (const TCase& c : cases)
        EXPECT_EQ(Extent(image, c.Color), c.Expected) << c.What;
}

TEST(SpoolDrawing, CollapsedRectanglesKeepOneSheetPixel)
{
    struct TCase
    {
        TRect Bounds;
        QRect Expected;
    };
    const TCase cases[] = {
        { TRect(10, 10, 10, 20), QRect(QPoint(30, 30), QPoint(30, 59)) }, // no width
        { TRect(10, 10, 20, 10), QRect(QPoint(30, 30), QPoint(59, 30)) }, // no height
        { TRect(10, 10, 5, 20), QRect(QPoint(30, 30), QPoint(30, 59)) }, // right before left
    };
    for (const TCase& c : cases) {
        TRLGraphicSurface page;
        page.SetWidth(100);
        page.SetHeight(100);
        auto* fill = new TRLFillRectObject(&page);
        fill->BoundsRect = c.Bounds;
        fill->Brush = SolidBrush(MetaRed);
        QImage image = Blank(300, 300);
        Spool(image, page, TRect(0, 0, 300, 300));
        EXPECT_EQ(Extent(image, Rgb(MetaRed)), c.Expected)
            << c.Bounds.Left << "," << c.Bounds.Top << "," << c.Bounds.Right << "," << c.Bounds.Bottom;
    }
}

TEST(SpoolDrawing, ASurfaceWithoutSizeIsDrawnAtScaleOne)
{
    TRLGraphicSurface page; // width and height 0
    auto* fill = new TRLFillRectObject(&page);
    fill->BoundsRect = TRect(5, 5, 15, 15);
    fill->Brush = SolidBrush(MetaRed);
    QImage image = Blank(200, 100);
    Spool(image, page, TRect(10, 10, 110, 60));
    EXPECT_EQ(Extent(image, Rgb(MetaRed)), QRect(15, 15, 10, 10));
}

TEST(SpoolDrawing, FactorsRoundHalfToEvenFromTheSheetCorner)
{
    // Sheet 150 wide for a page of 100: factor 1.5; 3 x 1.5 = 4.5 rounds to 4, 5 x 1.5 = 7.5 to 8.
    TRLGraphicSurface page;
    page.SetWidth(100);
    page.SetHeight(100);
    auto* fill = new TRLFillRectObject(&page);
    fill->BoundsRect = TRect(3, 3, 5, 5);
    fill->Brush = SolidBrush(MetaRed);
    QImage image = Blank(200, 200);
    Spool(image, page, TRect(20, 30, 170, 180));
    EXPECT_EQ(Extent(image, Rgb(MetaRed)), QRect(QPoint(24, 34), QPoint(27, 37)));
}

TEST(SpoolDrawing, LinesShapesAndPolylinesScaleWithThePage)
{
    TRLGraphicSurface page;
    page.SetWidth(100);
    page.SetHeight(100);
    auto* line = new TRLLineObject(&page);
    line->FromPoint = TPoint(10, 10);
    line->ToPoint = TPoint(40, 10);
    line->Pen = Pen(MetaRed, 2); // a wide pen grows with the page: 2 x 2 = 4
    line->Brush.Style = MetaBrushStyleClear;
    auto* ellipse = new TRLEllipseObject(&page);
    ellipse->BoundsRect = TRect(50, 50, 90, 90);
    ellipse->Pen = Pen(MetaBlack, 1);
    ellipse->Brush = SolidBrush(MetaBlue);
    auto* polygon = new TRLPolygonObject(&page);
    polygon->Points = { TPoint(10, 50), TPoint(40, 50), TPoint(10, 80) };
    polygon->Pen = Pen(MetaGreen, 1);
    polygon->Brush = SolidBrush(MetaGreen);
    auto* polyline = new TRLPolylineObject(&page);
    polyline->Points = { TPoint(60, 10), TPoint(90, 10), TPoint(90, 40) };
    polyline->Pen = Pen(MetaBlack, 1);

    QImage image = Blank(220, 220);
    Spool(image, page, TRect(0, 0, 200, 200));

    const QRect red = Extent(image, Rgb(MetaRed));
    EXPECT_EQ(red.left(), 20);
    EXPECT_EQ(red.right(), 79);
    EXPECT_EQ(red.height(), 4);
    const QRect blue = Extent(image, Rgb(MetaBlue));
    EXPECT_GE(blue.left(), 100);
    EXPECT_LE(blue.right(), 179);
    EXPECT_EQ(image.pixel(140, 140), Rgb(MetaBlue)); // the ellipse's middle
    EXPECT_EQ(image.pixel(102, 102), White); // the box's corner is outside the curve
    EXPECT_EQ(image.pixel(30, 110), Rgb(MetaGreen));
    EXPECT_EQ(image.pixel(75, 155), White); // beyond the triangle's diagonal
    EXPECT_EQ(image.pixel(150, 20), qRgb(0, 0, 0)); // the polyline...
    EXPECT_EQ(image.pixel(180, 50), qRgb(0, 0, 0));
    EXPECT_EQ(image.pixel(150, 50), White); // ...fills nothing
}

TEST(SpoolDrawing, TextIsDrawnInsideItsMappedRectangle)
{
    TRLGraphicSurface page;
    page.SetWidth(100);
    page.SetHeight(100);
    TFont font;
    font.SetName(QStringLiteral("Liberation Sans"));
    font.SetSize(10);
    font.SetColor(clBlack);
    page.SetFont(font);
    TBrush clear;
    clear.SetStyle(bsClear);
    page.SetBrush(clear);
    page.WriteText(TRect(10, 10, 90, 30), 10, 10, QStringLiteral("Inventário"), MetaTextAlignmentLeft,
        MetaTextLayoutTop, TextFlagKeepWhole);

    QImage image = Blank(220, 220);
    Spool(image, page, TRect(0, 0, 200, 200));
    QRect ink;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != White)
                ink |= QRect(x, y, 1, 1);
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_GE(ink.left(), 20);
    EXPECT_GE(ink.top(), 20);
    EXPECT_LT(ink.right(), 180);
    EXPECT_LT(ink.bottom(), 60);
    // At twice the size a 10-point text is about 26 pixels tall, not 13.
    EXPECT_GT(ink.height(), 18);
}

TEST(SpoolDrawing, ImagesAreStretchedIntoTheMappedRectangle)
{
    QImage bitmap(4, 4, QImage::Format_RGB32);
    bitmap.fill(qRgb(255, 0, 0));
    TRLGraphicSurface page;
    page.SetWidth(100);
    page.SetHeight(100);
    auto* picture = new TRLImageObject(&page);
    picture->BoundsRect = TRect(10, 10, 30, 20);
    picture->Data = QByteArray("BMP") + TGraphic(bitmap, gkBitmap).SaveToBytes();
    auto* nothing = new TRLImageObject(&page);
    nothing->BoundsRect = TRect(50, 50, 90, 90);
    nothing->Data = QByteArray("NIL");
    QImage image = Blank(200, 200);
    Spool(image, page, TRect(0, 0, 200, 200));
    EXPECT_EQ(Extent(image, qRgb(255, 0, 0)), QRect(QPoint(20, 20), QPoint(59, 39)));
}

TEST(SpoolDrawing, ClipRectanglesNestAndResetToTheOneBefore)
{
    TRLGraphicSurface page;
    page.SetWidth(100);
    page.SetHeight(100);
    auto* outer = new TRLSetClipRectObject(&page);
    outer->BoundsRect = TRect(10, 10, 60, 60);
    auto* inner = new TRLSetClipRectObject(&page);
    inner->BoundsRect = TRect(20, 20, 30, 30);
    auto* red = new TRLFillRectObject(&page);
    red->BoundsRect = TRect(0, 0, 100, 100);
    red->Brush = SolidBrush(MetaRed);
    new TRLResetClipRectObject(&page);
    auto* blue = new TRLFillRectObject(&page);
    blue->BoundsRect = TRect(0, 0, 15, 100);
    blue->Brush = SolidBrush(MetaBlue);
    new TRLResetClipRectObject(&page);
    // A reset too many (a damaged page) keeps the sheet's clip rather than failing.
    new TRLResetClipRectObject(&page);
    auto* green = new TRLFillRectObject(&page);
    green->BoundsRect = TRect(90, 0, 120, 10);
    green->Brush = SolidBrush(MetaGreen);

    QImage image = Blank(260, 240);
    Spool(image, page, TRect(0, 0, 200, 200));
    EXPECT_EQ(Extent(image, Rgb(MetaRed)), QRect(QPoint(40, 40), QPoint(59, 59)));
    EXPECT_EQ(Extent(image, Rgb(MetaBlue)), QRect(QPoint(20, 20), QPoint(29, 119)));
    EXPECT_EQ(Extent(image, Rgb(MetaGreen)), QRect(QPoint(180, 0), QPoint(199, 19))); // clipped to the sheet
}

// --- print runs through stand-in printers ----------------------------------------------------------

// A printer that notes the copy count it had when its job was over and it was let go.
class TNotingPrinter : public QPrinter
{
public:
    explicit TNotingPrinter(std::shared_ptr<QList<int>> Copies)
        : QPrinter(QPrinter::HighResolution)
        , FCopies(std::move(Copies))
    { }
    ~TNotingPrinter() override { FCopies->append(copyCount()); }

private:
    std::shared_ptr<QList<int>> FCopies;
};

// Printers that print into PDF files at 300 dpi, a new file per printer object, so one per job.
class TPdfPrinters : public TRLPrinterBackend
{
public:
    explicit TPdfPrinters(QString Folder)
        : FFolder(std::move(Folder))
    { }
    QMarginsF MarginsMm { 6.35, 6.35, 6.35, 6.35 };
    QStringList Files;
    // Each printer's copy count when it went, in the order they went.
    std::shared_ptr<QList<int>> CopiesAtEnd = std::make_shared<QList<int>>();

    QStringList PrinterNames() override { return { QStringLiteral("Balcao") }; }
    QString DefaultPrinterName() override { return QStringLiteral("Balcao"); }
    std::unique_ptr<QPrinter> CreatePrinter(const QString&) override
    {
        auto printer = std::make_unique<TNotingPrinter>(CopiesAtEnd);
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setResolution(300);
        printer->setPageSize(QPageSize(QPageSize::Letter));
        printer->setPageMargins(MarginsMm, QPageLayout::Millimeter);
        Files << FFolder + QStringLiteral("/job%1.pdf").arg(Files.size() + 1);
        printer->setOutputFileName(Files.last());
        return printer;
    }
    QStringList Jobs() const
    {
        QStringList jobs;
        for (const QString& file : Files)
            if (QFile::exists(file))
                jobs << file;
        return jobs;
    }

private:
    QString FFolder;
};

bool HasPoppler()
{
    return !QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty()
        && !QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty();
}

QString PdfInfo(const QString& File)
{
    QProcess process;
    process.start(QStringLiteral("pdfinfo"), { File });
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

bool PdfHasPages(const QString& Info, int Count)
{
    return Info.contains(QRegularExpression(QStringLiteral("Pages:\\s+%1\\b").arg(Count)));
}

// The first page rendered at 300 dpi by poppler.
QImage Render(const QString& File)
{
    const QString prefix = File + QStringLiteral(".render");
    QProcess process;
    process.start(QStringLiteral("pdftoppm"),
        { QStringLiteral("-r"), QStringLiteral("300"), QStringLiteral("-png"), QStringLiteral("-singlefile"),
            File, prefix });
    process.waitForFinished(60000);
    return QImage(prefix + QStringLiteral(".png")).convertToFormat(QImage::Format_RGB32);
}

bool Dark(const QImage& Image, int X, int Y)
{
    return qGray(Image.pixel(X, Y)) < 64;
}

// A page of the store's paper with a black inch square one inch from the corner.
TRLGraphicSurface* SquarePage(double PaperWidth, double PaperHeight, int Orientation)
{
    auto* page = new TRLGraphicSurface;
    const bool landscape = Orientation == 2;
    page->SetWidth(PaperMillimetresToPixels(landscape ? PaperHeight : PaperWidth));
    page->SetHeight(PaperMillimetresToPixels(landscape ? PaperWidth : PaperHeight));
    page->SetPaperWidth(PaperWidth);
    page->SetPaperHeight(PaperHeight);
    page->SetOrientation(Orientation);
    auto* fill = new TRLFillRectObject(page);
    fill->BoundsRect = TRect(96, 96, 192, 192);
    fill->Brush = SolidBrush(MetaBlack);
    return page;
}

class SpoolRun : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Folder.isValid());
        auto backend = std::make_unique<TPdfPrinters>(Folder.path());
        Printers = backend.get();
        PrinterWrapper().SetBackend(std::move(backend));
        Root = std::make_unique<TComponent>();
        Store = new TRLGraphicStorage(Root.get());
    }
    void TearDown() override { PrinterWrapper().SetBackend(nullptr); }
    void PrintAll(TRLSpoolFilter& Filter)
    {
        Filter.SetShowProgress(false);
        Filter.ProcessPages(Store, 1, -1, false);
    }
    void SetStorePaper(double Width, double Height, int Orientation)
    {
        Store->SetPaperWidth(Width);
        Store->SetPaperHeight(Height);
        Store->SetOrientation(Orientation);
    }

    QTemporaryDir Folder;
    TPdfPrinters* Printers = nullptr;
    std::unique_ptr<TComponent> Root;
    TRLGraphicStorage* Store = nullptr;
};

TEST_F(SpoolRun, SheetRectangleComesFromThePaperAndTheUnprintableBorders)
{
    struct TCase
    {
        double Width;
        double Height;
        int Orientation;
        TRect Expected;
    };
    // 300 dpi; A4 is 2480 x 3508 dots; the quarter-inch border (75 dots) moves the sheet up and left.
    const TCase cases[] = {
        { 210, 297, 1, TRect(-75, -75, 2405, 3433) },
        { 210, 297, 2, TRect(-75, -75, 3433, 2405) },
        { 100, 150, 1, TRect(-75, -75, 1106, 1697) },
        // "Printer default" paper: the printer's own Letter sheet.
        { -1, -1, 1, TRect(-75, -75, 2475, 3225) },
    };
    for (const TCase& c : cases) {
        TRLSpoolFilter filter;
        filter.SetDocumentBounds(c.Width, c.Height, c.Orientation);
        EXPECT_TRUE(filter.DocumentStarted());
        EXPECT_EQ(filter.PrinterRect(), c.Expected) << c.Width << " x " << c.Height << " / " << c.Orientation;
        PrinterWrapper().EndDoc();
    }
}

TEST_F(SpoolRun, SameBoundsKeepTheJobAndOthersStartANewOne)
{
    TRLSpoolFilter filter;
    filter.SetDocumentBounds(210, 297, 1);
    QPrinter* first = PrinterWrapper().Printer();
    filter.SetDocumentBounds(210, 297, 1);
    EXPECT_EQ(PrinterWrapper().Printer(), first); // nothing happened
    EXPECT_EQ(Printers->Files.size(), 1);
    filter.SetDocumentBounds(210, 297, 2);
    // The job ended and the printer was selected again. Counted, not compared by address: the new
    // printer object may take the freed one's address, as the thread checker's allocator showed.
    EXPECT_EQ(Printers->Files.size(), 2);
    EXPECT_EQ(Printers->Jobs().size(), 2); // the first job written out, the second begun
    EXPECT_EQ(PrinterWrapper().Printer()->pageLayout().orientation(), QPageLayout::Landscape);
    PrinterWrapper().EndDoc();
    EXPECT_EQ(Printers->Jobs().size(), 2);
    EXPECT_EQ(Printers->Files.size(), 3); // selected again after the second job
}

TEST_F(SpoolRun, PrintsTheSquareWhereTheReportPutIt)
{
    SetStorePaper(210, 297, 1);
    Store->Add(SquarePage(210, 297, 1));
    TRLSpoolFilter filter;
    PrintAll(filter);
    EXPECT_FALSE(filter.DocumentStarted());
    ASSERT_EQ(Printers->Jobs().size(), 1);
    if (!HasPoppler())
        GTEST_SKIP() << "poppler is not installed";
    const QString info = PdfInfo(Printers->Jobs().first());
    EXPECT_TRUE(
        info.contains(QRegularExpression(QStringLiteral("Page size:\\s+595(\\.\\d+)? x 84[12](\\.\\d+)?"))))
        << qPrintable(info);
    const QImage sheet = Render(Printers->Jobs().first());
    ASSERT_EQ(sheet.width(), 2480);
    ASSERT_NEAR(sheet.height(), 3508, 1); // the page is stored in whole points
    // One inch is 300 dots: the square covers 300..599 on the paper.
    EXPECT_TRUE(Dark(sheet, 305, 305));
    EXPECT_TRUE(Dark(sheet, 594, 594));
    EXPECT_TRUE(Dark(sheet, 450, 450));
    EXPECT_FALSE(Dark(sheet, 294, 450));
    EXPECT_FALSE(Dark(sheet, 605, 450));
    EXPECT_FALSE(Dark(sheet, 450, 294));
    EXPECT_FALSE(Dark(sheet, 450, 605));
}

// Also guards against the first job ending with a blank sheet: the sheet turned for page 2 belonged
// to a job that page 2 never printed in.
TEST_F(SpoolRun, ALandscapeSecondPageIsASecondJobBegunInLandscape)
{
    SetStorePaper(210, 297, 1);
    Store->Add(SquarePage(210, 297, 1));
    Store->Add(SquarePage(210, 297, 2));
    TRLSpoolFilter filter;
    PrintAll(filter);
    const QStringList jobs = Printers->Jobs();
    ASSERT_EQ(jobs.size(), 2);
    if (!HasPoppler())
        GTEST_SKIP() << "poppler is not installed";
    const QString first = PdfInfo(jobs.at(0));
    const QString second = PdfInfo(jobs.at(1));
    EXPECT_TRUE(PdfHasPages(first, 1)) << qPrintable(first);
    EXPECT_TRUE(
        first.contains(QRegularExpression(QStringLiteral("Page size:\\s+595(\\.\\d+)? x 84[12](\\.\\d+)?"))))
        << qPrintable(first);
    EXPECT_TRUE(PdfHasPages(second, 1)) << qPrintable(second);
    EXPECT_TRUE(
        second.contains(QRegularExpression(QStringLiteral("Page size:\\s+84[12](\\.\\d+)? x 595(\\.\\d+)?"))))
        << qPrintable(second);
}

// A job ends when the paper changes, and the printer is selected again with its own settings; the
// copies asked for the run are for every job of it.
TEST_F(SpoolRun, EveryJobOfARunPrintsTheCopiesAskedFor)
{
    SetStorePaper(210, 297, 1);
    Store->Add(SquarePage(210, 297, 1));
    Store->Add(SquarePage(210, 297, 2));
    Store->Add(SquarePage(148, 210, 1));
    PrinterWrapper().SetPrinterCopies(3);
    TRLSpoolFilter filter;
    PrintAll(filter);
    ASSERT_EQ(Printers->Jobs().size(), 3);
    // The three jobs' printers are gone; the one selected after the run starts from its own count.
    ASSERT_GE(Printers->CopiesAtEnd->size(), 3);
    EXPECT_EQ(Printers->CopiesAtEnd->mid(0, 3), QList<int>({ 3, 3, 3 }));
    EXPECT_EQ(PrinterWrapper().PrinterCopies(), 1);
}

TEST_F(SpoolRun, ABackgroundRunPrintsOnItsOwnThread)
{
    SetStorePaper(210, 297, 1);
    Store->Add(SquarePage(210, 297, 1));
    Store->Add(SquarePage(210, 297, 1));
    TRLSpoolFilter filter;
    filter.SetShowProgress(false);
    filter.ProcessPages(Store, 1, -1, true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Store->LinkCount() == 0; }, 30000));
    QTest::qWait(50); // lets the finished thread delete itself
    EXPECT_FALSE(PrinterWrapper().Printing());
    ASSERT_EQ(Printers->Jobs().size(), 1);
    if (!HasPoppler())
        GTEST_SKIP() << "poppler is not installed";
    const QString info = PdfInfo(Printers->Jobs().first());
    EXPECT_TRUE(PdfHasPages(info, 2)) << qPrintable(info);
    EXPECT_TRUE(Dark(Render(Printers->Jobs().first()), 450, 450));
}

TEST_F(SpoolRun, PagesOfOnePaperShareOneJob)
{
    SetStorePaper(210, 297, 1);
    Store->Add(SquarePage(210, 297, 1));
    Store->Add(SquarePage(210, 297, 1));
    // A page without paper values of its own is printed on the document's paper.
    auto* bare = new TRLGraphicSurface;
    bare->SetWidth(794);
    bare->SetHeight(1123);
    Store->Add(bare);
    TRLSpoolFilter filter;
    PrintAll(filter);
    const QStringList jobs = Printers->Jobs();
    ASSERT_EQ(jobs.size(), 1);
    if (!HasPoppler())
        GTEST_SKIP() << "poppler is not installed";
    const QString info = PdfInfo(jobs.first());
    EXPECT_TRUE(PdfHasPages(info, 3)) << qPrintable(info);
}

TEST_F(SpoolRun, LandscapeSheetsStartAtTheBordersOfTheSheetAsItLies)
{
    // Unequal borders: 10 mm left, 5 mm top of the landscape sheet. The square must still be one
    // inch from the paper's corner.
    Printers->MarginsMm = QMarginsF(10, 5, 0, 0);
    SetStorePaper(215.9, 279.4, 2);
    Store->Add(SquarePage(215.9, 279.4, 2));
    TRLSpoolFilter filter;
    PrintAll(filter);
    ASSERT_EQ(Printers->Jobs().size(), 1);
    if (!HasPoppler())
        GTEST_SKIP() << "poppler is not installed";
    const QImage sheet = Render(Printers->Jobs().first());
    ASSERT_EQ(sheet.size(), QSize(3300, 2550));
    EXPECT_TRUE(Dark(sheet, 305, 305));
    EXPECT_TRUE(Dark(sheet, 594, 594));
    EXPECT_FALSE(Dark(sheet, 294, 450));
    EXPECT_FALSE(Dark(sheet, 450, 294));
    EXPECT_FALSE(Dark(sheet, 605, 450));
    EXPECT_FALSE(Dark(sheet, 450, 605));
}

TEST_F(SpoolRun, WithoutAPrinterTheRunFailsWithPrinterNotFoundAndEndsTheDocument)
{
    class TNone : public TRLPrinterBackend
    {
    public:
        QStringList PrinterNames() override { return {}; }
        QString DefaultPrinterName() override { return {}; }
        std::unique_ptr<QPrinter> CreatePrinter(const QString&) override { return nullptr; }
    };
    PrinterWrapper().SetBackend(std::make_unique<TNone>());
    SetStorePaper(210, 297, 1);
    Store->Add(SquarePage(210, 297, 1));
    TRLSpoolFilter filter;
    try {
        PrintAll(filter);
        FAIL() << "printed without a printer";
    } catch (const Exception& error) {
        EXPECT_EQ(error.Message(), RLMessage(RLMsgPrinterNotFound));
    }
    EXPECT_FALSE(filter.DocumentStarted());
    EXPECT_FALSE(PrinterWrapper().Printing());
    EXPECT_FALSE(Store->IsLinked(&filter));
}

TEST_F(SpoolRun, PrintPagesUsesTheGivenFilterOrTheDefaultPrinterFilter)
{
    TRLCustomPrintFilter* byDefault = DefaultPrintFilter();
    ASSERT_NE(byDefault, nullptr);
    EXPECT_EQ(DefaultPrintFilter(), byDefault);
    EXPECT_NE(qobject_cast<TRLSpoolFilter*>(byDefault), nullptr);
    EXPECT_EQ(byDefault->Owner(), nullptr);
    EXPECT_TRUE(byDefault->Name().isEmpty());
    EXPECT_TRUE(byDefault->GetDisplayName().isEmpty());
    EXPECT_TRUE(FilterList().contains(byDefault));
    byDefault->SetShowProgress(false);

    SetStorePaper(210, 297, 1);
    Store->Add(SquarePage(210, 297, 1));
    Store->Add(SquarePage(210, 297, 1));
    PrintPages(Store, nullptr, 2, -1, false);
    ASSERT_EQ(Printers->Jobs().size(), 1);

    TRLSpoolFilter mine;
    mine.SetShowProgress(false);
    PrintPages(Store, &mine, 1, -1, false);
    ASSERT_EQ(Printers->Jobs().size(), 2);
    if (!HasPoppler())
        GTEST_SKIP() << "poppler is not installed";
    EXPECT_TRUE(PdfHasPages(PdfInfo(Printers->Jobs().at(0)), 1));
    EXPECT_TRUE(PdfHasPages(PdfInfo(Printers->Jobs().at(1)), 2));
}

} // namespace
