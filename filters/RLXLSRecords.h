#pragma once
// The BIFF8 record types the spreadsheet writer uses, by the format's own names. The writer and its
// tests both name records through this table, never through bare numbers.
#include <cstdint>

enum TRLBiffRecordType : uint16_t {
    // Workbook globals, in the order they are written.
    rtBOF = 0x0809,
    rtInterfaceHdr = 0x00E1,
    rtMMS = 0x00C1,
    rtInterfaceEnd = 0x00E2,
    rtWriteAccess = 0x005C,
    rtCodePage = 0x0042,
    rtDSF = 0x0161,
    rtExcel9File = 0x01C0,
    rtTabId = 0x013D,
    rtFnGroupCount = 0x009C,
    rtWindowProtect = 0x0019,
    rtProtect = 0x0012,
    rtPassword = 0x0013,
    rtProt4Rev = 0x01AF,
    rtProt4RevPass = 0x01BC,
    rtWindow1 = 0x003D,
    rtBackup = 0x0040,
    rtHideObj = 0x008D,
    rtDate1904 = 0x0022,
    rtPrecision = 0x000E,
    rtRefreshAll = 0x01B7,
    rtBookBool = 0x00DA,
    rtFont = 0x0031,
    rtFormat = 0x041E,
    rtXF = 0x00E0,
    rtPalette = 0x0092,
    rtStyle = 0x0293,
    rtUsesElfs = 0x0160,
    rtBoundSheet = 0x0085,
    rtCountry = 0x008C,
    rtSST = 0x00FC,
    rtExtSST = 0x00FF,
    rtEOF = 0x000A,
    rtContinue = 0x003C,

    // Worksheet records, in the order they are written.
    rtIndex = 0x020B,
    rtCalcMode = 0x000D,
    rtCalcCount = 0x000C,
    rtRefMode = 0x000F,
    rtIteration = 0x0011,
    rtDelta = 0x0010,
    rtSaveRecalc = 0x005F,
    rtPrintHeaders = 0x002A,
    rtPrintGridLines = 0x002B,
    rtGridSet = 0x0082,
    rtGuts = 0x0080,
    rtDefaultRowHeight = 0x0225,
    rtWsBool = 0x0081,
    rtHeader = 0x0014,
    rtFooter = 0x0015,
    rtHCenter = 0x0083,
    rtVCenter = 0x0084,
    rtLeftMargin = 0x0026,
    rtRightMargin = 0x0027,
    rtTopMargin = 0x0028,
    rtBottomMargin = 0x0029,
    rtSetup = 0x00A1,
    rtDefColWidth = 0x0055,
    rtColInfo = 0x007D,
    rtDimensions = 0x0200,
    rtRow = 0x0208,
    rtDBCell = 0x00D7,
    rtNumber = 0x0203,
    rtLabelSST = 0x00FD,
    rtMulBlank = 0x00BE,
    rtBlank = 0x0201,
    rtWindow2 = 0x023E,
    rtSelection = 0x001D,
    rtMergedCells = 0x00E5,
};

// BOF types.
inline constexpr uint16_t BiffVersion8 = 0x0600;
inline constexpr uint16_t BofWorkbookGlobals = 0x0005;
inline constexpr uint16_t BofWorksheet = 0x0010;

// WINDOW2 option flags.
inline constexpr uint16_t Window2ShowGridLines = 0x0002;
inline constexpr uint16_t Window2ShowHeadings = 0x0004;
inline constexpr uint16_t Window2ShowZeros = 0x0010;
inline constexpr uint16_t Window2DefaultGridColor = 0x0020;
inline constexpr uint16_t Window2OutlineSymbols = 0x0080;
inline constexpr uint16_t Window2Selected = 0x0200;
inline constexpr uint16_t Window2Displayed = 0x0400;

// FONT weights.
inline constexpr uint16_t FontWeightRegular = 400;
inline constexpr uint16_t FontWeightBold = 700;

// XF: the cell format's parent is the first style format; the merge flag of a merged cell's format.
inline constexpr uint16_t XFUsedAttributes = 0x7C00;
inline constexpr uint16_t XFMergeCell = 0x0020;
