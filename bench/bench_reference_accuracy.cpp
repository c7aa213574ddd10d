// Accuracy of the screen reader on a corpus of rendered references: absolute,
// relative, bare, wrapped, UUID names and names with version digits; DejaVu
// Sans Mono and Liberation Mono at 11 to 15 points; one and two pixels per
// point; light and dark (and every fourth again in low-contrast Solarized
// dark, on a row of its own). Each sample is a strip as a capture would return it,
// with the pointer on the reference, resolved against fixture files (among
// them near twins that differ by one character, so a misread can land on a
// wrong file). Prints the share resolved to the right file and the count of
// wrong files, next to a baseline measured in the same run on the same
// pictures: the recogniser's raw line under the pointer and the strict pattern
// alone, resolved exactly (no repair, no rejoining, no project search).
//
// Then the wrong-card cases: pictures on which the only honest answer is
// nothing (the pointer's row unread under a row with a lone bare name, a
// misread URL naming a local file, a short name one letter from another file,
// an unresolved name on the pointer beside a bare name that resolves). Any
// local file answered there is a wrong file; their count must stay 0.
//
//   bench_reference_accuracy [samples [shown]]   (default 336; run with OMP_THREAD_LIMIT=1)
//
// With a second argument, the reading of that sample (0-based) is printed.
#include "core/Diagnostics.h"
#include "core/ImageReference.h"
#include "platform/tesseract/TesseractRecognizer.h"
#include "screen/Layout.h"
#include "screen/Lines.h"
#include "screen/Prime.h"
#include "screen/Recognizing.h"
#include "screen/Tiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QHash>
#include <QLockFile>
#include <QMap>
#include <QMutex>
#include <QPainter>
#include <algorithm>
#include <cstdio>
#include <random>

using namespace ScreenTextReader;

namespace {

// The engine, answering a picture it has read before from memory: the
// baseline reads the same pointer tile as the reader's first stage.
class RememberingRecognizer final : public platform::TextRecognizer {
  public:
    explicit RememberingRecognizer(platform::TesseractRecognizer::Settings settings) : engine_(settings) {}
    QList<platform::Observation> recognize(const QImage& image) const override {
        QCryptographicHash hash(QCryptographicHash::Sha1);
        hash.addData(QByteArrayView(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes()));
        hash.addData(QByteArray::number(image.width()) + 'x' + QByteArray::number(image.height()));
        const QByteArray key = hash.result();
        {
            const QMutexLocker lock(&mutex_);
            if (memory_.contains(key)) return memory_.value(key);
        }
        QList<platform::Observation> answer = engine_.recognize(image);
        ++reads;
        const QMutexLocker lock(&mutex_);
        memory_.insert(key, answer);
        return answer;
    }
    mutable int reads = 0;

