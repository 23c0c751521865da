#include "engine/RLUtils.h"

#include "engine/RLConsts.h"
#include "engine/RLFiles.h"
#include "engine/RLUnits.h"
#include "platform/Component.h"
#include "platform/Cp1252.h"
#include "platform/Exceptions.h"
#include "platform/Format.h"
#include "platform/Graphics.h"
#include "platform/TextMeasure.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMutex>
#include <QMutexLocker>
#include <QRandomGenerator>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <numbers>

#include <fcntl.h>
#include <unistd.h>

namespace {

struct TUtilityState
{
    QMutex Lock;
    QString TempDirectory = QStringLiteral(".");
    QString LogFile;
    QString TempDirectoryNotice;
    QStringList TempFiles;
    int UseCount = 0;
};

// Never destroyed: the exit routines run from std::atexit, possibly after static destructors, and
// must still find the registry.
TUtilityState& State()
{
    static auto* state = new TUtilityState;
    return *state;
}

void DeleteTempFilesAtExit()
{
    DeleteRegisteredTempFiles();
}

void HookProcessExit()
{
    static std::once_flag hooked;
    std::call_once(hooked, [] {
        State();
        std::atexit(DeleteTempFilesAtExit);
    });
}

void UtilitiesShutdown()
{
    RLUtilsFinalize();
    DeleteRegisteredTempFiles();
}

// Runs inside the QApplication constructor, the moment the program's directory becomes known; the
// matching finalisation runs when the application object goes.
void UtilitiesStartup()
{
    RLUtilsInitialize();
    qAddPostRoutine(UtilitiesShutdown);
}

QString TempNameIn(const QString& directory, quint32 number)
{
    QString name = directory;
    if (!name.isEmpty() && !name.endsWith(QLatin1Char('/')))
        name += QLatin1Char('/');
    return name + QStringLiteral("~qb") + QString::number(number) + QStringLiteral(".tmp");
}

quint32 RandomTempNumber()
{
    return QRandomGenerator::system()->bounded(quint32(2147483647));
}

// The folder TMPDIR names, else /tmp, as an absolute path. A TMPDIR that cannot take files (missing,
// not a folder, not writable) falls back to /tmp, and Notice says so; when /tmp cannot either, the
// folder is returned all the same, so that creating a file there fails with a message naming it.
// Never the current folder: that is what an unusable TMPDIR used to become.
QString ResolveTempDirectory(QString* Notice)
{
    const QString fallback = QStringLiteral("/tmp");
    const QString requested = qEnvironmentVariable("TMPDIR");
    if (!requested.isEmpty()) {
        const QString cause = FolderUnusableCause(requested);
        if (cause.isEmpty())
            return QDir(requested).canonicalPath();
        if (FolderUnusableCause(fallback).isEmpty()) {
            if (Notice)
                *Notice = RLFailureText(RLFailTempFolderFallback).arg(requested, cause, fallback);
            return fallback;
        }
        return QDir::cleanPath(QDir(requested).absolutePath());
    }
    return FolderUnusableCause(fallback).isEmpty() ? QDir(fallback).canonicalPath() : fallback;
}

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

Q_COREAPP_STARTUP_FUNCTION(UtilitiesStartup)

// --- start-up and exit --------------------------------------------------------------------------

void RLUtilsInitialize()
{
    TUtilityState& state = State();
    {
        QMutexLocker locker(&state.Lock);
        if (state.UseCount++ > 0)
            return;
        // Without an application object the program's directory is unknown; then there is no stale
        // log to look for rather than one guessed in the current directory.
        if (QCoreApplication::instance())
            state.LogFile = QCoreApplication::applicationDirPath() + QStringLiteral("/DAva.log");
        else
            state.LogFile.clear();
        state.TempDirectoryNotice.clear();
        state.TempDirectory = ResolveTempDirectory(&state.TempDirectoryNotice);
        if (!state.LogFile.isEmpty() && QFileInfo::exists(state.LogFile))
            QFile::remove(state.LogFile);
    }
    HookProcessExit();
    RLSelectLanguage(LocalePrimaryLanguage());
}

void RLUtilsFinalize()
{
    TUtilityState& state = State();
    {
        QMutexLocker locker(&state.Lock);
        if (state.UseCount == 0 || --state.UseCount > 0)
            return;
    }
    DeleteRegisteredTempFiles();
    QMutexLocker locker(&state.Lock);
    state.TempDirectory = QStringLiteral(".");
    state.LogFile.clear();
}

QString TempDir()
{
    TUtilityState& state = State();
    QMutexLocker locker(&state.Lock);
    return state.TempDirectory;
}

void SetTempDir(const QString& directory)
{
    TUtilityState& state = State();
    QMutexLocker locker(&state.Lock);
    state.TempDirectory = directory;
}

QString TempDirNotice()
{
    TUtilityState& state = State();
    QMutexLocker locker(&state.Lock);
    return state.TempDirectoryNotice;
}

QString LogFileName()
{
    TUtilityState& state = State();
    QMutexLocker locker(&state.Lock);
    return state.LogFile;
}

// --- temporary files ----------------------------------------------------------------------------

QString NewTempFileName()
{
    const QString directory = TempDir();
    QString name;
    do
        name = TempNameIn(directory, RandomTempNumber());
    while (QFileInfo::exists(name));
    return name;
}

namespace RLUtilsDetail {
bool UseUnnamedTempFiles = true;
}

QString CreateTempFile(QFile& file)
{
    if (file.isOpen())
        file.close();
    QString directory = TempDir();
    // Before start-up the directory is "." (or a test emptied it): the platform's folder, never the
    // current one.
    if (directory.isEmpty() || directory == QLatin1String("."))
        directory = ResolveTempDirectory(nullptr);
    const QByteArray folder = QFile::encodeName(directory);
    auto refuse = [&](int error) {
        throw Exception(RLFailureText(RLFailTempFolderUnusable).arg(directory, FileErrorCause(error)));
    };

    // O_TMPFILE gives a file that never has a name: nothing a crash, a signal or SIGKILL does can leave
    // it behind. Where the file system lacks it, the file is created exclusively under a fresh name
    // and unlinked at once, which leaves a window of one system call.
    int fd = -1;
    if (RLUtilsDetail::UseUnnamedTempFiles) {
        fd = ::open(folder.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            refuse(errno);
    }
    if (fd < 0) {
        // A clash with an existing file is tried again under a new name; anything else would fail
        // every time. The bound only matters for a folder flooded with our own names.
        constexpr int MaxAttempts = 1000;
        for (int attempt = 0; attempt < MaxAttempts && fd < 0; ++attempt) {
            const QByteArray name = QFile::encodeName(TempNameIn(directory, RandomTempNumber()));
            fd = ::open(name.constData(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600);
            if (fd >= 0)
                ::unlink(name.constData());
            else if (errno != EEXIST)
                refuse(errno);
        }
        if (fd < 0)
            refuse(EEXIST);
    }
    if (!file.open(fd, QIODevice::ReadWrite, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        refuse(EBADF);
    }
    if (auto* temp = qobject_cast<TRLTempFile*>(&file))
        temp->SetFolder(directory);
    // The open descriptor is the only way to the file; this name reaches it through the descriptor
    // for as long as the file stays open, in this process only.
    return QStringLiteral("/proc/self/fd/") + QString::number(fd);
}

void RegisterTempFile(const QString& fileName)
{
    HookProcessExit();
    TUtilityState& state = State();
    QMutexLocker locker(&state.Lock);
    state.TempFiles.append(fileName);
}

void UnregisterTempFile(const QString& fileName)
{
    TUtilityState& state = State();
    QMutexLocker locker(&state.Lock);
    state.TempFiles.removeOne(fileName);
}

QStringList RegisteredTempFiles()
{
    TUtilityState& state = State();
    QMutexLocker locker(&state.Lock);
    return state.TempFiles;
}

void DeleteRegisteredTempFiles()
{
    TUtilityState& state = State();
    QStringList files;
    {
        QMutexLocker locker(&state.Lock);
        files.swap(state.TempFiles);
    }
    for (const QString& name : std::as_const(files))
        QFile::remove(name);
}

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

QString FloatToText(double value)
{
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    // A value exactly halfway between two four-decimal numbers is an odd multiple of 1/32; the
    // conversion below would take it to the even neighbour, so nudge it one step away from zero.
    const double thirtySeconds = value * 32.0;
    if (std::isfinite(thirtySeconds) && thirtySeconds == std::trunc(thirtySeconds)
        && std::fmod(thirtySeconds, 2.0) != 0.0)
        value = std::nextafter(value, value > 0 ? HUGE_VAL : -HUGE_VAL);
    char buffer[400]; // the largest double has 309 digits before the point
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 4);
    QByteArray text(buffer, result.ptr - buffer);
    if (text.startsWith('-') && text.count('0') == text.size() - 2)
        text.remove(0, 1);
    return QString::fromLatin1(text);
}

double TextToFloat(const QString& text, double defaultValue)
{
    // Blanks and control characters around the number are tolerated, as a hand-edited file has them.
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first).unicode() <= u' ')
        ++first;
    while (last > first && text.at(last - 1).unicode() <= u' ')
        --last;
    const QStringView trimmed = QStringView(text).mid(first, last - first);
    if (trimmed.isEmpty())
        return defaultValue;
    QByteArray bytes;
    bytes.reserve(trimmed.size());
    for (const QChar ch : trimmed) {
        const char16_t code = ch.unicode();
        const bool allowed = (code >= u'0' && code <= u'9') || code == u'.' || code == u'-' || code == u'+'
            || code == u'e' || code == u'E';
        if (!allowed) // keeps out "inf", "nan" and everything beyond ASCII
            return defaultValue;
        bytes.append(char(code));
    }
    double value = 0;
    const char* begin = bytes.constData();
    const char* end = begin + bytes.size();
    const auto result = std::from_chars(begin, end, value, std::chars_format::general);
    if (result.ec != std::errc() || result.ptr != end || !std::isfinite(value))
        return defaultValue;
    return value;
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
