#include "filters/RLPDFWriter.h"

#include "engine/RLConsts.h"
#include "platform/Exceptions.h"

#include <QIODevice>

#include <charconv>
#include <cmath>
#include <cstring>

#include <zlib.h>

namespace {

// Large enough that a page's content reaches the device in a few writes, small enough to stay in
// cache.
constexpr std::size_t OutputBufferSize = 256 * 1024;
// What a compressed stream collects before zlib takes it.
constexpr std::size_t DeflateInputSize = 64 * 1024;
// A fast zlib level: on the report's pages it packs the file to about a seventh for a few per cent
// of the export's time; the default level reaches an eighth but costs several times as much.
constexpr int DeflateLevel = 3;

// Hands Emit the escaped form of Bytes, runs of bytes that need no escape in one piece.
template <class TEmit> void EscapeStringBytes(const QByteArray& Bytes, TEmit&& Emit)
{
    const char* data = Bytes.constData();
    const qsizetype size = Bytes.size();
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const char c = data[i];
        const auto byte = static_cast<unsigned char>(c);
        const bool special = c == '(' || c == ')' || c == '\\';
        const bool control = byte < 32 || byte == 127;
        if (!special && !control)
            continue;
        if (i > runStart)
            Emit(data + runStart, std::size_t(i - runStart));
        if (special) {
            const char escaped[2] = { '\\', c };
            Emit(escaped, 2);
        } else {
            const char octal[4]
                = { '\\', char('0' + (byte >> 6)), char('0' + ((byte >> 3) & 7)), char('0' + (byte & 7)) };
            Emit(octal, 4);
        }
        runStart = i + 1;
    }
    if (size > runStart)
        Emit(data + runStart, std::size_t(size - runStart));
}

} // namespace

// --- notation ------------------------------------------------------------------------------------

namespace {

// The four-decimal text of Value when the integer nearest to Value x 10000 is certainly the value
// correctly rounded to four decimals, as the general conversion gives it; else 0. Nearly every
// coordinate (pixels times 0.75) takes this way, which costs a tenth of the general one.
int FormatPDFNumberQuickly(double Value, char* Buffer)
{
    const double scaled = Value * 10000.0;
    if (!(std::fabs(scaled) < 0x1p52))
        return 0;
    // Adding and taking away 2^52 leaves a value below it rounded to an integer, half to even as the
    // machine rounds by default; unlike the library's rounding it is done in place, with no call.
    const double nearest = std::copysign((std::fabs(scaled) + 0x1p52) - 0x1p52, scaled);
    // The product is off the exact one by at most half a unit in its last place. Only when it lies
    // that close to a half between two integers could the exact value round the other way.
    const double margin = std::fabs(scaled) * 0x1p-52 + 0x1p-1000;
    if (std::fabs(std::fabs(scaled - nearest) - 0.5) <= margin)
        return 0;
    long long units = static_cast<long long>(nearest);
    char* p = Buffer;
    if (units < 0) {
        *p++ = '-';
        units = -units;
    }
    const std::to_chars_result whole = std::to_chars(p, Buffer + PDFNumberBufferSize, units / 10000);
    p = whole.ptr;
    int fraction = int(units % 10000);
    if (fraction != 0) {
        char digits[4];
        for (int i = 3; i >= 0; --i) {
            digits[i] = char('0' + fraction % 10);
            fraction /= 10;
        }
        int count = 4;
        while (digits[count - 1] == '0')
            --count;
        *p++ = '.';
        std::memcpy(p, digits, std::size_t(count));
        p += count;
    }
    // A negative value that rounds to nothing has no sign: units is 0 then, never below.
    return int(p - Buffer);
}

} // namespace

