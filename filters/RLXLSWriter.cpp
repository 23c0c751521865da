#include "filters/RLXLSWriter.h"
#include "filters/RLXLSRecords.h"

#include "engine/RLConsts.h"
#include "platform/Exceptions.h"

#include <QFileDevice>
#include <QIODevice>

#include <cstring>

namespace {

QString DeviceName(const QIODevice& Device)
{
    if (auto* file = qobject_cast<const QFileDevice*>(&Device))
        return file->fileName();
    return QString();
}

[[noreturn]] void RaiseWriteFailed(QIODevice& Device)
{
    throw Exception(XLSWriteErrorMessage(DeviceName(Device), Device.errorString()));
}

void WriteAll(QIODevice& Device, const char* Data, qint64 Size)
{
    if (Size > 0 && Device.write(Data, Size) != Size)
        RaiseWriteFailed(Device);
}

void WriteAll(QIODevice& Device, const QByteArray& Bytes)
{
    WriteAll(Device, Bytes.constData(), Bytes.size());
}

constexpr int SectorSize = 512;
constexpr uint32_t FreeSector = 0xFFFFFFFFu;
constexpr uint32_t EndOfChain = 0xFFFFFFFEu;
constexpr uint32_t AllocationSectorMark = 0xFFFFFFFDu;
constexpr uint32_t ExtraAllocationSectorMark = 0xFFFFFFFCu;
constexpr uint32_t HeaderAllocationEntries = 109;
constexpr uint32_t EntriesPerSector = SectorSize / 4;
// The last entry of an extra allocation sector points to the next one.
constexpr uint32_t EntriesPerExtraSector = EntriesPerSector - 1;

QByteArray DirectoryEntry(
    const QString& Name, uint8_t Type, uint32_t Child, uint32_t StartSector, uint32_t Size)
{
    TByteWriter entry;
    if (!Name.isEmpty()) {
        entry.Utf16(Name).Word(0);
    }
    entry.Zeros(64 - entry.Size());
    entry.Word(Name.isEmpty() ? 0 : uint16_t((Name.size() + 1) * 2));
    entry.Byte(Type).Byte(Name.isEmpty() ? 0 : 1);
    entry.DWord(FreeSector).DWord(FreeSector).DWord(Child);
    entry.Zeros(16 + 4 + 8 + 8);
    entry.DWord(Name.isEmpty() ? 0 : StartSector).DWord(Size).DWord(0);
    return entry.Data();
}

} // namespace

// --- bytes ---------------------------------------------------------------------------------------

QByteArray HexBytes(const char* Text)
{
    return QByteArray::fromHex(QByteArray(Text));
}

QByteArray BiffRecord(uint16_t Type, const QByteArray& Data)
{
    QByteArray bytes;
    bytes.reserve(Data.size() + 4 + (Data.size() / BiffMaxRecordData) * 4);
    qsizetype offset = 0;
    uint16_t type = Type;
    do {
        const qsizetype chunk = qMin<qsizetype>(Data.size() - offset, BiffMaxRecordData);
        TByteWriter header;
        header.Word(type).Word(uint16_t(chunk));
        bytes.append(header.Data());
        bytes.append(Data.constData() + offset, chunk);
        offset += chunk;
        type = rtContinue;
    } while (offset < Data.size());
    return bytes;
}

// --- record writer -------------------------------------------------------------------------------

TRLBiffWriter::TRLBiffWriter(QIODevice& Device)
    : FDevice(Device)
{
    FBuffer.reserve(1 << 16);
}

TRLBiffWriter::~TRLBiffWriter() = default;

void TRLBiffWriter::WriteRaw(const QByteArray& Bytes)
{
    FBuffer.append(Bytes);
    if (FBuffer.size() >= (1 << 16))
        Flush();
}

void TRLBiffWriter::Flush()
{
    if (FBuffer.isEmpty())
        return;
    WriteAll(FDevice, FBuffer);
    FFlushed += FBuffer.size();
    FBuffer.clear();
}

void TRLBiffWriter::Patch(qint64 Position, const QByteArray& Bytes)
{
    if (Position < 0 || Position + Bytes.size() > this->Position())
        throw Exception(
            XLSWriteErrorMessage(DeviceName(FDevice), QStringLiteral("patch outside the stream")));
    if (Position >= FFlushed) {
        std::memcpy(FBuffer.data() + (Position - FFlushed), Bytes.constData(), std::size_t(Bytes.size()));
        return;
    }
    Flush();
    if (!FDevice.seek(Position))
        RaiseWriteFailed(FDevice);
    WriteAll(FDevice, Bytes);
    if (!FDevice.seek(FFlushed))
        RaiseWriteFailed(FDevice);
}

// --- shared strings ------------------------------------------------------------------------------

uint32_t TRLSSTWriter::StringsPerBucket(uint32_t UniqueCount)
{
    return qMax<uint32_t>(UniqueCount / 128 + 1, 8);
}

