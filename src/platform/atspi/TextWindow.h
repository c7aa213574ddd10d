#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>
#include <optional>

// A stretch of an element's text around the pointer, with the conversion
// between the application's character offsets and the UTF-16 offsets the
// lookup works in.
//
// AT-SPI counts characters as Unicode code points, and GTK, VTE and Firefox do
// so; Qt's bridge counts UTF-16 units instead. Which one an application uses
// shows in the stretch it returns: asked for the characters [first, end), it
// answers with end - first code points, or with end - first UTF-16 units.
//
// The UTF-16 offsets handed out are exact relative to each other inside the
// stretch; before it, each character is taken as one unit. The lookup only
// measures within the stretch, which is fetched wide enough for its window.
class TextWindow {
  public:
    // text: what the application answered for its characters [first, end).
    TextWindow(qint64 first, qint64 end, const QString& text);

    // Whether the application counts UTF-16 units rather than code points.
    bool countsUtf16() const { return utf16_; }
    const QString& text() const { return text_; }

    // The UTF-16 offset of the application's offset, when it lies in the stretch (ends included).
    std::optional<qint64> utf16Offset(qint64 applicationOffset) const;
    // The application's offset of the character holding the UTF-16 offset
    // (the end of the stretch included); rounded up when roundUp and the offset
    // falls inside a character (between the two halves of a surrogate pair).
    std::optional<qint64> applicationOffset(qint64 utf16Offset, bool roundUp = false) const;

    // UTF-16 units of the character starting at the application's offset (0 at the end).
    qint64 unitsAt(qint64 applicationOffset) const;

    // The UTF-16 range [location, location + length) as text, when inside the stretch.
    std::optional<QString> slice(qint64 location, qint64 length) const;

    // The text's length in UTF-16 offsets, given its length as the application counts it.
    qint64 utf16Length(qint64 applicationCount) const;

  private:
    qint64 first_ = 0;
    QString text_;
    bool utf16_ = false;
    qint64 applicationLength_ = 0; // characters of the stretch as the application counts them
    QList<qint64> starts_;         // counting code points: where each one starts in text_, and the end
};
