#include "platform/Cp1252.h"

#include <array>

namespace {

// The code page differs from Latin-1 only in 0x80-0x9F.
constexpr std::array<char16_t, 32> HighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 98-9F
};

// The reverse of the table above for the characters above Latin-1; 0 where there is none.
char FromHighTable(char16_t c)
{
    for (std::size_t i = 0; i < HighControls.size(); ++i)
        if (HighControls[i] == c)
            return char(0x80 + i);
    return 0;
}

// Characters that locales put into numbers and dates and that the code page lacks, each with the
// byte that stands for it without changing what the reader sees: the narrow and other fixed-width
// spaces that serve as group separators become the no-break space, the minus sign and the
// non-breaking hyphen a hyphen-minus.
char EquivalentInCodePage(char16_t c)
{
    switch (c) {
    case 0x2007: // figure space
    case 0x2008: // punctuation space
    case 0x2009: // thin space
    case 0x200A: // hair space
    case 0x202F: // narrow no-break space (the French group separator)
        return char(0xA0);
    case 0x2010: // hyphen
    case 0x2011: // non-breaking hyphen
    case 0x2212: // minus sign
        return '-';
    default:
        return 0;
    }
}

} // namespace

char16_t Cp1252ToChar(unsigned char Byte)
{
    if (Byte >= 0x80 && Byte <= 0x9F)
        return HighControls[Byte - 0x80];
    return char16_t(Byte);
}

char CharToCp1252(char16_t Char)
{
    if (Char < 0x80 || (Char >= 0xA0 && Char <= 0xFF))
        return char(Char);
    if (Char <= 0x9F) {
        // Only the five C1 controls that the code page leaves undefined map to themselves.
        const char16_t mapped = HighControls[Char - 0x80];
        return mapped == Char ? char(Char) : '?';
    }
    if (const char byte = FromHighTable(Char))
        return byte;
    const char equivalent = EquivalentInCodePage(Char);
    return equivalent ? equivalent : '?';
}

QByteArray StringToCp1252(const QString& Text)
{
    QByteArray result;
    result.resize(Text.size());
    result.truncate(StringToCp1252(QStringView(Text), result.data()));
    return result;
}

qsizetype StringToCp1252(QStringView Text, char* out)
{
    qsizetype n = 0;
    const char16_t* p = Text.utf16();
    const char16_t* end = p + Text.size();
    while (p < end) {
        const char16_t c = *p++;
        if (c < 0x80) {
            out[n++] = char(c);
        } else if (QChar::isHighSurrogate(c) && p < end && QChar::isLowSurrogate(*p)) {
            ++p; // one character beyond the basic plane: one '?'
            out[n++] = '?';
        } else if (QChar::isSurrogate(c)) {
            out[n++] = '?';
        } else {
            out[n++] = CharToCp1252(c);
        }
    }
    return n;
}

QString Cp1252ToString(const char* Data, qsizetype Size)
{
    if (Size <= 0)
        return QString();
    QString result(Size, Qt::Uninitialized);
    QChar* out = result.data();
    for (qsizetype i = 0; i < Size; ++i)
        out[i] = QChar(Cp1252ToChar(static_cast<unsigned char>(Data[i])));
    return result;
}