TRLSSTWriter::TRLSSTWriter(TRLBiffWriter& Writer, uint32_t TotalCount, uint32_t UniqueCount)
    : FWriter(Writer)
    , FPerBucket(StringsPerBucket(UniqueCount))
{
    FRecordStart = FWriter.Position();
    TByteWriter counts;
    counts.DWord(TotalCount).DWord(UniqueCount);
    FRecord = counts.Data();
    FBuckets.reserve((UniqueCount + FPerBucket - 1) / FPerBucket);
}

void TRLSSTWriter::FlushRecord()
{
    FWriter.WriteRecord(FRecordType, FRecord);
    FRecordType = rtContinue;
    FRecord.clear();
    FRecordStart = FWriter.Position();
}

void TRLSSTWriter::Add(const QString& Text)
{
    // A header with no room for even one character after it would be split from its text.
    if (BiffMaxRecordData - FRecord.size() <= 4)
        FlushRecord();
    if (FAdded % FPerBucket == 0) {
        const qint64 offset = 4 + FRecord.size();
        FBuckets.push_back({ uint32_t(FRecordStart + offset), uint16_t(offset) });
    }
    ++FAdded;
    TByteWriter header;
    header.Word(uint16_t(Text.size())).Byte(1);
    FRecord.append(header.Data());
    qsizetype done = 0;
    while (true) {
        const qsizetype room = (BiffMaxRecordData - FRecord.size()) / 2;
        const qsizetype count = qMin(room, Text.size() - done);
        TByteWriter chars;
        chars.Utf16(Text.mid(done, count));
        FRecord.append(chars.Data());
        done += count;
        if (done >= Text.size())
            break;
        // The rest of the characters continue after the string flags, repeated.
        FlushRecord();
        FRecord.append(char(1));
    }
}

void TRLSSTWriter::Finish()
{
    FlushRecord();
    TByteWriter extsst;
    extsst.Word(uint16_t(FPerBucket));
    for (const TBucket& bucket : FBuckets)
        extsst.DWord(bucket.Position).Word(bucket.Offset).Word(0);
    FWriter.WriteRecord(rtExtSST, extsst);
}

// --- string table --------------------------------------------------------------------------------

void TRLXLSStringTable::Clear()
{
    FArena = QByteArray();
    FStarts = {};
    FHashes = {};
    FSlots.assign(1024, 0);
    FTotal = 0;
}

QByteArrayView TRLXLSStringTable::Bytes(uint32_t Index) const
{
    const uint32_t start = FStarts[Index];
    const uint32_t end = Index + 1 < FStarts.size() ? FStarts[Index + 1] : uint32_t(FArena.size());
    return QByteArrayView(FArena.constData() + start, end - start);
}

QString TRLXLSStringTable::At(uint32_t Index) const
{
    return QString::fromUtf8(Bytes(Index));
}

void TRLXLSStringTable::Grow()
{
    std::vector<uint32_t> table(FSlots.size() * 2, 0);
    const std::size_t mask = table.size() - 1;
    for (uint32_t i = 0; i < FStarts.size(); ++i) {
        std::size_t slot = FHashes[i] & mask;
        while (table[slot] != 0)
            slot = (slot + 1) & mask;
        table[slot] = i + 1;
    }
    FSlots = std::move(table);
}

uint32_t TRLXLSStringTable::Add(const QString& Text)
{
    const QByteArray utf8 = Text.toUtf8();
    const uint32_t hash = uint32_t(qHash(QByteArrayView(utf8)));
    const std::size_t mask = FSlots.size() - 1;
    std::size_t slot = hash & mask;
    ++FTotal;
    while (FSlots[slot] != 0) {
        const uint32_t index = FSlots[slot] - 1;
        if (FHashes[index] == hash && Bytes(index) == QByteArrayView(utf8))
            return index;
        slot = (slot + 1) & mask;
    }
    // Offsets are 32-bit, and so are the format's string counts.
    if (qint64(FArena.size()) + utf8.size() > qint64(0xFFFFFFFFu) || FStarts.size() >= 0xFFFFFFFEu)
        throw Exception(XLSWriteErrorMessage(QString(), QStringLiteral("too many texts")));
    const uint32_t index = uint32_t(FStarts.size());
    FStarts.push_back(uint32_t(FArena.size()));
    FHashes.push_back(hash);
    FArena.append(utf8);
    FSlots[slot] = index + 1;
    if (FStarts.size() * 2 > FSlots.size())
        Grow();
    return index;
}

// --- compound document ---------------------------------------------------------------------------