int FormatPDFNumber(double Value, char* Buffer)
{
    if (!std::isfinite(Value)) {
        Buffer[0] = '0';
        return 1;
    }
    if (const int length = FormatPDFNumberQuickly(Value, Buffer))
        return length;
    const std::to_chars_result result
        = std::to_chars(Buffer, Buffer + PDFNumberBufferSize, Value, std::chars_format::fixed, 4);
    if (result.ec != std::errc()) {
        // Only magnitudes no report coordinate reaches get here.
        Buffer[0] = '0';
        return 1;
    }
    char* end = result.ptr;
    // Four decimals are always there: strip the zeros behind the point, then the point itself.
    while (end[-1] == '0')
        --end;
    if (end[-1] == '.')
        --end;
    int length = int(end - Buffer);
    if (length == 2 && Buffer[0] == '-' && Buffer[1] == '0') {
        // A tiny negative value that rounded away is plain zero.
        Buffer[0] = '0';
        length = 1;
    }
    return length;
}

QByteArray PDFNumber(double Value)
{
    char buffer[PDFNumberBufferSize];
    return QByteArray(buffer, FormatPDFNumber(Value, buffer));
}

QByteArray EscapePDFString(const QByteArray& Bytes)
{
    QByteArray out;
    out.reserve(Bytes.size() + Bytes.size() / 8 + 4);
    EscapeStringBytes(
        Bytes, [&out](const char* Data, std::size_t Size) { out.append(Data, qsizetype(Size)); });
    return out;
}

QByteArray EscapePDFName(const QByteArray& Bytes)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(Bytes.size());
    for (char c : Bytes) {
        const auto byte = static_cast<unsigned char>(c);
        const bool delimiter = std::strchr("()<>[]{}/%#", c) != nullptr;
        if (byte > 32 && byte < 127 && !delimiter) {
            out.append(c);
        } else {
            const char escaped[3] = { '#', hex[byte >> 4], hex[byte & 15] };
            out.append(escaped, 3);
        }
    }
    return out;
}

// --- output --------------------------------------------------------------------------------------

TRLPDFOutput::TRLPDFOutput(QIODevice* Device)
    : FDevice(Device)
    , FBuffer(OutputBufferSize)
{ }

TRLPDFOutput::~TRLPDFOutput() = default;

void TRLPDFOutput::TZipDeleter::operator()(z_stream_s* Stream) const
{
    deflateEnd(Stream);
    delete Stream;
}

void TRLPDFOutput::Append(const char* Data, std::size_t Size)
{
    if (FDeflating) {
        while (Size > 0) {
            const std::size_t room = FRaw.size() - FRawUsed;
            const std::size_t part = std::min(room, Size);
            std::memcpy(FRaw.data() + FRawUsed, Data, part);
            FRawUsed += part;
            Data += part;
            Size -= part;
            if (FRawUsed == FRaw.size())
                Deflate(false);
        }
        return;
    }
    Store(Data, Size);
}

namespace {

// Most pieces of a page are a few bytes (an operator, a number); copying them with fixed-size moves
// keeps the C library's general copy, and its call, out of the writer's busiest path. Overlapping
// moves cover every length from 1 to 16 without reading a byte outside Data.
inline void CopySmall(char* Target, const char* Data, std::size_t Size)
{
    if (Size >= 8) {
        std::memcpy(Target, Data, 8);
        std::memcpy(Target + Size - 8, Data + Size - 8, 8);
    } else if (Size >= 4) {
        std::memcpy(Target, Data, 4);
        std::memcpy(Target + Size - 4, Data + Size - 4, 4);
    } else if (Size > 0) {
        Target[0] = Data[0];
        Target[Size / 2] = Data[Size / 2];
        Target[Size - 1] = Data[Size - 1];
    }
}

} // namespace

void TRLPDFOutput::Store(const char* Data, std::size_t Size)
{
    if (FBuffer.size() - FUsed >= Size) {
        if (Size <= 16)
            CopySmall(FBuffer.data() + FUsed, Data, Size);
        else
            std::memcpy(FBuffer.data() + FUsed, Data, Size);
        FUsed += Size;
        FPosition += qint64(Size);
        return;
    }
    Overflow(Data, Size);
}

