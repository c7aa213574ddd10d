#pragma once

#include "screen/ScreenTextReader.h"

// Lines built by hand for the geometry tests: every character gets an equal
// share of the line's width (blanks get none), as a monospaced font would.
inline ScreenTextReader::Tile handTile(double left, double width, bool clippedLeft, bool clippedRight,
                                       double top = 0, double height = 76) {
    ScreenTextReader::Tile t;
    t.strip = QRectF(left, top, width, height);
    t.clippedLeft = clippedLeft;
    t.clippedRight = clippedRight;
    return t;
}

inline ScreenTextReader::Line handLine(const QString& text, double minX, double maxX, double minY,
                                       double maxY, const ScreenTextReader::Tile& tile) {
    ScreenTextReader::Line l;
    l.text = text;
    l.searchable = text;
    l.tile = tile;
    l.minX = minX;
    l.maxX = maxX;
    l.minY = minY;
    l.maxY = maxY;
    const QRectF& s = tile.strip;
    const double cell = text.isEmpty() ? 0 : (maxX - minX) / double(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i).isSpace()) {
            l.characterBoxes.append(QRectF());
            continue;
        }
        const double x = (minX + cell * double(i) - s.left()) / s.width();
        const double y = (s.bottom() - maxY) / s.height();
        l.characterBoxes.append(QRectF(x, y, cell / s.width(), (maxY - minY) / s.height()));
    }
    return l;
}
