// The little-endian builder under the page records, the spreadsheet and icon files: the bytes of
// each field, and buffers that stay right when the bytes are handed out, copied, moved or patched
// while writing goes on.
#include "platform/ByteWriter.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

QByteArray Hex(const char* pairs)
{
    return QByteArray::fromHex(QByteArray(pairs).replace(' ', ""));
}

TEST(ByteWriter, EachFieldIsWrittenLowByteFirst)
{
    TByteWriter w;
    w.Byte(0xAB).Word(0x1234).DWord(0xDEADBEEFu).Int32(-2);
    EXPECT_EQ(w.Data(), Hex("ab 34 12 ef be ad de fe ff ff ff"));
    EXPECT_EQ(w.Size(), 11);
}

TEST(ByteWriter, DoublesAreTheirBinaryFormLowHalfFirst)
{
    TByteWriter w;
    w.Double(1.5).Double(-0.0).Double(0.1);
    EXPECT_EQ(w.Data(), Hex("00 00 00 00 00 00 f8 3f  00 00 00 00 00 00 00 80  9a 99 99 99 99 99 b9 3f"));
}

TEST(ByteWriter, TextIsItsUtf16CodeUnitsWithoutLengthOrEnd)
{
    TByteWriter w;
    // A character beyond the basic plane is its surrogate pair; an empty text adds nothing.
    w.Utf16(QStringLiteral("Aé")).Utf16(QString()).Utf16(QString::fromUcs4(U"\U0001F600"));
    EXPECT_EQ(w.Data(), Hex("41 00 e9 00 3d d8 00 de"));
}

TEST(ByteWriter, ZerosAndBytesAppendAsGivenAndNothingForNoneOrLess)
{
    TByteWriter w;
    w.Zeros(3).Zeros(0).Zeros(-4).Bytes(Hex("01 02")).Bytes(QByteArray()).Bytes("xyz", 2).Bytes("q", 0);
    EXPECT_EQ(w.Data(), Hex("00 00 00 01 02 78 79"));
}

TEST(ByteWriter, BytesHandedOutKeepWhatTheyHadWhileWritingGoesOn)
{
    TByteWriter w;
    w.DWord(1);
    const QByteArray first = w.Data();
    w.DWord(2);
    w.PatchInt32(0, 7);
    EXPECT_EQ(first, Hex("01 00 00 00"));
    EXPECT_EQ(w.Data(), Hex("07 00 00 00 02 00 00 00"));
}

TEST(ByteWriter, ManyGrowthsKeepEveryField)
{
    // Far beyond the first buffer, with a first buffer smaller than one field and then larger
    // fields than the room left, so every way of growing is taken.
    for (qsizetype slack : { qsizetype(1), qsizetype(64), qsizetype(256) }) {
        TByteWriter w(slack);
        for (uint32_t i = 0; i < 50000; ++i) {
            w.DWord(i);
            if (i % 997 == 0)
                w.Zeros(300);
        }
        const QByteArray& bytes = w.Data();
        ASSERT_EQ(bytes.size(), 50000 * 4 + 51 * 300) << slack;
        qsizetype at = 0;
        for (uint32_t i = 0; i < 50000; ++i) {
            ASSERT_EQ(qFromLittleEndian<uint32_t>(bytes.constData() + at), i) << slack;
            at += 4 + (i % 997 == 0 ? 300 : 0);
        }
    }
}

TEST(ByteWriter, CopiesAreIndependent)
{
    TByteWriter original;
    original.Word(1);
    TByteWriter copy(original);
    copy.Word(2);
    original.Word(3);
    EXPECT_EQ(original.Data(), Hex("01 00 03 00"));
    EXPECT_EQ(copy.Data(), Hex("01 00 02 00"));
    TByteWriter assigned;
    assigned.Byte(9);
    assigned = original;
    assigned.Byte(4);
    original.Byte(5);
    EXPECT_EQ(assigned.Data(), Hex("01 00 03 00 04"));
    EXPECT_EQ(original.Data(), Hex("01 00 03 00 05"));
}

TEST(ByteWriter, MovingTakesTheBytesAndLeavesAnEmptyWriterThatStillWrites)
{
    TByteWriter source;
    source.DWord(0x01020304);
    TByteWriter moved(std::move(source));
    moved.Byte(5);
    EXPECT_EQ(moved.Data(), Hex("04 03 02 01 05"));
    EXPECT_EQ(source.Size(), 0);
    source.Byte(6);
    EXPECT_EQ(source.Data(), Hex("06"));

    TByteWriter target;
    target.Word(0xFFFF);
    target = std::move(moved);
    target.Byte(7);
    EXPECT_EQ(target.Data(), Hex("04 03 02 01 05 07"));
    EXPECT_EQ(moved.Size(), 0);
    moved.Word(8);
    EXPECT_EQ(moved.Data(), Hex("08 00"));
}

TEST(ByteWriter, TakeDataEmptiesTheWriter)
{
    TByteWriter w;
    w.Reserve(1000);
    w.Word(0x0102);
    EXPECT_EQ(w.TakeData(), Hex("02 01"));
    EXPECT_EQ(w.Size(), 0);
    EXPECT_EQ(w.Data(), QByteArray());
    w.Byte(3);
    EXPECT_EQ(w.Data(), Hex("03"));
}

} // namespace