void TRLPDFOutput::Overflow(const char* Data, std::size_t Size)
{
    Flush();
    if (Size >= FBuffer.size()) {
        // Larger than the whole buffer: straight through.
        if (FDevice->write(Data, qint64(Size)) != qint64(Size))
            RaiseWriteError();
    } else {
        std::memcpy(FBuffer.data(), Data, Size);
        FUsed = Size;
    }
    FPosition += qint64(Size);
}

void TRLPDFOutput::Flush()
{
    if (FUsed == 0)
        return;
    const qint64 size = qint64(FUsed);
    FUsed = 0;
    if (FDevice->write(FBuffer.data(), size) != size)
        RaiseWriteError();
}

void TRLPDFOutput::RaiseWriteError() const
{
    throw Exception(PDFWriteErrorMessage(FFileName, FDevice->errorString()));
}

void TRLPDFOutput::PieceInt(qint64 Value)
{
    char buffer[24];
    const std::to_chars_result result = std::to_chars(buffer, buffer + sizeof buffer, Value);
    Append(buffer, std::size_t(result.ptr - buffer));
}

void TRLPDFOutput::PieceNumber(double Value)
{
    char buffer[PDFNumberBufferSize];
    Append(buffer, std::size_t(FormatPDFNumber(Value, buffer)));
}

void TRLPDFOutput::PieceEscaped(const QByteArray& Bytes)
{
    EscapeStringBytes(Bytes, [this](const char* Data, std::size_t Size) { Append(Data, Size); });
}

void TRLPDFOutput::PiecePoint(double X, double Y)
{
    PieceLength(X);
    Append(" ", 1);
    PieceLength(FPageHeight - Y);
}

void TRLPDFOutput::PieceRect(int Left, int Top, int Right, int Bottom)
{
    // Differences in double: hostile coordinates from a page file must not overflow an int.
    PieceLength(Left);
    Append(" ", 1);
    PieceLength(FPageHeight - Bottom);
    Append(" ", 1);
    PieceLength(double(Right) - Left);
    Append(" ", 1);
    PieceLength(double(Bottom) - Top);
}

void TRLPDFOutput::PieceColor(uint8_t Red, uint8_t Green, uint8_t Blue)
{
    PieceNumber(Red / 255.0);
    Append(" ", 1);
    PieceNumber(Green / 255.0);
    Append(" ", 1);
    PieceNumber(Blue / 255.0);
}

void TRLPDFOutput::PieceRef(int Object)
{
    PieceInt(Object);
    Append(" 0 R", 4);
}

int TRLPDFOutput::ReserveObject()
{
    FOffsets.push_back(0);
    return int(FOffsets.size());
}

void TRLPDFOutput::RecordOffset(int Object)
{
    FOffsets.at(std::size_t(Object - 1)) = FPosition;
}

void TRLPDFOutput::BeginDictionary(int Object)
{
    RecordOffset(Object);
    PieceInt(Object);
    Line(" 0 obj <<");
}

void TRLPDFOutput::BeginPlain(int Object)
{
    RecordOffset(Object);
    PieceInt(Object);
    Line(" 0 obj");
}

void TRLPDFOutput::BeginStream(bool Deflate)
{
    Line(">>");
    Line("stream");
    FStreamStart = FPosition;
    if (!Deflate)
        return;
    if (!FZip) {
        std::unique_ptr<z_stream_s, TZipDeleter> zip(new z_stream_s {});
        const int code = deflateInit(zip.get(), DeflateLevel);
        if (code != Z_OK) {
            // Nothing to end: the stream was never set up.
            delete zip.release();
            RaiseZipError(code);
        }
        FZip = std::move(zip);
        FRaw.resize(DeflateInputSize);
    } else {
        deflateReset(FZip.get());
    }
    FRawUsed = 0;
    FDeflating = true;
}

