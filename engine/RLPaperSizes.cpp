// The paper-size table and the matching of a size in millimetres to a paper.
#include "engine/RLPaperSizes.h"

#include <array>
#include <cmath>

namespace {

constexpr int NoCode = -2; // not a code any printer uses (fpDefault's own code is -1)

struct PaperRow
{
    TRLPaperSize Size;
    double Width;
    double Height;
    const char* Caption;
    int PrinterCode;
};

// Width and height as the caption states them (the first number is the width). A few captions
// are odd ("B4 (JIS) 250 x 354" lacks its unit, "Envelope B6 176 x 125 mm" and the English papers are
// given landscape); they are what users see and what size matching compares, so they stay as they are.
// clang-format off
constexpr PaperRow Rows[] = {
    {fpA0, 841, 1189, "A0 841 x 1189 mm", NoCode},
    {fpA1, 594, 841, "A1 594 x 841 mm", NoCode},
    {fpA2, 420, 594, "A2 420 x 594 mm", 66},
    {fpA3, 297, 420, "A3 297 x 420 mm", 8},
    {fpA4, 210, 297, "A4 210 x 297 mm", 9},
    {fpA5, 148, 210, "A5 148 x 210 mm", 11},
    {fpA6, 105, 148, "A6 105 x 148 mm", 70},
    {fpA7, 74, 105, "A7 74 x 105 mm", NoCode},
    {fpA8, 52, 74, "A8 52 x 74 mm", NoCode},
    {fpA9, 37, 52, "A9 37 x 52 mm", NoCode},
    {fpA10, 26, 37, "A10 26 x 37 mm", NoCode},
    {fpB0, 1000, 1414, "B0 1000 x 1414 mm", NoCode},
    {fpB1, 707, 1000, "B1 707 x 1000 mm", NoCode},
    {fpB2, 500, 707, "B2 500 x 707 mm", NoCode},
    {fpB3, 353, 500, "B3 353 x 500 mm", NoCode},
    {fpB4, 250, 353, "B4 250 x 353 mm", 12},
    {fpB5, 176, 250, "B5 176 x 250 mm", 13},
    {fpB6, 125, 176, "B6 125 x 176 mm", 88},
    {fpB7, 88, 125, "B7 88 x 125 mm", NoCode},
    {fpB8, 62, 88, "B8 62 x 88 mm", NoCode},
    {fpB9, 44, 62, "B9 44 x 62 mm", NoCode},
    {fpB10, 31, 44, "B10 31 x 44 mm", NoCode},
    {fpSRA0, 900, 1280, "SRA0 900 x 1280 mm", NoCode},
    {fpSRA1, 640, 900, "SRA1 640 x 900 mm", NoCode},
    {fpSRA2, 450, 640, "SRA2 450 x 640 mm", NoCode},
    {fpSRA3, 320, 450, "SRA3 320 x 450 mm", NoCode},
    {fpSRA4, 225, 320, "SRA4 225 x 320 mm", NoCode},
    {fpRA0, 860, 1220, "RA0 860 x 1220 mm", NoCode},
    {fpRA1, 610, 860, "RA1 610 x 860 mm", NoCode},
    {fpRA2, 430, 610, "RA2 430 x 610 mm", NoCode},
    {fpRA3, 305, 430, "RA3 305 x 430 mm", NoCode},
    {fpRA4, 215, 305, "RA4 215 x 305 mm", NoCode},
    {fp2A, 1189, 1682, "2A 1189 x 1682 mm", NoCode},
    {fp2B, 1414, 2000, "2B 1414 x 2000 mm", NoCode},
    {fp4A, 1682, 2378, "4A 1682 x 2378 mm", NoCode},
    {fp4B, 2000, 2828, "4B 2000 x 2828 mm", NoCode},
    {fp9x11, 228.6, 279.4, "9x11 228.6 x 279.4 mm", 44},
    {fp10x11, 254, 279.4, "10x11 254 x 279.4 mm", 45},
    {fp10x14, 254, 355.6, "10x14 254 x 355.6 mm", 16},
    {fp11x17, 279.4, 431.8, "11x17 279.4 x 431.8 mm", 17},
    {fp12x11, 304.8, 279.4, "12x11 304.8 x 279.4 mm", 90},
    {fp15x11, 381, 279.4, "15x11 381 x 279.4 mm", 46},
    {fpA3_Extra, 322.44, 445.2, "A3 Extra 322.44 x 445.2 mm", 63},
    {fpA3_Extra_Transverse, 322, 445, "A3 Extra Transverse 322 x 445 mm", 68},
    {fpA3_Transverse, 297, 420, "A3 Transverse 297 x 420 mm", 67},
    {fpA4_Small, 210, 297, "A4 Small 210 x 297 mm", 10},
    {fpA4_Extra, 235.3, 322.44, "A4 Extra 235.3 x 322.44 mm", 53},
    {fpA4_Plus, 210, 330, "A4 Plus 210 x 330 mm", 60},
    {fpA4_Transverse, 210, 297, "A4 Transverse 210 x 297 mm", 55},
    {fpA5_Extra, 174, 235, "A5 Extra 174 x 235 mm", 64},
    {fpA5_Transverse, 148, 210, "A5 Transverse 148 x 210 mm", 61},
    {fpA_Plus, 227, 356, "SuperA/SuperA/A4 227 x 356 mm", 57},
    {fpB4_JIS, 250, 354, "B4 (JIS) 250 x 354", NoCode},
    {fpB5_Extra, 201, 276, "B5 (ISO) Extra 201 x 276 mm", 65},
    {fpB5_Transverse, 182, 257, "B5 (JIS) Transverse 182 x 257 mm", 62},
    {fpB6_JIS, 128, 182, "B6 (JIS) 128 x 182 mm", 88},
    {fpB_Plus, 305, 487, "SuperB/SuperB/A3 305 x 487 mm", 58},
    {fpEnv_9, 76.2, 203.2, "Envelope #9 76.2 x 203.2 mm", 19},
    {fpEnv_10, 101.6, 228.6, "Envelope #10 101.6 x 228.6 mm", 20},
    {fpEnv_11, 101.6, 254, "Envelope #11 101.6 x 254 mm", 21},
    {fpEnv_12, 101.6, 279.4, "Envelope #12 101.6 x 279.4 mm", 22},
    {fpEnv_14, 127, 279.4, "Envelope #14 127 x 279.4 mm", 23},
    {fpEnv_B4, 250, 353, "Envelope B4 250 x 353 mm", 33},
    {fpEnv_B5, 176, 250, "Envelope B5 176 x 250 mm", 34},
    {fpEnv_B6, 176, 125, "Envelope B6 176 x 125 mm", 35},
    {fpEnv_C0, 917, 1297, "Envelope C0 917 x 1297 mm", NoCode},
    {fpEnv_C1, 648, 917, "Envelope C1 648 x 917 mm", NoCode},
    {fpEnv_C2, 458, 648, "Envelope C2 458 x 648 mm", NoCode},
    {fpEnv_C3, 324, 458, "Envelope C3 324 x 458 mm", 29},
    {fpEnv_C4, 229, 324, "Envelope C4 229 x 324 mm", 30},
    {fpEnv_C5, 162, 229, "Envelope C5 162 x 229 mm", 28},
    {fpEnv_C5E, 163, 229, "Envelope C5E 163 x 229 mm", NoCode},
    {fpEnv_C6, 114, 162, "Envelope C6 114 x 162 mm", 31},
    {fpEnv_C65, 114, 229, "Envelope C65 114 x 229 mm", 32},
    {fpEnv_C7, 81, 114, "Envelope C7 81 x 114 mm", NoCode},
    {fpEnv_C8, 57, 81, "Envelope C8 57 x 81 mm", NoCode},
    {fpEnv_C9, 40, 57, "Envelope C9 40 x 57 mm", NoCode},
    {fpEnv_C10, 28, 40, "Envelope C10 28 x 40 mm", NoCode},
    {fpEnv_DL, 110, 220, "Envelope DL 110 x 220 mm", 27},
    {fpEnv_Invite, 220, 220, "Envelope Invite 220 x 220 mm", 47},
    {fpEnv_Italy, 110, 230, "Envelope 110 x 230 mm", 36},
    {fpEnv_Monarch, 98.43, 190.5, "Envelope Monarch 98.43 x 190.5 mm", 37},
    {fpEnv_Personal, 76.2, 152.4, "Envelope 76.2 x 152.4 mm", 38},
    {fpLetter, 215.9, 279.4, "Letter 215.9 x 279.4 mm", 1},
    {fpLegal, 215.9, 355.6, "Legal 215.9 x 355.6 mm", 5},
    {fpLedger, 431.8, 279, "Ledger 431.8 x 279 mm", 4},
    {fpTabloid, 279, 431.8, "Tabloid 279 x 431.8 mm", 3},
    {fpExecutive, 190.5, 254, "Executive 190.5 x 254 mm", 7},
    {fpFanfold_US, 355.6, 279.4, "US Std Fanfold 355.6 x 279.4 mm", 39},
    {fpComm10E, 105, 241, "Comm10E 105 x 241 mm", NoCode},
    {fpDLE, 110, 220, "DLE 110 x 220 mm", NoCode},
    {fpFolio, 215.9, 330.2, "Folio 215.9 x 330.2 mm", 14},
    {fpNote, 304.8, 279.4, "Note 8 304.8 x 279.4 mm", 18},
    {fpPostcard, 100, 148, "Postcard 100 x 148 mm", NoCode},
    {fpQuarto, 215, 275, "Quarto 215 x 275 mm", 15},
    {fpStatement, 139.7, 215.9, "Statement 139.7 x 215.9 mm", 6},
    {fpLegal_Extra, 241.3, 381, "Legal Extra 241.3 x 381 mm", 51},
    {fpLegal3, 215.9, 330.2, "Legal 3 215.9 x 330.2 mm", NoCode},
    {fpLetter_Small, 304.8, 279.4, "Letter Small 8 304.8 x 279.4 mm", 2},
    {fpLetter_Extra, 241.3, 304.8, "Letter Extra 241.3 x 304.8 mm", 50},
    {fpLetter_Extra_Transverse, 241.3, 304.8, "Letter Extra Transverse 241.3 x 304.8 mm", 56},
    {fpLetter_Plus, 215.9, 322.33, "Letter Plus 215.9 x 322.33 mm", 59},
    {fpLetter_Transverse, 215.9, 279.4, "Letter Transverse 215.9 x 279.4 mm", 54},
    {fpP16K, 146, 215, "PRC 16K 146 x 215 mm", 93},
    {fpP32K, 97, 151, "PRC 32K 97 x 151 mm", 94},
    {fpP32KBig, 97, 151, "PRC 32K(Big) 97 x 151 mm", 95},
    {fpPEnv_1, 102, 165, "PRC Envelope #1 102 x 165 mm", 96},
    {fpPEnv_2, 102, 176, "PRC Envelope #2 102 x 176 mm", 97},
    {fpPEnv_3, 125, 176, "PRC Envelope #3 125 x 176 mm", 98},
    {fpPEnv_4, 110, 208, "PRC Envelope #4 110 x 208 mm", 99},
    {fpPEnv_5, 110, 220, "PRC Envelope #5 110 x 220 mm", 100},
    {fpPEnv_6, 120, 230, "PRC Envelope #6 120 x 230 mm", 101},
    {fpPEnv_7, 160, 230, "PRC Envelope #7 160 x 230 mm", 102},
    {fpPEnv_8, 120, 309, "PRC Envelope #8 120 x 309 mm", 103},
    {fpPEnv_9, 229, 324, "PRC Envelope #9 229 x 324 mm", 104},
    {fpPEnv_10, 324, 458, "PRC Envelope #10 324 x 458 mm", 105},
    {fpTabloid_Extra, 296.93, 457.2, "Tabloid Extra 296.93 x 457.2 mm", 52},
    {fpGerman_Legal_Fanfold, 203.2, 330.2, "German Legal Fanfold 203.2 x 330.2 mm", 41},
    {fpGerman_Std_Fanfold, 203.2, 304.8, "German Std Fanfold 203.2 x 304.8 mm", 40},
    {fpJap_DblPostcard, 200, 148, "Japanese Double Postcard 200 x 148 mm", 69},
    {fpJap_Postcard, 100, 148, "Japanese Postcard 100 x 148 mm", 43},
    {fpEng_Foolscap, 419, 336, "Foolscap 419 x 336 mm", NoCode},
    {fpEng_DoubleFoolscap, 685.8, 431.8, "Double Foolscap 685.8 x 431.8 mm", NoCode},
    {fpEng_QuadFoolscap, 863.6, 685.8, "Quad Foolscap 863.6 x 685.8 mm", NoCode},
    {fpEng_Crown, 508, 381, "Crown 508 x 381 mm", NoCode},
    {fpEng_DoubleCrown, 762, 508, "Double Crown 762 x 508 mm", NoCode},
    {fpEng_QuadCrown, 1016, 762, "Quad Crown 1016 x 762 mm", NoCode},
    {fpEng_DoubleQuad, 1524, 1016, "Double Quad Crown 1524 x 1016 mm", NoCode},
    {fpEng_Post, 488.95, 393.7, "Post 488.95 x 393.7 mm", NoCode},
    {fpEng_DoublePost, 800.1, 495.3, "Double Post 800.1 x 495.3 mm", NoCode},
    {fpEng_DoubleLarge, 838.2, 533.4, "Double Large Post 838.2 x 533.4 mm", NoCode},
    {fpEng_Demy, 571.5, 444.5, "Demy 571.5 x 444.5 mm", NoCode},
    {fpEng_DoubleDemy, 889, 571.5, "Double Demy 889 x 571.5 mm", NoCode},
    {fpEng_QuadDemy, 1143, 889, "Quad Demy 1143 x 889 mm", NoCode},
    {fpEng_MusicDemy, 508, 393.7, "Music Demy 508 x 393.7 mm", NoCode},
    {fpEng_Medium, 584.2, 457.2, "Medium 584.2 x 457.2 mm", NoCode},
    {fpEng_Royal, 634, 507, "Royal 634 x 507 mm", NoCode},
    {fpEng_SuperRoyal, 698.5, 520.7, "Super Royal 698.5 x 520.7 mm", NoCode},
    {fpEng_Elephant, 711.2, 584.2, "Elephant 711.2 x 584.2 mm", NoCode},
    {fpEng_Imperial, 761, 559, "Imperial 761 x 559 mm", NoCode},
    {fpCustom, 0, 0, "User Defined", CustomPaperCode},
    {fpDefault, -1, -1, "Printer Default", -1},
};
// clang-format on

static_assert(std::size(Rows) == PaperSizeCount, "one row per paper size");

constexpr bool RowsFollowTheEnumeration()
{
    for (int i = 0; i < PaperSizeCount; ++i)
        if (Rows[i].Size != i)
            return false;
    return true;
}
static_assert(RowsFollowTheEnumeration(), "the rows are indexed by the enumeration");

using PaperTable = std::array<TRLPaperInfo, PaperSizeCount>;

const PaperTable& Table()
{
    // Built on first use: a report may be created by another static's initialiser.
    static const PaperTable table = [] {
        PaperTable result;
        for (int i = 0; i < PaperSizeCount; ++i) {
            const PaperRow& row = Rows[i];
            const bool hasCode = row.PrinterCode != NoCode;
            result[i] = TRLPaperInfo { row.Width, row.Height, QString::fromLatin1(row.Caption), !hasCode,
                hasCode ? row.PrinterCode : 0 };
        }
        return result;
    }();
    return table;
}

// Two sizes are the same paper when their width and height differ by less than this in total (mm).
constexpr double MatchTolerance = 0.01;

} // namespace

