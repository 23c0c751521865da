#pragma once
// The arithmetic of a site's layout, kept apart from the controls so that it can be reasoned about
// and tested on plain rectangles:
//
//   AlignSiteChildren  places aligned children in the client area, row by row (left-most and
//                      right-most strips, top and bottom strips, left and right strips, client,
//                      corners, client edges, edge-only moves, stretches, centred items);
//   MeasureSiteSize    the size a site takes when it sizes itself to its children.
//
// Both take the children in child order (the caller filters out the invisible ones). Rectangles are
// in the site's own coordinates, right and bottom exclusive. Neither function throws or allocates
// beyond the lists it is given.
#include "engine/RLTypes.h"
#include "platform/Rect.h"

#include <QSize>
#include <vector>

struct TRLAlignItem
{
    TRLControlAlign Align = faNone;
    TRect Bounds; // current bounds in, placed bounds out
};

// Places every aligned item inside Client; faNone items keep their bounds. Items with an alignment
// outside the enumeration are left alone.
void AlignSiteChildren(const TRect& Client, std::vector<TRLAlignItem>& Items);

// The new size of a site that sizes itself to its children: the current size plus what the client
// area lacks or has too much, so the frame around the client area keeps its size. SiteAlign is the
// site's own alignment: a site stretched across its parent keeps that dimension.
QSize MeasureSiteSize(const QSize& Current, const TRect& Client, TRLControlAlign SiteAlign,
    const std::vector<TRLAlignItem>& Children);

// Alignments whose width adds to the width a self-sizing site needs (and likewise the height).
bool AlignAddsToWidth(TRLControlAlign Align);
bool AlignAddsToHeight(TRLControlAlign Align);

// Splits Total into Count parts, equal except that the last takes what integer division leaves:
// part Index starts at the returned offset and has the returned size.
struct TRLSlot
{
    int Offset = 0;
    int Size = 0;
};
TRLSlot ShareEqually(int Total, int Count, int Index);
