#pragma once
// Windows-1252, the 8-bit text of the byte formats the system defines (page records, the page store
// file, PDF strings). The table is our own, so the bytes never depend on the machine's codecs.
// A few characters that locales write into numbers and that the code page lacks have an obvious
// equivalent and become it: the narrow no-break space (the French group separator) and the other
// fixed-width spaces give the no-break space 0xA0, the minus sign and the non-breaking hyphen '-'.
// Any other character outside the code page, and unpaired surrogates, become '?'; a character beyond the
// basic plane gives one '?', not two. The five bytes the code page leaves undefined (0x81, 0x8D,
// 0x8F, 0x90, 0x9D) decode to the C1 controls of the same number and encode back to them, so any byte
// string survives a round trip.
#include <QByteArray>
#include <QString>

QByteArray StringToCp1252(const QString& Text);
// Encodes Text into Out, which has room for Text.size() bytes (never more are needed); answers the
// number of bytes written.
qsizetype StringToCp1252(QStringView Text, char* Out);
QString Cp1252ToString(const char* Data, qsizetype Size);
inline QString Cp1252ToString(const QByteArray& Data)
{
    return Cp1252ToString(Data.constData(), Data.size());
}

// The byte for one character, its equivalent, or '?' when the code page has neither.
char CharToCp1252(char16_t Char);
// The character for one byte.
char16_t Cp1252ToChar(unsigned char Byte);
