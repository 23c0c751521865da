#include "engine/RLUtils.h"

#include "engine/RLUnits.h"
#include "platform/Component.h"
#include "platform/Cp1252.h"
#include "platform/Exceptions.h"
#include "platform/Format.h"
#include "platform/Graphics.h"
#include "platform/TextMeasure.h"

#include <QBuffer>
#include <QImageReader>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <numbers>

namespace {

// The bytes spelt by hexadecimal text; false when the text is not whole pairs of hexadecimal digits.
bool HexToBytes(QStringView text, QByteArray& bytes)
{
    if (text.size() % 2 != 0)
        return false;
    bytes.resize(text.size() / 2);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const int value = HexToByte(text.mid(2 * i, 2));
        if (value < 0)
            return false;
        bytes[i] = char(value);
    }
    return true;
}

constexpr std::array<quint16, 256> MakeCrc16Table()
{
    std::array<quint16, 256> table {};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned crc = i << 8;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1;
        table[i] = quint16(crc & 0xFFFF);
    }
    return table;
}

constexpr std::array<quint16, 256> Crc16Table = MakeCrc16Table();
static_assert(Crc16Table[1] == 0x1021);

} // namespace

// --- strings and numbers ------------------------------------------------------------------------

QString Token(const QString& text, int index, QChar separator)
{
    if (index < 1)
        return {};
    int field = 1;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) != separator)
            continue;
        if (field == index)
            return text.mid(start, i - start);
        ++field;
        start = i + 1;
    }
    return field == index ? text.mid(start) : QString();
}

QString NormalizeExt(const QString& ext)
{
    if (!ext.isEmpty() && !ext.startsWith(QLatin1Char('.')))
        return QLatin1Char('.') + ext;
    return ext;
}

QString ByteToHex(quint8 byte)
{
    static constexpr char Digits[] = "0123456789ABCDEF";
    const QChar pair[2] = { QLatin1Char(Digits[byte >> 4]), QLatin1Char(Digits[byte & 0x0F]) };
    return QString(pair, 2);
}

int HexToByte(QStringView pair)
{
    if (pair.size() != 2)
        return -1;
    static const QString Digits = QStringLiteral("0123456789ABCDEF");
    const qsizetype high = Digits.indexOf(pair.at(0).toUpper());
    const qsizetype low = Digits.indexOf(pair.at(1).toUpper());
    if (high < 0 || low < 0)
        return -1;
    return int(16 * high + low);
}

QImage HexToBitmap(const QString& text)
{
    QByteArray bytes;
    if (!HexToBytes(text, bytes) || bytes.size() < 4)
        return {};
    const auto* head = reinterpret_cast<const uchar*>(bytes.constData());
    const quint32 count
        = quint32(head[0]) | quint32(head[1]) << 8 | quint32(head[2]) << 16 | quint32(head[3]) << 24;
    // The count comes from the text: it is checked against what is really there before it is used.
    if (count == 0 || count > quint64(bytes.size() - 4))
        return {};
    QByteArray file = bytes.mid(4, qsizetype(count));
    QBuffer buffer(&file);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "BMP");
    return reader.read();
}

quint16 Crc16(const QByteArray& bytes)
{
    unsigned crc = 0;
    for (const char ch : bytes)
        crc = (((crc << 8) & 0xFFFF) | quint8(ch)) ^ Crc16Table[crc >> 8];
    return quint16(crc);
}

quint16 Crc16(const QString& text)
{
    return Crc16(StringToCp1252(text));
}

QString UniqueComponentName(const TComponent* component)
{
    if (!component)
        return {};
    QString base = component->ClassName();
    const qsizetype scope = base.lastIndexOf(QStringLiteral("::"));
    if (scope >= 0)
        base = base.mid(scope + 2);
    if (base.startsWith(QLatin1Char('T'), Qt::CaseInsensitive))
        base.remove(0, 1);
    qint64 largest = 0;
    if (const TComponent* owner = component->Owner()) {
        for (const TComponent* sibling : owner->ComponentList()) {
            const QString name = sibling->Name();
            if (!name.startsWith(base, Qt::CaseInsensitive))
                continue;
            bool isNumber = false;
            const int number = QStringView(name).mid(base.size()).toInt(&isNumber);
            if (isNumber)
                largest = std::max<qint64>(largest, number);
        }
    }
    return base + QString::number(largest + 1);
}

// --- rectangles and points ----------------------------------------------------------------------

TRect PolygonBounds(const QList<TPoint>& points)
{
    if (points.isEmpty())
        return TRect();
    TRect bounds(points.first().x(), points.first().y(), points.first().x(), points.first().y());
    for (const TPoint& p : points) {
        bounds.Left = std::min(bounds.Left, p.x());
        bounds.Top = std::min(bounds.Top, p.y());
        bounds.Right = std::max(bounds.Right, p.x());
        bounds.Bottom = std::max(bounds.Bottom, p.y());
    }
    return TRect(bounds.Left - 1, bounds.Top - 1, bounds.Right + 1, bounds.Bottom + 1);
}

// --- text ---------------------------------------------------------------------------------------

QSize TextExtent(const QString& text, const TFont& font, double angle)
{
    const int width = TextWidth(font, text);
    const int height = TextHeight(font, text);
    if (angle == 0.0)
        return QSize(width, height);
    QList<TPoint> corners { TPoint(0, 0), TPoint(width, 0), TPoint(width, height), TPoint(0, height) };
    RotatePoints(corners, angle);
    const auto [left, right]
        = std::minmax({ corners[0].x(), corners[1].x(), corners[2].x(), corners[3].x() });
    const auto [top, bottom]
        = std::minmax({ corners[0].y(), corners[1].y(), corners[2].y(), corners[3].y() });
    return QSize(right - left, bottom - top);
}

void RotatePoints(QList<TPoint>& Points, double Angle)
{
    if (Points.isEmpty())
        return;
    const double theta = -Angle * std::numbers::pi / 180;
    const double s = std::sin(theta);
    const double c = std::cos(theta);
    // Extended precision and rounding at every step keep extreme coordinates from overflowing.
    long double sumX = 0;
    long double sumY = 0;
    for (const TPoint& p : Points) {
        sumX += p.x();
        sumY += p.y();
    }
    const long double n = Points.size();
    const long double centreX = RoundHalfEven(sumX / n);
    const long double centreY = RoundHalfEven(sumY / n);
    for (TPoint& p : Points) {
        const long double x = p.x() - centreX;
        const long double y = p.y() - centreY;
        const long double rx = RoundHalfEven(x * c - y * s);
        const long double ry = RoundHalfEven(x * s + y * c);
        p = TPoint(RoundHalfEven(rx + centreX), RoundHalfEven(ry + centreY));
    }
}
