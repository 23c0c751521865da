// The byte level of the PDF writer: the number notation (locale-proof), string and name escaping,
// object bookkeeping, the cross-reference table, the catalog's viewer settings and write failures.
#include "filters/RLPDFWriter.h"

#include "platform/Exceptions.h"

#include <QBuffer>
#include <QIODevice>
#include <QRegularExpression>

#include <clocale>
#include <gtest/gtest.h>

namespace {

TEST(PDFNumber, FormatsPixelsAsPointsWithoutLocale)
{
    // The tests run under pt_BR, whose C locale writes "0,75": the notation must not care.
    ASSERT_NE(std::setlocale(LC_ALL, nullptr), nullptr);
    struct TCase
    {
        double Pixels;
        const char* Expected;
    } cases[] = {
        { 72, "54" },
        { 1, "0.75" },
        { 100, "75" },
        { 96, "72" },
        { 0, "0" },
        { -1, "-0.75" },
        { 793.7007874015748, "595.2756" },
        { 1122.5196850393702, "841.8898" },
        { 2147483647, "1610612735.25" },
        { -2147483648.0, "-1610612736" },
    };
    for (const TCase& c : cases)
        EXPECT_EQ(PDFNumber(PixelsToPoints(c.Pixels)), QByteArray(c.Expected)) << c.Pixels;
}

TEST(PDFNumber, TrimsZerosAndRoundsToFourDecimals)
{
    struct TCase
    {
        double Value;
        const char* Expected;
    } cases[] = {
        { 72, "72" },
        { 1.5, "1.5" },
        { 0.1, "0.1" },
        { 10.0, "10" },
        { 1.0 / 255, "0.0039" },
        { 128.0 / 255, "0.502" },
        { 0.00004, "0" },
        { -0.00004, "0" }, // never "-0"
        { 0.99996, "1" },
        { 123.45678, "123.4568" },
        { std::numeric_limits<double>::quiet_NaN(), "0" },
        { std::numeric_limits<double>::infinity(), "0" },
    };
    for (const TCase& c : cases)
        EXPECT_EQ(PDFNumber(c.Value), QByteArray(c.Expected)) << c.Value;
}

TEST(PDFEscaping, StringsEscapeDelimitersAndControls)
{
    struct TCase
    {
        QByteArray Text;
        QByteArray Expected;
    } cases[] = {
        { "a(b)\\c", "a\\(b\\)\\\\c" },
        { "\t", "\\011" },
        { QByteArray("\0x", 2), "\\000x" },
        { "\r\n", "\\015\\012" },
        { "\x7f", "\\177" },
        { "\x1f ", "\\037 " },
        { "Pre\xe7o \xe3", "Pre\xe7o \xe3" }, // upper half stays as it is
        { "", "" },
        { "plain text", "plain text" },
    };
    for (const TCase& c : cases)
        EXPECT_EQ(EscapePDFString(c.Text), c.Expected) << c.Text.toHex().constData();
}

TEST(PDFEscaping, OutputEscapesLikeTheStringFunction)
{
    const QByteArray text("x(y)\\\t\xe7z");
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    TRLPDFOutput out(&buffer);
    out.PieceEscaped(text);
    out.Flush();
    EXPECT_EQ(bytes, EscapePDFString(text));
    EXPECT_EQ(out.Position(), bytes.size());
}

TEST(PDFEscaping, NamesEscapeEverythingButRegularCharacters)
{
    struct TCase
    {
        QByteArray Name;
        QByteArray Expected;
    } cases[] = {
        { "Arial,Bold", "Arial,Bold" },
        { "My Font", "My#20Font" },
        { "A/B(C)#", "A#2FB#28C#29#23" },
        { "x<y>[z]{w}%", "x#3Cy#3E#5Bz#5D#7Bw#7D#25" },
        { "Cal\xe7", "Cal#E7" },
        { "\x01", "#01" },
    };
    for (const TCase& c : cases)
        EXPECT_EQ(EscapePDFName(c.Name), c.Expected) << c.Name.constData();
}

struct TPDFOutputFixture : ::testing::Test
{
    QByteArray Bytes;
    QBuffer Buffer { &Bytes };
    std::unique_ptr<TRLPDFOutput> Out;
    void SetUp() override
    {
        Buffer.open(QIODevice::WriteOnly);
        Out = std::make_unique<TRLPDFOutput>(&Buffer);
    }
    QByteArray Written()
    {
        Out->Flush();
        return Bytes;
    }
};

TEST_F(TPDFOutputFixture, GeometryTurnsPixelsIntoPointsFromTheBottom)
{
    Out->SetPageHeight(96);
    Out->PiecePoint(96, 0);
    Out->LineEnd();
    Out->PieceRect(10, 20, 110, 60); // left, page height - bottom, width, height
    Out->LineEnd();
    Out->PieceColor(255, 128, 0);
    Out->LineEnd();
    Out->PieceRef(12);
    EXPECT_EQ(Written(), QByteArray("72 72\r\n7.5 27 75 30\r\n1 0.502 0\r\n12 0 R"));
}

TEST_F(TPDFOutputFixture, ObjectsRecordTheirOffsetsAndStreamsTheirLength)
{
    Out->Line("%PDF-1.2");
    const int first = Out->ReserveObject();
    const int second = Out->ReserveObject();
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 2);
    Out->BeginDictionary(second);
    Out->Line("/Length 1 0 R");
    Out->BeginStream();
    Out->Line("0 0 m");
    const qint64 length = Out->EndStream();
    Out->BeginPlain(first);
    Out->PieceInt(length);
    Out->LineEnd();
    Out->EndPlain();
    EXPECT_EQ(length, 7);
    EXPECT_EQ(Out->ObjectOffset(2), 10);
    EXPECT_EQ(Written(),
        QByteArray(
            "%PDF-1.2\r\n2 0 obj <<\r\n/Length 1 0 R\r\n>>\r\nstream\r\n0 0 m\r\nendstream\r\nendobj\r\n"
            "1 0 obj\r\n7\r\nendobj\r\n"));
    EXPECT_EQ(Out->ObjectOffset(1), Bytes.indexOf("1 0 obj"));
}

