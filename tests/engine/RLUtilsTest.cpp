#include "engine/RLUtils.h"
#include "engine/RLConsts.h"
#include "engine/RLFiles.h"
#include "engine/RLProgress.h"
#include "platform/Component.h"
#include "platform/Exceptions.h"
#include "platform/Graphics.h"
#include "platform/TextMeasure.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <sys/mount.h>
#include <sys/stat.h>
#include <vector>

namespace {

// --- strings and numbers ------------------------------------------------------------------------

TEST(RLUtilsTest, TokenPicksTheFieldCountingFromOne)
{
    struct Case
    {
        const char* Text;
        int Index;
        char Separator;
        const char* Expected;
    };
    const Case cases[] = {
        { "HP LaserJet|LPT1", 1, '|', "HP LaserJet" },
        { "HP LaserJet|LPT1", 2, '|', "LPT1" },
        { "HP LaserJet|LPT1", 3, '|', "" },
        { "HP LaserJet|LPT1", 0, '|', "" },
        { "HP LaserJet|LPT1", -1, '|', "" },
        { "a|b|", 2, '|', "b" },
        { "a|b|", 3, '|', "" },
        { "|a", 1, '|', "" },
        { "|a", 2, '|', "a" },
        { "a||b", 2, '|', "" },
        { "a||b", 3, '|', "b" },
        { "single", 1, '|', "single" },
        { "single", 2, '|', "" },
        { "", 1, '|', "" },
        { "x;y;z", 3, ';', "z" },
        { "x;y;z", 2, '|', "" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(Token(QString::fromLatin1(c.Text), c.Index, QLatin1Char(c.Separator)),
            QString::fromLatin1(c.Expected))
            << c.Text << " #" << c.Index;
}

TEST(RLUtilsTest, NormalizeExtPutsAPointInFrontOnlyWhenMissing)
{
    const std::pair<const char*, const char*> cases[] = {
        { "pdf", ".pdf" },
        { ".pdf", ".pdf" },
        { "", "" },
        { "x", ".x" },
        { "..xls", "..xls" },
        { "tar.gz", ".tar.gz" },
    };
    for (const auto& [input, expected] : cases)
        EXPECT_EQ(NormalizeExt(QString::fromLatin1(input)), QString::fromLatin1(expected)) << input;
}

TEST(RLUtilsTest, FloatToTextWritesFourDecimalsWithAPointWhateverTheLocale)
{
    const std::pair<double, const char*> cases[] = {
        { 210.0, "210.0000" },
        { -0.5, "-0.5000" },
        { 0.0, "0.0000" },
        { 0.75, "0.7500" }, // "0,7500" if the Brazilian locale leaked in
        { 1234567.0, "1234567.0000" }, // no thousands separator
        { 1.23456, "1.2346" },
        { 1.23454, "1.2345" },
        { 0.99995, "1.0000" },
        { 2.00005, "2.0000" }, // stored just below the half
        { 0.00005, "0.0001" }, // stored just above the half
        { 0.03125, "0.0313" }, // exactly halfway: away from zero
        { 0.09375, "0.0938" },
        { -0.03125, "-0.0313" },
        { 2.5 / 10000.0 * 0.1, "0.0000" },
        { -0.00001, "0.0000" }, // no "-0.0000"
        { -0.0, "0.0000" },
        { 1e20, "100000000000000000000.0000" },
        { -123456789.12345678, "-123456789.1235" },
        { std::numeric_limits<double>::quiet_NaN(), "NAN" },
        { std::numeric_limits<double>::infinity(), "INF" },
        { -std::numeric_limits<double>::infinity(), "-INF" },
    };
    for (const auto& [value, expected] : cases)
        EXPECT_EQ(FloatToText(value), QString::fromLatin1(expected)) << value;
    EXPECT_EQ(FloatToText(std::numeric_limits<double>::max()).size(), 309 + 5);
}

TEST(RLUtilsTest, TextToFloatReadsTheNotationAndRefusesEverythingElse)
{
    constexpr double Default = -7.25;
    const std::pair<const char*, double> cases[] = {
        { "210.0000", 210.0 },
        { "-0.5000", -0.5 },
        { "0", 0.0 },
        { "1e3", 1000.0 },
        { "1.5E-2", 0.015 },
        { "2.5e+1", 25.0 },
        { ".5", 0.5 },
        { " 12.5 ", 12.5 },
        { "0,5", Default }, // the Brazilian decimal comma is not the notation
        { "1.234,5", Default },
        { "12abc", Default },
        { "abc", Default },
        { "", Default },
        { "   ", Default },
        { "-", Default },
        { "1e", Default },
        { "--1", Default },
        { "+1", Default },
        { "1 2", Default },
        { "0x10", Default },
        { "inf", Default },
        { "-INF", Default },
        { "nan", Default },
        { "NAN", Default },
        { "1e999", Default },
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(TextToFloat(QString::fromLatin1(text), Default), expected) << '"' << text << '"';
    EXPECT_EQ(TextToFloat(QString::fromUtf16(u"١٢"), Default), Default); // digits of another script
    EXPECT_EQ(TextToFloat(QString::fromUtf16(u"1\u00A0"), Default), Default);
}

TEST(RLUtilsTest, FloatTextRoundTripKeepsFourDecimals)
{
    for (const double value :
        { 0.0, 1.0, -1.0, 3.14159265, -2.71828, 1e-5, 123456.78905, 297.0 / 25.4 * 96.0 }) {
        const double back = TextToFloat(FloatToText(value), std::nan(""));
        EXPECT_NEAR(back, value, 0.00005 + 1e-12) << value;
        EXPECT_EQ(FloatToText(back), FloatToText(value)) << value;
    }
}

TEST(RLUtilsTest, ByteAndHexConvertBothWays)
{
    EXPECT_EQ(ByteToHex(0x00), QStringLiteral("00"));
    EXPECT_EQ(ByteToHex(0x0A), QStringLiteral("0A"));
    EXPECT_EQ(ByteToHex(0xAB), QStringLiteral("AB"));
    EXPECT_EQ(ByteToHex(0xFF), QStringLiteral("FF"));
    const std::pair<const char*, int> pairs[] = {
        { "00", 0 },
        { "0f", 15 },
        { "F0", 240 },
        { "ab", 171 },
        { "aB", 171 },
        { "99", 153 },
        { "G0", -1 },
        { "0g", -1 },
        { "A", -1 },
        { "ABC", -1 },
        { "", -1 },
        { " A", -1 },
        { "-1", -1 },
    };
    for (const auto& [text, expected] : pairs)
        EXPECT_EQ(HexToByte(QString::fromLatin1(text)), expected) << text;
    for (int b = 0; b < 256; ++b)
        ASSERT_EQ(HexToByte(ByteToHex(quint8(b))), b);
}

QString StoredBitmapHex(const QByteArray& file, quint32 count)
{
    QByteArray bytes;
    for (int shift = 0; shift < 32; shift += 8)
        bytes.append(char((count >> shift) & 0xFF));
    bytes.append(file);
    return QString::fromLatin1(bytes.toHex());
}

QByteArray BmpFile()
{
    QImage image(3, 2, QImage::Format_RGB32);
    image.fill(qRgb(0, 0, 255));
    image.setPixel(1, 0, qRgb(255, 0, 0));
    image.setPixel(2, 1, qRgb(0, 128, 0));
    QByteArray file;
    QBuffer buffer(&file);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "BMP");
    return file;
}

TEST(RLUtilsTest, HexToBitmapLoadsTheStoredBitmapForm)
{
    const QByteArray file = BmpFile();
    for (const bool upper : { false, true }) {
        QString hex = StoredBitmapHex(file, quint32(file.size()));
        if (upper)
            hex = hex.toUpper();
        const QImage image = HexToBitmap(hex);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), QSize(3, 2));
        EXPECT_EQ(image.pixel(0, 0), qRgb(0, 0, 255));
        EXPECT_EQ(image.pixel(1, 0), qRgb(255, 0, 0));
        EXPECT_EQ(image.pixel(2, 1), qRgb(0, 128, 0));
    }
    // Bytes after the counted file are not part of it.
    EXPECT_FALSE(HexToBitmap(StoredBitmapHex(file + QByteArray(5, 'x'), quint32(file.size()))).isNull());
}

TEST(RLUtilsTest, HexToBitmapGivesANullImageForBadText)
{
    const QByteArray file = BmpFile();
    const QString good = StoredBitmapHex(file, quint32(file.size()));
    const std::pair<const char*, QString> cases[] = {
        { "empty", QString() },
        { "shorter than the count", QStringLiteral("0A00") },
        { "odd length", good.left(good.size() - 1) },
        { "not hexadecimal", QString(good).replace(10, 2, QStringLiteral("zz")) },
        { "count beyond the bytes", StoredBitmapHex(file, quint32(file.size() + 1)) },
        { "huge count", StoredBitmapHex(file, 0xFFFFFFFFu) },
        { "zero count", StoredBitmapHex(file, 0) },
        { "truncated file", StoredBitmapHex(file.left(20), 20) },
        { "not a bitmap", StoredBitmapHex(QByteArray(64, '\x7f'), 64) },
    };
    for (const auto& [what, text] : cases)
        EXPECT_TRUE(HexToBitmap(text).isNull()) << what;
}

TEST(RLUtilsTest, Crc16MatchesKnownValues)
{
    struct Case
    {
        const char16_t* Text;
        quint16 Crc;
    };
    // Computed independently by polynomial division of the message bits by 0x11021.
    const Case cases[] = {
        { u"", 0x0000 }, { u"abc", 0x1EE4 }, { u"123456789", 0xBEEF },
        { u"The quick brown fox jumps over the lazy dog", 0x4D5D },
        { u"Pré-visualização", 0xFE02 }, // Windows-1252 bytes, not UTF-8
        { u"Aperçu avant impression €", 0xE92E }, // the euro sign is 0x80 there
    };
    for (const Case& c : cases) {
        const QString text = QString::fromUtf16(c.Text);
        EXPECT_EQ(Crc16(text), c.Crc) << text.toStdString();
    }
    EXPECT_EQ(Crc16(QByteArray("abc")), 0x1EE4);
    EXPECT_EQ(Crc16(QByteArray("\xE9", 1)), Crc16(QString::fromUtf16(u"é")));
    // A character outside the code page counts as "?".
    EXPECT_EQ(Crc16(QString::fromUtf16(u"aΩb")), Crc16(QByteArray("a?b")));
    // Different images must get different keys: a single changed byte changes the CRC.
    EXPECT_NE(Crc16(QByteArray("abd")), Crc16(QByteArray("abc")));
}

// --- unique component names ---------------------------------------------------------------------

class TRLBand : public TComponent
{
    Q_OBJECT
public:
    using TComponent::TComponent;
};

class tRLProbe : public TComponent
{
    Q_OBJECT
public:
    using TComponent::TComponent;
};

class RLWidget : public TComponent
{
    Q_OBJECT
public:
    using TComponent::TComponent;
};

TComponent* Named(TComponent* component, const char* name)
{
    component->SetName(QString::fromLatin1(name));
    return component;
}

TEST(RLUtilsTest, UniqueComponentNameTakesOneMoreThanTheLargestNumber)
{
    TComponent owner;
    Named(new TRLBand(&owner), "RLBand1");
    Named(new TRLBand(&owner), "RLBand3");
    auto* fresh = new TRLBand(&owner);
    EXPECT_EQ(UniqueComponentName(fresh), QStringLiteral("RLBand4"));
}

TEST(RLUtilsTest, UniqueComponentNameComparesIgnoringCaseAndCountsOtherRemaindersAsZero)
{
    TComponent owner;
    Named(new TComponent(&owner), "rlband7"); // any class: only the names count
    Named(new TRLBand(&owner), "RLBandTitle");
    Named(new TRLBand(&owner), "RLBand99999999999"); // too large for a number: counts 0
    Named(new TRLBand(&owner), "RLLabel12");
    Named(new TRLBand(&owner), "XRLBand20");
    auto* fresh = new TRLBand(&owner);
    EXPECT_EQ(UniqueComponentName(fresh), QStringLiteral("RLBand8"));

    TComponent other;
    Named(new TRLBand(&other), "RLBandTitle");
    EXPECT_EQ(UniqueComponentName(new TRLBand(&other)), QStringLiteral("RLBand1"));
}

TEST(RLUtilsTest, UniqueComponentNameDropsOnlyALeadingT)
{
    TComponent owner;
    EXPECT_EQ(UniqueComponentName(new tRLProbe(&owner)), QStringLiteral("RLProbe1"));
    EXPECT_EQ(UniqueComponentName(new RLWidget(&owner)), QStringLiteral("RLWidget1"));
    TRLBand alone; // no owner, no siblings
    EXPECT_EQ(UniqueComponentName(&alone), QStringLiteral("RLBand1"));
    EXPECT_TRUE(UniqueComponentName(nullptr).isEmpty());
}

// --- rectangles ---------------------------------------------------------------------------------

TEST(RLUtilsTest, RectangleHelpers)
{
    const TRect r(10, 20, 110, 70);
    EXPECT_EQ(RectWidth(r), 100);
    EXPECT_EQ(RectHeight(r), 50);
    EXPECT_EQ(RectWidth(TRect(5, 5, 2, 2)), -3);
    EXPECT_EQ(MoveRect(r, 0, 0), TRect(0, 0, 100, 50));
    EXPECT_EQ(MoveRect(r, -5, 7), TRect(-5, 7, 95, 57));
    const QMargins m(1, 2, 3, 4);
    EXPECT_EQ(InsetRect(r, m), TRect(11, 22, 107, 66));
    EXPECT_EQ(OutsetRect(r, m), TRect(9, 18, 113, 74));
    EXPECT_EQ(OutsetRect(InsetRect(r, m), m), r);
    EXPECT_EQ(InsetRect(r, QMargins()), r);
}

TEST(RLUtilsTest, PolygonBoundsHoldsEveryPointWithAPixelToSpare)
{
    EXPECT_EQ(PolygonBounds({ TPoint(3, 4), TPoint(10, -2), TPoint(5, 8) }), TRect(2, -3, 11, 9));
    EXPECT_EQ(PolygonBounds({ TPoint(7, 7) }), TRect(6, 6, 8, 8));
    EXPECT_EQ(
        PolygonBounds({ TPoint(0, 0), TPoint(47, 0), TPoint(47, 47), TPoint(0, 47) }), TRect(-1, -1, 48, 48));
    EXPECT_EQ(PolygonBounds({}), TRect());
}

// --- text extent ------------------------------------------------------------------------------

TEST(RLUtilsTest, TextExtentTurnsTheTextsRectangle)
{
    TFont font;
    font.SetName(QStringLiteral("Arial"));
    font.SetSize(10);
    const QString text = QStringLiteral("Inventário por Preço de Custo");
    const int width = TextWidth(font, text);
    const int height = TextHeight(font, text);
    ASSERT_GT(width, height); // a wide text, so a swap shows

    EXPECT_EQ(TextExtent(text, font, 0), QSize(width, height));
    EXPECT_EQ(TextExtent(text, font), QSize(width, height));
    EXPECT_EQ(TextExtent(text, font, 90), QSize(height, width));
    EXPECT_EQ(TextExtent(text, font, -90), QSize(height, width));
    EXPECT_EQ(TextExtent(text, font, 270), QSize(height, width));
    EXPECT_EQ(TextExtent(text, font, 180), QSize(width, height));
    EXPECT_EQ(TextExtent(text, font, 360), QSize(width, height));

    // At 45 degrees both sides of the box are (w + h) / sqrt(2), give or take the pixel rounding of
    // the corners.
    const double diagonal = (width + height) / std::sqrt(2.0);
    const QSize turned = TextExtent(text, font, 45);
    EXPECT_NEAR(turned.width(), diagonal, 2.0);
    EXPECT_NEAR(turned.height(), diagonal, 2.0);
    // A small angle widens the box a little in both directions.
    const QSize tilted = TextExtent(text, font, 10);
    EXPECT_GT(tilted.width(), width * 0.98);
    EXPECT_GT(tilted.height(), height + width / 10);
}

TEST(RLUtilsTest, TextExtentOfNothingHasNoWidth)
{
    TFont font;
    const QSize size = TextExtent(QString(), font, 0);
    EXPECT_EQ(size.width(), 0);
    EXPECT_EQ(size.height(), TextHeight(font, QString()));
    EXPECT_EQ(TextExtent(QString(), font, 90), QSize(size.height(), 0));
}

// --- temporary files ----------------------------------------------------------------------------

// Points the temporary directory at a fresh folder for one test and puts the old one back.
class RLTempFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FFolder.isValid());
        FSaved = TempDir();
        SetTempDir(FFolder.path());
        DeleteRegisteredTempFiles();
    }
    void TearDown() override
    {
        DeleteRegisteredTempFiles();
        SetTempDir(FSaved);
    }
    QString Folder() const { return FFolder.path(); }
    QString Touch(const QString& name, const QByteArray& content = "x") const
    {
        const QString path = Folder() + QLatin1Char('/') + name;
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return path;
    }