  private:
    platform::TesseractRecognizer engine_;
    mutable QMutex mutex_;
    mutable QHash<QByteArray, QList<platform::Observation>> memory_;
};

struct Style {
    QString font;
    double points = 13;
    double scale = 1;
    bool dark = false;
    // A scheme's own colours, in place of the light or dark default.
    QColor paper;
    QColor ink;
};

// Solarized dark: faint light-grey text on dark teal, the scheme that reads
// worst when the page is merely turned over.
Style solarizedDark(Style style) {
    style.dark = true;
    style.paper = QColor(0x00, 0x2b, 0x36);
    style.ink = QColor(0x83, 0x94, 0x96);
    return style;
}

struct Sample {
    QString kind;
    Style style;
    double stripWidth = 2400;
    QStringList rows;
    double left = 40;
    int pointerRow = 1;
    int pointerCharacter = 0; // on the pointer row
    QString expected;         // absolute path of the right file
};

struct Drawn {
    QImage image;
    QRectF strip;
    QPointF pointer;
};

QFont fontOf(const Style& s) {
    QFont font(s.font);
    font.setPixelSize(int(std::lround(s.points * s.scale)));
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

// The strip as a capture returns it: rows of text, the pointer's row in the middle.
Drawn draw(const Sample& sample) {
    const Style& s = sample.style;
    Drawn d;
    d.strip = QRectF(0, 500, sample.stripWidth, 76);
    d.image = QImage(int(d.strip.width() * s.scale), int(d.strip.height() * s.scale), QImage::Format_RGB32);
    d.image.fill(s.paper.isValid() ? s.paper : s.dark ? QColor(30, 30, 30) : QColor(255, 255, 255));
    const QFont font = fontOf(s);
    const QFontMetricsF m(font);
    const double rowHeight = std::round(s.points * 1.35);
    const double textHeight = (m.ascent() + m.descent()) / s.scale;
    const double firstTop = 38 - textHeight / 2 - rowHeight * sample.pointerRow;
    QPainter painter(&d.image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(font);
    painter.setPen(s.ink.isValid() ? s.ink : s.dark ? QColor(220, 220, 220) : QColor(20, 20, 20));
    for (int i = 0; i < sample.rows.size(); ++i) {
        const double top = firstTop + i * rowHeight;
        painter.drawText(QPointF(sample.left * s.scale, (top + m.ascent() / s.scale) * s.scale),
                         sample.rows.at(i));
    }
    const QString& row = sample.rows.at(sample.pointerRow);
    const int c = sample.pointerCharacter;
    const double x =
        sample.left + (m.horizontalAdvance(row.left(c)) + m.horizontalAdvance(row.mid(c, 1)) / 2) / s.scale;
    d.pointer = QPointF(d.strip.left() + x,
                        d.strip.top() + firstTop + sample.pointerRow * rowHeight + textHeight / 2);
    return d;
}

// The reader's first tile: 1000 points round the pointer, inside the strip.
std::optional<Tile> pointerTile(const Drawn& d) {
    QRectF span = d.strip;
    if (d.strip.width() > kTileSpanWidth) {
        const double x =
            std::clamp(d.pointer.x() - kTileSpanWidth / 2, d.strip.left(), d.strip.right() - kTileSpanWidth);
        span = QRectF(x, d.strip.top(), kTileSpanWidth, d.strip.height());
    }
    return tile(d.image, d.strip, span);
}

// The baseline: the raw text of the pointer tile's lines under the pointer,
// the strict pattern, and exact resolution of the match under the pointer.
std::optional<QUrl> baseline(const platform::TextRecognizer& recognizer, const Drawn& d,
                             const ResolutionContext& shell) {
    const std::optional<Tile> t = pointerTile(d);
    if (!t) return std::nullopt;
    const Read r = read(recognizer, *t);
    const Layout layout(r.lines);
    for (const Line& line : r.lines) {
        if (!layout.underPointerVertically(line, d.pointer)) continue;
        for (const ImageReference::Match& m : ImageReference::collect(ImageReference::strict(), line.text)) {
            const auto extent =
                line.span(m.location, m.location + m.length).value_or(std::pair{line.minX, line.maxX});
            if (extent.first - kPointerReach > d.pointer.x() || d.pointer.x() > extent.second + kPointerReach)
                continue;
            if (auto url = ImageReference::resolveExact(m.reference, shell)) return url;
        }
    }
    return std::nullopt;
}

// For the sample shown: every line the engine returned for the pointer tile,
// with its confidence (the reader drops some), and the strip saved as a picture.
void showRaw(const platform::TextRecognizer& recognizer, const Drawn& d) {
    const std::optional<Tile> t = pointerTile(d);
    if (!t) return;
    std::printf("  engine, pointer tile (pointer at %.0f,%.0f):\n", d.pointer.x(), d.pointer.y());
    for (const platform::Observation& o : recognizer.recognize(t->image))
        std::printf("    %3.0f  %s\n", o.confidence, qPrintable(o.text));
    const QString path = QDir::temp().filePath(QStringLiteral("vistel-accuracy-sample.png"));
    if (t->image.save(path)) std::printf("  pointer tile saved to %s\n", qPrintable(path));
}

// ---- The corpus ---------------------------------------------------------

const QStringList kWords{"hero-frame", "diagram", "screenshot", "render", "thumbnail", "avatar", "banner",
                         "chart",      "sprite",  "texture",    "icon",   "preview",   "sunset", "mockup"};
const QStringList kFolders{"shots",       "assets/icons",    "out/renders",
                           "docs/images", "media/artifacts", "public/img"};
const QStringList kExtensions{"png", "jpg", "webp", "gif", "jpeg"};
const QStringList kFiller{
    "drwxr-xr-x  4 dev dev 4096 Mar  3 10:12 build", "$ make -j2 && ./run --verbose",
    "warning: 3 frames were dropped while encoding", "total 48",
    "The render finished without errors.",           "  [done] 12 files written in 0.8 s"};

class Corpus {
  public:
    Corpus(const QString& project, unsigned seed) : project_(project), random_(seed) {}

    Sample make(int index) {
        Sample s;
        // Every kind (index % 6) meets both fonts, all five sizes, both densities and both themes.
        s.style.font =
            (index / 6) % 2 ? QStringLiteral("Liberation Mono") : QStringLiteral("DejaVu Sans Mono");
        s.style.points = 11 + (index / 12) % 5;
        s.style.scale = (index / 60) % 2 ? 2 : 1;
        s.style.dark = (index / 120) % 2;
        static const QStringList kinds{"absolute", "relative", "bare", "wrapped", "uuid", "version"};
        s.kind = kinds.at(index % kinds.size());
        const QString folder = pick(kFolders);
        // One draw per statement, so the corpus does not hang on the order of evaluation.
        const QString word = pick(kWords);
        const int number = uniform(1, 999);
        const QString extension = pick(kExtensions);
        QString name = word + QLatin1Char('-') + QString::number(number) + QLatin1Char('.') + extension;
        if (s.kind == "uuid") name = uuid() + ".png";
        if (s.kind == "version") {
            const int major = uniform(1, 9), minor = uniform(0, 19), patch = uniform(0, 99);
            const bool retina = uniform(0, 1);
            name = word + QStringLiteral("-v%1.%2.%3").arg(major).arg(minor).arg(patch) +
                   (retina ? "@2x" : "") + QLatin1Char('.') + extension;
        }
        const QString relative = folder + QLatin1Char('/') + name;
        s.expected = project_ + QLatin1Char('/') + relative;
        create(s.expected);
        if (uniform(0, 1)) create(project_ + QLatin1Char('/') + folder + QLatin1Char('/') + twin(name));

        // The written reference, and the row around it.
        QString written = relative;
        if (s.kind == "absolute" || s.kind == "uuid" ? uniform(0, 2) > 0 : uniform(0, 3) == 0)
            written = s.expected;
        if (s.kind == "bare") written = name;
        static const QStringList kBefore{"Saved screenshot to ", "wrote ", "open ", "  see ", "- ", ""};
        static const QStringList kAfter{" (1280x800)", " now", "", " and continue", ".", ""};
        const QString before = pick(kBefore);
        const QString after = pick(kAfter);

        if (s.kind == "wrapped") {
            // A terminal narrow enough to wrap the reference over two or three
            // rows, shown whole in the strip; the pointer on one of those rows.
            written = uniform(0, 1) ? s.expected : relative;
            const QString whole = before + written + after;
            const int first = int(before.size()), last = int(before.size() + written.size()) - 1;
            const int columns = uniform(std::max(first + 3, int(whole.size() + 2) / 3), last - 2);
            QStringList wrapped;
            for (int at = 0; at < whole.size(); at += columns)
                wrapped << whole.mid(at, columns);
            s.rows = QStringList{pick(kFiller)};
            s.rows += wrapped;
            s.rows += pick(kFiller);
            const int lastRow = last / columns;
            s.pointerRow = 1 + uniform(0, lastRow);
            const int rowStart = (s.pointerRow - 1) * columns;
            s.pointerCharacter =
                uniform(std::max(first, rowStart), std::min(last, rowStart + columns - 1)) - rowStart;
            const double cell =
                QFontMetricsF(fontOf(s.style)).horizontalAdvance(QLatin1Char('m')) / s.style.scale;
            s.left = 6;
            s.stripWidth = std::min(2400.0, std::ceil(cell * columns + 40));
            return s;
        }
        const QString line = before + written + after;
        s.rows = QStringList{pick(kFiller), line, pick(kFiller)};
        s.pointerRow = 1;
        s.pointerCharacter = uniform(int(before.size()) + 1, int(before.size() + written.size()) - 2);
        s.left = uniform(20, 900);
        return s;
    }

  private:
    int uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random_); }
    QString pick(const QStringList& list) { return list.at(uniform(0, int(list.size()) - 1)); }
    QString uuid() {
        static const char* hex = "0123456789abcdef";
        QString u;
        for (int group : {8, 4, 4, 4, 12}) {
            if (!u.isEmpty()) u += QLatin1Char('-');
            for (int i = 0; i < group; ++i)
                u += QLatin1Char(hex[uniform(0, 15)]);
        }
        return u;
    }
    // The name with its last letter or digit before the extension changed.
    static QString twin(QString name) {
        for (qsizetype i = name.lastIndexOf(QLatin1Char('.')) - 1; i >= 0; --i) {
            const QChar c = name.at(i);
            if (c.isDigit()) {
                name[i] = QChar('0' + (c.digitValue() + 1) % 10);
                return name;
            }
            if (c.isLetter()) {
                name[i] = c == QLatin1Char('z') ? QLatin1Char('a') : QChar(c.unicode() + 1);
                return name;
            }
        }
        return QStringLiteral("twin-") + name;
    }
    static void create(const QString& path) {
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        if (f.open(QIODevice::WriteOnly)) f.write("x");
    }

    QString project_;
    std::mt19937 random_;
};

// The wrong-card cases, each in both fonts and both themes. Their files exist
// in the project, so a fallback or a repair that reaches them answers wrongly.
QList<Sample> wrongCardCases(const QString& project) {
    for (const char* file : {"toast_error.png", "stall.png", "shots/a.png"}) {
        const QString path = project + QLatin1Char('/') + QLatin1String(file);
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        if (f.open(QIODevice::WriteOnly)) f.write("x");
    }
    struct Case {
        const char* kind;
        QStringList rows; // the pointer on the middle one
        int character;    // the pointer's, on that row
    };
    const QList<Case> cases = {
        {"row unread", {"$ ls", "wrote toast_error.png", ""}, 0},
        {"url line", {"$ fetch", "open http \u2018stall.png", "done"}, 5},
        {"short b", {"$ ls", "open shots/b.png", "done"}, 9},
        {"short zz", {"$ ls", "open shots/zz.png", "done"}, 9},
        {"beside", {"$ ls", "7f3a9c2e-1b4d-4e8f-9a6b-2c5d8e1f0a3b.png  toast_error.png", "done"}, 8},
    };
    QList<Sample> out;
    for (const Case& c : cases) {
        for (const char* font : {"DejaVu Sans Mono", "Liberation Mono"}) {
            for (const bool dark : {false, true}) {
                Sample s;
                s.kind = QString::fromUtf8(c.kind);
                s.style = Style{QString::fromLatin1(font),
                                dark ? 14.0 : 13.0,
                                dark ? 2.0 : 1.0,
                                dark,
                                QColor(),
                                QColor()};
                s.rows = c.rows;
                s.pointerRow = 1;
                s.pointerCharacter = c.character;
                s.left = 60;
                // The unread row: the pointer on the empty row under the name.
                if (c.rows.at(2).isEmpty()) {
                    s.rows = QStringList{"$ ls", c.rows.at(1), QString(), "done"};
                    s.pointerRow = 2;
                }
                out.append(s); // expected stays empty: nothing is right
            }
        }
    }
    return out;
}

struct Tally {
    int right = 0, wrong = 0, none = 0;
    void add(const std::optional<QUrl>& url, const QString& expected) {
        if (expected.isEmpty()) { // a wrong-card case: any local file is wrong
            ++(url && url->isLocalFile() ? wrong : right);
            return;
        }
        if (!url) {
            ++none;
        } else if (url->toLocalFile() == expected) {
            ++right;
        } else {
            ++wrong;
        }
    }
    int total() const { return right + wrong + none; }
    QString percent() const { return QString::asprintf("%5.1f %%", total() ? 100.0 * right / total() : 0.0); }
};

// ---- Names with spaces, a kind of their own ------------------------------
// Screenshot names as GNOME and macOS save them and names of two or three
// words, written as ls quotes them ('…'), as JSON and Markdown do ("…", <…>),
// escaped as shells print them, and bare in prose. Each has a twin on disk
// that differs in its last digit, and one sample in five names a file that
// does not exist beside a twin that does: nothing is the right answer there.

struct SpacedSample {
    Sample sample;
    QString form; // quoted, escaped, bare
};

QList<SpacedSample> spacedNameSamples(const QString& project, int count) {
    std::mt19937 random(20261207);
    const auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    const auto two = [](int n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); };
    const auto create = [](const QString& path) {
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        if (f.open(QIODevice::WriteOnly)) f.write("x");
    };
    QList<SpacedSample> out;
    for (int i = 0; i < count; ++i) {
        const int month = uniform(1, 12), day = uniform(1, 28), hour = uniform(0, 23),
                  minute = uniform(0, 59);
        const int second = uniform(0, 58); // the twin takes the next second
        QString name;
        QString twin;
        switch (i % 3) {
        case 0:
            name = QStringLiteral("Screenshot from 2026-%1-%2 %3-%4-%5.png")
                       .arg(two(month), two(day), two(hour), two(minute), two(second));
            twin = name.chopped(6) + two(second + 1) + ".png";
            break;
        case 1:
            name = QStringLiteral("Screen Shot 2026-%1-%2 at %3.%4.%5.png")
                       .arg(two(month), two(day), two(hour), two(minute), two(second));
            twin = name.chopped(6) + two(second + 1) + ".png";
            break;
        default: {
            const QString first = kWords.at(uniform(0, int(kWords.size()) - 1));
            const QString second = kWords.at(uniform(0, int(kWords.size()) - 1));
            const int n = uniform(10, 98);
            name = first + QLatin1Char(' ') + second + QLatin1Char(' ') + QString::number(n) + ".png";
            twin = first + QLatin1Char(' ') + second + QLatin1Char(' ') + QString::number(n + 1) + ".png";
        }
        }
        const bool missing = i % 5 == 4;
        const QString folder = uniform(0, 2) ? QString() : QStringLiteral("Pictures/");
        create(project + QLatin1Char('/') + folder + twin);
        if (!missing) create(project + QLatin1Char('/') + folder + name);

        SpacedSample s;
        static const QStringList kForms{"quoted", "escaped", "bare"};
        s.form = kForms.at((i / 3) % 3);
        const QString written = folder + name;
        QString before, shown, after;
        if (s.form == "quoted") {
            // As ls, JSON and Markdown write it.
            const int style = uniform(0, 2);
            before = style == 0 ? "'" : style == 1 ? "  \"file\": \"" : "![shot](<";
            shown = written;
            after = style == 0 ? "'  notes.txt" : style == 1 ? "\"," : ">)";
        } else if (s.form == "escaped") {
            before = uniform(0, 1) ? "cp " : "$ open ";
            shown = QString(written).replace(QLatin1Char(' '), QStringLiteral("\\ "));
            after = uniform(0, 1) ? " /tmp" : "";
        } else {
            static const QStringList kBefore{"Saved ", "wrote ", "The capture is in ", "- "};
            static const QStringList kAfter{" to Pictures", ".", "", " (1920x1080)"};
            before = kBefore.at(uniform(0, 3));
            shown = written;
            after = kAfter.at(uniform(0, 3));
        }
        Sample& sample = s.sample;
        sample.kind = QStringLiteral("spaced");
        sample.style.font =
            (i / 9) % 2 ? QStringLiteral("Liberation Mono") : QStringLiteral("DejaVu Sans Mono");
        sample.style.points = 11 + (i / 18) % 5;
        sample.style.scale = (i / 2) % 2 ? 2 : 1;
        sample.style.dark = (i / 4) % 2;
        sample.rows = QStringList{kFiller.at(uniform(0, int(kFiller.size()) - 1)), before + shown + after,
                                  kFiller.at(uniform(0, int(kFiller.size()) - 1))};
        sample.pointerRow = 1;
        sample.pointerCharacter = uniform(int(before.size()) + 1, int(before.size() + shown.size()) - 2);
        sample.left = uniform(20, 700);
        sample.expected = missing ? QString() : project + QLatin1Char('/') + written;
        out.append(s);
    }
    return out;
}

