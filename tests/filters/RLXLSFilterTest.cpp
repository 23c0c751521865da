// The spreadsheet writer, checked at two levels: exact bytes of single records and of the container,
// and whole files read back by an independent reader (python3-xlrd) and compared on meaning.
#include "filters/RLXLSFilter.h"
#include "filters/RLXLSRecords.h"
#include "filters/RLXLSWriter.h"

#include "engine/RLUtils.h"
#include "pagestore/RLMetaFile.h"
#include "platform/Exceptions.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <limits>

#include <cstring>

namespace {

// --- building pages ------------------------------------------------------------------------------

struct TTextItem
{
    TRect Rect;
    QString Text;
    TRLMetaTextAlignment Alignment = MetaTextAlignmentLeft;
    TRLMetaTextLayout Layout = MetaTextLayoutTop;
    TColor Color = clBlack;
    TFontStyles Style = 0;
};

TRLGraphicSurface* MakePage(const std::vector<TTextItem>& Texts, int Height = 1123)
{
    auto* page = new TRLGraphicSurface;
    page->SetWidth(794);
    page->SetHeight(Height);
    NewGroupId();
    for (const TTextItem& item : Texts) {
        page->CurrentFont().SetName(QStringLiteral("Arial"));
        page->CurrentFont().SetSize(10);
        page->CurrentFont().SetColor(item.Color);
        page->CurrentFont().SetStyle(item.Style);
        page->WriteText(item.Rect, item.Rect.Left, item.Rect.Top, item.Text, item.Alignment, item.Layout, 5);
    }
    return page;
}

// A filter run over the pages into Path.
void Export(const QString& Path, const std::vector<std::vector<TTextItem>>& Pages, TRLXLSFilter& Filter,
    int PageHeight = 1123)
{
    TComponent owner;
    auto* storage = new TRLGraphicStorage(&owner);
    for (const auto& texts : Pages)
        storage->Add(MakePage(texts, PageHeight));
    Filter.SetFileName(Path);
    Filter.SetShowProgress(false);
    Filter.ProcessPages(storage, 1, -1, false);
}

// --- reading records back ------------------------------------------------------------------------

struct TRecord
{
    int Type;
    qsizetype Offset; // of the header
    QByteArray Data;
};

std::vector<TRecord> Records(const QByteArray& Stream)
{
    std::vector<TRecord> records;
    qsizetype pos = 0;
    while (pos + 4 <= Stream.size()) {
        const int type = uchar(Stream[pos]) | (uchar(Stream[pos + 1]) << 8);
        const int length = uchar(Stream[pos + 2]) | (uchar(Stream[pos + 3]) << 8);
        if (type == 0 && length == 0)
            break; // the padding after the last worksheet
        records.push_back({ type, pos, Stream.mid(pos + 4, length) });
        pos += 4 + length;
    }
    return records;
}

uint32_t DWordAt(const QByteArray& Data, qsizetype Offset);

// The "Workbook" stream of a written file: the writer stores it in consecutive sectors from the
// directory entry's start sector, so it is read straight from there.
QByteArray WorkbookStream(const QString& File)
{
    QFile file(File);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    const qsizetype directory = 512 + 512 * qsizetype(DWordAt(bytes, 48));
    const qsizetype entry = directory + 128;
    const qsizetype start = 512 + 512 * qsizetype(DWordAt(bytes, entry + 116));
    return bytes.mid(start, DWordAt(bytes, entry + 120));
}

std::vector<TRecord> OfType(const std::vector<TRecord>& All, int Type)
{
    std::vector<TRecord> found;
    for (const TRecord& record : All)
        if (record.Type == Type)
            found.push_back(record);
    return found;
}

uint32_t DWordAt(const QByteArray& Data, qsizetype Offset)
{
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | uchar(Data[Offset + i]);
    return value;
}

// --- the independent reader ----------------------------------------------------------------------

const char* const DumpScript = R"(
import sys, json, xlrd
b = xlrd.open_workbook(sys.argv[1], formatting_info=True)
out = {"user": b.user_name, "sheets": []}
for sh in b.sheets():
    cells = []
    for r in range(sh.nrows):
        for c in range(sh.ncols):
            cell = sh.cell(r, c)
            if cell.ctype in (1, 2):
                xf = b.xf_list[cell.xf_index]
                font = b.font_list[xf.font_index]
                rgb = b.colour_map.get(font.colour_index)
                cells.append({"r": r, "c": c, "type": cell.ctype, "value": cell.value, "font": font.name,
                    "colour": font.colour_index, "rgb": list(rgb) if rgb else None, "italic": font.italic,
                    "points": font.height // 20, "h": xf.alignment.hor_align, "v": xf.alignment.vert_align})
    out["sheets"].append({"name": sh.name, "nrows": sh.nrows, "ncols": sh.ncols, "cells": cells,
        "merged": [list(m) for m in sh.merged_cells],
        "widths": {str(k): v.width for k, v in sh.colinfo_map.items()},
        "heights": {str(k): v.height for k, v in sh.rowinfo_map.items()}})
print(json.dumps(out))
)";

QString Python()
{
    // The distribution's interpreter carries the distribution's xlrd.
    return QFile::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                             : QStringLiteral("python3");
}

bool HaveXlrd()
{
    QProcess process;
    process.start(Python(), { QStringLiteral("-c"), QStringLiteral("import xlrd") });
    return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
}

#define REQUIRE_XLRD()                                                                                       \
    if (!HaveXlrd()) {                                                                                       \
        GTEST_SKIP() << "python3-xlrd is not installed; whole-file checks skipped";                          \
    }

QJsonObject ReadBack(const QString& Path)
{
    QProcess process;
    process.start(Python(), { QStringLiteral("-c"), QString::fromLatin1(DumpScript), Path });
    EXPECT_TRUE(process.waitForFinished(120000));
    const QByteArray out = process.readAllStandardOutput();
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().constData();
    return QJsonDocument::fromJson(out).object();
}

QJsonObject CellAt(const QJsonObject& Sheet, int Row, int Col)
{
    for (const QJsonValue& cell : Sheet[QStringLiteral("cells")].toArray()) {
        const QJsonObject object = cell.toObject();
        if (object[QStringLiteral("r")].toInt() == Row && object[QStringLiteral("c")].toInt() == Col)
            return object;
    }
    return {};
}

class XLSFile : public ::testing::Test
{
protected:
    QTemporaryDir Folder;
    QString Path(const QString& Name = QStringLiteral("out.xls")) const { return Folder.filePath(Name); }
};

} // namespace

// --- units and values ----------------------------------------------------------------------------

TEST(XLSUnits, PixelsBecomeColumnUnitsRoundedHalfToEven)
{
    const struct
    {
        int Pixels;
        int Units;
    } cases[] = { { 0, 0 }, { 1, 38 }, { 5, 190 }, { 10, 381 }, { 15, 572 }, { 100, 3810 }, { -5, -190 },
        { -15, -572 } };
    for (const auto& c : cases)
        EXPECT_EQ(PixelsToColumnUnits(c.Pixels), c.Units) << c.Pixels;
}

TEST(XLSValues, FindCellValueReadsTheLocaleNotationOnly)
{
    const struct
    {
        const char16_t* Text;
        char16_t Decimal;
        bool IsNumber;
        double Value;
    } cases[] = {
        { u"1.234,50", u',', true, 1234.5 },
        { u"  -12,5\n", u',', true, -12.5 },
        { u"+3", u',', true, 3 },
        { u"1,5e3", u',', true, 1500 },
        { u",5", u',', true, 0.5 },
        { u"12/03/2024", u',', false, 0 },
        { u"R$ 10,00", u',', false, 0 },
        { u"1e", u',', false, 0 },
        { u"-", u',', false, 0 },
        { u"inf", u',', false, 0 },
        { u"nan", u',', false, 0 },
        { u"1e999", u',', false, 0 },
        { u"0x10", u',', false, 0 },
        { u"", u',', false, 0 },
        { u"1,234.50", u'.', true, 1234.5 },
        { u"1.234,50", u'.', true, 1.2345 }, // the comma is a thousands separator there
        { u"１２", u',', false, 0 },
    };
    for (const auto& c : cases) {
        double value = -999;
        const QString text = QString::fromUtf16(c.Text);
        EXPECT_EQ(FindCellValue(text, QChar(c.Decimal), value), c.IsNumber) << text.toStdString();
        if (c.IsNumber) {
            EXPECT_DOUBLE_EQ(value, c.Value) << text.toStdString();
        }
    }
}

// --- records -------------------------------------------------------------------------------------

TEST(XLSRecords, LongDataContinuesInContinueRecords)
{
    QByteArray data(BiffMaxRecordData + 10, 'x');
    const QByteArray bytes = BiffRecord(0x00EB, data);
    ASSERT_EQ(bytes.size(), 4 + BiffMaxRecordData + 4 + 10);
    EXPECT_EQ(bytes.left(4), HexBytes("eb 00 20 20"));
    EXPECT_EQ(bytes.mid(4 + BiffMaxRecordData, 4), HexBytes("3c 00 0a 00"));
    EXPECT_EQ(BiffRecord(rtEOF, QByteArray()), HexBytes("0a 00 00 00"));
}

TEST(XLSRecords, SharedStringsSplitInsideTextButNeverInAHeader)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadWrite);
    TRLBiffWriter writer(buffer);
    // 8 count bytes + 3 + 2 x 4105 = 8221 leaves 3 bytes: the next header goes to a CONTINUE record.
    // That one then holds 3 + 2 x 4108 = 8219 bytes, and the third string's two characters do not fit
    // after its header: one character stays, one continues after a repeated flags byte.
    TRLSSTWriter sst(writer, 3, 3);
    sst.Add(QString(4105, u'a'));
    sst.Add(QString(4108, u'b'));
    sst.Add(QStringLiteral("cd"));
    sst.Finish();
    writer.Flush();
    const std::vector<TRecord> records = Records(bytes);
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0].Type, rtSST);
    EXPECT_EQ(records[0].Data.size(), 8221);
    EXPECT_EQ(records[0].Data.left(11), HexBytes("03 00 00 00 03 00 00 00 09 10 01"));
    EXPECT_EQ(records[1].Type, rtContinue);
    EXPECT_EQ(records[1].Data.left(3), HexBytes("0c 10 01"));
    EXPECT_EQ(records[1].Data.right(5), HexBytes("02 00 01 63 00"));
    EXPECT_EQ(records[1].Data.size(), 8224);
    EXPECT_EQ(records[2].Type, rtContinue);
    EXPECT_EQ(records[2].Data, HexBytes("01 64 00"));
    // One bucket: the first string, at stream position 12, 12 bytes into its record.
    EXPECT_EQ(records[3].Type, rtExtSST);
    EXPECT_EQ(records[3].Data, HexBytes("08 00 0c 00 00 00 0c 00 00 00"));
}

