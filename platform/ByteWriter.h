#pragma once
// Little-endian binary data built in memory: page records, the spreadsheet's records and its
// container, icon files. Numbers are written as their binary forms, never through the locale.
#include <QByteArray>
#include <QString>
#include <QtEndian>

#include <bit>
#include <cstdint>
#include <cstring>
#include <utility>

// Appends fields to a buffer that grows in bulk. A page or a workbook writes millions of small
// fields: the buffer grows geometrically ahead of what is written, FUsed says how much of it counts,
// and FData and FRoom point into it, so a field costs a copy and a compare, not a trip through
// QByteArray's sharing checks or its general insertion path.
class TByteWriter
{
public:
    // Slack is the room added beyond doubling whenever the buffer grows; it is also the smallest
    // first buffer. Writers that mostly build short pieces keep it small.
    explicit TByteWriter(qsizetype Slack = 64)
        : FSlack(Slack)
    { }
    TByteWriter(const TByteWriter& Other)
        : FBytes(Other.Data())
        , FUsed(Other.FUsed)
        , FSlack(Other.FSlack)
    { }
    TByteWriter(TByteWriter&& Other) noexcept
        : FBytes(std::move(Other.FBytes))
        , FData(std::exchange(Other.FData, nullptr))
        , FRoom(std::exchange(Other.FRoom, 0))
        , FUsed(std::exchange(Other.FUsed, 0))
        , FSlack(Other.FSlack)
    { }
    TByteWriter& operator=(const TByteWriter& Other)
    {
        if (this != &Other) {
            FBytes = Other.Data();
            FUsed = Other.FUsed;
            FSlack = Other.FSlack;
            FData = nullptr;
            FRoom = 0;
        }
        return *this;
    }
    TByteWriter& operator=(TByteWriter&& Other) noexcept
    {
        if (this != &Other) {
            FBytes = std::move(Other.FBytes);
            FData = std::exchange(Other.FData, nullptr);
            FRoom = std::exchange(Other.FRoom, 0);
            FUsed = std::exchange(Other.FUsed, 0);
            FSlack = Other.FSlack;
        }
        return *this;
    }

    TByteWriter& Byte(uint8_t Value)
    {
        *Grow(1) = char(Value);
        return *this;
    }
    TByteWriter& Word(uint16_t Value)
    {
        qToLittleEndian(Value, Grow(2));
        return *this;
    }
    TByteWriter& DWord(uint32_t Value)
    {
        qToLittleEndian(Value, Grow(4));
        return *this;
    }
    TByteWriter& Int32(int32_t Value)
    {
        qToLittleEndian(Value, Grow(4));
        return *this;
    }
    // The IEEE 754 binary form, low half first.
    TByteWriter& Double(double Value)
    {
        qToLittleEndian(std::bit_cast<uint64_t>(Value), Grow(8));
        return *this;
    }
    TByteWriter& Zeros(qsizetype Count)
    {
        if (Count > 0)
            std::memset(Grow(Count), 0, std::size_t(Count));
        return *this;
    }
    TByteWriter& Bytes(const char* Data, qsizetype Size)
    {
        if (Size > 0)
            std::memcpy(Grow(Size), Data, std::size_t(Size));
        return *this;
    }
    TByteWriter& Bytes(const QByteArray& Data) { return Bytes(Data.constData(), Data.size()); }
    // The UTF-16 code units of Text, without a length or a terminator.
    TByteWriter& Utf16(const QString& Text)
    {
        if (!Text.isEmpty())
            qToLittleEndian<char16_t>(Text.utf16(), Text.size(), Grow(2 * Text.size()));
        return *this;
    }
    // Overwrites four bytes already written, for lengths and positions known only afterwards.
    void PatchInt32(qsizetype Position, int32_t Value)
    {
        Q_ASSERT(Position >= 0 && Position + 4 <= FUsed);
        qToLittleEndian(Value, FBytes.data() + Position);
    }
    void Reserve(qsizetype Size)
    {
        if (FBytes.size() < Size)
            Expand(Size - FUsed);
    }

    qsizetype Size() const { return FUsed; }
    // The bytes so far. Writing may go on afterwards: the next field copies the buffer first, so a
    // copy taken of the answer keeps what it had.
    const QByteArray& Data() const
    {
        Trim();
        return FBytes;
    }
    // The bytes so far, leaving the writer empty.
    QByteArray TakeData()
    {
        Trim();
        FUsed = 0;
        return std::move(FBytes);
    }

protected:
    // Room for Count more bytes at the end, to be filled in place.
    char* Grow(qsizetype Count)
    {
        if (FRoom - FUsed < Count)
            Expand(Count);
        char* p = FData + FUsed;
        FUsed += Count;
        return p;
    }
    // Gives back the last Count bytes, room taken by Grow that the field did not need after all.
    void Unwrite(qsizetype Count)
    {
        Q_ASSERT(Count >= 0 && Count <= FUsed);
        FUsed -= Count;
    }

private:
    void Expand(qsizetype Count)
    {
        // resize also makes the array our own again when it was handed out and shared.
        FBytes.resize(qMax(qMax(FUsed + Count, 2 * FUsed + FSlack), FBytes.size()));
        FData = FBytes.data();
        FRoom = FBytes.size();
    }
    // Cuts the buffer to the bytes written, before it is handed out; the pointer into it is given
    // up, since the array handed out may be shared from now on.
    void Trim() const
    {
        if (FBytes.size() != FUsed)
            FBytes.resize(FUsed);
        FData = nullptr;
        FRoom = 0;
    }

    mutable QByteArray FBytes;
    mutable char* FData = nullptr;
    mutable qsizetype FRoom = 0;
    qsizetype FUsed = 0;
    qsizetype FSlack;
};
