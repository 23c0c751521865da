// The page store: links, the page cache, the swap file and the page store file.
#include "pagestore/RLMetaFile.h"

#include "platform/Application.h"
#include "platform/Cp1252.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "platform/Messages.h"
#include "platform/TempFiles.h"

#include <QBuffer>
#include <QFile>
#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <limits>
#include <new>

#include <fcntl.h>
#include <unistd.h>

namespace {

const char StorageSignature[] = "RLGraphicStorage3\x1A"; // 18 bytes
constexpr qint64 StorageSignatureSize = 18;
constexpr int CacheCapacity = 5;
constexpr qint64 CopyChunkSize = 1 << 20;

// Every failure names the file and the cause: the swap file by its folder (it has no name), any
// other file by its name.
[[noreturn]] void RaiseWriteError(const QIODevice& Device)
{
    if (const auto* temp = qobject_cast<const TRLTempFile*>(&Device))
        throw Exception(temp->WriteFailureText());
    const auto* file = qobject_cast<const QFileDevice*>(&Device);
    const QString name = file ? file->fileName() : QString();
    throw Exception(RLFailureText(RLFailCannotWriteFile).arg(name, Device.errorString()));
}

[[noreturn]] void RaiseReadError(const QIODevice& Device)
{
    if (const auto* temp = qobject_cast<const TRLTempFile*>(&Device))
        throw EReadError(temp->ReadFailureText());
    const auto* file = qobject_cast<const QFileDevice*>(&Device);
    throw EReadError(
        RLFailureText(RLFailCannotReadFile).arg(file ? file->fileName() : QString(), Device.errorString()));
}

void WriteAll(QIODevice& Device, const char* Data, qint64 Size)
{
    if (Size > 0 && Device.write(Data, Size) != Size)
        RaiseWriteError(Device);
}

void WriteAll(QIODevice& Device, const QByteArray& Bytes)
{
    WriteAll(Device, Bytes.constData(), Bytes.size());
}

// Reads exactly Size bytes or raises Failure.
template <typename Failure> void ReadExact(QIODevice& Device, char* Data, qint64 Size, Failure failure)
{
    if (Size > 0 && Device.read(Data, Size) != Size)
        failure();
}

int32_t ReadInt32(QIODevice& Device)
{
    char bytes[4];
    ReadExact(Device, bytes, 4, RaiseFileCorrupted);
    return qFromLittleEndian<int32_t>(bytes);
}

QByteArray Int32Bytes(int32_t Value)
{
    QByteArray bytes(4, Qt::Uninitialized);
    qToLittleEndian(Value, bytes.data());
    return bytes;
}

} // namespace

TRLGraphicStorage::TRLGraphicStorage(TComponent* AOwner)
    : TComponent(AOwner)
    , FIndex(std::make_shared<TRLSwapIndex>())
    , FPages(FIndex->Slots)
{ }

TRLGraphicStorage::~TRLGraphicStorage()
{
    FDestroying = true;
    {
        // The records stay where readers find them; only the handle goes with the swap file.
        std::lock_guard<std::mutex> lock(FIndex->Lock);
        FIndex->Handle = -1;
    }
    const QList<TRLGraphicSurface*> cache = FCache;
    FCache.clear();
    for (TRLGraphicSurface* surface : cache) {
        surface->FStorage = nullptr;
        delete surface;
    }
    CloseSwapFile();
}

// --- links --------------------------------------------------------------------------------------

void TRLGraphicStorage::Link(TComponent* Component)
{
    if (!Component || Component == Owner() || FLinks.contains(Component))
        return;
    FLinks.append(Component);
    FreeNotification(Component);
}

void TRLGraphicStorage::Unlink(TComponent* Component)
{
    if (FDestroying || !Component || !FLinks.contains(Component))
        return;
    FLinks.removeAll(Component);
    RemoveFreeNotification(Component);
    if (!Owner() && FLinks.isEmpty())
        delete this; // the last user let go of a shared store
}