TRLCompoundLayout CompoundLayout(qint64 StreamSectors)
{
    // The directory records a stream's size in 32 bits, and BIFF positions are 32 bits as well.
    if (StreamSectors < 0 || StreamSectors > qint64(0xFFFFFFFFu) / SectorSize)
        throw Exception(XLSWriteErrorMessage(QString(), QStringLiteral("workbook too large")));
    TRLCompoundLayout layout;
    layout.StreamSectors = uint32_t(StreamSectors);
    const qint64 k = StreamSectors;
    qint64 n = 1;
    qint64 d = 0;
    while (true) {
        d = n > HeaderAllocationEntries
            ? (n - HeaderAllocationEntries + EntriesPerExtraSector - 1) / EntriesPerExtraSector
            : 0;
        if (qint64(EntriesPerSector) * n >= k + n + d + 1)
            break;
        ++n;
    }
    layout.AllocationSectors = uint32_t(n);
    layout.ExtraAllocationSectors = uint32_t(d);
    layout.DirectorySector = uint32_t(k + n + d);
    return layout;
}

void WriteCompoundDocument(QIODevice& Out, QIODevice& Stream, qint64 StreamSize)
{
    const qint64 k = (StreamSize + SectorSize - 1) / SectorSize;
    const TRLCompoundLayout layout = CompoundLayout(k);
    const uint32_t n = layout.AllocationSectors;
    const uint32_t d = layout.ExtraAllocationSectors;
    const uint32_t firstAllocation = layout.StreamSectors;

    TByteWriter header;
    header.Bytes(HexBytes("d0cf11e0a1b11ae1")).Zeros(16);
    header.Word(62).Word(3).Word(0xFFFE).Word(9).Word(6).Zeros(6);
    header.DWord(0).DWord(n).DWord(layout.DirectorySector).DWord(0).DWord(4096);
    header.DWord(EndOfChain).DWord(0);
    header.DWord(d > 0 ? firstAllocation + n : EndOfChain).DWord(d);
    for (uint32_t i = 0; i < HeaderAllocationEntries; ++i)
        header.DWord(i < n ? firstAllocation + i : FreeSector);
    WriteAll(Out, header.Data());

    // The stream, copied in pieces so it never sits in memory whole; its last sector padded.
    QByteArray chunk;
    qint64 left = StreamSize;
    while (left > 0) {
        chunk = Stream.read(qMin<qint64>(left, 1 << 16));
        if (chunk.isEmpty())
            throw Exception(XLSWriteErrorMessage(DeviceName(Stream), Stream.errorString()));
        left -= chunk.size();
        WriteAll(Out, chunk);
    }
    const qint64 padding = k * SectorSize - StreamSize;
    if (padding > 0)
        WriteAll(Out, QByteArray(padding, '\0'));

    // Allocation table, one sector at a time.
    const uint64_t total = uint64_t(n) * EntriesPerSector;
    TByteWriter sector;
    for (uint64_t entry = 0; entry < total; ++entry) {
        uint32_t value = FreeSector;
        if (entry < uint64_t(k))
            value = entry + 1 < uint64_t(k) ? uint32_t(entry + 1) : EndOfChain;
        else if (entry < uint64_t(k) + n)
            value = AllocationSectorMark;
        else if (entry < uint64_t(k) + n + d)
            value = ExtraAllocationSectorMark;
        else if (entry == layout.DirectorySector)
            value = EndOfChain;
        sector.DWord(value);
        if (sector.Size() == SectorSize) {
            WriteAll(Out, sector.Data());
            sector = TByteWriter();
        }
    }

    // Extra allocation sectors: the allocation sectors the header had no room for, then the next one.
    for (uint32_t j = 0; j < d; ++j) {
        TByteWriter extra;
        for (uint32_t i = 0; i < EntriesPerExtraSector; ++i) {
            const uint64_t index
                = uint64_t(HeaderAllocationEntries) + uint64_t(j) * EntriesPerExtraSector + i;
            extra.DWord(index < n ? uint32_t(firstAllocation + index) : FreeSector);
        }
        extra.DWord(j + 1 < d ? firstAllocation + n + j + 1 : EndOfChain);
        WriteAll(Out, extra.Data());
    }

    QByteArray directory;
    directory += DirectoryEntry(QStringLiteral("Root Entry"), 5, 1, EndOfChain, 0);
    directory += DirectoryEntry(QStringLiteral("Workbook"), 2, FreeSector, 0, uint32_t(StreamSize));
    directory += DirectoryEntry(QString(), 0, FreeSector, 0, 0);
    directory += DirectoryEntry(QString(), 0, FreeSector, 0, 0);
    WriteAll(Out, directory);
}

QString XLSWriteErrorMessage(const QString& FileName, const QString& Reason)
{
    QString text;
    switch (RLActiveLanguage()) {
    case lgPortuguese:
        text = QStringLiteral("Não foi possível gravar o arquivo \"%1\"").arg(FileName);
        break;
    case lgFrench:
        text = QStringLiteral("Impossible d'écrire le fichier \"%1\"").arg(FileName);
        break;
    case lgSpanish:
        text = QStringLiteral("No se pudo escribir el archivo \"%1\"").arg(FileName);
        break;
    case lgEnglish:
        text = QStringLiteral("Could not write the file \"%1\"").arg(FileName);
        break;
    }
    if (!Reason.isEmpty())
        text += QStringLiteral(": ") + Reason;
    return text;
}