const TRLPaperInfo& PaperInfoFor(TRLPaperSize paperSize)
{
    const int index = static_cast<int>(paperSize);
    if (index < 0 || index >= PaperSizeCount)
        return Table()[fpDefault];
    return Table()[index];
}

TRLPaperSize PaperSizeBySize(double width, double height)
{
    if (!std::isfinite(width) || !std::isfinite(height) || width < 0 || height < 0)
        return fpDefault;
    TRLPaperSize result = fpCustom;
    double bestDistance = 0;
    for (int i = 0; i < PaperSizeCount; ++i) {
        const TRLPaperInfo& entry = Table()[i];
        if (i == fpCustom || entry.NoPrinterCode)
            continue;
        const double distance = std::fabs(width - entry.Width) + std::fabs(height - entry.Height);
        // Strictly nearer only, so equal papers (A4, A4 Small, A4 Transverse) resolve to the first.
        if (distance < MatchTolerance && (result == fpCustom || distance < bestDistance)) {
            result = static_cast<TRLPaperSize>(i);
            bestDistance = distance;
        }
    }
    return result;
}

TRLPrinterPaper PaperInfoFor(double width, double height, bool landscape)
{
    const TRLPaperSize paperSize = PaperSizeBySize(width, height);
    const TRLPaperInfo& entry = PaperInfoFor(paperSize);
    TRLPrinterPaper paper { entry.PrinterCode, landscape ? LandscapeOrientationCode : PortraitOrientationCode,
        entry.Width, entry.Height };
    if (paperSize == fpCustom) {
        paper.Width = width;
        paper.Height = height;
    }
    return paper;
}
