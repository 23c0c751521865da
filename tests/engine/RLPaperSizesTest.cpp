#include "engine/RLPaperSizes.h"

#include <QMetaEnum>
#include <QRegularExpression>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace {

// Read while the program's statics are being initialised, before main: a report created that early
// (a static report definition) must already find the table filled.
const double A4WidthSeenBeforeMain = PaperInfoFor(fpA4).Width;
const QString LetterCaptionSeenBeforeMain = PaperInfoFor(fpLetter).Caption;

TEST(PaperSizeTable, IsFilledBeforeMainRuns)
{
    EXPECT_EQ(A4WidthSeenBeforeMain, 210.0);
    EXPECT_EQ(LetterCaptionSeenBeforeMain, QStringLiteral("Letter 215.9 x 279.4 mm"));
}

TEST(PaperSizeEnumeration, IsPublishedByNameInTableOrder)
{
    const QMetaEnum meta = QMetaEnum::fromType<TRLPaperSize>();
    ASSERT_TRUE(meta.isValid());
    ASSERT_EQ(meta.keyCount(), 142);
    EXPECT_STREQ(meta.name(), "TRLPaperSize");
    for (int i = 0; i < meta.keyCount(); ++i) {
        EXPECT_EQ(meta.value(i), i) << meta.key(i);
        EXPECT_EQ(meta.keyToValue(meta.key(i)), i) << meta.key(i);
    }
    struct Named
    {
        const char* Key;
        TRLPaperSize Value;
    };
    const Named names[] = {
        { "fpA0", fpA0 },
        { "fpA4", fpA4 },
        { "fp9x11", fp9x11 },
        { "fpB4_JIS", fpB4_JIS },
        { "fpLetter", fpLetter },
        { "fpP16K", fpP16K },
        { "fpPEnv_10", fpPEnv_10 },
        { "fpEng_Imperial", fpEng_Imperial },
        { "fpCustom", fpCustom },
        { "fpDefault", fpDefault },
    };
    for (const Named& n : names)
        EXPECT_STREQ(meta.valueToKey(n.Value), n.Key);
    EXPECT_EQ(fpA4, 4);
    EXPECT_EQ(fpLetter, 83);
    EXPECT_EQ(fpEng_Imperial, 139);
    EXPECT_EQ(fpCustom, 140);
}

TEST(PageOrientationEnumeration, IsPublishedByName)
{
    const QMetaEnum meta = QMetaEnum::fromType<TRLPageOrientation>();
    ASSERT_TRUE(meta.isValid());
    ASSERT_EQ(meta.keyCount(), 2);
    EXPECT_EQ(meta.keyToValue("poPortrait"), poPortrait);
    EXPECT_EQ(meta.keyToValue("poLandscape"), poLandscape);
    EXPECT_EQ(poPortrait, 0);
    EXPECT_EQ(poLandscape, 1);
}

// The caption states each paper's size; the width and height in the table must say the same, so a
// slip in either shows here.
TEST(PaperSizeTable, WidthAndHeightAgreeWithEveryCaption)
{
    const QRegularExpression sizeInCaption(
        QStringLiteral("(\\d+(?:\\.\\d+)?) x (\\d+(?:\\.\\d+)?)(?: mm)?$"));
    for (int i = 0; i < PaperSizeCount; ++i) {
        const auto size = static_cast<TRLPaperSize>(i);
        if (size == fpCustom || size == fpDefault)
            continue;
        const TRLPaperInfo& info = PaperInfoFor(size);
        const QRegularExpressionMatch match = sizeInCaption.match(info.Caption);
        ASSERT_TRUE(match.hasMatch()) << i << ": " << info.Caption.toStdString();
        EXPECT_EQ(info.Width, match.captured(1).toDouble()) << info.Caption.toStdString();
        EXPECT_EQ(info.Height, match.captured(2).toDouble()) << info.Caption.toStdString();
        // The caption names the paper before its size.
        EXPECT_GT(match.capturedStart(), 1) << info.Caption.toStdString();
    }
}