// What recognition made of the pointer tile's lines under the pointer, for the report.
QString readAt(const platform::TextRecognizer& recognizer, const Drawn& d) {
    const std::optional<Tile> t = pointerTile(d);
    if (!t) return QString();
    const Read r = read(recognizer, *t);
    const Layout layout(r.lines);
    QStringList texts;
    for (const Line& line : r.lines)
        if (layout.underPointerVertically(line, d.pointer)) texts << line.text;
    return texts.join(QStringLiteral(" | "));
}

// Reads every sample with the reader and the baseline; returns the report's lines.
QStringList measureSpacedNames(const platform::TextRecognizer& recognizer, const QList<SpacedSample>& samples,
                               const ResolutionContext& shell, const QString& project,
                               std::optional<QUrl> (*baselineOf)(const platform::TextRecognizer&,
                                                                 const Drawn&, const ResolutionContext&)) {
    QMap<QString, Tally> reader, raw;
    Tally all, allRaw;
    QStringList wrongs, misses;
    QList<double> times;
    for (const SpacedSample& s : samples) {
        const Drawn d = draw(s.sample);
        QElapsedTimer timer;
        timer.start();
        const std::optional<QUrl> url = recognize(recognizer, d.image, d.strip, d.pointer, shell, false);
        times.append(double(timer.nsecsElapsed()) / 1e6);
        const std::optional<QUrl> base = baselineOf(recognizer, d, shell);
        const QString key = s.form + (s.sample.expected.isEmpty() ? " (no file)" : "");
        reader[key].add(url, s.sample.expected);
        raw[key].add(base, s.sample.expected);
        all.add(url, s.sample.expected);
        allRaw.add(base, s.sample.expected);
        const QString where = QStringLiteral("%1 %2 pt, scale %3%4: %5")
                                  .arg(s.sample.style.font)
                                  .arg(s.sample.style.points)
                                  .arg(s.sample.style.scale)
                                  .arg(s.sample.style.dark ? ", dark" : "", s.sample.rows.at(1));
        if (url && url->isLocalFile() && url->toLocalFile() != s.sample.expected)
            wrongs << "  " + where + " -> " + url->toLocalFile().mid(project.size() + 1);
        if (!url && !s.sample.expected.isEmpty())
            misses << "  " + where + "\n      read: " + readAt(recognizer, d);
    }
    QStringList lines;
    lines << QStringLiteral("names with spaces: %1 rendered lines, pointer on the name").arg(samples.size());
    lines << QString::asprintf("%-20s  %-28s  %-28s", "", "reader: right  wrong  none",
                               "baseline: right  wrong  none");
    const auto tallied = [](const QString& label, const Tally& a, const Tally& b) {
        return QString::asprintf("%-20s  %s %5d %5d        %s %5d %5d", qPrintable(label),
                                 qPrintable(a.percent()), a.wrong, a.none, qPrintable(b.percent()), b.wrong,
                                 b.none);
    };
    for (auto it = reader.cbegin(); it != reader.cend(); ++it)
        lines << tallied(it.key(), it.value(), raw.value(it.key()));
    lines << tallied(QStringLiteral("spaced, all"), all, allRaw);
    std::sort(times.begin(), times.end());
    if (!times.isEmpty())
        lines << QString::asprintf("reader time per name with spaces: median %.0f ms, worst %.0f ms",
                                   times.at(times.size() / 2), times.last());
    if (!wrongs.isEmpty()) lines << QStringLiteral("wrong files with spaces:") << wrongs;
    if (!misses.isEmpty()) lines << QStringLiteral("names with spaces not found:") << misses;
    return lines;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, atoi(argv[1])) : 336;
    if (!platform::TesseractRecognizer::available()) {
        std::puts("the English recognition model is not installed");
        return 1;
    }
    for (const char* family : {"DejaVu Sans Mono", "Liberation Mono"}) {
        if (QFontInfo(QFont(family)).family() != family)
            std::printf("note: font %s is not installed; a substitute is drawn (scripts/install-deps)\n",
                        family);
    }

    // The fixture folder's name is drawn into every absolute reference, so it is
    // the same on every run (one run at a time), and the figures are too.
    QDir root(QDir::temp().filePath(QStringLiteral("vistel-accuracy-corpus")));
    QLockFile lock(root.path() + QStringLiteral(".lock"));
    if (!lock.tryLock(0)) {
        std::puts("another run of this benchmark holds its fixture folder; try again later");
        return 1;
    }
    root.removeRecursively();
    QDir().mkpath(root.filePath("proj/.git"));
    const QString project = QFileInfo(root.filePath("proj")).canonicalFilePath();
    // As in a terminal: no document folder, the shell's working folder as the search root.
    const ResolutionContext shell{QUrl(), {QUrl::fromLocalFile(project + "/")}};

    // Every file exists before the first reading: the project index caches its walk.
    Corpus corpus(project, 20240601);
    QList<Sample> samples;
    for (int i = 0; i < count; ++i)
        samples.append(corpus.make(i));
    const QList<Sample> negatives = wrongCardCases(project);
    const QList<SpacedSample> spaced = spacedNameSamples(project, std::max(30, count * 3 / 7));
    // VISTEL_LEAST_CONFIDENCE overrides the recogniser's cut-off, to measure what it costs.
    platform::TesseractRecognizer::Settings settings = platform::TesseractRecognizer::defaultSettings();
    if (qEnvironmentVariableIsSet("VISTEL_LEAST_CONFIDENCE"))
        settings.leastConfidence = qEnvironmentVariable("VISTEL_LEAST_CONFIDENCE").toDouble();
    std::printf("recogniser: lines whose words average below %.0f confidence are dropped\n",
                settings.leastConfidence);
    RememberingRecognizer recognizer(settings);
    ScreenTextReader::prime(recognizer);
    QMap<QString, Tally> reader, raw;
    Tally readerAll, rawAll;
    QList<double> times;
    QStringList wrongs, misses;
    const int shown = argc > 2 ? atoi(argv[2]) : -1;
    // The resolver's own detail lines too, for the sample shown.
    if (shown >= 0) Diagnostics::setArguments({QString::fromLocal8Bit(argv[0]), QStringLiteral("--debug")});
    for (int i = 0; i < samples.size(); ++i) {
        const Sample& s = samples.at(i);
        const Drawn d = draw(s);
        QElapsedTimer timer;
        timer.start();
        const std::optional<QUrl> url = recognize(recognizer, d.image, d.strip, d.pointer, shell, i == shown);
        times.append(double(timer.nsecsElapsed()) / 1e6);
        if (i == shown) showRaw(recognizer, d);
        const std::optional<QUrl> base = baseline(recognizer, d, shell);
        reader[s.kind].add(url, s.expected);
        readerAll.add(url, s.expected);
        raw[s.kind].add(base, s.expected);
        rawAll.add(base, s.expected);
        if (!url)
            misses << QStringLiteral("  %7 %1 (%2 %3 pt, scale %4%5): %6")
                          .arg(s.kind, s.style.font)
                          .arg(s.style.points)
                          .arg(s.style.scale)
                          .arg(s.style.dark ? ", dark" : "",
                               s.rows.mid(1, s.kind == "wrapped" ? 2 : 1).join(" / "))
                          .arg(i);
        if (url && url->toLocalFile() != s.expected)
            wrongs << QStringLiteral("  %1 (%2 %3 pt, scale %4): %5 -> %6")
                          .arg(s.kind, s.style.font)
                          .arg(s.style.points)
                          .arg(s.style.scale)
                          .arg(s.expected.mid(project.size() + 1),
                               url->toLocalFile().mid(project.size() + 1));
    }
    Tally negativeAll, negativeRaw;
    QStringList negativeWrongs;
    for (const Sample& s : negatives) {
        const Drawn d = draw(s);
        const std::optional<QUrl> url = recognize(recognizer, d.image, d.strip, d.pointer, shell, false);
        negativeAll.add(url, QString());
        negativeRaw.add(baseline(recognizer, d, shell), QString());
        if (url && url->isLocalFile())
            negativeWrongs << QStringLiteral("  %1 (%2 %3 pt, scale %4): -> %5")
                                  .arg(s.kind, s.style.font)
                                  .arg(s.style.points)
                                  .arg(s.style.scale)
                                  .arg(url->toLocalFile().mid(project.size() + 1));
    }
    // Every fourth reference again in Solarized dark, tallied on its own row
    // so the figures above stay comparable from run to run.
    Tally solarized, solarizedRaw;
    QStringList solarizedWrongs;
    for (int i = 0; i < samples.size(); i += 4) {
        Sample s = samples.at(i);
        s.style = solarizedDark(s.style);
        const Drawn d = draw(s);
        const std::optional<QUrl> url = recognize(recognizer, d.image, d.strip, d.pointer, shell, false);
        solarized.add(url, s.expected);
        solarizedRaw.add(baseline(recognizer, d, shell), s.expected);
        if (url && url->toLocalFile() != s.expected)
            solarizedWrongs << QStringLiteral("  %1: %2 -> %3")
                                   .arg(i)
                                   .arg(s.expected.mid(project.size() + 1),
                                        url->toLocalFile().mid(project.size() + 1));
    }
    const QStringList spacedReport = measureSpacedNames(recognizer, spaced, shell, project, baseline);
    root.removeRecursively();

    std::sort(times.begin(), times.end());
    std::printf("screen reading accuracy: %d rendered references, pointer on each\n", count);
    std::printf("%-10s  %-28s  %-28s\n", "", "reader: right  wrong  none", "baseline: right  wrong  none");
    for (auto it = reader.cbegin(); it != reader.cend(); ++it) {
        const Tally& a = it.value();
        const Tally& b = raw.value(it.key());
        std::printf("%-10s  %s %5d %5d        %s %5d %5d\n", qPrintable(it.key()), qPrintable(a.percent()),
                    a.wrong, a.none, qPrintable(b.percent()), b.wrong, b.none);
    }
    std::printf("%-10s  %s %5d %5d        %s %5d %5d\n", "all", qPrintable(readerAll.percent()),
                readerAll.wrong, readerAll.none, qPrintable(rawAll.percent()), rawAll.wrong, rawAll.none);
    std::printf("%-10s  %s %5d %5d        %s %5d %5d   (every 4th reference in #839496 on #002b36)\n",
                "solarized", qPrintable(solarized.percent()), solarized.wrong, solarized.none,
                qPrintable(solarizedRaw.percent()), solarizedRaw.wrong, solarizedRaw.none);
    std::printf("reader time per reference: median %.0f ms, worst %.0f ms; %d tiles recognised\n",
                times.at(times.size() / 2), times.last(), recognizer.reads);
    std::printf("wrong-card cases: %d, nothing answered on %d; wrong files: reader %d, baseline %d\n",
                negativeAll.total(), negativeAll.right, negativeAll.wrong, negativeRaw.wrong);
    if (!negativeWrongs.isEmpty())
        std::printf("wrong files on the wrong-card cases:\n%s\n", qPrintable(negativeWrongs.join('\n')));
    if (!wrongs.isEmpty()) std::printf("wrong files:\n%s\n", qPrintable(wrongs.join('\n')));
    if (!solarizedWrongs.isEmpty())
        std::printf("wrong files in Solarized dark:\n%s\n", qPrintable(solarizedWrongs.join('\n')));
    if (!misses.isEmpty()) std::printf("not found:\n%s\n", qPrintable(misses.join('\n')));
    std::printf("%s\n", qPrintable(spacedReport.join('\n')));
    return 0;
}
