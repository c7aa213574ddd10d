#include "core/SpacedNames.h"

#include "core/ImageReference.h"

#include <QFileInfo>
#include <QHash>
#include <algorithm>

namespace SpacedNames {

namespace {

bool isBreak(QChar c) {
    switch (c.unicode()) {
    case u'\n':
    case u'\r':
    case u'\v':
    case u'\f':
    case 0x2028: // LINE SEPARATOR
    case 0x2029: // PARAGRAPH SEPARATOR
        return true;
    default:
        return false;
    }
}

bool isWhite(QChar c) {
    return c == u' ' || c == u'\t' || isBreak(c);
}

bool isAsciiLetterOrDigit(QChar c) {
    return c.unicode() < 0x80 && c.isLetterOrNumber();
}

// The characters that open a quoted name which `closer` closes; none when it
// closes nothing. Editors and recognition curl straight quotes, and not always
// both of a pair, so any quote of a family opens for any closing one.
QStringView openersOf(QChar closer) {
    switch (closer.unicode()) {
    case u'\'':
    case 0x2019: // RIGHT SINGLE QUOTATION MARK
        return u"'\u2018\u2019";
    case u'"':
    case 0x201D: // RIGHT DOUBLE QUOTATION MARK
        return u"\"\u201C\u201D";
    case u'`':
        return u"`";
    case u'>':
        return u"<";
    case u')':
        return u"(";
    default:
        return {};
    }
}

// What may open a name without its closing mark in sight: an unquoted reading
// is also tried without a leading run of these ("'Screenshot from …png" when
// recognition misread or dropped the closing quote).
bool opensAName(QChar c) {
    return QStringView(u"'\"`<([{\u2018\u201C\u00AB!*").contains(c);
}

// Backslashes right before index i, counting no further left than lo.
qsizetype backslashesBefore(const QString& t, qsizetype i, qsizetype lo) {
    qsizetype n = 0;
    while (i - n - 1 >= lo && t.at(i - n - 1) == u'\\')
        ++n;
    return n;
}

// The end of the image extension after the period at d, when the name ends
// there: "a.png", "a.png." and "a.png)" do; "a.pngs", "a.png-1" and
// "a.png.txt" do not.
std::optional<qsizetype> extensionEnd(const QString& t, qsizetype d) {
    qsizetype e = d + 1;
    while (e < t.size() && e - d <= 6 && isAsciiLetterOrDigit(t.at(e)))
        ++e;
    if (e == d + 1 || !ImageReference::isSupportedExtension(t.sliced(d + 1, e - d - 1))) return std::nullopt;
    if (e < t.size()) {
        const QChar next = t.at(e);
        if (isAsciiLetterOrDigit(next) || next == u'_' || next == u'-') return std::nullopt;
        if (next == u'.' && e + 1 < t.size() && isAsciiLetterOrDigit(t.at(e + 1))) return std::nullopt;
    }
    return e;
}

// Shell escapes undone: every backslash stands for the character after it.
QString withoutEscapes(QStringView raw) {
    QString out;
    out.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw.at(i) == u'\\' && i + 1 < raw.size()) ++i;
        out.append(raw.at(i));
    }
    return out;
}

// Inside double quotes, as JSON and shells write them: \" \\ and \/ stand for
// the character after the backslash; any other backslash is itself.
QString withoutQuoteEscapes(QStringView raw) {
    QString out;
    out.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw.at(i) == u'\\' && i + 1 < raw.size() && QStringView(u"\"\\/").contains(raw.at(i + 1))) ++i;
        out.append(raw.at(i));
    }
    return out;
}

// Collects the readings of one text that cover from..to.
class Reader {
  public:
    Reader(const QString& text, qint64 from, qint64 to) : t_(text), from_(from), to_(to) {}