TEST(XLSRecords, ExtendedStringTableHasABucketPerEightStrings)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadWrite);
    TRLBiffWriter writer(buffer);
    writer.WriteRecord(rtEOF, QByteArray()); // something before, so positions are absolute
    TRLSSTWriter sst(writer, 9, 9);
    for (int i = 0; i < 9; ++i)
        sst.Add(QStringLiteral("s%1").arg(i));
    sst.Finish();
    writer.Flush();
    const std::vector<TRecord> records = Records(bytes);
    ASSERT_EQ(records.size(), 3u);
    // Strings of 3 + 4 bytes: the ninth starts 4 + 8 + 8 x 7 bytes into the SST record.
    EXPECT_EQ(records[2].Data, HexBytes("08 00 10 00 00 00 0c 00 00 00 48 00 00 00 44 00 00 00"));
}

TEST(XLSRecords, ExtendedStringTableBucketsGrowWithTheStringCount)
{
    // Strings per bucket: max(unique / 128 + 1, 8).
    const struct
    {
        uint32_t Unique;
        uint32_t PerBucket;
    } rules[] = { { 0, 8 }, { 9, 8 }, { 1023, 8 }, { 1024, 9 }, { 2000, 16 }, { 100000, 782 } };
    for (const auto& rule : rules)
        EXPECT_EQ(TRLSSTWriter::StringsPerBucket(rule.Unique), rule.PerBucket) << rule.Unique;

    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadWrite);
    TRLBiffWriter writer(buffer);
    TRLSSTWriter sst(writer, 2500, 2000);
    for (int i = 0; i < 2000; ++i)
        sst.Add(QStringLiteral("%1").arg(i, 6, 10, QLatin1Char('0')));
    sst.Finish();
    writer.Flush();
    const std::vector<TRecord> records = Records(bytes);
    ASSERT_GE(records.size(), 3u);
    EXPECT_EQ(DWordAt(records[0].Data, 0), 2500u); // references
    EXPECT_EQ(DWordAt(records[0].Data, 4), 2000u); // distinct strings
    const TRecord& extsst = records.back();
    ASSERT_EQ(extsst.Type, rtExtSST);
    ASSERT_EQ(extsst.Data.size(), 2 + 8 * 125);
    EXPECT_EQ(extsst.Data.left(2), HexBytes("10 00"));
    // Each bucket points at its first string: "000000", "000016", "000032", ...
    for (int bucket = 0; bucket < 125; ++bucket) {
        const uint32_t position = DWordAt(extsst.Data, 2 + 8 * bucket);
        const QString expected = QStringLiteral("%1").arg(bucket * 16, 6, 10, QLatin1Char('0'));
        ASSERT_LT(qsizetype(position) + 3 + 12, bytes.size());
        EXPECT_EQ(bytes.mid(position, 3), HexBytes("06 00 01")) << bucket;
        EXPECT_EQ(QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData() + position + 3), 6),
            expected)
            << bucket;
    }
}

TEST(XLSRecords, StringTableKeepsEachTextOnceInOrderOfFirstUse)
{
    TRLXLSStringTable table;
    EXPECT_EQ(table.Add(QStringLiteral("UN")), 0u);
    EXPECT_EQ(table.Add(QStringLiteral("Ωμέγα")), 1u);
    EXPECT_EQ(table.Add(QStringLiteral("UN")), 0u);
    EXPECT_EQ(table.Add(QString()), 2u);
    for (int i = 0; i < 5000; ++i) // enough to make the index grow several times
        EXPECT_EQ(table.Add(QStringLiteral("t%1").arg(i)), uint32_t(3 + i));
    EXPECT_EQ(table.Add(QStringLiteral("t17")), 20u);
    EXPECT_EQ(table.TotalCount(), 5005u);
    EXPECT_EQ(table.UniqueCount(), 5003u);
    EXPECT_EQ(table.At(1), QStringLiteral("Ωμέγα"));
    EXPECT_EQ(table.At(2), QString());
    EXPECT_EQ(table.At(5002), QStringLiteral("t4999"));
    table.Clear();
    EXPECT_EQ(table.UniqueCount(), 0u);
    EXPECT_EQ(table.Add(QStringLiteral("t17")), 0u);
}

