#pragma once
// The paper-size table: the engine's page setup reads it, and the printers use it from above.
//
// The paper-size table is process-wide, read-only and built on first use (so it is ready before the
// first report's page setup asks for it, whatever the order of static initialisation). It is indexed by
// TRLPaperSize; every entry gives the paper's portrait width and height in millimetres, its caption and
// the paper code that printers know it by, if any. Entries without a printer code carry the
// NoPrinterCode mark: a printer cannot be asked for them by code, so size matching never picks them.
#include <QObject>
#include <QString>

namespace RLPrinters {
Q_NAMESPACE

// clang-format off
enum TRLPaperSize : int {
    fpA0, fpA1, fpA2, fpA3, fpA4, fpA5, fpA6, fpA7, fpA8, fpA9, fpA10, fpB0, fpB1, fpB2, fpB3, fpB4, fpB5,
    fpB6, fpB7, fpB8, fpB9, fpB10, fpSRA0, fpSRA1, fpSRA2, fpSRA3, fpSRA4, fpRA0, fpRA1, fpRA2, fpRA3,
    fpRA4, fp2A, fp2B, fp4A, fp4B, fp9x11, fp10x11, fp10x14, fp11x17, fp12x11, fp15x11, fpA3_Extra,
    fpA3_Extra_Transverse, fpA3_Transverse, fpA4_Small, fpA4_Extra, fpA4_Plus, fpA4_Transverse,
    fpA5_Extra, fpA5_Transverse, fpA_Plus, fpB4_JIS, fpB5_Extra, fpB5_Transverse, fpB6_JIS, fpB_Plus,
    fpEnv_9, fpEnv_10, fpEnv_11, fpEnv_12, fpEnv_14, fpEnv_B4, fpEnv_B5, fpEnv_B6, fpEnv_C0, fpEnv_C1,
    fpEnv_C2, fpEnv_C3, fpEnv_C4, fpEnv_C5, fpEnv_C5E, fpEnv_C6, fpEnv_C65, fpEnv_C7, fpEnv_C8, fpEnv_C9,
    fpEnv_C10, fpEnv_DL, fpEnv_Invite, fpEnv_Italy, fpEnv_Monarch, fpEnv_Personal, fpLetter, fpLegal,
    fpLedger, fpTabloid, fpExecutive, fpFanfold_US, fpComm10E, fpDLE, fpFolio, fpNote, fpPostcard,
    fpQuarto, fpStatement, fpLegal_Extra, fpLegal3, fpLetter_Small, fpLetter_Extra,
    fpLetter_Extra_Transverse, fpLetter_Plus, fpLetter_Transverse, fpP16K, fpP32K, fpP32KBig, fpPEnv_1,
    fpPEnv_2, fpPEnv_3, fpPEnv_4, fpPEnv_5, fpPEnv_6, fpPEnv_7, fpPEnv_8, fpPEnv_9, fpPEnv_10,
    fpTabloid_Extra, fpGerman_Legal_Fanfold, fpGerman_Std_Fanfold, fpJap_DblPostcard, fpJap_Postcard,
    fpEng_Foolscap, fpEng_DoubleFoolscap, fpEng_QuadFoolscap, fpEng_Crown, fpEng_DoubleCrown,
    fpEng_QuadCrown, fpEng_DoubleQuad, fpEng_Post, fpEng_DoublePost, fpEng_DoubleLarge, fpEng_Demy,
    fpEng_DoubleDemy, fpEng_QuadDemy, fpEng_MusicDemy, fpEng_Medium, fpEng_Royal, fpEng_SuperRoyal,
    fpEng_Elephant, fpEng_Imperial, fpCustom, fpDefault
};
// clang-format on
Q_ENUM_NS(TRLPaperSize)

enum TRLPageOrientation : int { poPortrait, poLandscape };
Q_ENUM_NS(TRLPageOrientation)

} // namespace RLPrinters

using RLPrinters::TRLPageOrientation;
using RLPrinters::TRLPaperSize;
using enum RLPrinters::TRLPageOrientation;
using enum RLPrinters::TRLPaperSize;

static_assert(fpDefault == 141, "the paper-size enumeration has 142 values, stored by name and index");

constexpr int PaperSizeCount = fpDefault + 1;

// The printer paper code of a paper of user-defined width and height.
constexpr int CustomPaperCode = 256;

// Orientation codes as printers' device settings spell them.
constexpr int PortraitOrientationCode = 1;
constexpr int LandscapeOrientationCode = 2;

struct TRLPaperInfo
{
    double Width; // millimetres, portrait
    double Height; // millimetres, portrait
    QString Caption;
    bool NoPrinterCode; // no printer knows this paper by a code; PrinterCode is then 0
    int PrinterCode;
};

// The table entry of a paper size. A value outside the enumeration (a corrupt definition, a bad cast)
// gets the fpDefault entry, "Printer Default" of -1 x -1 mm, which leaves the printer's own paper alone.
const TRLPaperInfo& PaperInfoFor(TRLPaperSize paperSize);

// The paper that a size in millimetres is, taken as given (portrait and landscape are different sizes):
// the first entry having a printer code whose width and height together lie less than 0.01 mm away,
// the nearest one if several do. fpCustom when none does; fpDefault for a negative size. A size that
// is not a number at all (NaN, infinite) is also answered with fpDefault rather than passed on to a
// printer as a user-defined paper.
TRLPaperSize PaperSizeBySize(double width, double height);

// What a printer is told for a page of the given size: the paper code, the orientation code and the
// width and height in millimetres (those of the matched table entry, or the given ones for a
// user-defined paper).
struct TRLPrinterPaper
{
    int PaperCode;
    int OrientationCode;
    double Width;
    double Height;
};

TRLPrinterPaper PaperInfoFor(double width, double height, bool landscape);

// ---------------------------------------------------------------------------------------------------
// Printer wrapper
// ---------------------------------------------------------------------------------------------------
// The process-wide printer access (printer list, selection, paper, metrics and print jobs) belongs in
// this section. It needs Qt Print Support; the paper-size table above must never depend on it.