TEST(PaperSizeTable, KeepsCaptionsExactlyAsUsersKnowThem)
{
    struct Captioned
    {
        TRLPaperSize Size;
        const char* Caption;
        double Width;
        double Height;
    };
    const Captioned cases[] = {
        { fpA0, "A0 841 x 1189 mm", 841, 1189 },
        { fpA4, "A4 210 x 297 mm", 210, 297 },
        { fp9x11, "9x11 228.6 x 279.4 mm", 228.6, 279.4 },
        { fpA3_Extra, "A3 Extra 322.44 x 445.2 mm", 322.44, 445.2 },
        { fpA_Plus, "SuperA/SuperA/A4 227 x 356 mm", 227, 356 },
        { fpB4_JIS, "B4 (JIS) 250 x 354", 250, 354 },
        { fpEnv_B6, "Envelope B6 176 x 125 mm", 176, 125 },
        { fpEnv_Italy, "Envelope 110 x 230 mm", 110, 230 },
        { fpEnv_Monarch, "Envelope Monarch 98.43 x 190.5 mm", 98.43, 190.5 },
        { fpNote, "Note 8 304.8 x 279.4 mm", 304.8, 279.4 },
        { fpP32KBig, "PRC 32K(Big) 97 x 151 mm", 97, 151 },
        { fpPEnv_10, "PRC Envelope #10 324 x 458 mm", 324, 458 },
        { fpEng_Foolscap, "Foolscap 419 x 336 mm", 419, 336 },
        { fpEng_Imperial, "Imperial 761 x 559 mm", 761, 559 },
        { fpCustom, "User Defined", 0, 0 },
        { fpDefault, "Printer Default", -1, -1 },
    };
    for (const Captioned& c : cases) {
        const TRLPaperInfo& info = PaperInfoFor(c.Size);
        EXPECT_EQ(info.Caption, QString::fromLatin1(c.Caption)) << c.Size;
        EXPECT_EQ(info.Width, c.Width) << c.Caption;
        EXPECT_EQ(info.Height, c.Height) << c.Caption;
    }
}

TEST(PaperSizeTable, CarriesThePrinterPaperCodes)
{
    struct Coded
    {
        TRLPaperSize Size;
        int Code;
    };
    const Coded cases[] = {
        { fpA2, 66 },
        { fpA3, 8 },
        { fpA4, 9 },
        { fpA5, 11 },
        { fpA6, 70 },
        { fpB4, 12 },
        { fpB5, 13 },
        { fpB6, 88 },
        { fpB6_JIS, 88 }, // two papers, one code
        { fp12x11, 90 },
        { fpA4_Small, 10 },
        { fpA4_Transverse, 55 },
        { fpEnv_10, 20 },
        { fpEnv_B6, 35 },
        { fpEnv_C5, 28 },
        { fpEnv_DL, 27 },
        { fpLetter, 1 },
        { fpLetter_Small, 2 },
        { fpTabloid, 3 },
        { fpLedger, 4 },
        { fpLegal, 5 },
        { fpStatement, 6 },
        { fpExecutive, 7 },
        { fpLetter_Transverse, 54 },
        { fpTabloid_Extra, 52 },
        { fpGerman_Std_Fanfold, 40 },
        { fpJap_Postcard, 43 },
        { fpCustom, CustomPaperCode },
        { fpDefault, -1 },
    };
    for (const Coded& c : cases) {
        const TRLPaperInfo& info = PaperInfoFor(c.Size);
        EXPECT_FALSE(info.NoPrinterCode) << c.Size;
        EXPECT_EQ(info.PrinterCode, c.Code) << c.Size;
    }
    EXPECT_EQ(CustomPaperCode, 256);
    // The Chinese papers are numbered consecutively.
    for (int size = fpP16K; size <= fpPEnv_10; ++size) {
        const TRLPaperInfo& info = PaperInfoFor(static_cast<TRLPaperSize>(size));
        EXPECT_FALSE(info.NoPrinterCode) << size;
        EXPECT_EQ(info.PrinterCode, 93 + (size - fpP16K)) << size;
    }
}

TEST(PaperSizeTable, MarksPapersThatNoPrinterKnowsByCode)
{
    const TRLPaperSize uncoded[] = { fpA0, fpA1, fpA7, fpA10, fpB0, fpB10, fpSRA0, fpRA4, fp2A, fp4B,
        fpEnv_C0, fpEnv_C2, fpEnv_C5E, fpEnv_C7, fpEnv_C10, fpComm10E, fpDLE, fpPostcard, fpLegal3, fpB4_JIS,
        fpEng_Foolscap, fpEng_Imperial };
    for (TRLPaperSize size : uncoded) {
        EXPECT_TRUE(PaperInfoFor(size).NoPrinterCode) << size;
        EXPECT_EQ(PaperInfoFor(size).PrinterCode, 0) << size;
    }
    int withCode = 0;
    for (int i = 0; i < PaperSizeCount; ++i)
        withCode += PaperInfoFor(static_cast<TRLPaperSize>(i)).NoPrinterCode ? 0 : 1;
    EXPECT_EQ(withCode, 82);
}