TEST(XLSRecords, WriterPatchesBytesAlreadyFlushed)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadWrite);
    TRLBiffWriter writer(buffer);
    writer.WriteRaw(QByteArray(70000, 'a'));
    writer.WriteRaw(QByteArray(10, 'b'));
    writer.Patch(2, "XY");
    writer.Patch(70002, "ZZ");
    writer.WriteRaw("c");
    writer.Flush();
    ASSERT_EQ(bytes.size(), 70011);
    EXPECT_EQ(bytes.mid(0, 5), QByteArray("aaXYa"));
    EXPECT_EQ(bytes.mid(70000, 5), QByteArray("bbZZb"));
    EXPECT_EQ(bytes.right(1), QByteArray("c"));
    EXPECT_THROW(writer.Patch(70010, "toolong"), Exception);
}

TEST_F(XLSFile, GlobalsAndCellRecordsHaveTheirExactBytes)
{
    TRLXLSFilter filter;
    filter.SetOptions(foFindValueCells);
    // A number, a text spanning three columns (two narrow columns after it) and a centred text.
    Export(Path(),
        { { { TRect(0, 0, 100, 20), QStringLiteral("12,5"), MetaTextAlignmentRight },
            { TRect(0, 20, 300, 40), QStringLiteral("Produto") },
            { TRect(100, 40, 200, 60), QStringLiteral("x"), MetaTextAlignmentCenter },
            { TRect(200, 40, 300, 60), QStringLiteral("y") } } },
        filter);
    const std::vector<TRecord> all = Records(WorkbookStream(Path()));
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all[0].Type, rtBOF);
    EXPECT_EQ(all[0].Data, HexBytes("00 06 05 00 bb 0d cc 07 00 00 00 00 00 06 00 00"));
    const std::vector<TRecord> bofs = OfType(all, rtBOF);
    ASSERT_EQ(bofs.size(), 2u);
    EXPECT_EQ(bofs[1].Data, HexBytes("00 06 10 00 bb 0d cc 07 00 00 00 00 00 00 00 00"));
    // The user name with its count and flags, padded with blanks to 112 bytes.
    const std::vector<TRecord> access = OfType(all, rtWriteAccess);
    ASSERT_EQ(access.size(), 1u);
    EXPECT_EQ(access[0].Data.size(), 112);
    EXPECT_EQ(access[0].Data.left(5), HexBytes("0c 00 01 51 00"));
    EXPECT_EQ(access[0].Data.right(3), QByteArray("   "));

    // Fonts: four defaults and the range font (Arial 10 black: colour index 8, regular weight 400).
    const std::vector<TRecord> fonts = OfType(all, rtFont);
    ASSERT_EQ(fonts.size(), 5u);
    EXPECT_EQ(fonts[0].Data,
        HexBytes("c8 00 00 00 08 00 90 01 00 00 00 00 01 00 05 01 41 00 72 00 69 00 61 00 6c 00"));
    EXPECT_EQ(fonts[4].Data,
        HexBytes("c8 00 00 00 08 00 90 01 00 00 00 00 01 00 05 01 41 00 72 00 69 00 61 00 6c 00"));

    // Cell formats: 15 styles, the default cell format, then one per distinct record in range order.
    const std::vector<TRecord> xfs = OfType(all, rtXF);
    ASSERT_EQ(xfs.size(), 15u + 1 + 4);
    EXPECT_EQ(xfs[15].Data, HexBytes("00 00 00 00 01 00 20 00 00 00 00 00 00 00 00 00 00 00 c0 20"));
    // The number: right, top; the merged text: left, top, merge flag.
    EXPECT_EQ(xfs[16].Data, HexBytes("05 00 00 00 01 00 03 00 00 7c 00 00 00 00 00 00 00 00 08 04"));
    EXPECT_EQ(xfs[17].Data, HexBytes("05 00 00 00 01 00 01 00 20 7c 00 00 00 00 00 00 00 00 08 04"));

    const std::vector<TRecord> numbers = OfType(all, rtNumber);
    ASSERT_EQ(numbers.size(), 1u);
    EXPECT_EQ(numbers[0].Data, HexBytes("00 00 00 00 10 00 00 00 00 00 00 00 29 40"));
    const std::vector<TRecord> labels = OfType(all, rtLabelSST);
    ASSERT_EQ(labels.size(), 3u);
    EXPECT_EQ(labels[0].Data, HexBytes("01 00 00 00 11 00 00 00 00 00"));
    const std::vector<TRecord> blanks = OfType(all, rtMulBlank);
    ASSERT_EQ(blanks.size(), 1u);
    EXPECT_EQ(blanks[0].Data, HexBytes("01 00 01 00 11 00 11 00 02 00"));
    const std::vector<TRecord> merged = OfType(all, rtMergedCells);
    ASSERT_EQ(merged.size(), 1u);
    EXPECT_EQ(merged[0].Data, HexBytes("01 00 01 00 01 00 00 00 02 00"));
    // The shared strings in range order; the number is not among them.
    const std::vector<TRecord> sst = OfType(all, rtSST);
    ASSERT_EQ(sst.size(), 1u);
    EXPECT_EQ(sst[0].Data,
        HexBytes("03 00 00 00 03 00 00 00 07 00 01 50 00 72 00 6f 00 64 00 75 00 74 00 6f 00"
                 " 01 00 01 78 00 01 00 01 79 00"));
    // Column widths in column units: 100 px = 3810.
    const std::vector<TRecord> cols = OfType(all, rtColInfo);
    ASSERT_EQ(cols.size(), 3u);
    EXPECT_EQ(cols[0].Data, HexBytes("00 00 00 00 e2 0e 00 00 00 00 00"));
    // Dimensions: rows 0..2, columns 0..2.
    const std::vector<TRecord> dimensions = OfType(all, rtDimensions);
    ASSERT_EQ(dimensions.size(), 1u);
    EXPECT_EQ(dimensions[0].Data, HexBytes("00 00 00 00 03 00 00 00 00 00 03 00 00 00"));
    // Row 1: cells from column 0 to 3 (exclusive end), 20 px high = 400 twips.
    const std::vector<TRecord> rows = OfType(all, rtRow);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1].Data, HexBytes("01 00 00 00 03 00 90 01 00 00 00 00 40 00 00 00"));
}

