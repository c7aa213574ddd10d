#pragma once

#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QList>
#include <QPainter>
#include <QRectF>
#include <QString>
#include <cmath>
#include <utility>

// A strip of the screen drawn in the test: rows of DejaVu Sans Mono text at a
// known place, at a chosen pixel density, as a capture would return it.
// Needs a QGuiApplication (QT_QPA_PLATFORM=offscreen is enough).
struct StripStyle {
    double pixelsPerPoint = 1.0;
    double pointSize = 13.0;
    bool dark = false; // light text on a dark background
    double rowHeight = 17.0;
};

struct RenderedStrip {
    struct Row {
        QString text;
        QRectF box; // global points: from the first glyph's left to the advance's end, ascent to descent
    };
    QImage image;
    QRectF strip;
    QList<Row> rows;
    StripStyle style;
};

// The font the strip's rows are drawn in, sized in pixels.
inline QFont stripFont(const StripStyle& style) {
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setPixelSize(int(std::lround(style.pointSize * style.pixelsPerPoint)));
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

// Draws each text on its own row, the first row's top at firstTop points
// below the strip's top and every row left-aligned at left points.
inline RenderedStrip renderStrip(QRectF strip, const QStringList& texts, double left, double firstTop,
                                 const StripStyle& style = {}) {
    RenderedStrip result;
    result.strip = strip;
    result.style = style;
    const double s = style.pixelsPerPoint;
    result.image = QImage(int(strip.width() * s), int(strip.height() * s), QImage::Format_RGB32);
    const QColor background = style.dark ? QColor(30, 30, 30) : QColor(255, 255, 255);
    const QColor ink = style.dark ? QColor(220, 220, 220) : QColor(20, 20, 20);
    result.image.fill(background);

    const QFont font = stripFont(style);
    QPainter painter(&result.image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(font);
    painter.setPen(ink);
    const QFontMetricsF metrics(font);
    for (int i = 0; i < texts.size(); ++i) {
        const double top = firstTop + i * style.rowHeight; // points below the strip's top
        const double baseline = top + metrics.ascent() / s;
        painter.drawText(QPointF(left * s, baseline * s), texts.at(i));
        const double width = metrics.horizontalAdvance(texts.at(i)) / s;
        const double height = (metrics.ascent() + metrics.descent()) / s;
        result.rows.append({texts.at(i), QRectF(strip.left() + left, strip.top() + top, width, height)});
    }
    return result;
}

// Where characters from..to (end exclusive) of a row were drawn, as global minX and maxX.
inline std::pair<double, double> drawnColumns(const RenderedStrip& r, int row, qsizetype from, qsizetype to) {
    const QFontMetricsF m(stripFont(r.style));
    const RenderedStrip::Row& drawn = r.rows.at(row);
    const auto x = [&](qsizetype n) {
        return drawn.box.left() + m.horizontalAdvance(drawn.text.left(n)) / r.style.pixelsPerPoint;
    };
    return {x(from), x(to)};
}
