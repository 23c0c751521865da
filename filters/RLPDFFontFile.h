#pragma once
// The font programs and character maps that the PDF writer embeds when it is asked to: a TrueType
// font cut down by HarfBuzz's subsetter to the characters a document uses, and the ToUnicode map
// that lets readers extract and search the text of a font whose codes are Windows-1252 bytes.
//
// The face is the one the writer measures and declares (the same substitution and style as
// GetFontMetrics), read table by table from the font the platform opened, so the glyphs embedded
// are exactly the ones whose widths the document gives.
#include "platform/Graphics.h"

#include <QByteArray>
#include <QString>

#include <bitset>

// The Windows-1252 codes a document shows in one font.
using TRLPDFCodeSet = std::bitset<256>;

// A TrueType font program ("glyf" outlines, what FontFile2 holds) with the glyphs of Codes (and the
// .notdef glyph) and a Unicode cmap for them. Empty when the face has no TrueType outlines (the
// document then names the font without embedding it). Throws Exception when the subsetter fails.
QByteArray SubsetTrueTypeFont(const QString& FaceName, TFontStyles Style, const TRLPDFCodeSet& Codes);

// The six capital letters that name a subset ("ABCDEF+Name"), the same for the same font and codes.
QByteArray PDFSubsetTag(const QString& FaceName, TFontStyles Style, const TRLPDFCodeSet& Codes);

// A ToUnicode CMap for single-byte codes: each code of Codes mapped to its Windows-1252 character.
QByteArray PDFToUnicodeCMap(const TRLPDFCodeSet& Codes);