TEST_F(XLSFile, BlocksOfThirtyTwoRowsEachGetADBCellListedInTheIndex)
{
    TRLXLSFilter filter;
    std::vector<TTextItem> texts;
    for (int row = 0; row < 33; ++row)
        texts.push_back({ TRect(0, row * 20, 100, row * 20 + 20), QStringLiteral("linha %1").arg(row) });
    Export(Path(), { texts }, filter);
    const QByteArray stream = WorkbookStream(Path());
    const std::vector<TRecord> all = Records(stream);
    const std::vector<TRecord> index = OfType(all, rtIndex);
    const std::vector<TRecord> dbcells = OfType(all, rtDBCell);
    ASSERT_EQ(index.size(), 1u);
    ASSERT_EQ(dbcells.size(), 2u);
    ASSERT_EQ(index[0].Data.size(), 16 + 8);
    EXPECT_EQ(DWordAt(index[0].Data, 4), 0u);
    EXPECT_EQ(DWordAt(index[0].Data, 8), 33u);
    EXPECT_EQ(DWordAt(index[0].Data, 16), uint32_t(dbcells[0].Offset));
    EXPECT_EQ(DWordAt(index[0].Data, 20), uint32_t(dbcells[1].Offset));

    // Each DBCELL leads back to its block's first ROW and to each row's first cell.
    const std::vector<TRecord> rows = OfType(all, rtRow);
    const std::vector<TRecord> labels = OfType(all, rtLabelSST);
    ASSERT_EQ(rows.size(), 33u);
    ASSERT_EQ(labels.size(), 33u);
    EXPECT_EQ(dbcells[0].Offset - DWordAt(dbcells[0].Data, 0), rows[0].Offset);
    EXPECT_EQ(dbcells[1].Offset - DWordAt(dbcells[1].Data, 0), rows[32].Offset);
    ASSERT_EQ(dbcells[0].Data.size(), 4 + 2 * 32);
    qsizetype cell = rows[1].Offset;
    for (int i = 0; i < 32; ++i) {
        cell += uchar(dbcells[0].Data[4 + 2 * i]) | (uchar(dbcells[0].Data[5 + 2 * i]) << 8);
        EXPECT_EQ(cell, labels[std::size_t(i)].Offset) << i;
    }
}

TEST_F(XLSFile, AnEmptyPageGivesAnEmptyWorksheet)
{
    TRLXLSFilter filter;
    Export(Path(), { {} }, filter);
    const std::vector<TRecord> all = Records(WorkbookStream(Path()));
    const std::vector<TRecord> index = OfType(all, rtIndex);
    ASSERT_EQ(index.size(), 1u);
    EXPECT_EQ(index[0].Data, QByteArray(16, '\0'));
    const std::vector<TRecord> dimensions = OfType(all, rtDimensions);
    ASSERT_EQ(dimensions.size(), 1u);
    EXPECT_EQ(dimensions[0].Data, QByteArray(14, '\0'));
    EXPECT_TRUE(OfType(all, rtRow).empty());
    EXPECT_TRUE(OfType(all, rtDBCell).empty());
    EXPECT_TRUE(OfType(all, rtSST).empty());
}

// --- container -----------------------------------------------------------------------------------

TEST(XLSContainer, AllocationTableCoversEverySectorAndGrowsExtraSectors)
{
    const struct
    {
        qint64 Stream;
        uint32_t Allocation;
        uint32_t Extra;
    } cases[] = {
        { 8, 1, 0 },
        { 126, 1, 0 },
        { 127, 2, 0 },
        { 13842, 109, 0 }, // the most the header's own list can map
        { 13843, 110, 1 },
        { 100000, 788, 6 },
    };
    for (const auto& c : cases) {
        const TRLCompoundLayout layout = CompoundLayout(c.Stream);
        EXPECT_EQ(layout.AllocationSectors, c.Allocation) << c.Stream;
        EXPECT_EQ(layout.ExtraAllocationSectors, c.Extra) << c.Stream;
        EXPECT_EQ(layout.DirectorySector, c.Stream + c.Allocation + c.Extra) << c.Stream;
        EXPECT_GE(128 * qint64(layout.AllocationSectors),
            c.Stream + layout.AllocationSectors + layout.ExtraAllocationSectors + 1);
    }
    EXPECT_THROW(CompoundLayout(qint64(1) << 40), Exception);
}

TEST(XLSContainer, HeaderAllocationTableAndDirectoryHaveTheirExactBytes)
{
    QByteArray stream(4096, 's');
    QBuffer in(&stream);
    in.open(QIODevice::ReadOnly);
    QByteArray file;
    QBuffer out(&file);
    out.open(QIODevice::WriteOnly);
    WriteCompoundDocument(out, in, stream.size());
    // Header, 8 stream sectors, 1 allocation sector, 1 directory sector.
    ASSERT_EQ(file.size(), 512 * 11);
    TByteWriter header;
    header.Bytes(HexBytes("d0 cf 11 e0 a1 b1 1a e1")).Zeros(16);
    header.Bytes(HexBytes("3e 00 03 00 fe ff 09 00 06 00 00 00 00 00 00 00 00 00 00 00"));
    header.Bytes(HexBytes(
        "01 00 00 00 09 00 00 00 00 00 00 00 00 10 00 00 fe ff ff ff 00 00 00 00 fe ff ff ff 00 00 00 00"));
    header.DWord(8);
    for (int i = 1; i < 109; ++i)
        header.DWord(0xFFFFFFFFu);
    EXPECT_EQ(file.left(512), header.Data());
    EXPECT_EQ(file.mid(512, 4096), stream);
    TByteWriter fat;
    fat.DWord(1).DWord(2).DWord(3).DWord(4).DWord(5).DWord(6).DWord(7).DWord(0xFFFFFFFEu);
    fat.DWord(0xFFFFFFFDu).DWord(0xFFFFFFFEu);
    for (int i = 10; i < 128; ++i)
        fat.DWord(0xFFFFFFFFu);
    EXPECT_EQ(file.mid(512 * 9, 512), fat.Data());
    const QByteArray directory = file.mid(512 * 10, 512);
    TByteWriter root;
    root.Utf16(QStringLiteral("Root Entry")).Zeros(64 - 20);
    root.Bytes(HexBytes("16 00 05 01 ff ff ff ff ff ff ff ff 01 00 00 00")).Zeros(36);
    root.Bytes(HexBytes("fe ff ff ff 00 00 00 00 00 00 00 00"));
    EXPECT_EQ(directory.left(128), root.Data());
    TByteWriter workbook;
    workbook.Utf16(QStringLiteral("Workbook")).Zeros(64 - 16);
    workbook.Bytes(HexBytes("12 00 02 01 ff ff ff ff ff ff ff ff ff ff ff ff")).Zeros(36);
    workbook.Bytes(HexBytes("00 00 00 00 00 10 00 00 00 00 00 00"));
    EXPECT_EQ(directory.mid(128, 128), workbook.Data());
    TByteWriter empty;
    empty.Zeros(66).Bytes(HexBytes("00 00 ff ff ff ff ff ff ff ff ff ff ff ff")).Zeros(48);
    EXPECT_EQ(directory.mid(256, 128), empty.Data());
    EXPECT_EQ(directory.mid(384, 128), empty.Data());
}

TEST(XLSContainer, StreamsBeyondTheHeadersAllocationListStayReadable)
{
    REQUIRE_XLRD();
    // 7.5 MB: about 14,650 sectors, more than the header's 109 allocation sectors can map.
    QByteArray stream(7'500'000, '\0');
    QRandomGenerator random(7);
    random.fillRange(reinterpret_cast<quint32*>(stream.data()), stream.size() / 4);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("big.xls"));
    {
        QBuffer in(&stream);
        in.open(QIODevice::ReadOnly);
        QFile out(path);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        WriteCompoundDocument(out, in, stream.size());
    }
    EXPECT_GT(CompoundLayout((stream.size() + 511) / 512).ExtraAllocationSectors, 0u);
    QProcess process;
    process.start(Python(),
        { QStringLiteral("-c"),
            QStringLiteral("import sys, hashlib, xlrd.compdoc as c\n"
                           "d = c.CompDoc(open(sys.argv[1], 'rb').read(), logfile=sys.stderr)\n"
                           "s = d.get_named_stream('Workbook')\n"
                           "print(len(s), hashlib.sha256(s).hexdigest())\n"),
            path });
    ASSERT_TRUE(process.waitForFinished(120000));
    const QByteArray expected = QByteArray::number(stream.size()) + ' '
        + QCryptographicHash::hash(stream, QCryptographicHash::Sha256).toHex() + '\n';
    EXPECT_EQ(process.readAllStandardOutput(), expected) << process.readAllStandardError().constData();
}