private:
    QTemporaryDir FFolder;
    QString FSaved;
};

const QRegularExpression& TempNamePattern()
{
    static const QRegularExpression pattern(QStringLiteral("^~qb(0|[1-9][0-9]*)\\.tmp$"));
    return pattern;
}

void ExpectTempName(const QString& path, const QString& folder)
{
    const QFileInfo info(path);
    EXPECT_EQ(info.path(), folder) << path.toStdString();
    const QRegularExpressionMatch match = TempNamePattern().match(info.fileName());
    ASSERT_TRUE(match.hasMatch()) << path.toStdString();
    bool ok = false;
    const qint64 number = match.captured(1).toLongLong(&ok);
    EXPECT_TRUE(ok);
    EXPECT_LE(number, 2147483646);
}

TEST_F(RLTempFileTest, NewTempFileNameHasTheFormAndCreatesNothing)
{
    QSet<QString> names;
    for (int i = 0; i < 50; ++i) {
        const QString name = NewTempFileName();
        ExpectTempName(name, Folder());
        EXPECT_FALSE(QFileInfo::exists(name));
        names.insert(name);
    }
    EXPECT_GT(names.size(), 45); // drawn at random, not counted up from a fixed seed
    EXPECT_TRUE(QDir(Folder()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(RLTempFileTest, NewTempFileNameJoinsTheDirectoryWithOneDelimiter)
{
    SetTempDir(Folder() + QLatin1Char('/'));
    ExpectTempName(NewTempFileName(), Folder());
    SetTempDir(QString());
    EXPECT_TRUE(TempNamePattern().match(NewTempFileName()).hasMatch());
}

TEST_F(RLTempFileTest, ExitRoutineDeletesEveryFileStillRegistered)
{
    const QString kept = Touch(QStringLiteral("kept.tmp"));
    const QString first = Touch(QStringLiteral("first.tmp"));
    const QString second = Touch(QStringLiteral("second.tmp"));
    const QString missing = Folder() + QStringLiteral("/never-created.tmp");
    RegisterTempFile(first);
    RegisterTempFile(kept);
    RegisterTempFile(missing); // a failing delete is ignored
    RegisterTempFile(second);
    UnregisterTempFile(kept);
    UnregisterTempFile(Folder() + QStringLiteral("/not-registered.tmp"));
    EXPECT_EQ(RegisteredTempFiles(), (QStringList { first, missing, second }));

    DeleteRegisteredTempFiles();
    EXPECT_FALSE(QFileInfo::exists(first));
    EXPECT_FALSE(QFileInfo::exists(second));
    EXPECT_TRUE(QFileInfo::exists(kept));
    EXPECT_TRUE(RegisteredTempFiles().isEmpty());

    // Running it again (the application's post routine, then the process exit) is harmless.
    const QString later = Touch(QStringLiteral("later.tmp"));
    DeleteRegisteredTempFiles();
    EXPECT_TRUE(QFileInfo::exists(later));
}

// Runs in a child process: registers a file and leaves through exit() without tearing the
// application down, so only the process-exit hook can delete it.
[[noreturn]] void RegisterAndExit(const QString& marker)
{
    QFile file(marker);
    if (!file.open(QIODevice::WriteOnly))
        std::_Exit(3);
    file.close();
    RegisterTempFile(marker);
    std::exit(0);
}

TEST_F(RLTempFileTest, RegisteredFilesAreDeletedWhenTheProcessExits)
{
    // The child re-runs this test from the start in a new process, with a folder of its own; the
    // environment tells it where the parent looks.
    static const char* const MarkerVariable = "QB_RLUTILS_EXIT_MARKER";
    QString marker = qEnvironmentVariable(MarkerVariable);
    if (marker.isEmpty()) {
        marker = Folder() + QStringLiteral("/exit.tmp");
        qputenv(MarkerVariable, marker.toLocal8Bit());
    }
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(RegisterAndExit(marker), ::testing::ExitedWithCode(0), "");
    qunsetenv(MarkerVariable);
    EXPECT_FALSE(QFileInfo::exists(marker));
}

// What a temporary file must be, whichever way it was made: open for reading and writing, owner-only
// even under a permissive umask, reachable through the returned name while open, and without a name
// in the folder, so that nothing stays there whatever ends the process.
void ExpectNamelessOwnerOnlyTempFile(const QString& folder)
{
    const mode_t savedMask = ::umask(0);
    TRLTempFile file;
    QString name;
    try {
        name = CreateTempFile(file);
    } catch (const Exception& e) {
        ::umask(savedMask);
        FAIL() << e.what();
    }
    ::umask(savedMask);
    ASSERT_TRUE(file.isOpen());
    EXPECT_TRUE(file.isReadable() && file.isWritable());
    EXPECT_EQ(file.size(), 0);
    EXPECT_EQ(file.Folder(), folder);
    EXPECT_EQ(file.write("swap"), 4);
    ASSERT_TRUE(file.flush());
    EXPECT_TRUE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot).isEmpty());

    struct stat info
    {
    };
    ASSERT_EQ(::fstat(file.handle(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(info.st_nlink, 0u);
    // The name reaches the open file, for a second reader in this process.
    QFile again(name);
    ASSERT_TRUE(again.open(QIODevice::ReadOnly)) << name.toStdString();
    EXPECT_EQ(again.readAll(), QByteArray("swap"));
    // Nothing to delete at exit: the registry never hears of it.
    EXPECT_FALSE(RegisteredTempFiles().contains(name));
    EXPECT_TRUE(RegisteredTempFiles().isEmpty());
}

TEST_F(RLTempFileTest, CreateTempFileLeavesNoNameInTheFolder)
{
    ExpectNamelessOwnerOnlyTempFile(Folder());
}

TEST_F(RLTempFileTest, CreateTempFileWithoutUnnamedFilesUnlinksAtOnce)
{
    RLUtilsDetail::UseUnnamedTempFiles = false;
    ExpectNamelessOwnerOnlyTempFile(Folder());
    RLUtilsDetail::UseUnnamedTempFiles = true;
}

TEST_F(RLTempFileTest, CreateTempFileNeverOpensAFileThatWasThere)
{
    // Every file already in the folder keeps its content, and every new file is a new one.
    for (bool unnamed : { true, false }) {
        RLUtilsDetail::UseUnnamedTempFiles = unnamed;
        QStringList before;
        for (int i = 0; i < 20; ++i)
            before << Touch(QStringLiteral("~qb%1.tmp").arg(i), "old");
        std::vector<std::unique_ptr<QFile>> files;
        QSet<QString> created;
        for (int i = 0; i < 100; ++i) {
            files.push_back(std::make_unique<QFile>());
            const QString name = CreateTempFile(*files.back());
            EXPECT_FALSE(before.contains(name));
            EXPECT_EQ(files.back()->size(), 0) << name.toStdString();
            created.insert(name);
        }
        EXPECT_EQ(created.size(), 100);
        for (const QString& path : before) {
            QFile old(path);
            ASSERT_TRUE(old.open(QIODevice::ReadOnly));
            EXPECT_EQ(old.readAll(), QByteArray("old"));
        }
        EXPECT_EQ(QDir(Folder()).entryList(QDir::Files | QDir::Hidden).size(), 20);
    }
    RLUtilsDetail::UseUnnamedTempFiles = true;
}

TEST_F(RLTempFileTest, CreateTempFileInAMissingDirectoryThrowsNamingTheFolder)
{
    const QString missing = Folder() + QStringLiteral("/no/such/folder");
    SetTempDir(missing);
    RLSelectLanguage(0x16);
    for (bool unnamed : { true, false }) {
        RLUtilsDetail::UseUnnamedTempFiles = unnamed;
        QFile file;
        try {
            CreateTempFile(file);
            ADD_FAILURE() << "no error";
        } catch (const Exception& error) {
            EXPECT_EQ(error.Message(),
                QStringLiteral("A pasta temporária \"%1\" não pode ser usada: Pasta não encontrada").arg(missing));
        }
        EXPECT_FALSE(file.isOpen());
    }
    RLUtilsDetail::UseUnnamedTempFiles = true;
    EXPECT_TRUE(RegisteredTempFiles().isEmpty());
}

TEST_F(RLTempFileTest, CreateTempFileNeverUsesTheCurrentFolder)
{
    // "." is the directory before start-up, and what an unusable TMPDIR used to turn into.
    QTemporaryDir current;
    ASSERT_TRUE(current.isValid());
    const QString saved = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(current.path()));
    for (const QString& directory : { QStringLiteral("."), QString() }) {
        SetTempDir(directory);
        TRLTempFile file;
        CreateTempFile(file);
        EXPECT_NE(file.Folder(), QStringLiteral("."));
        EXPECT_TRUE(QDir::isAbsolutePath(file.Folder())) << file.Folder().toStdString();
    }
    QDir::setCurrent(saved);
}

// A write into a full folder: a tmpfs of one page, when this process may mount one.
TEST_F(RLTempFileTest, AFullFolderGivesItsCauseInTheUsersLanguage)
{
    QTemporaryDir mountPoint;
    ASSERT_TRUE(mountPoint.isValid());
    const QByteArray point = QFile::encodeName(mountPoint.path());
    if (::mount("tmpfs", point.constData(), "tmpfs", 0, "size=4k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here (not root)";
    const auto unmount = qScopeGuard([&] { ::umount2(point.constData(), MNT_DETACH); });
    SetTempDir(mountPoint.path());
    RLSelectLanguage(0x16);
    TRLTempFile file;
    CreateTempFile(file);
    const QByteArray block(64 * 1024, 'x');
    bool failed = false;
    for (int i = 0; i < 4 && !failed; ++i)
        failed = file.write(block) != block.size() || !file.flush();
    ASSERT_TRUE(failed);
    EXPECT_EQ(file.errorString(), QStringLiteral("Não há espaço no disco"));
    EXPECT_EQ(file.WriteFailureText(),
        QStringLiteral("Não foi possível gravar o arquivo temporário em \"%1\": Não há espaço no disco").arg(mountPoint.path()));
}

// --- files written for the user ------------------------------------------------------------------

TEST_F(RLTempFileTest, SaveFileCausesAreInTheUsersLanguage)
{
    RLSelectLanguage(0x16);
    const QString missing = Folder() + QStringLiteral("/no/such/out.pdf");
    TRLSaveFile absent(missing);
    EXPECT_FALSE(absent.open(QIODevice::WriteOnly));
    EXPECT_EQ(absent.errorString(), QStringLiteral("Pasta não encontrada"));
    try {
        CheckOutputFolder(missing);
        ADD_FAILURE() << "no error";
    } catch (const Exception& error) {
        EXPECT_EQ(error.Message(), QStringLiteral("Não é possível gravar \"%1\" na pasta \"%2\": Pasta não encontrada")
                                       .arg(missing, Folder() + QStringLiteral("/no/such")));
    }
    EXPECT_NO_THROW(CheckOutputFolder(Folder() + QStringLiteral("/here.pdf")));
    const QString plain = Touch(QStringLiteral("plain"));
    EXPECT_EQ(FolderUnusableCause(plain), QStringLiteral("Não é uma pasta"));
}

TEST_F(RLTempFileTest, SaveFileOnAFullDiskKeepsTheOldFileAndSaysWhy)
{
    QTemporaryDir mountPoint;
    ASSERT_TRUE(mountPoint.isValid());
    const QByteArray point = QFile::encodeName(mountPoint.path());
    if (::mount("tmpfs", point.constData(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here (not root)";
    const auto unmount = qScopeGuard([&] { ::umount2(point.constData(), MNT_DETACH); });
    RLSelectLanguage(0x16);
    const QString target = mountPoint.path() + QStringLiteral("/out.pgx");
    {
        QFile old(target);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old");
    }
    TRLSaveFile file(target);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    const QByteArray block(16 * 1024, 'x');
    for (int i = 0; i < 16; ++i)
        file.write(block); // the first refusal is kept, later ones change nothing
    EXPECT_FALSE(file.commit());
    EXPECT_EQ(file.errorString(), QStringLiteral("Não há espaço no disco")) << file.errorString().toStdString() << " " << file.LastErrorNumber();
    EXPECT_EQ(file.LastErrorNumber(), ENOSPC);
    QFile check(target);
    ASSERT_TRUE(check.open(QIODevice::ReadOnly));
    EXPECT_EQ(check.readAll(), QByteArray("old"));
    EXPECT_EQ(QDir(mountPoint.path()).entryList(QDir::Files | QDir::Hidden), QStringList { QStringLiteral("out.pgx") });
}

TEST_F(RLTempFileTest, SaveFileRefusesToReplaceTheTargetOnceTheApplicationIsTerminating)
{
    const QString target = Touch(QStringLiteral("kept.pdf"), "old");
    TRLSaveFile file(target);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("new and complete");
    RequestApplicationTerminate();
    EXPECT_THROW(file.commit(), EAbort);
    ResetApplicationTerminate();
    QFile check(target);
    ASSERT_TRUE(check.open(QIODevice::ReadOnly));
    EXPECT_EQ(check.readAll(), QByteArray("old"));
    EXPECT_EQ(QDir(Folder()).entryList(QDir::Files | QDir::Hidden), QStringList { QStringLiteral("kept.pdf") });
    // Without the flag the same file replaces the target.
    TRLSaveFile again(target);
    ASSERT_TRUE(again.open(QIODevice::WriteOnly));
    again.write("new");
    EXPECT_TRUE(again.commit());
    QFile replaced(target);
    ASSERT_TRUE(replaced.open(QIODevice::ReadOnly));
    EXPECT_EQ(replaced.readAll(), QByteArray("new"));
}

TEST(RLFileErrorCauseTest, KnownCausesHaveTheirWords)
{
    RLSelectLanguage(0x16);
    const struct
    {
        int Error;
        bool Writing;
        const char16_t* Text;
    } cases[] = {
        { ENOSPC, true, u"Não há espaço no disco" },
        { EDQUOT, true, u"Não há espaço no disco" },
        { EFBIG, true, u"Arquivo muito grande" },
        { EACCES, true, u"Permissão negada" },
        { EPERM, true, u"Permissão negada" },
        { EROFS, true, u"Sistema de arquivos somente leitura" },
        { ENOENT, true, u"Pasta não encontrada" },
        { ENOENT, false, u"Arquivo não encontrado" },
        { ENOTDIR, true, u"Não é uma pasta" },
        { EIO, true, u"Erro de entrada e saída" },
        { 0, true, u"Erro desconhecido" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(FileErrorCause(c.Error, c.Writing), QString::fromUtf16(c.Text)) << c.Error;
    RLSelectLanguage(0x09);
    EXPECT_EQ(FileErrorCause(ENOSPC), QStringLiteral("No space left on the disk"));
    RLSelectLanguage(0x0C);
    EXPECT_EQ(FileErrorCause(EFBIG), QStringLiteral("Fichier trop volumineux"));
    RLSelectLanguage(0x16);
    EXPECT_FALSE(FileErrorCause(ETXTBSY).isEmpty()); // the system's own words
}

// --- start-up -----------------------------------------------------------------------------------

TEST(RLUtilsStartupTest, StartupRanWithTheApplication)
{
    EXPECT_EQ(LogFileName(), QCoreApplication::applicationDirPath() + QStringLiteral("/DAva.log"));
}

TEST(RLUtilsStartupTest, InitializationIsUseCountedAndDeletesAStaleLog)
{
    // The application's construction already initialised once; take the count back to zero.
    RLUtilsFinalize();
    EXPECT_EQ(TempDir(), QStringLiteral("."));
    EXPECT_TRUE(LogFileName().isEmpty());

    const QString log = QCoreApplication::applicationDirPath() + QStringLiteral("/DAva.log");
    const auto writeLog = [&log] {
        QFile file(log);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("stale");
    };
    writeLog();
    RLUtilsInitialize();
    EXPECT_FALSE(QFileInfo::exists(log));
    EXPECT_EQ(LogFileName(), log);
    EXPECT_EQ(TempDir(), QDir::tempPath());

    // A second user does not run the start-up again.
    writeLog();
    RLUtilsInitialize();
    EXPECT_TRUE(QFileInfo::exists(log));
    QFile::remove(log);

    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString registered = folder.path() + QStringLiteral("/registered.tmp");
    QFile(registered).open(QIODevice::WriteOnly);
    RegisterTempFile(registered);

    RLUtilsFinalize(); // one user left: nothing goes yet
    EXPECT_TRUE(QFileInfo::exists(registered));
    EXPECT_EQ(TempDir(), QDir::tempPath());

    RLUtilsFinalize(); // the last one: temporary files go, paths are released
    EXPECT_FALSE(QFileInfo::exists(registered));
    EXPECT_EQ(TempDir(), QStringLiteral("."));
    EXPECT_TRUE(LogFileName().isEmpty());

    RLUtilsFinalize(); // more finalisations than initialisations do nothing
    EXPECT_EQ(TempDir(), QStringLiteral("."));

    RLUtilsInitialize(); // leave it as the application set it up
    EXPECT_EQ(TempDir(), QDir::tempPath());
}

// Start-up reads TMPDIR again each time it runs; put the environment and the state back after.
class RLTempDirStartupTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        if (FHadTmpDir)
            qputenv("TMPDIR", FSavedTmpDir);
        else
            qunsetenv("TMPDIR");
        RestartUtilities();
    }
    static void RestartUtilities()
    {
        RLUtilsFinalize();
        RLUtilsInitialize();
    }

private:
    bool FHadTmpDir = qEnvironmentVariableIsSet("TMPDIR");
    QByteArray FSavedTmpDir = qgetenv("TMPDIR");
};

TEST_F(RLTempDirStartupTest, AnUnusableTmpDirFallsBackToTmpWithANotice)
{
    RLSelectLanguage(0x16);
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString plainFile = folder.filePath(QStringLiteral("file"));
    QFile(plainFile).open(QIODevice::WriteOnly);
    struct Case
    {
        QString TmpDir;
        QString Cause;
    };
    const Case cases[] = {
        { folder.filePath(QStringLiteral("missing")), QStringLiteral("Pasta não encontrada") },
        { plainFile, QStringLiteral("Não é uma pasta") },
    };
    for (const Case& c : cases) {
        qputenv("TMPDIR", QFile::encodeName(c.TmpDir));
        RestartUtilities();
        EXPECT_EQ(TempDir(), QStringLiteral("/tmp"));
        EXPECT_EQ(TempDirNotice(),
            QStringLiteral("A pasta temporária \"%1\" não pode ser usada (%2); usando \"/tmp\"").arg(c.TmpDir, c.Cause));
        TRLTempFile file;
        CreateTempFile(file);
        EXPECT_EQ(file.Folder(), QStringLiteral("/tmp"));
    }
}

TEST_F(RLTempDirStartupTest, AUsableTmpDirIsTakenWithoutANotice)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    qputenv("TMPDIR", QFile::encodeName(folder.path()));
    RestartUtilities();
    EXPECT_EQ(TempDir(), QDir(folder.path()).canonicalPath());
    EXPECT_TRUE(TempDirNotice().isEmpty());
    qunsetenv("TMPDIR");
    RestartUtilities();
    EXPECT_EQ(TempDir(), QStringLiteral("/tmp"));
    EXPECT_TRUE(TempDirNotice().isEmpty());
}

} // namespace

#include "RLUtilsTest.moc"
