#pragma once
// Reads back where an uncompressed document of the PDF writer puts its texts: for every text shown,
// its page, font resource and size, start point, its own clip rectangle and all clips in force, and the
// descent that the document declares for its font. Only the writer's own layout of operators is
// understood (one operator per line, texts inside "q" ... "Q"); it is a test's reader, not a parser
// for any PDF.
#include <QByteArray>
#include <QList>
#include <QMap>
#include <QRegularExpression>
#include <QString>

#include <optional>

namespace PDFTextPlacement {

struct TRect
{
    double Left = 0, Bottom = 0, Width = 0, Height = 0;
    double Top() const { return Bottom + Height; }
};

struct TPlacedText
{
    int Page = 0; // from 1
    QByteArray Font; // "F1"
    double Size = 0; // points
    double X = 0, Y = 0; // the start of the base line, in points from the lower left corner
    // The text's own clip (set inside the text's "q"), and every clip in force intersected.
    std::optional<TRect> Clip;
    std::optional<TRect> EffectiveClip;
    QByteArray Text; // as written between the parentheses
    int Descent = 0; // thousandths of the em, negative: what the document declares for the font
};

// The published descenders of the standard fonts the writer may name.
inline int StandardDescent(const QByteArray& BaseFont)
{
    if (BaseFont.startsWith("Courier"))
        return -157;
    if (BaseFont.startsWith("Helvetica"))
        return -207;
    if (BaseFont.startsWith("Times"))
        return -217;
    if (BaseFont == "Symbol")
        return -293;
    return -143;
}

// The body of object Number ("n 0 obj" up to "endobj"), empty when it is not there.
inline QByteArray ObjectBody(const QByteArray& Pdf, int Number)
{
    const QByteArray head = "\n" + QByteArray::number(Number) + " 0 obj";
    const qsizetype from = Pdf.indexOf(head);
    if (from < 0)
        return {};
    const qsizetype to = Pdf.indexOf("endobj", from + head.size());
    return Pdf.mid(from + head.size(), to - from - head.size());
}

// "/Fn" resource name -> declared descent.
inline QMap<QByteArray, int> FontDescents(const QByteArray& Pdf)
{
    QMap<QByteArray, int> descents;
    const QString text = QString::fromLatin1(Pdf);
    const qsizetype fonts = text.indexOf(QStringLiteral("/Font <<\r\n"));
    if (fonts < 0)
        return descents;
    const qsizetype end = text.indexOf(QStringLiteral(">>"), fonts + 8);
    static const QRegularExpression entry(QStringLiteral("/(F\\d+) (\\d+) 0 R"));
    QRegularExpressionMatchIterator it = entry.globalMatch(text.mid(fonts, end - fonts));
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        const QByteArray font = ObjectBody(Pdf, m.captured(2).toInt());
        static const QRegularExpression baseFont(QStringLiteral("/BaseFont/([^/\\r\\n]+)"));
        static const QRegularExpression descriptor(QStringLiteral("/FontDescriptor (\\d+) 0 R"));
        const QString fontText = QString::fromLatin1(font);
        const QRegularExpressionMatch d = descriptor.match(fontText);
        if (d.hasMatch()) {
            static const QRegularExpression descent(QStringLiteral("/Descent (-?\\d+)"));
            const QRegularExpressionMatch value
                = descent.match(QString::fromLatin1(ObjectBody(Pdf, d.captured(1).toInt())));
            descents[m.captured(1).toLatin1()] = value.hasMatch() ? value.captured(1).toInt() : 0;
        } else {
            descents[m.captured(1).toLatin1()]
                = StandardDescent(baseFont.match(fontText).captured(1).toLatin1());
        }
    }
    return descents;
}

inline QList<double> Numbers(const QByteArray& Line, int Count)
{
    QList<double> values;
    for (const QByteArray& word : Line.split(' '))
        if (!word.isEmpty() && values.size() < Count)
            values.append(word.toDouble());
    return values;
}

// Every text of every page, in order.
inline QList<TPlacedText> PlacedTexts(const QByteArray& Pdf)
{
    const QMap<QByteArray, int> descents = FontDescents(Pdf);
    QList<TPlacedText> texts;
    qsizetype from = 0;
    for (int page = 1;; ++page) {
        from = Pdf.indexOf("/Type/Page\r\n", from);
        if (from < 0)
            break;
        const qsizetype start = Pdf.indexOf("stream\r\n", from) + 8;
        const qsizetype end = Pdf.indexOf("endstream\r\n", start);
        from = end;
        // Clips by graphics-state depth; the innermost one in force applies.
        QList<std::optional<TRect>> clips { std::nullopt };
        // The clip set at each depth itself, not intersected.
        QList<std::optional<TRect>> own { std::nullopt };
        std::optional<TRect> pendingRect;
        TPlacedText current;
        current.Page = page;
        for (const QByteArray& line : Pdf.mid(start, end - start).split('\n')) {
            const QByteArray l = line.endsWith('\r') ? line.chopped(1) : line;
            if (l == "q") {
                clips.append(clips.last());
                own.append(std::nullopt);
            } else if (l == "Q") {
                if (clips.size() > 1) {
                    clips.removeLast();
                    own.removeLast();
                }
            } else if (l.endsWith(" re")) {
                const QList<double> v = Numbers(l, 4);
                pendingRect = TRect { v.value(0), v.value(1), v.value(2), v.value(3) };
            } else if (l == "W n") {
                own.last() = pendingRect;
                if (pendingRect && clips.last()) {
                    // Intersect with the clip already in force.
                    const TRect& outer = *clips.last();
                    const double left = qMax(outer.Left, pendingRect->Left);
                    const double bottom = qMax(outer.Bottom, pendingRect->Bottom);
                    const double right
                        = qMin(outer.Left + outer.Width, pendingRect->Left + pendingRect->Width);
                    const double top = qMin(outer.Top(), pendingRect->Top());
                    clips.last() = TRect { left, bottom, right - left, top - bottom };
                } else {
                    clips.last() = pendingRect;
                }
            } else if (l.endsWith(" Tf") && l.startsWith('/')) {
                const QList<QByteArray> words = l.split(' ');
                current.Font = words.value(0).mid(1);
                current.Size = words.value(1).toDouble();
            } else if (l.endsWith(" Td")) {
                const QList<double> v = Numbers(l, 2);
                current.X = v.value(0);
                current.Y = v.value(1);
            } else if (l.endsWith(") Tj") && l.startsWith('(')) {
                current.Text = l.mid(1, l.size() - 5);
                current.Clip = own.last();
                current.EffectiveClip = clips.last();
                current.Descent = descents.value(current.Font);
                texts.append(current);
            }
        }
    }
    return texts;
}

} // namespace PDFTextPlacement