// --- whole files ---------------------------------------------------------------------------------

TEST_F(XLSFile, ValuesTypesFontsAndMergesReadBack)
{
    REQUIRE_XLRD();
    TRLXLSFilter filter;
    filter.SetOptions(foFindValueCells);
    Export(Path(),
        { { { TRect(0, 0, 100, 20), QStringLiteral("1.234,50"), MetaTextAlignmentRight,
                MetaTextLayoutBottom },
              { TRect(100, 0, 200, 20), QStringLiteral("12/03/2024") },
              { TRect(200, 0, 300, 20), QStringLiteral("R$ 5,00"), MetaTextAlignmentCenter,
                  MetaTextLayoutCenter },
              { TRect(0, 20, 300, 40), QStringLiteral("Total geral\r\nda loja"), MetaTextAlignmentLeft,
                  MetaTextLayoutTop, clRed, fsItalic },
              { TRect(0, 40, 100, 60), QString() } },
            { { TRect(0, 0, 100, 20), QStringLiteral("7") } } },
        filter);
    const QJsonObject book = ReadBack(Path());
    EXPECT_EQ(book[QStringLiteral("user")].toString(), QStringLiteral("Quillborough"));
    const QJsonArray sheets = book[QStringLiteral("sheets")].toArray();
    ASSERT_EQ(sheets.size(), 2);
    const QJsonObject first = sheets[0].toObject();
    EXPECT_EQ(first[QStringLiteral("name")].toString(), QStringLiteral("Página 1"));
    EXPECT_EQ(sheets[1].toObject()[QStringLiteral("name")].toString(), QStringLiteral("Página 2"));

    const QJsonObject number = CellAt(first, 0, 0);
    EXPECT_EQ(number[QStringLiteral("type")].toInt(), 2);
    EXPECT_DOUBLE_EQ(number[QStringLiteral("value")].toDouble(), 1234.5);
    EXPECT_EQ(number[QStringLiteral("h")].toInt(), 3);
    EXPECT_EQ(number[QStringLiteral("v")].toInt(), 2);
    EXPECT_EQ(number[QStringLiteral("colour")].toInt(), 8);
    EXPECT_EQ(number[QStringLiteral("font")].toString(), QStringLiteral("Arial"));
    EXPECT_EQ(number[QStringLiteral("points")].toInt(), 10);
    const QJsonObject date = CellAt(first, 0, 1);
    EXPECT_EQ(date[QStringLiteral("type")].toInt(), 1);
    EXPECT_EQ(date[QStringLiteral("value")].toString(), QStringLiteral("12/03/2024"));
    const QJsonObject money = CellAt(first, 0, 2);
    EXPECT_EQ(money[QStringLiteral("type")].toInt(), 1);
    EXPECT_EQ(money[QStringLiteral("h")].toInt(), 2);
    EXPECT_EQ(money[QStringLiteral("v")].toInt(), 1);
    const QJsonObject total = CellAt(first, 1, 0);
    EXPECT_EQ(total[QStringLiteral("value")].toString(), QStringLiteral("Total geral\nda loja"));
    EXPECT_EQ(total[QStringLiteral("italic")].toInt(), 1);
    EXPECT_EQ(total[QStringLiteral("rgb")].toArray(), QJsonArray({ 255, 0, 0 }));
    // The empty text is skipped: it makes no row of its own.
    EXPECT_EQ(first[QStringLiteral("nrows")].toInt(), 2);
    EXPECT_EQ(first[QStringLiteral("merged")].toArray(), QJsonArray({ QJsonArray({ 1, 2, 0, 3 }) }));
    const QJsonObject widths = first[QStringLiteral("widths")].toObject();
    EXPECT_EQ(widths[QStringLiteral("0")].toInt(), 3810);
    EXPECT_EQ(widths[QStringLiteral("2")].toInt(), 3810);
    EXPECT_EQ(first[QStringLiteral("heights")].toObject()[QStringLiteral("1")].toInt(), 400);
}

TEST_F(XLSFile, WithoutValueDetectionEveryCellIsText)
{
    REQUIRE_XLRD();
    TRLXLSFilter filter;
    Export(Path(), { { { TRect(0, 0, 100, 20), QStringLiteral("1.234,50") } } }, filter);
    const QJsonObject sheet = ReadBack(Path())[QStringLiteral("sheets")].toArray()[0].toObject();
    const QJsonObject cell = CellAt(sheet, 0, 0);
    EXPECT_EQ(cell[QStringLiteral("type")].toInt(), 1);
    EXPECT_EQ(cell[QStringLiteral("value")].toString(), QStringLiteral("1.234,50"));
}

TEST_F(XLSFile, TextsAtTheSameLeftShareAColumnOfTheWiderWidth)
{
    REQUIRE_XLRD();
    TRLXLSFilter filter;
    Export(Path(),
        { { { TRect(10, 0, 60, 20), QStringLiteral("curto") },
            { TRect(10, 20, 150, 40), QStringLiteral("mais largo") } } },
        filter);
    const QJsonObject sheet = ReadBack(Path())[QStringLiteral("sheets")].toArray()[0].toObject();
    EXPECT_EQ(sheet[QStringLiteral("ncols")].toInt(), 1);
    EXPECT_EQ(
        sheet[QStringLiteral("widths")].toObject()[QStringLiteral("0")].toInt(), PixelsToColumnUnits(140));
}

TEST_F(XLSFile, ASheetTitleAlreadyTakenMovesToTheNextNumber)
{
    TRLXLSFilter filter;
    Export(Path(), { {}, {}, {} }, filter);
    ASSERT_EQ(filter.Workbook()->WorksheetCount(), 3);
    EXPECT_EQ(filter.Workbook()->WorksheetTitle(2), QStringLiteral("Página 3"));
    EXPECT_TRUE(filter.Workbook()->HasWorksheetTitled(QStringLiteral("PÁGINA 2")));
    // A title is cut to 31 characters and trimmed.
    TRLXLSWorksheet sheet(filter.Workbook());
    sheet.SetTitle(QStringLiteral("  ") + QString(40, u'x'));
    EXPECT_EQ(sheet.Title(), QString(29, u'x'));
}

// The worksheet one page becomes, before the workbook writes it out.
std::unique_ptr<TRLXLSWorksheet> SheetOf(TRLXLSFilter& Filter, const std::vector<TTextItem>& Texts)
{
    std::unique_ptr<TRLGraphicSurface> page(MakePage(Texts));
    auto sheet = std::make_unique<TRLXLSWorksheet>(Filter.Workbook());
    Filter.BuildWorksheet(page.get(), *sheet);
    return sheet;
}