    // All readings of the name whose image extension starts with the period at d and ends at e.
    void readAt(qsizetype d, qsizetype e) {
        lo_ = std::max<qsizetype>(0, e - kLongestReading);
        unquoted(d, e);
        escaped(d, e);
        quoted(d, e);
    }

    QList<Reading> take() { return std::move(out_); }

  private:
    void add(qsizetype location, qsizetype end, QString name, Form form) {
        if (location > to_ || end < from_ || name.isEmpty()) return;
        out_.append(Reading{location, end - location, std::move(name), form});
    }

    // The first index of the run of non-white characters that ends at `end`
    // (exclusive); none when the run reaches past the bound on readings.
    std::optional<qsizetype> runStart(qsizetype end) const {
        qsizetype s = end;
        while (s > lo_ && !isWhite(t_.at(s - 1)))
            --s;
        if (s > 0 && !isWhite(t_.at(s - 1))) return std::nullopt;
        return s;
    }

    // The name with up to kMostWords words before it, each also without a leading quote.
    void unquoted(qsizetype d, qsizetype e) {
        std::optional<qsizetype> start = runStart(d);
        if (!start || *start == d) return; // no stem: ".png" alone names no image
        for (int words = 0;; ++words) {
            add(*start, e, t_.sliced(*start, e - *start), Form::Unquoted);
            qsizetype bare = *start;
            while (bare < d && opensAName(t_.at(bare)))
                ++bare;
            if (bare > *start && bare < d && !isWhite(t_.at(bare)))
                add(bare, e, t_.sliced(bare, e - bare), Form::Unquoted);
            if (words == kMostWords) return;
            // Spaces before this word, then the word before them, on the same line.
            qsizetype gap = *start;
            while (gap > lo_ && t_.at(gap - 1) == u' ')
                --gap;
            if (gap == *start || gap == 0 || isWhite(t_.at(gap - 1))) return;
            start = runStart(gap);
            if (!start) return;
        }
    }

    // "Screenshot\ from\ x.png": spaces (and anything else) escaped with a backslash.
    void escaped(qsizetype d, qsizetype e) {
        qsizetype start = d;
        bool escapes = false;
        while (start > lo_) {
            const QChar c = t_.at(start - 1);
            if (isWhite(c)) {
                if (c != u' ' || backslashesBefore(t_, start - 1, lo_) % 2 == 0) break;
                start -= 2;
                escapes = true;
                continue;
            }
            escapes = escapes || c == u'\\';
            --start;
        }
        if (start > 0 && start == lo_ && !isWhite(t_.at(start - 1))) return; // longer than any reading
        if (!escapes || start >= d) return;
        add(start, e, withoutEscapes(QStringView(t_).sliced(start, e - start)), Form::Escaped);
    }

    // 'x y.png', "x y.png", `x y.png`, <x y.png>, (x y.png): the nearest opening
    // mark on the same line (parentheses and angle brackets nest).
    void quoted(qsizetype d, qsizetype e) {
        if (e >= t_.size()) return;
        const QChar closer = t_.at(e);
        const QStringView openers = openersOf(closer);
        if (openers.isEmpty()) return;
        const bool nests = closer == u')' || closer == u'>';
        const bool escapable = closer == u'"' || closer == QChar(0x201D);
        // Shells and ls write an apostrophe inside single quotes as '\'' (close,
        // an escaped quote, reopen): 'Bob'\''s shot.png' is Bob's shot.png.
        static const QString kShellApostrophe = QStringLiteral("'\\''");
        const bool shellQuoted = closer == u'\'';
        int depth = 0;
        for (qsizetype j = d - 1; j >= lo_; --j) {
            const QChar c = t_.at(j);
            if (isBreak(c)) return;
            if (shellQuoted && c == u'\'' && j - 3 >= lo_ &&
                QStringView(t_).sliced(j - 3, 4) == kShellApostrophe) {
                j -= 3;
                continue;
            }
            if (nests && c == closer) {
                ++depth;
                continue;
            }
            if (!openers.contains(c)) continue;
            if (escapable && c == u'"' && backslashesBefore(t_, j, lo_) % 2 == 1) continue;
            if (depth > 0) {
                --depth;
                continue;
            }
            if (j + 1 >= d) return; // nothing before the extension
            const QStringView inside = QStringView(t_).sliced(j + 1, e - j - 1);
            QString name = escapable ? withoutQuoteEscapes(inside) : inside.toString();
            if (shellQuoted) name.replace(kShellApostrophe, QStringLiteral("'"));
            add(j, e + 1, name, closer == u')' ? Form::Parenthesised : Form::Quoted);
            return;
        }
    }

