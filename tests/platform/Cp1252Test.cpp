#include "platform/Cp1252.h"

#include <QLocale>
#include <gtest/gtest.h>

namespace {

struct CharCase
{
    char16_t Char;
    unsigned char Byte;
};

// The whole 0x80-0x9F block, where the code page departs from Latin-1.
const CharCase HighBlock[] = {
    { 0x20AC, 0x80 },
    { 0x201A, 0x82 },
    { 0x0192, 0x83 },
    { 0x201E, 0x84 },
    { 0x2026, 0x85 },
    { 0x2020, 0x86 },
    { 0x2021, 0x87 },
    { 0x02C6, 0x88 },
    { 0x2030, 0x89 },
    { 0x0160, 0x8A },
    { 0x2039, 0x8B },
    { 0x0152, 0x8C },
    { 0x017D, 0x8E },
    { 0x2018, 0x91 },
    { 0x2019, 0x92 },
    { 0x201C, 0x93 },
    { 0x201D, 0x94 },
    { 0x2022, 0x95 },
    { 0x2013, 0x96 },
    { 0x2014, 0x97 },
    { 0x02DC, 0x98 },
    { 0x2122, 0x99 },
    { 0x0161, 0x9A },
    { 0x203A, 0x9B },
    { 0x0153, 0x9C },
    { 0x017E, 0x9E },
    { 0x0178, 0x9F },
};

TEST(Cp1252, HighBlockMapsBothWays)
{
    for (const CharCase& c : HighBlock) {
        EXPECT_EQ(static_cast<unsigned char>(CharToCp1252(c.Char)), c.Byte) << int(c.Char);
        EXPECT_EQ(Cp1252ToChar(c.Byte), c.Char) << int(c.Byte);
    }
}

TEST(Cp1252, UndefinedBytesRoundTripAsControls)
{
    for (unsigned char b : { 0x81, 0x8D, 0x8F, 0x90, 0x9D }) {
        EXPECT_EQ(Cp1252ToChar(b), char16_t(b));
        EXPECT_EQ(static_cast<unsigned char>(CharToCp1252(char16_t(b))), b);
    }
    // The other C1 controls have bytes of their own meaning, so they cannot be written.
    EXPECT_EQ(CharToCp1252(char16_t(0x80)), '?');
    EXPECT_EQ(CharToCp1252(char16_t(0x96)), '?');
}

TEST(Cp1252, EveryByteSurvivesARoundTrip)
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    EXPECT_EQ(StringToCp1252(Cp1252ToString(all)), all);
}

TEST(Cp1252, PortugueseTextAndOutsiders)
{
    const struct
    {
        QString Text;
        QByteArray Bytes;
    } cases[] = {
        { QStringLiteral("Inventário por Preço"), QByteArray("Invent\xE1rio por Pre\xE7o") },
        { QStringLiteral("€ 1.234,56 – “ok”"), QByteArray("\x80 1.234,56 \x96 \x93ok\x94") },
        { QStringLiteral("Ωmega"), QByteArray("?mega") }, // Greek is outside
        { QString::fromUtf8("a\xF0\x9F\x98\x80z"), QByteArray("a?z") }, // beyond the basic plane: one '?'
        { QString(QChar(0xD800)) + u'x', QByteArray("?x") }, // an unpaired surrogate
        { QString(), QByteArray() },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StringToCp1252(c.Text), c.Bytes) << c.Text.toStdString();
    }
    EXPECT_EQ(Cp1252ToString(QByteArray("Invent\xE1rio \x80")), QStringLiteral("Inventário €"));
}

TEST(Cp1252, FrenchGroupSeparatorBecomesANoBreakSpaceNotAQuestionMark)
{
    // The locale's own separator, whatever this Qt makes it (U+202F today, U+00A0 in older data).
    const QString french = QLocale(QLocale::French, QLocale::France).toString(1234567.5, 'f', 2);
    EXPECT_EQ(StringToCp1252(french),
        QByteArray("1\xA0"
                   "234\xA0"
                   "567,50"))
        << french.toStdString();
    const struct
    {
        char16_t Char;
        char Byte;
    } equivalents[] = {
        { 0x202F, '\xA0' }, { 0x2007, '\xA0' }, { 0x2008, '\xA0' }, { 0x2009, '\xA0' }, { 0x200A, '\xA0' },
        { 0x2212, '-' }, { 0x2010, '-' }, { 0x2011, '-' }, { 0x00A0, '\xA0' }, // already in the code page
        { 0x2002, '?' }, // an en space is no locale's separator: no equivalent is made up
    };
    for (const auto& e : equivalents)
        EXPECT_EQ(CharToCp1252(e.Char), e.Byte) << std::hex << int(e.Char);
    EXPECT_EQ(StringToCp1252(QString(QChar(0x2212)) + QStringLiteral("5")), QByteArray("-5"));
}

} // namespace