void TRLGraphicStorage::Notification(TComponent* Component, TOperation Operation)
{
    TComponent::Notification(Component, Operation);
    if (Operation == opRemove && FLinks.contains(Component))
        Unlink(Component); // may free this store: nothing may follow
}

// --- pages --------------------------------------------------------------------------------------

void TRLGraphicStorage::OpenSwapFile()
{
    if (FSwapFile)
        return;
    auto file = std::make_unique<TRLTempFile>();
    // Owner-only and without a name in the temporary folder: whatever ends the process, nothing of
    // it stays behind.
    FSwapFileName = CreateTempFile(*file);
    FSwapFile = std::move(file);
    FSwapEnd = 0;
    std::lock_guard<std::mutex> lock(FIndex->Lock);
    FIndex->Handle = FSwapFile->handle();
}

void TRLGraphicStorage::CloseSwapFile()
{
    if (!FSwapFile)
        return;
    {
        std::lock_guard<std::mutex> lock(FIndex->Lock);
        FIndex->Handle = -1;
    }
    FSwapFile->close();
    FSwapFile.reset();
    QFile::remove(FSwapFileName);
    UnregisterTempFile(FSwapFileName);
    FSwapFileName.clear();
}

TRLGraphicStorage::TPageSlot TRLGraphicStorage::AppendToSwapFile(
    const QByteArray& Body, const TRLFullTexts& FullTexts)
{
    OpenSwapFile();
    if (Body.size() > std::numeric_limits<int32_t>::max())
        throw Exception(RLFailureText(RLFailPageStoreTooLarge));
    TByteWriter trailer;
    trailer.Int32(int32_t(FullTexts.size()));
    for (auto it = FullTexts.constBegin(); it != FullTexts.constEnd(); ++it)
        trailer.Int32(int32_t(it.key())).Int32(int32_t(it.value().size())).Utf16(it.value());
    const qint64 position = FSwapEnd;
    if (!FSwapFile->seek(position))
        RaiseWriteError(*FSwapFile);
    WriteAll(*FSwapFile, Int32Bytes(int32_t(Body.size())));
    WriteAll(*FSwapFile, Body);
    WriteAll(*FSwapFile, trailer.Data());
    if (!static_cast<TRLTempFile&>(*FSwapFile).flush())
        RaiseWriteError(*FSwapFile);
    FSwapEnd = position + 4 + Body.size() + trailer.Size();
    return TPageSlot { position, Body.size(), trailer.Size() };
}

namespace {

// The full texts written after a page record: a count, then per text its place in the record, its
// length in UTF-16 units and the units; every count is checked against the bytes there are.
TRLFullTexts ParseFullTexts(const QByteArray& Bytes)
{
    TRLFullTexts fullTexts;
    if (Bytes.isEmpty())
        return fullTexts;
    qint64 at = 0;
    auto takeInt32 = [&] {
        if (Bytes.size() - at < 4)
            RaiseFileCorrupted();
        const int32_t value = qFromLittleEndian<int32_t>(Bytes.constData() + at);
        at += 4;
        return value;
    };
    const int32_t count = takeInt32();
    for (int32_t i = 0; i < count; ++i) {
        const int32_t place = takeInt32();
        const int32_t size = takeInt32();
        if (size < 0 || 2 * qint64(size) > Bytes.size() - at)
            RaiseFileCorrupted();
        QString text(size, Qt::Uninitialized);
        qFromLittleEndian<char16_t>(Bytes.constData() + at, size, text.data());
        at += 2 * qint64(size);
        fullTexts.insert(place, text);
    }
    return fullTexts;
}

} // namespace

void TRLGraphicStorage::StorePage(TRLGraphicSurface* Surface)
{
    TRLFullTexts fullTexts;
    const QByteArray body = Surface->SaveToBytes(fullTexts);
    const TPageSlot slot = AppendToSwapFile(body, fullTexts);
    std::lock_guard<std::mutex> lock(FIndex->Lock);
    if (Surface->FSlotIndex < 0 || Surface->FSlotIndex >= int(FPages.size())) {
        FPages.push_back(slot);
        Surface->FSlotIndex = int(FPages.size() - 1);
    } else {
        // The old record stays in the file, unreferenced, so a reader that took the old slot
        // still reads a whole page.
        FPages[std::size_t(Surface->FSlotIndex)] = slot;
    }
    Surface->Dirty = false;
    if (FPageStored)
        FPageStored(Surface->FSlotIndex, body, fullTexts);
}