TEST(XLSRanges, OverlappingTextsAreCutBackSoNoPrintedTextVanishes)
{
    struct TExpected
    {
        const char* Value;
        int FirstCol, LastCol, FirstRow, LastRow;
    };
    const struct
    {
        const char* Name;
        std::vector<TTextItem> Texts;
        std::vector<TExpected> Ranges; // in range order
    } cases[] = {
        { "a centred heading under later texts to its right keeps the columns before them",
            { { TRect(0, 0, 400, 20), QStringLiteral("Comercial Ltda"), MetaTextAlignmentCenter },
                { TRect(250, 0, 300, 20), QStringLiteral("Página:") },
                { TRect(300, 0, 400, 20), QStringLiteral("2") } },
            { { "Comercial Ltda", 0, 0, 0, 0 }, { "Página:", 1, 1, 0, 0 }, { "2", 2, 2, 0, 0 } } },
        { "a new text starting left of an earlier one ends before it",
            { { TRect(100, 0, 300, 20), QStringLiteral("b") },
                { TRect(0, 0, 200, 20), QStringLiteral("a") } },
            { { "b", 1, 1, 0, 0 }, { "a", 0, 0, 0, 0 } } },
        { "a new text from the same column reaching further goes on right of the earlier one",
            { { TRect(0, 0, 100, 20), QStringLiteral("x") }, { TRect(100, 20, 150, 40), QStringLiteral("w") },
                { TRect(0, 0, 200, 20), QStringLiteral("y") },
                { TRect(200, 0, 300, 20), QStringLiteral("z") } },
            { { "x", 0, 0, 0, 0 }, { "w", 1, 1, 1, 1 }, { "y", 1, 1, 0, 0 }, { "z", 2, 2, 0, 0 } } },
        { "an earlier range covering the new one from its first column has nothing left",
            { { TRect(0, 0, 200, 20), QStringLiteral("largo") },
                { TRect(100, 20, 200, 40), QStringLiteral("m") },
                { TRect(0, 0, 100, 20), QStringLiteral("curto") } },
            { { "m", 1, 1, 1, 1 }, { "curto", 0, 0, 0, 0 } } },
        { "equal bounds reuse the range; ranges on other rows are left alone",
            { { TRect(0, 0, 100, 20), QStringLiteral("a") }, { TRect(100, 0, 200, 20), QStringLiteral("b") },
                { TRect(0, 0, 100, 20), QStringLiteral("a2") },
                { TRect(0, 20, 200, 40), QStringLiteral("c") } },
            { { "a2", 0, 0, 0, 0 }, { "b", 1, 1, 0, 0 }, { "c", 0, 1, 1, 1 } } },
        { "a text over two rows is cut back by a later one on its second row",
            { { TRect(0, 0, 300, 40), QStringLiteral("alto") },
                { TRect(200, 20, 300, 40), QStringLiteral("q") } },
            { { "alto", 0, 0, 0, 1 }, { "q", 1, 1, 1, 1 } } },
    };
    for (const auto& c : cases) {
        TRLXLSFilter filter;
        const auto sheet = SheetOf(filter, c.Texts);
        const auto& ranges = sheet->Ranges();
        ASSERT_EQ(ranges.size(), c.Ranges.size()) << c.Name;
        for (std::size_t i = 0; i < ranges.size(); ++i) {
            const TExpected& e = c.Ranges[i];
            EXPECT_EQ(ranges[i].Value, QString::fromUtf8(e.Value)) << c.Name << " #" << i;
            EXPECT_EQ(ranges[i].FirstCol, e.FirstCol) << c.Name << " #" << i;
            EXPECT_EQ(ranges[i].LastCol, e.LastCol) << c.Name << " #" << i;
            EXPECT_EQ(ranges[i].FirstRow, e.FirstRow) << c.Name << " #" << i;
            EXPECT_EQ(ranges[i].LastRow, e.LastRow) << c.Name << " #" << i;
        }
    }
}

TEST_F(XLSFile, NarrowTextsKeepACellOfTheirOwn)
{
    // Every text narrower than the threshold: the grid keeps one column and one row to hold them.
    TRLXLSFilter filter;
    const auto sheet = SheetOf(filter, { { TRect(500, 500, 505, 505), QStringLiteral("1") } });
    ASSERT_EQ(sheet->Ranges().size(), 1u);
    EXPECT_EQ(sheet->Ranges()[0].LastCol, sheet->Ranges()[0].FirstCol);
    EXPECT_EQ(sheet->Cols().size(), 1u);
    EXPECT_EQ(sheet->Rows().size(), 1u);
}

TEST_F(XLSFile, SmallWorkbookIsPaddedSoReadersFindItInRegularSectors)
{
    REQUIRE_XLRD();
    TRLXLSFilter filter;
    Export(Path(), { {} }, filter);
    const QJsonObject book = ReadBack(Path());
    ASSERT_EQ(book[QStringLiteral("sheets")].toArray().size(), 1);
    EXPECT_EQ(book[QStringLiteral("sheets")].toArray()[0].toObject()[QStringLiteral("nrows")].toInt(), 0);
}

TEST_F(XLSFile, ManyMergedRangesSplitIntoSeveralMergedCellsRecords)
{
    REQUIRE_XLRD();
    TRLXLSFilter filter;
    std::vector<TTextItem> texts { { TRect(100, 0, 300, 12), QStringLiteral("corte") } };
    for (int row = 1; row <= 1100; ++row)
        texts.push_back({ TRect(0, row * 12, 200, row * 12 + 12), QStringLiteral("m%1").arg(row) });
    Export(Path(), { texts }, filter, 1101 * 12 + 12);
    const std::vector<TRecord> merged = OfType(Records(WorkbookStream(Path())), 229);
    ASSERT_EQ(merged.size(), 2u);
    EXPECT_EQ(merged[0].Data.left(2), HexBytes("03 04"));
    const QJsonObject sheet = ReadBack(Path())[QStringLiteral("sheets")].toArray()[0].toObject();
    EXPECT_EQ(sheet[QStringLiteral("merged")].toArray().size(), 1100);
}

TEST_F(XLSFile, ColoursMissingFromThePaletteTakeFreeEntries)
{
    REQUIRE_XLRD();
    TRLXLSFilter filter;
    Export(Path(),
        { { { TRect(0, 0, 100, 20), QStringLiteral("a"), MetaTextAlignmentLeft, MetaTextLayoutTop,
                RGBToColor(1, 2, 3) },
            { TRect(0, 20, 100, 40), QStringLiteral("b"), MetaTextAlignmentLeft, MetaTextLayoutTop,
                clBlack } } },
        filter);
    const QJsonObject sheet = ReadBack(Path())[QStringLiteral("sheets")].toArray()[0].toObject();
    // The first entry that is neither basic nor used: position 16 (9999FF), index 24.
    EXPECT_EQ(CellAt(sheet, 0, 0)[QStringLiteral("colour")].toInt(), 24);
    EXPECT_EQ(CellAt(sheet, 0, 0)[QStringLiteral("rgb")].toArray(), QJsonArray({ 1, 2, 3 }));
    EXPECT_EQ(CellAt(sheet, 1, 0)[QStringLiteral("colour")].toInt(), 8);
}