    const QString& t_;
    const qint64 from_;
    const qint64 to_;
    qsizetype lo_ = 0;
    QList<Reading> out_;
};

// Whether the resolver found the name as written: its last component is the
// file's name. A repair could otherwise turn "a long name.png" into another
// file that merely ends like it.
bool namedAsWritten(const QUrl& url, const QString& name) {
    if (!url.isLocalFile()) return false;
    const QString written = ImageReference::trimmed(name);
    return QFileInfo(url.toLocalFile()).fileName() == written.sliced(written.lastIndexOf(u'/') + 1);
}

void addFile(QList<QUrl>& files, const QUrl& url) {
    const QUrl normalised = url.adjusted(QUrl::NormalizePathSegments);
    if (!files.contains(normalised)) files.append(normalised);
}

} // namespace

QList<Reading> readings(const QString& text, qint64 from, qint64 to) {
    const qsizetype n = text.size();
    if (from > to || to < 0 || from > n) return {};
    from = std::max<qint64>(from, 0);
    to = std::min<qint64>(to, n);
    Reader reader(text, from, to);
    // A reading ends with its extension (at most 6 units after the period)
    // and is no longer than kLongestReading, so only these periods can end one.
    // Past `to`, a name would have to hold every extension it passes: more
    // than one a word is no name anyone gave a file, and a text of nothing
    // but extensions would otherwise have each of them read.
    const qsizetype first = std::max<qint64>(0, from - 7);
    const qsizetype last = std::min<qint64>(n, to + kLongestReading);
    int beyond = 0;
    for (qsizetype d = first; d < last && beyond <= kMostWords; ++d) {
        if (text.at(d) != u'.' || d == 0) continue;
        const std::optional<qsizetype> e = extensionEnd(text, d);
        if (!e || *e < from) continue;
        if (*e > to) ++beyond;
        reader.readAt(d, *e);
    }
    return reader.take();
}

Choice choose(const QList<Reading>& readings, const Resolver& resolve) {
    QHash<QString, std::optional<QUrl>> answers;
    const auto answer = [&](const QString& name) {
        const auto it = answers.constFind(name);
        if (it != answers.cend()) return *it;
        return *answers.insert(name, resolve(name));
    };

    // The longest unquoted reading that names a file as written.
    QList<const Reading*> unquoted;
    for (const Reading& r : readings)
        if (r.form == Form::Unquoted) unquoted.append(&r);
    std::stable_sort(unquoted.begin(), unquoted.end(),
                     [](const Reading* a, const Reading* b) { return a->length > b->length; });
    QList<QUrl> files;
    std::optional<qint64> winning;
    for (const Reading* r : std::as_const(unquoted)) {
        if (winning && r->length < *winning) break;
        const std::optional<QUrl> url = answer(r->name);
        if (!url || !namedAsWritten(*url, r->name)) continue;
        winning = r->length;
        addFile(files, *url);
    }

    for (const Reading& r : readings) {
        if (r.form == Form::Unquoted) continue;
        if (const std::optional<QUrl> url = answer(r.name)) addFile(files, *url);
    }
    if (files.size() > 1) return Choice{std::nullopt, true};
    if (files.isEmpty()) return Choice{};
    return Choice{files.first(), false};
}

} // namespace SpacedNames
