#pragma once
// The byte level of the spreadsheet writer: BIFF records (their data built with TByteWriter) with
// their CONTINUE splitting, the shared string table and the compound-document container.
//
// Nothing here depends on the locale: numbers are written as their binary forms. Every device write
// is checked; a failed write raises Exception with a message in the user's language that names the
// file (the device's file name, when it is a file).
#include "filters/RLXLSRecords.h"
#include "platform/ByteWriter.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

class QIODevice;

// Bytes from hexadecimal text with blanks between pairs ("e0 00 14 00").
QByteArray HexBytes(const char* Text);

// The largest record data; longer data continues in CONTINUE records.
constexpr int BiffMaxRecordData = 8224;

// One record (header and data), split into CONTINUE records when the data is longer than the limit.
QByteArray BiffRecord(uint16_t Type, const QByteArray& Data);

// Writes records to a device through a buffer, counting the stream position, and patches bytes
// already written (positions of records known only later).
class TRLBiffWriter
{
public:
    // Device must be open for writing (and reading, for patches behind the buffer), at position 0.
    explicit TRLBiffWriter(QIODevice& Device);
    ~TRLBiffWriter();
    TRLBiffWriter(const TRLBiffWriter&) = delete;
    TRLBiffWriter& operator=(const TRLBiffWriter&) = delete;

    qint64 Position() const { return FFlushed + FBuffer.size(); }
    void WriteRecord(uint16_t Type, const QByteArray& Data) { WriteRaw(BiffRecord(Type, Data)); }
    void WriteRecord(uint16_t Type, const TByteWriter& Data) { WriteRaw(BiffRecord(Type, Data.Data())); }
    void WriteRaw(const QByteArray& Bytes);
    void Patch(qint64 Position, const QByteArray& Bytes);
    void Flush();

private:
    QIODevice& FDevice;
    QByteArray FBuffer;
    qint64 FFlushed = 0;
};

// Writes the shared string table: SST with CONTINUE records that never split a string header, then
// EXTSST. TotalCount is the number of cells that refer to the table, UniqueCount the number of
// (distinct) strings that follow; the extended table has one bucket per
// max(UniqueCount / 128 + 1, 8) strings, as the format's readers expect.
class TRLSSTWriter
{
public:
    TRLSSTWriter(TRLBiffWriter& Writer, uint32_t TotalCount, uint32_t UniqueCount);
    void Add(const QString& Text);
    // Writes the last SST/CONTINUE record and the EXTSST record.
    void Finish();

    static uint32_t StringsPerBucket(uint32_t UniqueCount);

private:
    void FlushRecord();

    TRLBiffWriter& FWriter;
    QByteArray FRecord; // data of the record being filled
    uint16_t FRecordType = rtSST;
    qint64 FRecordStart = 0; // stream position of its header
    uint32_t FAdded = 0;
    uint32_t FPerBucket = 8;
    struct TBucket
    {
        uint32_t Position;
        uint16_t Offset;
    };
    std::vector<TBucket> FBuckets;
};

// The distinct texts of a workbook in order of first use, each stored once: a million-product
// inventory repeats its headings, units and prices on every sheet. Texts live as UTF-8 in one block
// with an open-addressing index, a few bytes per text beyond the text itself.
class TRLXLSStringTable
{
public:
    TRLXLSStringTable() { Clear(); }
    // The index of Text, added when new; every call counts one reference.
    uint32_t Add(const QString& Text);
    uint32_t TotalCount() const { return FTotal; }
    uint32_t UniqueCount() const { return uint32_t(FStarts.size()); }
    QString At(uint32_t Index) const;
    void Clear();

private:
    QByteArrayView Bytes(uint32_t Index) const;
    void Grow();

    QByteArray FArena;
    std::vector<uint32_t> FStarts; // of each text in FArena; it ends where the next begins
    std::vector<uint32_t> FHashes;
    std::vector<uint32_t> FSlots; // index + 1, 0 when free; a power of two in size
    uint32_t FTotal = 0;
};

// Where the parts of a compound document go, for a stream of StreamSectors sectors.
struct TRLCompoundLayout
{
    uint32_t StreamSectors = 0; // k: sectors 0 .. k-1
    uint32_t AllocationSectors = 0; // n: sectors k .. k+n-1
    uint32_t ExtraAllocationSectors = 0; // d: sectors k+n .. k+n+d-1
    uint32_t DirectorySector = 0; // k+n+d
};
// The smallest allocation table that has an entry for every sector, itself and the extra allocation
// sectors it needs beyond the header's 109 included. Throws for a stream too large for the format.
TRLCompoundLayout CompoundLayout(qint64 StreamSectors);

// The container's smallest regular stream; shorter streams would have to live in the mini stream,
// which this writer does not produce, so the workbook stream is padded up to it.
constexpr qint64 CompoundMinimumStreamSize = 4096;

// Writes the compound document holding Stream (read from its current position, StreamSize bytes) as
// "Workbook" to Out.
void WriteCompoundDocument(QIODevice& Out, QIODevice& Stream, qint64 StreamSize);

// The message for a file that could not be created or written, in the user's language.
QString XLSWriteErrorMessage(const QString& FileName, const QString& Reason);