TEST_F(XLSFile, OnlyTheFirstSheetIsSelectedAndShown)
{
    TRLXLSFilter filter;
    Export(Path(), { { { TRect(0, 0, 100, 20), QStringLiteral("a") } }, {}, {} }, filter);
    const std::vector<TRecord> all = Records(WorkbookStream(Path()));
    const std::vector<TRecord> windows = OfType(all, rtWindow2);
    ASSERT_EQ(windows.size(), 3u);
    // Grid lines, headings, zeros, default grid colour, outline symbols; the first also selected
    // (0x200) and displayed (0x400).
    EXPECT_EQ(windows[0].Data, HexBytes("b6 06 00 00 00 00 40 00 00 00 00 00 00 00 00 00 00 00"));
    EXPECT_EQ(windows[1].Data, HexBytes("b6 00 00 00 00 00 40 00 00 00 00 00 00 00 00 00 00 00"));
    EXPECT_EQ(windows[2].Data, windows[1].Data);
    // The workbook window opens on sheet 0 with one sheet selected.
    const std::vector<TRecord> window1 = OfType(all, rtWindow1);
    ASSERT_EQ(window1.size(), 1u);
    EXPECT_EQ(window1[0].Data.mid(10, 6), HexBytes("00 00 00 00 01 00"));

    if (!HaveXlrd())
        GTEST_SKIP() << "python3-xlrd is not installed; the reader's view is not checked";
    QProcess process;
    process.start(Python(),
        { QStringLiteral("-c"),
            QStringLiteral("import sys, xlrd\n"
                           "b = xlrd.open_workbook(sys.argv[1], formatting_info=True)\n"
                           "print(' '.join('%s:%d%d' % (s.name, s.sheet_selected, s.sheet_visible) for s in "
                           "b.sheets()))\n"),
            Path() });
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(QString::fromUtf8(process.readAllStandardOutput()).trimmed(),
        QStringLiteral("Página 1:11 Página 2:00 Página 3:00"))
        << process.readAllStandardError().constData();
}

TEST_F(XLSFile, RepeatedTextsAreSharedOnceAndCounted)
{
    TRLXLSFilter filter;
    const std::vector<TTextItem> page { { TRect(0, 0, 100, 20), QStringLiteral("Página:") },
        { TRect(100, 0, 200, 20), QStringLiteral("UN") }, { TRect(0, 20, 100, 40), QStringLiteral("UN") } };
    Export(Path(), { page, page }, filter);
    const std::vector<TRecord> all = Records(WorkbookStream(Path()));
    const std::vector<TRecord> sst = OfType(all, rtSST);
    ASSERT_EQ(sst.size(), 1u);
    // Six cells refer to two strings.
    EXPECT_EQ(sst[0].Data,
        HexBytes("06 00 00 00 02 00 00 00 07 00 01 50 00 e1 00 67 00 69 00 6e 00 61 00 3a 00"
                 " 02 00 01 55 00 4e 00"));
    const std::vector<TRecord> labels = OfType(all, rtLabelSST);
    ASSERT_EQ(labels.size(), 6u);
    for (std::size_t i = 0; i < labels.size(); ++i)
        EXPECT_EQ(DWordAt(labels[i].Data, 6), i % 3 == 0 ? 0u : 1u) << i;
    const std::vector<TRecord> extsst = OfType(all, rtExtSST);
    ASSERT_EQ(extsst.size(), 1u);
    EXPECT_EQ(extsst[0].Data.size(), 2 + 8);
    if (!HaveXlrd())
        GTEST_SKIP() << "python3-xlrd is not installed; whole-file check skipped";
    const QJsonArray sheets = ReadBack(Path())[QStringLiteral("sheets")].toArray();
    ASSERT_EQ(sheets.size(), 2);
    for (const QJsonValue& sheet : sheets) {
        EXPECT_EQ(
            CellAt(sheet.toObject(), 0, 0)[QStringLiteral("value")].toString(), QStringLiteral("Página:"));
        EXPECT_EQ(CellAt(sheet.toObject(), 0, 1)[QStringLiteral("value")].toString(), QStringLiteral("UN"));
        EXPECT_EQ(CellAt(sheet.toObject(), 1, 0)[QStringLiteral("value")].toString(), QStringLiteral("UN"));
    }
}

TEST_F(XLSFile, FontsAreRegularOrBoldByTheFormatsWeights)
{
    REQUIRE_XLRD();
    TRLXLSFilter filter;
    Export(Path(),
        { { { TRect(0, 0, 100, 20), QStringLiteral("normal") },
            { TRect(100, 0, 200, 20), QStringLiteral("negrito"), MetaTextAlignmentLeft, MetaTextLayoutTop,
                clBlack, fsBold } } },
        filter);
    QProcess process;
    process.start(Python(),
        { QStringLiteral("-c"),
            QStringLiteral("import sys, xlrd\n"
                           "b = xlrd.open_workbook(sys.argv[1], formatting_info=True)\n"
                           "s = b.sheet_by_index(0)\n"
                           "for c in range(2):\n"
                           "    f = b.font_list[b.xf_list[s.cell_xf_index(0, c)].font_index]\n"
                           "    print(s.cell_value(0, c), f.weight)\n"
                           "print(sorted(set(f.weight for f in b.font_list)))\n"),
            Path() });
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(QString::fromUtf8(process.readAllStandardOutput()),
        QStringLiteral("normal 400\nnegrito 700\n[400, 700]\n"))
        << process.readAllStandardError().constData();
}

TEST_F(XLSFile, TextsOutsideTheCodePageSurviveOnEverySheet)
{
    REQUIRE_XLRD();
    // More pages than the page store keeps in memory: the first ones are read back from its swap file.
    const QString wide = QStringLiteral("Ωμέγα ₹ 中文 😀 café");
    std::vector<std::vector<TTextItem>> pages;
    for (int n = 0; n < 8; ++n)
        pages.push_back({ { TRect(0, 0, 300, 20), wide + QString::number(n) } });
    TRLXLSFilter filter;
    Export(Path(), pages, filter);
    const QJsonArray sheets = ReadBack(Path())[QStringLiteral("sheets")].toArray();
    ASSERT_EQ(sheets.size(), 8);
    for (int n = 0; n < 8; ++n)
        EXPECT_EQ(
            CellAt(sheets[n].toObject(), 0, 0)[QStringLiteral("value")].toString(), wide + QString::number(n))
            << n;
}

// A heading as the inventory prints it: the company name centred over the width, "Página:" and the
// page number over its right end; then one line of its own per page.
std::vector<std::vector<TTextItem>> HeadingPages(int Count)
{
    std::vector<std::vector<TTextItem>> pages;
    for (int n = 1; n <= Count; ++n)
        pages.push_back({ { TRect(76, 5, 742, 21), QStringLiteral("Comercial Quillborough Ltda"),
                              MetaTextAlignmentCenter, MetaTextLayoutTop, clBlack, fsBold | fsItalic },
            { TRect(627, 5, 668, 17), QStringLiteral("Página:"), MetaTextAlignmentLeft, MetaTextLayoutTop,
                clBlack, fsBold },
            { TRect(672, 5, 748, 17), QString::number(n + 1) },
            { TRect(76, 40, 300, 52), QStringLiteral("linha da página %1").arg(n) } });
    return pages;
}

TEST_F(XLSFile, TheCompanyNameUnderThePageNumberIsOnEverySheet)
{
    REQUIRE_XLRD();
    TRLXLSFilter filter;
    Export(Path(), HeadingPages(3), filter);
    const QJsonArray sheets = ReadBack(Path())[QStringLiteral("sheets")].toArray();
    ASSERT_EQ(sheets.size(), 3);
    for (int n = 0; n < 3; ++n) {
        QStringList texts;
        for (const QJsonValue& cell : sheets[n].toObject()[QStringLiteral("cells")].toArray())
            texts.append(cell.toObject()[QStringLiteral("value")].toVariant().toString());
        EXPECT_TRUE(texts.contains(QStringLiteral("Comercial Quillborough Ltda")))
            << n << texts.join('|').toStdString();
        EXPECT_TRUE(texts.contains(QStringLiteral("Página:"))) << n;
        EXPECT_TRUE(texts.contains(QString::number(n + 2))) << n;
    }
}