TEST_F(TPDFOutputFixture, CrossReferenceEntriesAreTwentyBytesAndPointAtTheirObjects)
{
    Out->Line("%PDF-1.2");
    for (int i = 0; i < 12; ++i)
        Out->ReserveObject();
    // Written out of order, as fonts and the page tree are.
    for (int n : { 3, 1, 2, 12, 4, 5, 6, 7, 8, 9, 10, 11 }) {
        Out->BeginDictionary(n);
        Out->EndDictionary();
    }
    const qint64 xref = Out->Position();
    Out->WriteTrailer(2, 1);
    const QByteArray bytes = Written();
    const QByteArray tail = bytes.mid(xref);
    ASSERT_TRUE(tail.startsWith("xref\r\n0 13\r\n0000000000 65535 f\r\n"));
    const qsizetype entries = tail.indexOf("0000000000 65535 f\r\n");
    for (int n = 0; n <= 12; ++n) {
        const QByteArray entry = tail.mid(entries + 20 * n, 20);
        ASSERT_TRUE(entry.endsWith("\r\n")) << n;
        if (n == 0)
            continue;
        EXPECT_TRUE(entry.endsWith(" 00000 n\r\n")) << entry.constData();
        const qint64 offset = entry.left(10).toLongLong();
        EXPECT_TRUE(bytes.mid(offset).startsWith(QByteArray::number(n) + " 0 obj <<")) << n;
    }
    EXPECT_TRUE(tail.endsWith("trailer\r\n<<\r\n/Size 13\r\n/Root 2 0 R\r\n/Info 1 0 R\r\n>>\r\nstartxref\r\n"
        + QByteArray::number(xref) + "\r\n%%EOF\r\n"));
}

TEST_F(TPDFOutputFixture, LargeWritesPassTheBufferInOrder)
{
    QByteArray big(700000, 'x');
    big[0] = 'A';
    big[big.size() - 1] = 'Z';
    Out->Piece("<");
    Out->PieceBytes(big);
    Out->Piece(">");
    EXPECT_EQ(Out->Position(), big.size() + 2);
    EXPECT_EQ(Written(), "<" + big + ">");
}

