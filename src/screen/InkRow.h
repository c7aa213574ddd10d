#pragma once

#include "screen/ScreenTextReader.h"

#include <QList>
#include <QPointF>
#include <optional>

// The pointer's row of text as the pixels show it. Recognition's line boxes
// are not enough to tell which row the pointer rests on: a row read at low
// confidence is left out, and boxes drawn round bitmap glyphs reach a few
// points into the next row. Either way a row above or below then lies within
// the pointer's reach and would be taken for it, and its names are not the
// one meant.
namespace ScreenTextReader {

// Global points, y downwards.
struct InkRow {
    double top = 0;
    double bottom = 0;
};

// What the pixels say about the row the pointer rests on, looking at ink
// within 14 points either side of it.
struct PointerRow {
    // The run of pixel rows with ink that holds the pointer's y; or, with the
    // pointer on a blank band, the one run within 14 points of it that is
    // more than 3 points nearer than any other.
    std::optional<InkRow> row;
    // On a blank band between two runs, neither clearly nearer: the row the
    // pointer is in cannot be told.
    bool ambiguous = false;
};

// Nothing is known when the tile has no pixels, no ink lies within reach, or
// a run is taller than `tallest` (rows touching, a picture, a border: not one
// row of text).
PointerRow pointerRowAt(const Tile& tile, QPointF pointer, double tallest);

// The same, from the first of the reads whose tile holds the pointer, bounded
// by the tallest line they read.
PointerRow pointerRowAt(const QList<Read>& reads, QPointF pointer);

// The line's box lies mostly on the row.
bool onInkRow(const Line& line, InkRow row);

// Some line of the reads within 14 points of the pointer sideways lies on
// the pointer's row; when none does, recognition dropped that row.
bool rowWasRead(const QList<Read>& reads, QPointF pointer, InkRow row);

} // namespace ScreenTextReader