// Spreadsheet programs' own readers, where they are installed: the workbook opens on its first sheet
// and every sheet keeps the company name.
TEST_F(XLSFile, SpreadsheetProgramsReadEverySheetAndOpenOnTheFirst)
{
    const QString ssconvert = QStandardPaths::findExecutable(QStringLiteral("ssconvert"));
    QString office = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (office.isEmpty())
        office = QStandardPaths::findExecutable(QStringLiteral("libreoffice"));
    if (ssconvert.isEmpty() && office.isEmpty())
        GTEST_SKIP()
            << "neither Gnumeric's ssconvert nor LibreOffice is installed; their read-backs are skipped";
    TRLXLSFilter filter;
    Export(Path(), HeadingPages(3), filter);
    if (!ssconvert.isEmpty()) {
        QProcess process;
        process.start(
            ssconvert, { QStringLiteral("-S"), Path(), Folder.filePath(QStringLiteral("gnumeric.csv")) });
        ASSERT_TRUE(process.waitForFinished(120000));
        for (int n = 0; n < 3; ++n) {
            QFile sheet(Folder.filePath(QStringLiteral("gnumeric.csv.%1").arg(n)));
            ASSERT_TRUE(sheet.open(QIODevice::ReadOnly)) << n;
            const QString text = QString::fromUtf8(sheet.readAll());
            EXPECT_TRUE(text.contains(QStringLiteral("Comercial Quillborough Ltda")))
                << n << text.toStdString();
            EXPECT_TRUE(text.contains(QStringLiteral("linha da página %1").arg(n + 1))) << n;
        }
    }
    if (!office.isEmpty()) {
        // Converted to text, a workbook gives the sheet it opens on.
        const QString out = Folder.filePath(QStringLiteral("office"));
        QProcess process;
        process.start(office,
            { QStringLiteral("--headless"), QStringLiteral("--convert-to"), QStringLiteral("csv"),
                QStringLiteral("--outdir"), out, Path() });
        ASSERT_TRUE(process.waitForFinished(180000));
        QFile sheet(out + QStringLiteral("/out.csv"));
        ASSERT_TRUE(sheet.open(QIODevice::ReadOnly)) << process.readAllStandardError().constData();
        const QString text = QString::fromUtf8(sheet.readAll());
        EXPECT_TRUE(text.contains(QStringLiteral("Comercial Quillborough Ltda"))) << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("linha da página 1"))) << text.toStdString();
    }
}

// --- replacing files -----------------------------------------------------------------------------

TEST_F(XLSFile, AnAbortedRunLeavesTheOldFileUntouched)
{
    QFile old(Path());
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old contents");
    old.close();
    TComponent owner;
    auto* storage = new TRLGraphicStorage(&owner);
    storage->Add(MakePage({ { TRect(0, 0, 100, 20), QStringLiteral("a") } }));
    storage->Add(MakePage({ { TRect(0, 0, 100, 20), QStringLiteral("b") } }));
    const int tempsBefore = int(RegisteredTempFiles().size());
    // The user cancels while the first of two pages is drawn.
    class TCancelling : public TRLXLSFilter
    {
    public:
        using TRLXLSFilter::TRLXLSFilter;

    protected:
        void DrawPage(TRLGraphicSurface* Surface) override
        {
            TRLXLSFilter::DrawPage(Surface);
            Cancel();
        }
    } cancelling;
    cancelling.SetFileName(Path());
    cancelling.SetShowProgress(false);
    cancelling.ProcessPages(storage, 1, -1, false);
    QFile check(Path());
    ASSERT_TRUE(check.open(QIODevice::ReadOnly));
    EXPECT_EQ(check.readAll(), QByteArray("old contents"));
    EXPECT_EQ(int(RegisteredTempFiles().size()), tempsBefore);
    EXPECT_EQ(QDir(Folder.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

TEST_F(XLSFile, AnUnwritableTargetRaisesAnErrorNamingTheFile)
{
    TRLXLSFilter filter;
    const QString target = Folder.filePath(QStringLiteral("missing/sub/out.xls"));
    try {
        Export(target, { { { TRect(0, 0, 100, 20), QStringLiteral("a") } } }, filter);
        FAIL() << "no error";
    } catch (const Exception& error) {
        EXPECT_TRUE(error.Message().contains(target)) << error.Message().toStdString();
        EXPECT_TRUE(error.Message().startsWith(QStringLiteral("Não foi possível gravar")))
            << error.Message().toStdString();
    }
    EXPECT_FALSE(QFile::exists(target));
}

// Found by the spreadsheet writer's fuzzer: a text whose rectangle starts at the lowest int made the
// column width overflow (UBSan: signed integer overflow in DrawPage).
TEST_F(XLSFile, ColumnEdgeOverflowAtTheIntLimits)
{
    TRLXLSFilter filter;
    const std::vector<std::vector<TTextItem>> pages = { {
        { TRect(std::numeric_limits<int>::min(), std::numeric_limits<int>::min(), 28613, 20),
            QStringLiteral("far left") },
        { TRect(0, 0, std::numeric_limits<int>::max(), std::numeric_limits<int>::max()),
            QStringLiteral("far right") },
        { TRect(10, 30, 110, 50), QStringLiteral("plain") },
    } };
    Export(Path(), pages, filter);
    QFile check(Path());
    ASSERT_TRUE(check.open(QIODevice::ReadOnly));
    EXPECT_EQ(check.read(8), HexBytes("d0 cf 11 e0 a1 b1 1a e1"));
    EXPECT_EQ(check.size() % 512, 0);
}

TEST_F(XLSFile, ACompleteRunReplacesTheOldFile)
{
    {
        QFile old(Path());
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old contents");
    }
    TRLXLSFilter filter;
    const int tempsBefore = int(RegisteredTempFiles().size());
    Export(Path(), { { { TRect(0, 0, 100, 20), QStringLiteral("a") } } }, filter);
    QFile check(Path());
    ASSERT_TRUE(check.open(QIODevice::ReadOnly));
    EXPECT_EQ(check.read(8), HexBytes("d0 cf 11 e0 a1 b1 1a e1"));
    EXPECT_EQ(check.size() % 512, 0);
    EXPECT_EQ(int(RegisteredTempFiles().size()), tempsBefore);
}

TEST(XLSFilterProperties, DefaultsAndPageSetupCopy)
{
    TRLXLSFilter filter;
    EXPECT_EQ(filter.DisplayName(), QStringLiteral("Planilha Excel"));
    EXPECT_EQ(filter.DefaultExt(), QStringLiteral(".xls"));
    EXPECT_EQ(filter.Options(), TRLXLSFilterOptions());
    TRLXLSPageSetup setup;
    EXPECT_EQ(setup.Copies(), 1);
    EXPECT_DOUBLE_EQ(setup.TopMargin(), 2.5);
    setup.SetLeftMargin(3.0);
    setup.SetCenterHeader(QStringLiteral("x"));
    filter.SetPageSetup(&setup);
    EXPECT_NE(filter.PageSetup(), &setup);
    EXPECT_DOUBLE_EQ(filter.PageSetup()->LeftMargin(), 3.0);
    EXPECT_EQ(filter.PageSetup()->CenterHeader(), QStringLiteral("x"));
    // Margins at their defaults are not stored, changed ones are.
    const QMetaObject* meta = filter.PageSetup()->metaObject();
    EXPECT_TRUE(filter.PageSetup()->IsPropertyStored(meta->property(meta->indexOfProperty("LeftMargin"))));
    EXPECT_FALSE(filter.PageSetup()->IsPropertyStored(meta->property(meta->indexOfProperty("TopMargin"))));
}