TRLGraphicSurface* TRLGraphicStorage::ReadPage(int Index)
{
    if (!FSwapFile)
        return nullptr;
    auto surface = std::make_unique<TRLGraphicSurface>();
    try {
        const TPageSlot& slot = FPages[std::size_t(Index)];
        if (!FSwapFile->seek(slot.Offset))
            return nullptr;
        const int32_t length = ReadInt32(*FSwapFile);
        if (length < 0 || slot.Offset + 4 + length > FSwapEnd)
            return nullptr;
        QByteArray body(length, Qt::Uninitialized);
        ReadExact(*FSwapFile, body.data(), length, RaiseFileCorrupted);
        // The full texts behind the record, as long as the slot says they are.
        if (slot.TextsLength < 0 || slot.Offset + 4 + length + slot.TextsLength > FSwapEnd)
            return nullptr;
        QByteArray texts(qsizetype(slot.TextsLength), Qt::Uninitialized);
        ReadExact(*FSwapFile, texts.data(), texts.size(), RaiseFileCorrupted);
        const TRLFullTexts fullTexts = ParseFullTexts(texts);
        surface->LoadFromBytes(body, fullTexts);
    } catch (const Exception&) {
        return nullptr; // a page that cannot be read is a missing page
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    surface->FStorage = this;
    surface->FSlotIndex = Index;
    TRLGraphicSurface* page = surface.release();
    try {
        AddToCache(page);
    } catch (...) {
        page->FStorage = nullptr;
        delete page;
        throw;
    }
    return page;
}

void TRLGraphicStorage::AddToCache(TRLGraphicSurface* Surface)
{
    if (FCache.contains(Surface))
        return;
    while (FCache.size() >= CacheCapacity) {
        TRLGraphicSurface* oldest = FCache.first();
        if (oldest->Dirty)
            StorePage(oldest); // first, so that a failed write loses nothing
        FCache.removeFirst();
        oldest->FStorage = nullptr;
        delete oldest;
    }
    FCache.append(Surface);
}

void TRLGraphicStorage::Add(TRLGraphicSurface* Surface)
{
    if (!Surface)
        return;
    Surface->SetStorage(this);
    StorePage(Surface);
    AddToCache(Surface);
}

void TRLGraphicStorage::Clear()
{
    {
        std::lock_guard<std::mutex> lock(FIndex->Lock);
        FPages.clear();
        ++FIndex->Generation;
    }
    if (FSwapFile) {
        FSwapFile->resize(0);
        FSwapEnd = 0;
    }
    const QList<TRLGraphicSurface*> cache = FCache;
    FCache.clear();
    for (TRLGraphicSurface* surface : cache) {
        surface->FStorage = nullptr;
        delete surface;
    }
    MacroValues.clear();
}

TRLGraphicSurface* TRLGraphicStorage::Pages(int Index)
{
    if (Index < 0 || Index >= PageCount())
        return nullptr;
    for (TRLGraphicSurface* surface : std::as_const(FCache))
        if (surface->FSlotIndex == Index)
            return surface;
    return ReadPage(Index);
}

bool TRLGraphicStorage::IsCached(int Index) const
{
    for (const TRLGraphicSurface* surface : FCache)
        if (surface->FSlotIndex == Index)
            return true;
    return false;
}

void TRLGraphicStorage::Flush()
{
    for (TRLGraphicSurface* surface : std::as_const(FCache))
        if (surface->Dirty)
            StorePage(surface);
}

// --- report values ------------------------------------------------------------------------------

namespace {

int IntValue(const QStringList& Values, const char* Name, int Default)
{
    bool ok = false;
    const int value = MacroValue(Values, QString::fromLatin1(Name)).toInt(&ok);
    return ok ? value : Default;
}

} // namespace

int TRLGraphicStorage::FirstPageNumber() const
{
    return IntValue(MacroValues, "FirstPageNumber", 0);
}
void TRLGraphicStorage::SetFirstPageNumber(int Value)
{
    SetMacroValue(MacroValues, QStringLiteral("FirstPageNumber"), QString::number(Value));
}
int TRLGraphicStorage::LastPageNumber() const
{
    return IntValue(MacroValues, "LastPageNumber", 0);
}
void TRLGraphicStorage::SetLastPageNumber(int Value)
{
    SetMacroValue(MacroValues, QStringLiteral("LastPageNumber"), QString::number(Value));
}
int TRLGraphicStorage::Orientation() const
{
    return IntValue(MacroValues, "Orientation", 1);
}
void TRLGraphicStorage::SetOrientation(int Value)
{
    SetMacroValue(MacroValues, QStringLiteral("Orientation"), QString::number(Value));
}
double TRLGraphicStorage::PaperWidth() const
{
    return TextToMillimetres(MacroValue(MacroValues, QStringLiteral("PaperWidth")));
}
void TRLGraphicStorage::SetPaperWidth(double Value)
{
    SetMacroValue(MacroValues, QStringLiteral("PaperWidth"), MillimetresToText(Value));
}
double TRLGraphicStorage::PaperHeight() const
{
    return TextToMillimetres(MacroValue(MacroValues, QStringLiteral("PaperHeight")));
}
void TRLGraphicStorage::SetPaperHeight(double Value)
{
    SetMacroValue(MacroValues, QStringLiteral("PaperHeight"), MillimetresToText(Value));
}
QString TRLGraphicStorage::Title() const
{
    return MacroValue(MacroValues, QStringLiteral("Title"));
}
void TRLGraphicStorage::SetTitle(const QString& Value)
{
    SetMacroValue(MacroValues, QStringLiteral("Title"), Value);
}
void TRLGraphicStorage::SetWidth(int Value)
{
    SetMacroValue(MacroValues, QStringLiteral("Width"), QString::number(Value));
}
void TRLGraphicStorage::SetHeight(int Value)
{
    SetMacroValue(MacroValues, QStringLiteral("Height"), QString::number(Value));
}

double TRLGraphicStorage::OrientedPaperWidth() const
{
    return Orientation() == 1 ? PaperWidth() : PaperHeight();
}
double TRLGraphicStorage::OrientedPaperHeight() const
{
    return Orientation() == 1 ? PaperHeight() : PaperWidth();
}
int TRLGraphicStorage::OrientedWidth() const
{
    return PaperMillimetresToPixels(OrientedPaperWidth());
}
int TRLGraphicStorage::OrientedHeight() const
{
    return PaperMillimetresToPixels(OrientedPaperHeight());
}

// --- the page store file ------------------------------------------------------------------------

void TRLGraphicStorage::SaveToFile(const QString& FileName)
{
    // Written beside the old file and put in its place only when complete, so a failed save never
    // destroys a good file.
    TRLSaveFile file(FileName);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        throw Exception(RLFailureText(RLFailCannotCreateFile).arg(FileName, file.errorString()));
    SaveToStream(file);
    if (!file.commit())
        throw Exception(RLFailureText(RLFailCannotWriteFile).arg(FileName, file.errorString()));
}

void TRLGraphicStorage::SaveToStream(QIODevice& Stream)
{
    Flush();
    TRLStreamWriter header;
    header.Bytes(StorageSignature, StorageSignatureSize);
    header.Strings(MacroValues);
    const qint64 count = qint64(FPages.size());
    header.Int32(int32_t(count));
    // Every record's place is known from the lengths kept in memory, so the table is written in
    // front of the records and the stream is never sought back.
    const qint64 base = Stream.isSequential() ? 0 : Stream.pos();
    qint64 position = base + header.Size() + 4 * count;
    for (const TPageSlot& slot : FPages) {
        if (position > std::numeric_limits<int32_t>::max())
            throw Exception(RLFailureText(RLFailPageStoreTooLarge));
        header.Int32(int32_t(position));
        position += 4 + slot.Length;
    }
    WriteAll(Stream, header.Data());

    if (FPages.empty())
        return;
    QByteArray buffer;
    buffer.resize(qsizetype(std::min<qint64>(CopyChunkSize, FSwapEnd)));
    const auto readFailed = [this] { RaiseReadError(*FSwapFile); };
    for (const TPageSlot& slot : FPages) {
        // An interrupted program stops at the next page; the half-written file is thrown away.
        if (ApplicationTerminating())
            throw EAbort();
        if (!FSwapFile->seek(slot.Offset))
            readFailed();
        char lengthBytes[4];
        ReadExact(*FSwapFile, lengthBytes, 4, readFailed);
        const int32_t length = qFromLittleEndian<int32_t>(lengthBytes);
        if (length != slot.Length)
            readFailed(); // the swap file no longer holds what was stored
        WriteAll(Stream, lengthBytes, 4);
        qint64 left = length;
        while (left > 0) {
            const qint64 chunk = std::min<qint64>(left, buffer.size());
            ReadExact(*FSwapFile, buffer.data(), chunk, readFailed);
            WriteAll(Stream, buffer.constData(), chunk);
            left -= chunk;
        }
    }
}

void TRLGraphicStorage::LoadFromFile(const QString& FileName)
{
    QFile file(FileName);
    errno = 0;
    if (!file.open(QIODevice::ReadOnly)) {
        const int error = errno;
        throw EReadError(RLFailureText(RLFailCannotOpenFile).arg(FileName, FileErrorCause(error, false)));
    }
    LoadFromStream(file);
}

void TRLGraphicStorage::LoadFromStream(QIODevice& Stream)
{
    if (Stream.isSequential()) {
        // Page positions need a seekable stream: a pipe is read whole first.
        QByteArray bytes = Stream.readAll();
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        LoadFromStream(buffer);
        return;
    }
    Clear();
    try {
        const qint64 size = Stream.size();
        char signature[StorageSignatureSize];
        ReadExact(Stream, signature, StorageSignatureSize, RaiseFileCorrupted);
        if (std::memcmp(signature, StorageSignature, StorageSignatureSize) != 0)
            RaiseFileCorrupted();
        const auto remaining = [&] { return size - Stream.pos(); };

        const int32_t valueCount = ReadInt32(Stream);
        if (valueCount < 0 || qint64(valueCount) * 4 > remaining())
            RaiseFileCorrupted();
        QStringList values;
        for (int32_t i = 0; i < valueCount; ++i) {
            const int32_t length = ReadInt32(Stream);
            if (length < 0 || length > remaining())
                RaiseFileCorrupted();
            QByteArray bytes(length, Qt::Uninitialized);
            ReadExact(Stream, bytes.data(), length, RaiseFileCorrupted);
            values.append(Cp1252ToString(bytes));
        }

        // Every page takes a table entry and at least a length field.
        const int32_t pageCount = ReadInt32(Stream);
        if (pageCount < 0 || qint64(pageCount) * 8 > remaining())
            RaiseFileCorrupted();
        QByteArray table(qsizetype(pageCount) * 4, Qt::Uninitialized);
        ReadExact(Stream, table.data(), table.size(), RaiseFileCorrupted);

        // Records follow the table in page order without overlapping, so no input can make us read
        // more than its own size.
        qint64 earliest = Stream.pos();
        for (int32_t i = 0; i < pageCount; ++i) {
            const qint64 offset = qFromLittleEndian<int32_t>(table.constData() + 4 * i);
            if (offset < earliest || offset + 4 > size || !Stream.seek(offset))
                RaiseFileCorrupted();
            const int32_t length = ReadInt32(Stream);
            if (length < 0 || length > size - offset - 4)
                RaiseFileCorrupted();
            QByteArray body(length, Qt::Uninitialized);
            ReadExact(Stream, body.data(), length, RaiseFileCorrupted);
            {
                TRLGraphicSurface check;
                check.LoadFromBytes(body);
            }
            // The bytes go to the swap file exactly as read, so saving again reproduces them.
            const TPageSlot slot = AppendToSwapFile(body);
            std::lock_guard<std::mutex> lock(FIndex->Lock);
            FPages.push_back(slot);
            earliest = offset + 4 + length;
        }
        MacroValues = values;
    } catch (const std::bad_alloc&) {
        Clear();
        RaiseFileCorrupted();
    } catch (...) {
        Clear();
        throw;
    }
}

// --- page readers -------------------------------------------------------------------------------

TRLPageReader::TRLPageReader(TRLGraphicStorage* Storage)
{
    if (!Storage) {
        FIndex = std::make_shared<TRLSwapIndex>();
        return;
    }
    // Changed pages live only in the store's cache until they are stored again.
    Storage->Flush();
    FIndex = Storage->FIndex;
    FReportValues = Storage->MacroValues;
    std::lock_guard<std::mutex> lock(FIndex->Lock);
    FGeneration = FIndex->Generation;
    if (FIndex->Handle >= 0)
        FHandle = ::fcntl(FIndex->Handle, F_DUPFD_CLOEXEC, 0);
}

TRLPageReader::~TRLPageReader()
{
    FPage.reset();
    if (FHandle >= 0)
        ::close(FHandle);
}

int TRLPageReader::PageCount() const
{
    std::lock_guard<std::mutex> lock(FIndex->Lock);
    return FIndex->Generation == FGeneration ? int(FIndex->Slots.size()) : 0;
}

TRLGraphicSurface* TRLPageReader::Page(int Index)
{
    FPage.reset();
    TRLPageSlot slot {};
    {
        std::lock_guard<std::mutex> lock(FIndex->Lock);
        if (FIndex->Generation != FGeneration || Index < 0 || Index >= int(FIndex->Slots.size()))
            return nullptr;
        slot = FIndex->Slots[std::size_t(Index)];
        // A reader made before the first page was stored takes its handle now.
        if (FHandle < 0 && FIndex->Handle >= 0)
            FHandle = ::fcntl(FIndex->Handle, F_DUPFD_CLOEXEC, 0);
    }
    if (FHandle < 0 || slot.Length < 0 || slot.Length > std::numeric_limits<int32_t>::max())
        return nullptr;

    auto surface = std::make_unique<TRLGraphicSurface>();
    try {
        // Positioned reads leave the descriptor's offset alone, which the store's own reads use.
        if (slot.TextsLength < 0 || slot.TextsLength > std::numeric_limits<int32_t>::max())
            return nullptr;
        QByteArray record(qsizetype(4 + slot.Length + slot.TextsLength), Qt::Uninitialized);
        qint64 done = 0;
        while (done < record.size()) {
            const ssize_t got = ::pread(
                FHandle, record.data() + done, size_t(record.size() - done), off_t(slot.Offset + done));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return nullptr;
            done += got;
        }
        if (qFromLittleEndian<int32_t>(record.constData()) != slot.Length)
            return nullptr; // the swap file no longer holds what was stored
        const TRLFullTexts fullTexts = ParseFullTexts(
            QByteArray::fromRawData(record.constData() + 4 + slot.Length, qsizetype(slot.TextsLength)));
        surface->LoadFromBytes(
            QByteArray::fromRawData(record.constData() + 4, qsizetype(slot.Length)), fullTexts);
    } catch (const Exception&) {
        return nullptr; // a page that cannot be read is a missing page
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    {
        // Emptied while we read: the bytes may belong to the next filling.
        std::lock_guard<std::mutex> lock(FIndex->Lock);
        if (FIndex->Generation != FGeneration)
            return nullptr;
    }
    surface->FReaderValues = &FReportValues;
    surface->FSlotIndex = Index;
    FPage = std::move(surface);
    return FPage.get();
}
