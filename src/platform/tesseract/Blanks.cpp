#include "platform/tesseract/Blanks.h"

#include "core/EvenPitch.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

namespace platform::tesseract_lines {

namespace {

// An underscore is one character cell wide (0.7 to 1.6 cells allows for the
// engine's rough boxes); longer runs are underlines, shorter ones descenders.
constexpr double kLeastRun = 0.7;
constexpr double kLongestRun = 1.6;
// Where the stroke may lie, relative to the blank's next character.
constexpr double kReachLeft = 1.3;
constexpr double kReachRight = 0.4;
// How far below the baseline, as a share of the height above it.
constexpr double kDepth = 0.5;
// At most this share of that height thick.
constexpr double kThickness = 0.15;
// Free-standing: at most this share of the pixels just above the stroke are ink
// (a descender's bowl or a box cursor rises at its ends).
constexpr double kLeastClearance = 0.1;
// Enough neighbouring glyphs to judge the pitch by, and as many as are used
// from each side of a blank.
constexpr int kLeastPitchSamples = 6;
constexpr int kPitchSamples = 12;
// Glyphs either side of a real blank are two pitches apart (1.9 to 2.1 in
// captured terminals); the model's invented blanks measure 1.1 to 1.6.
constexpr double kLeastBlankSpan = 1.75;
// A row too short to measure its own pitch borrows the page's when it has at
// least this many steps of its own, within this share of it.
constexpr int kLeastOwnSteps = 2;
constexpr double kMostPitchDeparture = 0.2;
// Where the gap is looked for: this many pitches beyond the centres of the
// glyphs either side of the blank.
constexpr double kGapWindow = 0.5;
// The stretch without ink at a real blank, from the line's top to its bottom
// (an underscore lies below the baseline), in pitches: 1.00 to 3.4 over the
// 3923 blanks of bench_reference_accuracy that the boxes left standing, while
// the blanks invented beside a narrow glyph ("-817", "64a96. png") left 0.41
// to 0.52; the cut lies between.
constexpr double kLeastBlankGap = 0.75;

struct Run {
    int left = 0, right = 0, y = 0; // right exclusive
    int length() const { return right - left; }
};

class Ink {
  public:
    Ink(const QImage& page, int threshold) : page_(page), threshold_(threshold) {}
    bool at(int x, int y) const {
        return x >= 0 && y >= 0 && x < page_.width() && y < page_.height() &&
               page_.constScanLine(y)[x] < threshold_;
    }
    // The full horizontal run of ink through (x, y).
    Run runThrough(int x, int y) const {
        Run r{x, x + 1, y};
        while (at(r.left - 1, y))
            --r.left;
        while (at(r.right, y))
            ++r.right;
        return r;
    }

  private:
    const QImage& page_;
    int threshold_;
};

// Ink is anything a third of the way from the background (the commonest light
// grey of the line's box) towards its darkest grey: an underscore one pixel thick
// is drawn antialiased, much lighter than the letters' stems.
int inkThreshold(const QImage& page, const QRect& box) {
    std::array<int, 256> histogram{};
    int darkest = 255;
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x) {
            const int grey = page.constScanLine(y)[x];
            ++histogram[size_t(grey)];
            darkest = std::min(darkest, grey);
        }
    // The page is light with dark text: the background is the commonest light grey.
    const int background =
        int(std::max_element(histogram.begin() + 128, histogram.end()) - histogram.begin());
    return background - (background - darkest) / 3;
}

// The underscore stroke within x range [from, to) below the baseline, if any.
std::optional<QRectF> strokeIn(const Ink& ink, int from, int to, int top, int bottom, double cell,
                               double height) {
    std::optional<Run> found;
    int rows = 0;
    for (int y = top; y <= bottom; ++y) {
        std::optional<Run> best;
        for (int x = from; x < to; ++x) {
            if (!ink.at(x, y)) continue;
            const Run r = ink.runThrough(x, y);
            if (!best || r.length() > best->length()) best = r;
            x = r.right;
        }
        if (!best || best->length() < kLeastRun * cell) continue;
        if (best->length() > kLongestRun * cell) return std::nullopt; // an underline
        if (!found) found = best;
        ++rows;
    }
    if (!found || rows > std::max(2.0, kThickness * height)) return std::nullopt;
    int above = 0;
    for (int x = found->left; x < found->right; ++x)
        above += ink.at(x, found->y - 1) || ink.at(x, found->y - 2);
    if (above > kLeastClearance * found->length()) return std::nullopt;
    return QRectF(found->left, found->y, found->length(), rows);
}

// The most columns in a row, between x from and to (end exclusive), with no
// ink from top to bottom.
int widestGap(const Ink& ink, int from, int to, int top, int bottom) {
    int widest = 0, run = 0;
    for (int x = from; x < to; ++x) {
        bool empty = true;
        for (int y = top; y <= bottom && empty; ++y)
            empty = !ink.at(x, y);
        run = empty ? run + 1 : 0;
        widest = std::max(widest, run);
    }
    return widest;
}

bool isGlyph(const RawLine& line, qsizetype i) {
    return !line.text.at(i).isSpace() && !line.boxes.at(i).isNull();
}

double centreOf(const RawLine& line, qsizetype i) {
    return line.boxes.at(i).center().x();
}

// The step from glyph j to glyph j + 1, where both are glyphs of one word.
std::optional<double> stepAfter(const RawLine& line, qsizetype j) {
    if (j < 0 || j + 1 >= line.text.size() || !isGlyph(line, j) || !isGlyph(line, j + 1)) return std::nullopt;
    return centreOf(line, j + 1) - centreOf(line, j);
}

} // namespace