qint64 TRLPDFOutput::EndStream(bool LineEndFirst)
{
    bool lineEnd = LineEndFirst;
    if (FDeflating) {
        Deflate(true);
        FDeflating = false;
        lineEnd = true;
    }
    const qint64 length = FPosition - FStreamStart;
    if (lineEnd)
        LineEnd();
    Line("endstream");
    Line("endobj");
    return length;
}

void TRLPDFOutput::Deflate(bool Finish)
{
    z_stream_s* zip = FZip.get();
    zip->next_in = reinterpret_cast<Bytef*>(FRaw.data());
    zip->avail_in = uInt(FRawUsed);
    for (;;) {
        if (FUsed == FBuffer.size())
            Flush();
        zip->next_out = reinterpret_cast<Bytef*>(FBuffer.data() + FUsed);
        zip->avail_out = uInt(FBuffer.size() - FUsed);
        const int code = deflate(zip, Finish ? Z_FINISH : Z_NO_FLUSH);
        if (code == Z_STREAM_ERROR)
            RaiseZipError(code);
        const std::size_t produced = FBuffer.size() - FUsed - zip->avail_out;
        FUsed += produced;
        FPosition += qint64(produced);
        if (Finish ? code == Z_STREAM_END : (zip->avail_in == 0 && zip->avail_out > 0))
            break;
    }
    FRawUsed = 0;
}

void TRLPDFOutput::RaiseZipError(int Code) const
{
    throw Exception(PDFWriteErrorMessage(FFileName, QStringLiteral("zlib %1").arg(Code)));
}

QByteArray DeflatePDFBytes(const QByteArray& Bytes)
{
    uLongf size = compressBound(uLong(Bytes.size()));
    QByteArray out(qsizetype(size), Qt::Uninitialized);
    const int code = compress2(reinterpret_cast<Bytef*>(out.data()), &size,
        reinterpret_cast<const Bytef*>(Bytes.constData()), uLong(Bytes.size()), Z_DEFAULT_COMPRESSION);
    if (code != Z_OK)
        throw Exception(QStringLiteral("zlib %1").arg(code));
    out.truncate(qsizetype(size));
    return out;
}

void TRLPDFOutput::WriteTrailer(int RootObject, int InfoObject)
{
    const qint64 xref = FPosition;
    Line("xref");
    Piece("0 ");
    PieceInt(ObjectCount() + 1);
    LineEnd();
    Line("0000000000 65535 f");
    for (qint64 offset : FOffsets) {
        char entry[10];
        std::memset(entry, '0', sizeof entry);
        char digits[24];
        const std::to_chars_result result = std::to_chars(digits, digits + sizeof digits, offset);
        const std::size_t length = std::min<std::size_t>(std::size_t(result.ptr - digits), sizeof entry);
        std::memcpy(entry + sizeof entry - length, result.ptr - length, length);
        Piece(entry, sizeof entry);
        Line(" 00000 n");
    }
    Line("trailer");
    Line("<<");
    Piece("/Size ");
    PieceInt(ObjectCount() + 1);
    LineEnd();
    Piece("/Root ");
    PieceRef(RootObject);
    LineEnd();
    Piece("/Info ");
    PieceRef(InfoObject);
    LineEnd();
    Line(">>");
    Line("startxref");
    PieceInt(xref);
    LineEnd();
    Line("%%EOF");
    Flush();
}

// --- catalog -------------------------------------------------------------------------------------