// A device that takes nothing, as a full disk does.
class TFullDevice : public QIODevice
{
protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64) override
    {
        setErrorString(QStringLiteral("No space left on device"));
        return -1;
    }
};

TEST(PDFOutput, AFailingDeviceRaisesAnErrorNamingTheFile)
{
    TFullDevice device;
    device.open(QIODevice::WriteOnly);
    TRLPDFOutput out(&device);
    out.SetFileName(QStringLiteral("/media/relatorio.pdf"));
    out.Line("%PDF-1.2");
    try {
        out.Flush();
        FAIL() << "no error";
    } catch (const Exception& error) {
        EXPECT_TRUE(error.Message().contains(QStringLiteral("/media/relatorio.pdf"))) << error.what();
        EXPECT_TRUE(error.Message().contains(QStringLiteral("No space left on device"))) << error.what();
    }
    // Writes larger than the buffer go straight to the device and fail there too.
    EXPECT_THROW(out.PieceBytes(QByteArray(1 << 20, 'x')), Exception);
}

struct TCatalogCase
{
    TRLPDFFilterViewerOptions Options;
    TRLPDFFilterPageMode PageMode;
    TRLPDFFilterPageMode FullPageMode;
    TRLPDFFilterPageLayout Layout;
    const char* Expected; // the lines between "/Pages 3 0 R" and ">> endobj"
    bool Outlines;
};

TEST(PDFCatalog, ViewerSettingsAreWrittenOnlyWhenAsked)
{
    const TCatalogCase cases[] = {
        { voRegular, pmRegular, pmRegular, plRegular, "", false },
        { voRegular, pmThumbs, pmRegular, plRegular, "/PageMode/UseThumbs\r\n", false },
        { voRegular, pmOutlines, pmRegular, plRegular, "/Outlines 4 0 R\r\n/PageMode/UseOutlines\r\n", true },
        { voHideToolBar | voFitWindow, pmRegular, pmRegular, plRegular,
            "/ViewerPreferences [/HideToolBar/FitWindow]\r\n", false },
        { voRegular, pmRegular, pmRegular, plOneColumn, "/ViewerPreferences [/PageLayout/OneColumn]\r\n",
            false },
        { voRegular | voCenterWindow, pmFullScreen, pmThumbs, plTwoColumnRight,
            "/PageMode/FullScreen\r\n/ViewerPreferences "
            "[/CenterWindow/PageLayout/TwoColumnRight/PageMode/UseThumbs]\r\n",
            false },
        // The full-screen page mode only matters in full screen.
        { voHideMenuBar, pmThumbs, pmOutlines, plRegular,
            "/PageMode/UseThumbs\r\n/ViewerPreferences [/HideMenuBar]\r\n", false },
    };
    for (const TCatalogCase& c : cases) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        TRLPDFOutput out(&buffer);
        out.ReserveObject();
        const int catalog = out.ReserveObject();
        int pages = -1;
        int outlines = -1;
        WritePDFCatalog(out, catalog, c.Options, c.PageMode, c.FullPageMode, c.Layout, pages, outlines);
        out.Flush();
        EXPECT_EQ(bytes,
            QByteArray("2 0 obj <<\r\n/Type/Catalog\r\n/Pages 3 0 R\r\n") + c.Expected + ">> endobj\r\n")
            << c.Expected;
        EXPECT_EQ(pages, 3);
        EXPECT_EQ(outlines, c.Outlines ? 4 : 0);
    }
}

TEST(PDFMessages, FailuresSpeakTheUsersLanguage)
{
    // The tests run in Portuguese.
    EXPECT_EQ(PDFCreateErrorMessage(QStringLiteral("a.pdf"), QStringLiteral("x")),
        QStringLiteral("Não foi possível criar o arquivo \"a.pdf\": x"));
    EXPECT_EQ(PDFWriteErrorMessage(QStringLiteral("a.pdf"), QStringLiteral("x")),
        QStringLiteral("Não foi possível gravar o arquivo \"a.pdf\": x"));
}

} // namespace
