#pragma once
// The byte level of the PDF writer: numbers, strings and names in the file's notation, and a buffered
// output that counts every byte and keeps the object offset table for the cross-reference section.
//
// Every number goes through std::to_chars into a stack buffer: the notation never depends on the C
// locale (a Brazilian locale would otherwise write "0,75"), and a page of thousands of numbers costs
// no allocation.
//
// The writer does not own its device. Bytes are collected in a buffer and handed to the device in
// large pieces; a device that refuses bytes raises Exception naming the file (see SetFileName).
#include "filters/RLPDFFilter.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

class QIODevice;
struct z_stream_s;

// Fixed notation with four decimals, trailing zeros and a trailing point removed: 72 -> "72",
// 595.27559 -> "595.2756", 0.75 -> "0.75"; anything that rounds to zero is "0". Writes into Buffer
// (at least PDFNumberBufferSize bytes) and returns the length. Infinities and NaN write "0".
constexpr int PDFNumberBufferSize = 48;
int FormatPDFNumber(double Value, char* Buffer);
QByteArray PDFNumber(double Value);
// Report pixels (96 per inch) in points.
inline double PixelsToPoints(double Pixels)
{
    return Pixels / 96.0 * 72.0;
}

// A text string's bytes between "(" and ")": "(", ")" and "\" get a "\" in front, bytes below 32 and
// 127 become "\" and three octal digits, everything else is copied.
QByteArray EscapePDFString(const QByteArray& Bytes);
// A name's characters after "/": regular printable characters as they are, anything else (blanks,
// delimiters, "#", bytes outside the printable range) as "#" and two hexadecimal digits.
QByteArray EscapePDFName(const QByteArray& Bytes);

class TRLPDFOutput
{
public:
    explicit TRLPDFOutput(QIODevice* Device);
    ~TRLPDFOutput();
    TRLPDFOutput(const TRLPDFOutput&) = delete;
    TRLPDFOutput& operator=(const TRLPDFOutput&) = delete;

    // The name that write failures report.
    void SetFileName(const QString& Name) { FFileName = Name; }
    QString FileName() const { return FFileName; }

    // Bytes written so far, buffered ones included.
    qint64 Position() const { return FPosition; }

    // A piece: bytes without a line end.
    void Piece(std::string_view Text) { Append(Text.data(), Text.size()); }
    void PieceBytes(const QByteArray& Text) { Append(Text.constData(), std::size_t(Text.size())); }
    void Piece(const char* Data, std::size_t Size) { Append(Data, Size); }
    void PieceInt(qint64 Value);
    void PieceNumber(double Value);
    // Bytes of a text string, escaped as EscapePDFString does, without the parentheses.
    void PieceEscaped(const QByteArray& Bytes);
    // A line: the text followed by CR LF.
    void Line(std::string_view Text)
    {
        Piece(Text);
        LineEnd();
    }
    void LineBytes(const QByteArray& Text)
    {
        PieceBytes(Text);
        LineEnd();
    }
    void LineEnd() { Append("\r\n", 2); }

    // Geometry in report pixels, turned into points with y measured up from the bottom edge of a
    // page PageHeight pixels high.
    void SetPageHeight(double Value) { FPageHeight = Value; }
    double PageHeight() const { return FPageHeight; }
    // Pixels as points.
    void PieceLength(double Pixels) { PieceNumber(PixelsToPoints(Pixels)); }
    // "x y" with y turned upside down.
    void PiecePoint(double X, double Y);
    // "left bottom width height" of the rectangle (left, top, right, bottom) in page pixels.
    void PieceRect(int Left, int Top, int Right, int Bottom);
    // "r g b", each channel / 255.
    void PieceColor(uint8_t Red, uint8_t Green, uint8_t Blue);
    // "n 0 R".
    void PieceRef(int Object);

    // The object numbers: reserving one counts it; its offset is recorded when it is begun.
    int ObjectCount() const { return int(FOffsets.size()); }
    int ReserveObject();
    qint64 ObjectOffset(int Object) const { return FOffsets.at(std::size_t(Object - 1)); }
    // "n 0 obj <<" / ">> endobj".
    void BeginDictionary(int Object);
    void EndDictionary() { Line(">> endobj"); }
    // "n 0 obj" / "endobj".
    void BeginPlain(int Object);
    void EndPlain() { Line("endobj"); }
    // ">>" and "stream"; EndStream writes "endstream" and "endobj" and returns the stream's length.
    // With Deflate every byte of the stream goes through zlib until EndStream, which then ends the
    // compressed data with a line end of its own (outside the length) before "endstream"; the
    // dictionary must have said "/Filter/FlateDecode". A stream whose bytes do not end in a line
    // end (binary data) asks EndStream for one with LineEndFirst.
    void BeginStream(bool Deflate = false);
    qint64 EndStream(bool LineEndFirst = false);

    // The cross-reference table, trailer and end of file; flushes everything to the device.
    void WriteTrailer(int RootObject, int InfoObject);
    // Hands the buffered bytes to the device.
    void Flush();

private:
    struct TZipDeleter
    {
        void operator()(z_stream_s* Stream) const;
    };

    void Append(const char* Data, std::size_t Size);
    void Store(const char* Data, std::size_t Size);
    void Overflow(const char* Data, std::size_t Size);
    // Compresses the collected stream bytes into the output; Finish ends the compressed data.
    void Deflate(bool Finish);
    [[noreturn]] void RaiseZipError(int Code) const;
    void RecordOffset(int Object);
    [[noreturn]] void RaiseWriteError() const;

    QIODevice* FDevice;
    QString FFileName;
    std::vector<char> FBuffer;
    std::size_t FUsed = 0;
    qint64 FPosition = 0;
    qint64 FStreamStart = 0;
    double FPageHeight = 0;
    std::vector<qint64> FOffsets;
    // The compressor, made at the first compressed stream and reset for each next one, and the
    // stream bytes waiting for it.
    std::unique_ptr<z_stream_s, TZipDeleter> FZip;
    bool FDeflating = false;
    std::vector<char> FRaw;
    std::size_t FRawUsed = 0;
};

// The bytes compressed as one zlib stream (what "/Filter/FlateDecode" reads). Throws Exception when
// zlib fails.
QByteArray DeflatePDFBytes(const QByteArray& Bytes);

// The catalog dictionary (object Catalog) with the viewer settings given. It reserves the page tree's
// number into Pages and, when the page mode asks for outlines, an outlines number into Outlines
// (else 0); whoever ends the document writes both objects.
void WritePDFCatalog(TRLPDFOutput& Output, int Catalog, TRLPDFFilterViewerOptions ViewerOptions,
    TRLPDFFilterPageMode PageMode, TRLPDFFilterPageMode FullPageMode, TRLPDFFilterPageLayout PageLayout,
    int& Pages, int& Outlines);

// The failure messages of the writer, in the user's language.
QString PDFCreateErrorMessage(const QString& FileName, const QString& Reason);
QString PDFWriteErrorMessage(const QString& FileName, const QString& Reason);
