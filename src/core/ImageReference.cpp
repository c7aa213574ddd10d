#include "core/ImageReference.h"

#include <QTextBoundaryFinder>
#include <algorithm>

namespace {

// Work bounds for searching arbitrary text (recognised strips, accessibility
// text, command-line arguments, and whatever else a caller hands in).
//
// Both patterns backtrack: at every start position inside a long run of path
// characters the lazy run of the strict pattern (and the segments of the loose
// one) scan on to the end of the run, so one search is quadratic in the run's
// length (about 40 ms for 4096 units here, 0.6 s for 16384, hours for a
// megabyte). Neither pattern can match ASCII white space (QRegularExpression's
// \s without UseUnicodePropertiesOption is exactly tab, LF, VT, FF, CR and
// space), quotes, angle brackets, brackets, braces or parentheses, and neither
// uses anchors, look-around or word boundaries. So the text is cut at those
// characters and each segment searched on its own: the matches are exactly the
// ones a search of the whole text finds. Two bounds then keep the work small:
// - a segment longer than kMaxSegment is skipped: a reference that long cannot
//   name a file (PATH_MAX is 4096 bytes), so no match is lost in practice;
// - collect looks only at the first kMaxSearched units of the text (at most 16
//   worst-case segments); reference() searches only the segment at the offset.
constexpr qsizetype kMaxSegment = 4096;
constexpr qsizetype kMaxSearched = 65536;

bool isSeparator(QChar c) {
    switch (c.unicode()) {
    case u'\t':
    case u'\n':
    case u'\v':
    case u'\f':
    case u'\r':
    case u' ':
    case u'"':
    case u'\'':
    case u'<':
    case u'>':
    case u'[':
    case u']':
    case u'{':
    case u'}':
    case u'(':
    case u')':
        return true;
    default:
        return false;
    }
}

// PCRE2 refuses a whole subject that holds an unpaired surrogate (no match at
// all), so a segment with one is searched with U+FFFD in its place: one unit
// for one, the offsets stay valid.
QString withPairedSurrogates(QStringView segment) {
    QString out = segment.toString();
    const qsizetype n = out.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = out.at(i);
        if (c.isHighSurrogate() && i + 1 < n && out.at(i + 1).isLowSurrogate()) {
            ++i;
        } else if (c.isSurrogate()) {
            out[i] = QChar::ReplacementCharacter;
        }
    }
    return out;
}

bool splitsSurrogatePair(const QString& text, qsizetype begin, qsizetype end) {
    const auto splitsAt = [&](qsizetype i) {
        return i > 0 && i < text.size() && text.at(i - 1).isHighSurrogate() && text.at(i).isLowSurrogate();
    };
    return splitsAt(begin) || splitsAt(end);
}

// Appends the matches inside text[begin, end) (one segment) with offsets into text.
void collectSegment(const QRegularExpression& regex, const QString& text, qsizetype begin, qsizetype end,
                    QList<ImageReference::Match>& out) {
    if (end - begin > kMaxSegment) return;
    const QString segment = withPairedSurrogates(QStringView(text).sliced(begin, end - begin));
    QRegularExpressionMatchIterator it = regex.globalMatch(segment);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        const qsizetype location = begin + m.capturedStart();
        const qsizetype length = m.capturedLength();
        // PCRE2 matches whole code points, so this only guards the promise
        // that a match never cuts a character in two.
        if (splitsSurrogatePair(text, location, location + length)) continue;
        out.append({location, length, m.captured()});
    }
}

std::optional<QRegularExpression> compiled(const QString& pattern) {
    QRegularExpression regex(pattern, QRegularExpression::CaseInsensitiveOption);
    if (!regex.isValid()) return std::nullopt;
    regex.optimize(); // compile now, while only this thread can see it
    return regex;
}

} // namespace

