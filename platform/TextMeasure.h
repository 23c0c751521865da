#pragma once
// Text measuring as the platform measured text on a 1 x 1 pixel bitmap at 96 pixels per inch.
//
// Width: every character's advance is taken from the font's own design metrics, scaled to the font's
// em height in pixels and rounded to whole pixels (halves up), and the rounded advances are summed. No
// kerning, no shaping, no line breaking: a line feed is just another character. This is how the
// platform measured, and because it only reads the font files it is fast and the same on every
// machine that has the same fonts.
//
// Height: the font's cell height, its Windows ascent plus its Windows descent (OS/2 usWinAscent and
// usWinDescent) each scaled to the em height and rounded to whole pixels, whatever the text.
//
// The face measured is the one drawn with: SubstituteFaceName (platform/Graphics.h) maps the platform's
// faces to the Liberation and DejaVu families ("Arial" -> "Liberation Sans", "Times New Roman" ->
// "Liberation Serif", "Courier New" -> "Liberation Mono", "MS Sans Serif"/"Verdana"/"Tahoma" ->
// "DejaVu Sans"); any other face is matched by the system's font configuration.
//
// Advance tables are built once per face and style and kept for the life of the process; lookups are
// guarded, so a background thread may measure while the user-interface thread does. A QGuiApplication
// must exist (the font database comes with it).
#include "platform/Graphics.h"

#include <QSize>
#include <QString>

int TextWidth(const TFont& font, const QString& text);
int TextHeight(const TFont& font, const QString& text);
QSize TextSize(const TFont& font, const QString& text);

// The advance of one character in whole pixels.
int CharWidth(const TFont& font, char32_t character);

struct TTextMetrics
{
    int Ascent = 0; // pixels above the base line
    int Descent = 0; // pixels below it
    int Height = 0; // Ascent + Descent, the cell height
    int EmHeight = 0; // the em square in pixels (the character height)
};
TTextMetrics TextMetrics(const TFont& font);

// The same measures by face (before substitution), em height in pixels and styles (fsBold, fsItalic
// matter; underline and strike-out do not change any measure).
int TextWidth(const QString& face, int emPixels, TFontStyles style, const QString& text);
TTextMetrics TextMetrics(const QString& face, int emPixels, TFontStyles style);
// The em height of a font asked for by its cell height (a positive platform Height).
int CellHeightToEmHeight(const QString& face, TFontStyles style, int cellHeight);