TEST(PaperSizeTable, ValueOutsideTheEnumerationGetsPrinterDefault)
{
    for (int bad : { -1, 142, 1000, std::numeric_limits<int>::min() }) {
        const TRLPaperInfo& info = PaperInfoFor(static_cast<TRLPaperSize>(bad));
        EXPECT_EQ(&info, &PaperInfoFor(fpDefault)) << bad;
    }
}

struct SizeCase
{
    double Width;
    double Height;
    TRLPaperSize Expected;
};

TEST(PaperSizeBySize, MatchesPapersThatHaveAPrinterCode)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    const SizeCase cases[] = {
        { 210, 297, fpA4 }, // before the equal fpA4_Small and fpA4_Transverse
        { 210.005, 297.004, fpA4 }, // 0.009 away
        { 209.996, 297.003, fpA4 },
        { 210, 297.02, fpCustom },
        { 210.006, 297.006, fpCustom }, // 0.012 away in total, though each side is close
        { 841, 1189, fpCustom }, // A0 is in the table but has no printer code
        { 250, 354, fpCustom }, // likewise B4 (JIS)
        { 297, 210, fpCustom }, // landscape A4 is not stored that way
        { 304.8, 279.4, fp12x11 }, // stored landscape, before Note 8 and Letter Small 8
        { 176, 125, fpEnv_B6 },
        { 176, 250, fpB5 }, // before Envelope B5
        { 125, 176, fpB6 }, // before PRC Envelope #3
        { 215.9, 279.4, fpLetter },
        { 279.4, 431.8, fp11x17 },
        { 279, 431.8, fpTabloid },
        { 420, 594, fpA2 },
        { 146, 215, fpP16K },
        { 324, 458, fpEnv_C3 }, // before PRC Envelope #10
        { 100, 148, fpJap_Postcard }, // Postcard has the same size but no code
        { 0, 0, fpCustom }, // User Defined itself is never matched
        { 123.4, 56.7, fpCustom },
        { -1, 100, fpDefault },
        { 100, -0.5, fpDefault },
        { -1, -1, fpDefault },
        { nan, 297, fpDefault },
        { 210, nan, fpDefault },
        { infinity, 297, fpDefault },
        { 210, -infinity, fpDefault },
    };
    for (const SizeCase& c : cases)
        EXPECT_EQ(PaperSizeBySize(c.Width, c.Height), c.Expected) << c.Width << " x " << c.Height;
}

struct PrinterPaperCase
{
    double Width;
    double Height;
    bool Landscape;
    TRLPrinterPaper Expected;
};

TEST(PaperInfoForSize, GivesWhatThePrinterIsTold)
{
    const PrinterPaperCase cases[] = {
        { 210, 297, false, { 9, PortraitOrientationCode, 210, 297 } },
        { 210, 297, true, { 9, LandscapeOrientationCode, 210, 297 } },
        { 210.005, 297.004, false, { 9, 1, 210, 297 } }, // the matched paper's own size
        { 100, 150, false, { 256, 1, 100, 150 } }, // user-defined: the size as given
        { 841, 1189, true, { 256, 2, 841, 1189 } },
        { 215.9, 279.4, true, { 1, 2, 215.9, 279.4 } },
        { -1, -1, false, { -1, 1, -1, -1 } },
        { -5, 300, false, { -1, 1, -1, -1 } },
    };
    for (const PrinterPaperCase& c : cases) {
        const TRLPrinterPaper paper = PaperInfoFor(c.Width, c.Height, c.Landscape);
        EXPECT_EQ(paper.PaperCode, c.Expected.PaperCode) << c.Width << " x " << c.Height;
        EXPECT_EQ(paper.OrientationCode, c.Expected.OrientationCode) << c.Width << " x " << c.Height;
        EXPECT_EQ(paper.Width, c.Expected.Width) << c.Width << " x " << c.Height;
        EXPECT_EQ(paper.Height, c.Expected.Height) << c.Width << " x " << c.Height;
    }
}

// A size that is no number must not reach a printer as a user-defined paper of NaN tenths of a
// millimetre.
TEST(PaperInfoForSize, SizeThatIsNoNumberLeavesThePrinterPaperAlone)
{
    const TRLPrinterPaper paper = PaperInfoFor(std::numeric_limits<double>::quiet_NaN(), 297, false);
    EXPECT_EQ(paper.PaperCode, -1);
    EXPECT_EQ(paper.Width, -1);
    EXPECT_EQ(paper.Height, -1);
}

} // namespace
