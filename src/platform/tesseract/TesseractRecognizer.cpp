#include "platform/tesseract/TesseractRecognizer.h"

#include "platform/tesseract/Blanks.h"
#include "platform/tesseract/PageImage.h"

#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <omp.h>
#include <string>
#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>
#include <vector>

namespace platform {

namespace {

// Longest a single recognition may run before Tesseract is told to stop; a
// tile of real text takes well under a second, so this only stops runaways.
constexpr int kDeadlineMilliseconds = 4000;
// Pictures smaller than this cannot hold a readable line; larger than this
// are not strips and are refused rather than ground through.
constexpr int kLeastSide = 4;
constexpr qint64 kMostPixels = 16'000'000;

struct Engine {
    std::unique_ptr<tesseract::TessBaseAPI> api;
    bool failed = false;
};

// The calling thread's engine, started on first use; null when the model
// cannot be loaded.
tesseract::TessBaseAPI* threadEngine() {
    thread_local Engine engine;
    if (engine.api || engine.failed) return engine.api.get();
    // Tesseract's LSTM code asks OpenMP for teams of threads that spin while
    // they wait: on two busy cores a tile then takes five times as long
    // (bench_screen_reading: 760 against 150 ms). No parallel region of this
    // process may be active, whatever OMP_THREAD_LIMIT says.
    static std::once_flag serial;
    std::call_once(serial, [] { omp_set_max_active_levels(0); });
    auto api = std::make_unique<tesseract::TessBaseAPI>();
    // Dictionaries bias the engine towards English words, which file names and
    // paths are not; both switches are read only while the model loads.
    std::vector<std::string> names{"load_system_dawg", "load_freq_dawg"};
    std::vector<std::string> values{"0", "0"};
    // A null data path lets the library use TESSDATA_PREFIX or its built-in folder.
    if (api->Init(nullptr, "eng", tesseract::OEM_LSTM_ONLY, nullptr, 0, &names, &values, false) != 0) {
        engine.failed = true;
        return nullptr;
    }
    // The engine's own warnings ("Empty page!!", "Too few characters") are not ours to print.
    api->SetVariable("debug_file", "/dev/null");
    engine.api = std::move(api);
    return engine.api.get();
}

using tesseract_lines::RawLine;

QRectF pixelBox(const tesseract::ResultIterator& it, tesseract::PageIteratorLevel level) {
    int l = 0, t = 0, r = 0, b = 0;
    if (!it.BoundingBox(level, &l, &t, &r, &b) || r <= l || b <= t) return {};
    return QRectF(QPointF(l, t), QPointF(r, b));
}

// The engine's lines with their glyph boxes, in page pixels, keeping those
// whose words have on average at least the given confidence.
QList<RawLine> rawLines(tesseract::TessBaseAPI& api, double leastConfidence) {
    QList<RawLine> lines;
    RawLine current;
    double confidenceSum = 0;
    int words = 0;
    const auto flush = [&] {
        if (words > 0 && confidenceSum / words >= leastConfidence && !current.text.trimmed().isEmpty()) {
            current.confidence = confidenceSum / words;
            lines.append(current);
        }
        current = RawLine{};
        confidenceSum = 0;
        words = 0;
    };
    const std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
    if (!it) return lines;
    it->Begin();
    do {
        if (it->Empty(tesseract::RIL_SYMBOL)) continue;
        if (it->IsAtBeginningOf(tesseract::RIL_TEXTLINE)) {
            flush();
            int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
            if (it->Baseline(tesseract::RIL_TEXTLINE, &x1, &y1, &x2, &y2)) current.baseline = y1;
        }
        if (it->IsAtBeginningOf(tesseract::RIL_WORD)) {
            if (!current.text.isEmpty()) {
                current.text += QLatin1Char(' ');
                current.boxes.append(QRectF());
            }
            confidenceSum += it->Confidence(tesseract::RIL_WORD);
            ++words;
        }
        const std::unique_ptr<char[]> utf8(it->GetUTF8Text(tesseract::RIL_SYMBOL));
        const QString symbol = utf8 ? QString::fromUtf8(utf8.get()) : QString();
        const QRectF box = pixelBox(*it, tesseract::RIL_SYMBOL);
        current.text += symbol;
        for (qsizetype i = 0; i < symbol.size(); ++i)
            current.boxes.append(box);
        if (!box.isEmpty()) current.box = current.box.united(box);
    } while (it->Next(tesseract::RIL_SYMBOL));
    flush();
    return lines;
}

// The engine sometimes stretches a word's last glyph over the words that
// follow; a glyph ends where the next one starts.
void separateOverlaps(RawLine& line) {
    qsizetype previous = -1;
    for (qsizetype i = 0; i < line.boxes.size(); ++i) {
        if (line.boxes.at(i).isNull()) continue;
        if (previous >= 0) {
            QRectF& before = line.boxes[previous];
            const double next = line.boxes.at(i).left();
            if (next > before.left() && before.right() > next) before.setRight(next);
        }
        previous = i;
    }
}

// Page pixels (with the margin) to the image's normalised space, origin bottom left.
QRectF normalised(QRectF r, int margin, const QSize& size) {
    r.translate(-margin, -margin);
    r = r.intersected(QRectF(0, 0, size.width(), size.height()));
    if (r.isEmpty()) return {};
    return QRectF(r.left() / size.width(), 1.0 - r.bottom() / size.height(), r.width() / size.width(),
                  r.height() / size.height());
}

} // namespace

// Chosen by measurement (bench/bench_recognizer_modes) on 12 rendered strips:
// two scenes of terminal and editor text holding 36 paths, DejaVu Sans Mono
// 13 pt, five rows of a 76-point strip of which the first and last are cut;
// at scale 1 (1000-point tile enlarged by 2, 600-point tile by 3) and scale 2,
// dark on light and light on dark; plus four strips of noise. OMP_THREAD_LIMIT=1
// on a busy two-core machine, so times are rough.
//
//   mode                   paths read  character  lines read  ms per tile
//                          exactly     errors     from noise
//   6  single block          36/36       0.41 %        0        164-191
//   3  automatic             36/36       0.41 %        0        169-190
//   11 sparse text           36/36      10.6 %       104        161-336
//   12 sparse text + OSD     22/36 *    11.8 % *       -        328 *
//   7  single line            0/36     100 %           0         33-48
//   13 raw line               0/36      96 % *         -         66-92 *
//   (* measured before the blank repairs and the confidence cut-off)
//
// Single block: as accurate as automatic layout at the same cost, and it
// never splits a strip's rows into columns. Sparse text cuts rows into
// fragments at every wide gap and reads words into noise; the single-line
// modes read one row only; orientation detection doubles the time.
// Without the blank repairs (Blanks.h) mode 6 reads 20 of the 36 paths
// exactly (1.64 % character errors). Dropping lines whose words average below
// 40 confidence removes every line read from the noise (49 lines at 0, 2 at
// 30) and keeps all 36 paths (60 loses one); that cut-off is made by the
// screen reader (ScreenTextReader::kLeastConfidence), which knows where a tile
// cut the text, so the engine hands over every line with its confidence. The
// resolution told to the engine (70, 150, 300 dpi) changed nothing; 300 keeps
// it from guessing.
TesseractRecognizer::Settings TesseractRecognizer::defaultSettings() {
    return Settings{tesseract::PSM_SINGLE_BLOCK, 300, 0.0, 12, true};
}

bool TesseractRecognizer::available() {
    return threadEngine() != nullptr;
}

QList<Observation> TesseractRecognizer::recognize(const QImage& image) const {
    if (image.isNull() || image.width() < kLeastSide || image.height() < kLeastSide ||
        qint64(image.width()) * image.height() > kMostPixels)
        return {};
    tesseract::TessBaseAPI* api = threadEngine();
    if (!api) return {};

    const QImage page = tesseract_page::prepared(image, settings_.margin);
    if (page.isNull()) return {};
    api->SetPageSegMode(tesseract::PageSegMode(settings_.pageSegMode));
    api->SetImage(page.constBits(), page.width(), page.height(), 1, int(page.bytesPerLine()));
    api->SetSourceResolution(settings_.resolution);
    tesseract::ETEXT_DESC monitor;
    monitor.set_deadline_msecs(kDeadlineMilliseconds);
    QList<RawLine> raw;
    if (api->Recognize(&monitor) == 0) raw = rawLines(*api, settings_.leastConfidence);
    api->Clear();

    // Before the blank repairs: a glyph stretched over its neighbours moves
    // its centre, which they measure by.
    for (RawLine& line : raw)
        separateOverlaps(line);
    const std::optional<double> pitch =
        settings_.repairBlanks ? tesseract_lines::monospacedPitch(raw) : std::nullopt;
    QList<Observation> result;
    for (RawLine& line : raw) {
        if (settings_.repairBlanks) {
            // Underscores first: the model's boxes round a misread underscore
            // are too close together to pass for a blank's.
            tesseract_lines::restoreUnderscores(page, line);
            tesseract_lines::dropSpuriousBlanks(page, line, pitch);
        }
        Observation o;
        o.text = line.text;
        o.confidence = line.confidence;
        o.box = normalised(line.box, settings_.margin, image.size());
        if (o.box.isEmpty()) continue;
        for (const QRectF& b : line.boxes)
            o.characters.append(b.isNull() ? QRectF() : normalised(b, settings_.margin, image.size()));
        result.append(std::move(o));
    }
    return result;
}

} // namespace platform
