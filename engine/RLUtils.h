#pragma once
// Small helpers shared by the whole engine, and the process-wide utility state: the temporary
// directory, the log-file path and the registry of temporary files that are deleted at exit.
//
// Start-up: RLUtilsInitialize runs once, on its own, when the QApplication is constructed (and may be
// called again by anyone who needs it: a use counter makes only the first call act and only the last
// RLUtilsFinalize undo it). It deletes a stale "DAva.log" beside the program, points the temporary
// directory at the platform's temporary path and chooses the engine's message language.
//
// Exit: every temporary file still registered is deleted, failures ignored. That happens when the
// QApplication goes (post routine) and again, for processes without one, from std::atexit; deleting
// is idempotent, so whichever runs second finds nothing left.
//
// The utility state is guarded by a lock, because the background filter thread creates temporary
// files too.
#include "platform/Rect.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QMargins>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QStringView>

class QFile;
class TComponent;
class TFont;

// --- start-up and exit --------------------------------------------------------------------------

void RLUtilsInitialize();
void RLUtilsFinalize();

// The directory temporary files go to: "." until start-up sets the platform's temporary path.
// Start-up reads TMPDIR; one that cannot take files falls back to /tmp, and the notice says so (an
// empty text otherwise). The program shows it; the engine has nowhere to.
QString TempDir();
void SetTempDir(const QString& directory);
QString TempDirNotice();
// The program's directory followed by "DAva.log" once start-up has run; empty before.
QString LogFileName();

// --- temporary files ----------------------------------------------------------------------------

// A name "~qb<n>.tmp" in the temporary directory, n a random decimal from 0 to 2147483646, that no
// file has at the time of the call. The file is not created, so someone else may take the name
// before the caller does: prefer CreateTempFile for anything the program writes itself.
QString NewTempFileName();

// Creates a new, empty temporary file in the temporary directory (the platform's folder when the
// directory is "." or empty, never the current folder) and opens it in file for reading and writing,
// owner-only. The file has no name in the folder from the moment it exists: unnamed (O_TMPFILE) where
// the file system allows, else created exclusively under a fresh name and unlinked at once. So it is
// never registered: when file closes, or the process ends in any way, the file is gone. Returns a
// name that reaches the open file from this process while it stays open ("/proc/self/fd/<n>"). A
// TRLTempFile learns its folder, for its messages. Throws Exception naming the folder and the cause
// when the folder does not let a file be created.
QString CreateTempFile(QFile& file);
namespace RLUtilsDetail {
// Tests turn it off to try the named fallback.
extern bool UseUnnamedTempFiles;
}

void RegisterTempFile(const QString& fileName);
// Removes the name from the registry if it is there; deleting the file is the caller's business.
void UnregisterTempFile(const QString& fileName);
QStringList RegisteredTempFiles();
// Deletes every registered file, ignoring failures, and empties the registry. The exit routine.
void DeleteRegisteredTempFiles();

// --- strings and numbers ------------------------------------------------------------------------

// The index-th field (from 1) of text cut at separator; empty when there are fewer fields.
QString Token(const QString& text, int index, QChar separator);
// ".ext" for "ext"; an empty extension or one that already starts with "." is returned unchanged.
QString NormalizeExt(const QString& ext);

// Fixed notation with exactly four decimals and "." as the point, whatever the locale: 210 gives
// "210.0000", -0.5 gives "-0.5000". Halves round away from zero; a value that rounds to zero has no
// sign. Infinities and NaN give "INF", "-INF" and "NAN", which TextToFloat refuses.
QString FloatToText(double value);
// The number in that notation (an exponent is accepted, surrounding blanks are ignored); any text
// that is not entirely a finite number of that form gives defaultValue.
double TextToFloat(const QString& text, double defaultValue);

// Two upper-case hexadecimal digits.
QString ByteToHex(quint8 byte);
// The byte two hexadecimal digits (either case) stand for, or -1 when pair is not exactly two
// hexadecimal digits.
int HexToByte(QStringView pair);
// A bitmap from hexadecimal text holding the platform's stored-bitmap form: a 32-bit little-endian
// byte count, then that many bytes of a .bmp file. Text that is not whole pairs of hexadecimal digits,
// a count beyond the bytes present, or bytes that are no bitmap give a null image.
QImage HexToBitmap(const QString& text);

// CRC-16 with polynomial 0x1021, most significant bit first, initial value 0, no final augmentation:
// "" gives 0, "abc" gives 0x1EE4. The text form works on its Windows-1252 bytes.
quint16 Crc16(const QByteArray& bytes);
quint16 Crc16(const QString& text);

// A fresh name for component among its owner's components: the class name without a leading "T"
// ("RLBand" for TRLBand) followed by one more than the largest number any owned component's name
// carries after that base (compared ignoring case).
QString UniqueComponentName(const TComponent* component);

// --- rectangles and points (report pixels) ------------------------------------------------------

// Rotates points by angle degrees, counter-clockwise on the page (whose y axis points down), about
// their rounded mean point; every result rounded to a pixel, ties to even. The drawing control turns
// its shapes with it and TextExtent its corners.
void RotatePoints(QList<TPoint>& Points, double Angle);

inline int RectWidth(const TRect& r)
{
    return r.Right - r.Left;
}
inline int RectHeight(const TRect& r)
{
    return r.Bottom - r.Top;
}
// The same size with its top-left corner at (x, y).
inline TRect MoveRect(const TRect& r, int x, int y)
{
    return TRect(x, y, x + RectWidth(r), y + RectHeight(r));
}
// Shrinks (InsetRect) or grows (OutsetRect) each side by the matching thickness of m.
inline TRect InsetRect(const TRect& r, const QMargins& m)
{
    return TRect(r.Left + m.left(), r.Top + m.top(), r.Right - m.right(), r.Bottom - m.bottom());
}
inline TRect OutsetRect(const TRect& r, const QMargins& m)
{
    return TRect(r.Left - m.left(), r.Top - m.top(), r.Right + m.right(), r.Bottom + m.bottom());
}
// The smallest rectangle holding every point, grown by one pixel on each side so that the outline
// drawn through the outermost points lies inside it. No points give an empty rectangle at the origin.
TRect PolygonBounds(const QList<TPoint>& points);

// --- text ---------------------------------------------------------------------------------------

// Width and height of text in font as the platform measures it. For a non-zero angle (degrees,
// counter-clockwise on the page) the size of the bounding box of the text's rectangle turned the way
// the drawing control turns its shapes: at 90 degrees width and height swap.
QSize TextExtent(const QString& text, const TFont& font, double angle = 0.0);