namespace {

std::string_view PageModeName(TRLPDFFilterPageMode Mode)
{
    switch (Mode) {
    case pmOutlines:
        return "/UseOutlines";
    case pmThumbs:
        return "/UseThumbs";
    case pmFullScreen:
        return "/FullScreen";
    case pmRegular:
        break;
    }
    return {};
}

std::string_view PageLayoutName(TRLPDFFilterPageLayout Layout)
{
    switch (Layout) {
    case plSinglePage:
        return "/SinglePage";
    case plOneColumn:
        return "/OneColumn";
    case plTwoColumnLeft:
        return "/TwoColumnLeft";
    case plTwoColumnRight:
        return "/TwoColumnRight";
    case plRegular:
        break;
    }
    return {};
}

} // namespace

void WritePDFCatalog(TRLPDFOutput& Output, int Catalog, TRLPDFFilterViewerOptions ViewerOptions,
    TRLPDFFilterPageMode PageMode, TRLPDFFilterPageMode FullPageMode, TRLPDFFilterPageLayout PageLayout,
    int& Pages, int& Outlines)
{
    Outlines = 0;
    Output.BeginDictionary(Catalog);
    Output.Line("/Type/Catalog");
    Pages = Output.ReserveObject();
    Output.Piece("/Pages ");
    Output.PieceRef(Pages);
    Output.LineEnd();
    if (PageMode == pmOutlines) {
        Outlines = Output.ReserveObject();
        Output.Piece("/Outlines ");
        Output.PieceRef(Outlines);
        Output.LineEnd();
    }
    if (PageMode != pmRegular && !PageModeName(PageMode).empty()) {
        Output.Piece("/PageMode");
        Output.Line(PageModeName(PageMode));
    }
    if (ViewerOptions != TRLPDFFilterViewerOptions(voRegular) || PageLayout != plRegular) {
        Output.Piece("/ViewerPreferences [");
        static const struct
        {
            TRLPDFFilterViewerOption Option;
            std::string_view Name;
        } options[] = {
            { voHideToolBar, "/HideToolBar" },
            { voHideMenuBar, "/HideMenuBar" },
            { voHideWindowUI, "/HideWindowUI" },
            { voFitWindow, "/FitWindow" },
            { voCenterWindow, "/CenterWindow" },
        };
        for (const auto& option : options)
            if (ViewerOptions.testFlag(option.Option))
                Output.Piece(option.Name);
        if (!PageLayoutName(PageLayout).empty()) {
            Output.Piece("/PageLayout");
            Output.Piece(PageLayoutName(PageLayout));
        }
        if (PageMode == pmFullScreen && !PageModeName(FullPageMode).empty()) {
            Output.Piece("/PageMode");
            Output.Piece(PageModeName(FullPageMode));
        }
        Output.Line("]");
    }
    Output.EndDictionary();
}

// --- messages ------------------------------------------------------------------------------------

QString PDFCreateErrorMessage(const QString& FileName, const QString& Reason)
{
    switch (RLActiveLanguage()) {
    case lgPortuguese:
        return QStringLiteral("Não foi possível criar o arquivo \"%1\": %2").arg(FileName, Reason);
    case lgFrench:
        return QStringLiteral("Impossible de créer le fichier \"%1\" : %2").arg(FileName, Reason);
    case lgSpanish:
        return QStringLiteral("No se pudo crear el archivo \"%1\": %2").arg(FileName, Reason);
    case lgEnglish:
        break;
    }
    return QStringLiteral("Could not create the file \"%1\": %2").arg(FileName, Reason);
}

QString PDFWriteErrorMessage(const QString& FileName, const QString& Reason)
{
    switch (RLActiveLanguage()) {
    case lgPortuguese:
        return QStringLiteral("Não foi possível gravar o arquivo \"%1\": %2").arg(FileName, Reason);
    case lgFrench:
        return QStringLiteral("Impossible d'écrire le fichier \"%1\" : %2").arg(FileName, Reason);
    case lgSpanish:
        return QStringLiteral("No se pudo escribir el archivo \"%1\": %2").arg(FileName, Reason);
    case lgEnglish:
        break;
    }
    return QStringLiteral("Could not write the file \"%1\": %2").arg(FileName, Reason);
}