std::optional<double> monospacedPitch(const QList<RawLine>& lines) {
    QList<double> steps;
    for (const RawLine& line : lines)
        if (line.boxes.size() == line.text.size())
            for (qsizetype j = 0; j + 1 < line.text.size(); ++j)
                if (const auto step = stepAfter(line, j)) steps.append(*step);
    return steps.size() < kLeastPitchSamples ? std::nullopt : EvenPitch::of(steps);
}

void dropSpuriousBlanks(const QImage& page, RawLine& line, std::optional<double> pagePitch) {
    const qsizetype n = line.text.size();
    if (line.boxes.size() != n) return;
    const QRect box = line.box.toAlignedRect().intersected(page.rect());
    const bool measurable = !box.isEmpty();
    const Ink ink(page, measurable ? inkThreshold(page, box) : 0);
    for (qsizetype i = n - 2; i >= 1; --i) {
        if (line.text.at(i) != QLatin1Char(' ') || !isGlyph(line, i - 1) || !isGlyph(line, i + 1)) continue;
        // The pitch of the nearest glyphs either side (not of the whole line,
        // which may hold other windows' junk), from neighbours within words:
        // the blank may sit after a short word ("260. gif"), so the count
        // goes on past other blanks.
        QList<double> steps;
        for (qsizetype j = i - 2; j >= 0 && steps.size() < kPitchSamples; --j)
            if (const auto step = stepAfter(line, j)) steps.append(*step);
        for (qsizetype j = i + 1; j + 1 < line.text.size() && steps.size() < 2 * kPitchSamples; ++j)
            if (const auto step = stepAfter(line, j)) steps.append(*step);
        std::optional<double> pitch;
        if (steps.size() >= kLeastPitchSamples) {
            pitch = EvenPitch::of(steps);
        } else if (pagePitch && steps.size() >= kLeastOwnSteps &&
                   std::abs(EvenPitch::median(steps) - *pagePitch) <= kMostPitchDeparture * *pagePitch) {
            // Too short a row to judge alone ("83. png", the tail of a
            // wrapped path): the page's pitch, where the row's few steps agree.
            pitch = pagePitch;
        }
        if (!pitch) continue;
        bool spurious = centreOf(line, i + 1) - centreOf(line, i - 1) < kLeastBlankSpan * *pitch;
        // The engine's boxes drift near a blank it invented; the page tells:
        // the widest stretch without ink round the blank is a whole cell and
        // more for a real blank, well under one beside a narrow glyph or
        // after an underscore.
        if (!spurious && measurable) {
            const int from = int(centreOf(line, i - 1) - kGapWindow * *pitch);
            const int to = int(centreOf(line, i + 1) + kGapWindow * *pitch);
            const double gap = widestGap(ink, from, to, box.top(), box.bottom()) / *pitch;
            spurious = gap < kLeastBlankGap;
        }
        if (spurious) {
            line.text.remove(i, 1);
            line.boxes.remove(i);
        }
    }
}

void restoreUnderscores(const QImage& page, RawLine& line) {
    const qsizetype n = line.text.size();
    if (n < 3 || line.boxes.size() != n || !line.text.contains(QLatin1Char(' '))) return;
    const QRect box = line.box.toAlignedRect().intersected(page.rect());
    const double height = line.baseline - line.box.top();
    const double cell = line.box.width() / double(n);
    if (box.isEmpty() || height < 4 || cell < 2) return;
    const Ink ink(page, inkThreshold(page, box));
    const int top = int(std::floor(line.baseline)) + 1;
    const int bottom = std::min(page.height() - 1, int(std::ceil(line.baseline + kDepth * height)));

    // A blank between two characters, with the stroke where it stands.
    for (qsizetype i = 1; i + 1 < n; ++i) {
        if (line.text.at(i) != QLatin1Char(' ') || line.boxes.at(i + 1).isNull() ||
            line.boxes.at(i - 1).isNull())
            continue;
        const double next = line.boxes.at(i + 1).left();
        const auto stroke = strokeIn(ink, int(next - kReachLeft * cell), int(next + kReachRight * cell), top,
                                     bottom, cell, height);
        if (!stroke) continue;
        line.text[i] = QLatin1Char('_');
        line.boxes[i] = *stroke;
    }

    // "a _ b": an underscore read as a word of its own, closer to its
    // neighbours than a blank's width.
    for (qsizetype i = 2; i + 2 < line.text.size(); ++i) {
        if (line.text.at(i) != QLatin1Char('_') || line.text.at(i - 1) != QLatin1Char(' ') ||
            line.text.at(i + 1) != QLatin1Char(' '))
            continue;
        const QRectF &before = line.boxes.at(i - 2), &self = line.boxes.at(i), &after = line.boxes.at(i + 2);
        if (before.isNull() || self.isNull() || after.isNull()) continue;
        if (self.left() - before.right() < 0.5 * cell && after.left() - self.right() < 0.5 * cell) {
            line.text.remove(i + 1, 1);
            line.boxes.remove(i + 1);
            line.text.remove(i - 1, 1);
            line.boxes.remove(i - 1);
            --i;
        }
    }
}

} // namespace platform::tesseract_lines