namespace ImageReference {

const QStringList& supportedExtensions() {
    static const QStringList extensions = {
        QStringLiteral("avif"), QStringLiteral("bmp"),  QStringLiteral("gif"),  QStringLiteral("heic"),
        QStringLiteral("heif"), QStringLiteral("jpeg"), QStringLiteral("jpg"),  QStringLiteral("png"),
        QStringLiteral("tif"),  QStringLiteral("tiff"), QStringLiteral("webp"), QStringLiteral("svg"),
        QStringLiteral("svgz"),
    };
    return extensions;
}

bool isSupportedExtension(const QString& extension) {
    return supportedExtensions().contains(extension.toLower());
}

QString pathExtension(const QString& path) {
    qsizetype end = path.size();
    while (end > 1 && path.at(end - 1) == QLatin1Char('/'))
        --end;
    const qsizetype nameStart = path.lastIndexOf(QLatin1Char('/'), end - 1) + 1;
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'), end - 1);
    // No dot in the last component, or only a leading one (".png" is a hidden file without extension).
    if (dot <= nameStart) return QString();
    return path.sliced(dot + 1, end - dot - 1).toLower();
}

// Function-local statics: built once, on first use, thread-safely (C++11), read-only afterwards.
const QRegularExpression* strict() {
    // The first alternative that fits wins, so "tiff" must come before "tif":
    // in list order "photo.tiff" would be cut to "photo.tif".
    static const QString extensions = [] {
        QStringList longestFirst = supportedExtensions();
        std::stable_sort(longestFirst.begin(), longestFirst.end(),
                         [](const QString& a, const QString& b) { return a.size() > b.size(); });
        return longestFirst.join(QLatin1Char('|'));
    }();
    static const std::optional<QRegularExpression> regex =
        compiled(QString::fromUtf8("(?:https?://|file://)?[A-Za-z0-9Øø_~./%+@:-]+?\\.(?:") + extensions +
                 QStringLiteral(")(?:\\?[^\\s\"'<>\\[\\]{}()]*)?"));
    return regex ? &*regex : nullptr;
}

const QRegularExpression* loose() {
    static const std::optional<QRegularExpression> regex = compiled(QString::fromUtf8(
        "(?:https?://|file://)?[A-Za-z0-9Øø_~%+@:-]*(?:/[A-Za-z0-9Øø_~.%+@:-]+)+\\.[A-Za-z0-9]{2,5}"));
    return regex ? &*regex : nullptr;
}

const QHash<QChar, QChar>& dotLookalikes() {
    static const QHash<QChar, QChar> map = {
        {QChar(0x2022), QLatin1Char('.')}, // BULLET
        {QChar(0x00B7), QLatin1Char('.')}, // MIDDLE DOT
        {QChar(0x2219), QLatin1Char('.')}, // BULLET OPERATOR
        {QChar(0x25CF), QLatin1Char('.')}, // BLACK CIRCLE
        {QChar(0x2027), QLatin1Char('.')}, // HYPHENATION POINT
    };
    return map;
}

QList<Match> collect(const QRegularExpression* regex, const QString& text) {
    QList<Match> out;
    if (!regex) return out;
    const qsizetype limit = std::min(text.size(), kMaxSearched);
    qsizetype i = 0;
    while (i < limit) {
        while (i < limit && isSeparator(text.at(i)))
            ++i;
        const qsizetype begin = i;
        while (i < text.size() && !isSeparator(text.at(i)))
            ++i;
        if (i > limit) break; // a segment running past the bound is not searched at all
        if (i > begin) collectSegment(*regex, text, begin, i, out);
    }
    return out;
}

std::optional<QString> reference(const QString& text, qint64 offset) {
    const QRegularExpression* regex = strict();
    if (!regex || offset < 0 || offset > text.size()) return std::nullopt;
    // Only the segment around the offset can hold a match containing it: either
    // the offset is inside that segment, or it sits on the separator (or text
    // end) just after it, where a match ending at the offset may lie.
    qsizetype begin = static_cast<qsizetype>(offset);
    while (begin > 0 && !isSeparator(text.at(begin - 1)) && offset - begin <= kMaxSegment)
        --begin;
    qsizetype end = static_cast<qsizetype>(offset);
    while (end < text.size() && !isSeparator(text.at(end)) && end - begin <= kMaxSegment)
        ++end;
    QList<Match> matches;
    collectSegment(*regex, text, begin, end, matches);
    for (const Match& m : std::as_const(matches)) {
        if (m.location <= offset && offset <= m.location + m.length) return m.reference;
    }
    return std::nullopt;
}

JoinedText joiningWrappedPaths(const QString& text) {
    const auto isPathCharacter = [](QChar c) {
        const char16_t u = c.unicode();
        return (u < 0x80 && (QChar::isLetterOrNumber(u) || QStringView(u"%+-./:@_~").contains(c))) ||
               u == 0x00D8 || u == 0x00F8;
    };
    const auto isBreak = [](QChar c) { return c == QLatin1Char('\n') || c == QLatin1Char('\r'); };

    JoinedText out;
    const qsizetype n = text.size();
    out.text.reserve(n);
    out.origins.reserve(n);
    qsizetype i = 0;
    while (i < n) {
        if (!out.text.isEmpty() && out.text.back() == QLatin1Char('/') && isBreak(text.at(i))) {
            qsizetype j = i + 1;
            if (text.at(i) == QLatin1Char('\r') && j < n && text.at(j) == QLatin1Char('\n')) ++j;
            qsizetype k = j;
            while (k < n && (text.at(k) == QLatin1Char(' ') || text.at(k) == QLatin1Char('\t')))
                ++k;
            if (k < n && k > j && !isBreak(text.at(k)) && isPathCharacter(text.at(k))) {
                i = k;
                continue;
            }
        }
        out.text.append(text.at(i));
        out.origins.append(i);
        ++i;
    }
    return out;
}

std::optional<QString> referenceAcrossWrappedLines(const QString& text, qint64 offset) {
    const JoinedText joined = joiningWrappedPaths(text);
    if (joined.origins.size() == text.size()) return std::nullopt; // nothing joined
    // origins is strictly increasing: the first kept unit at or after the offset.
    const auto it = std::lower_bound(joined.origins.cbegin(), joined.origins.cend(), offset);
    if (it == joined.origins.cend()) return std::nullopt;
    return reference(joined.text, it - joined.origins.cbegin());
}

namespace {

// A comma between a name and an image extension ("toast_error,png"): bitmap
// fonts draw the period as a dot so small that recognition reads a comma.
// Such a name's other periods between digits were read alike
// ("sprite-v1,7,0,png"); a name whose extension keeps its period keeps its commas.
QString withCommaPeriods(const QString& text) {
    static const QRegularExpression commaExtension(
        QStringLiteral("(?<=[A-Za-z0-9_\\-@)\\]]),([A-Za-z]{3,4})(?![A-Za-z0-9])"));
    QString out = text;
    for (auto it = commaExtension.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        if (!isSupportedExtension(m.captured(1).toLower())) continue;
        out[m.capturedStart()] = QLatin1Char('.');
        for (qsizetype i = m.capturedStart() - 2; i > 0 && !text.at(i).isSpace(); --i) {
            if (text.at(i) == QLatin1Char(',') && text.at(i - 1).isDigit() && text.at(i + 1).isDigit())
                out[i] = QLatin1Char('.');
        }
    }
    return out;
}

// A "g" read as "q" ending an image extension ("frame.pnq", also after a
// comma read for the period): bitmap fonts cut the tail of the "g" short.
// Only where the extension as read is not one of its own and the repaired one is.
void withExtensionTails(QString& text) {
    static const QRegularExpression tail(
        QStringLiteral("(?<=[A-Za-z0-9_\\-@)\\]])[.,]([A-Za-z]{1,3}q)(?![A-Za-z0-9])"));
    for (auto it = tail.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QString read = m.captured(1).toLower();
        QString repaired = read;
        repaired.back() = QLatin1Char('g');
        if (!isSupportedExtension(read) && isSupportedExtension(repaired))
            text[m.capturedEnd(1) - 1] = QLatin1Char('g');
    }
}

// A long dash inside a word ("shot—0042.png"): fonts with a thin, wide
// hyphen (FreeMono) make recognition read an en or em dash, which ends the
// name for the reference patterns. Dashes with a space beside them are prose.
void hyphenateWordDashes(QString& text) {
    const auto isDash = [](QChar c) {
        switch (c.unicode()) {
        case 0x2010: // HYPHEN
        case 0x2011: // NON-BREAKING HYPHEN
        case 0x2012: // FIGURE DASH
        case 0x2013: // EN DASH
        case 0x2014: // EM DASH
        case 0x2212: // MINUS SIGN
            return true;
        default:
            return false;
        }
    };
    for (qsizetype i = 1; i + 1 < text.size(); ++i) {
        if (isDash(text.at(i)) && !text.at(i - 1).isSpace() && !text.at(i + 1).isSpace() &&
            !isDash(text.at(i - 1)) && !isDash(text.at(i + 1)))
            text[i] = QLatin1Char('-');
    }
}

} // namespace

QString normalisingRecognition(const QString& text) {
    const QHash<QChar, QChar>& lookalikes = dotLookalikes();
    QString out = text;
    if (out.contains(QLatin1Char('q'))) withExtensionTails(out);
    if (out.contains(QLatin1Char(','))) out = withCommaPeriods(out);
    hyphenateWordDashes(out);
    if (std::none_of(text.cbegin(), text.cend(), [&](QChar c) { return lookalikes.contains(c); })) return out;
    // Whole characters only: a bullet carrying a combining mark is some other
    // character, not a misread period. Each replacement is one unit for one,
    // so offsets into the result are offsets into the input.
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    for (qsizetype end = graphemes.toNextBoundary(); end != -1; end = graphemes.toNextBoundary()) {
        if (end - start == 1) {
            const auto it = lookalikes.constFind(text.at(start));
            if (it != lookalikes.cend()) out[start] = it.value();
        }
        start = end;
    }
    return out;
}

} // namespace ImageReference
