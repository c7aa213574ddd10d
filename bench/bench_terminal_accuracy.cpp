// Accuracy of the screen reader on screenshots of real terminals, drawn by
// bench_terminal_accuracy.sh (which runs this program on them). Each sample is
// a screenshot, the pointer on a reference or on a negative, and the file that
// is right (none for a negative). The sample is read as the agent reads it:
// the strip round the pointer trimmed to the screen, then the reader's stages
// and resolution against the terminal's working folder. Prints the share of
// references resolved to the right file, the wrong files, and the negatives
// refused, per terminal, font, size, scheme and kind.
//
//   bench_terminal_accuracy MANIFEST PROJECT [shown]   (run with OMP_THREAD_LIMIT=1)
//
// With a third argument, only that sample (0-based) is read, and its reading
// printed. VISTEL_TERMINAL_SAMPLES=REGEX reads only the samples whose
// description ("xterm, Hack 2x 12 pt, green-on-black") it matches.
#include "core/Diagnostics.h"
#include "platform/tesseract/TesseractRecognizer.h"
#include "screen/Capture.h"
#include "screen/Prime.h"
#include "screen/Recognizing.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMap>
#include <QRegularExpression>
#include <QTextStream>
#include <algorithm>
#include <cstdio>

using namespace ScreenTextReader;

namespace {

struct Sample {
    QString image, terminal, font, points, scale, scheme, kind;
    QPointF pointer;
    QString expected; // empty for a negative
    QString row;

    QString size() const {
        if (points == QLatin1String("bitmap")) return points;
        return (scale == QLatin1String("1") ? QString() : scale + "x ") + points.rightJustified(2) + " pt";
    }
};

std::optional<QList<Sample>> readManifest(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return std::nullopt;
    QList<Sample> samples;
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QString line = in.readLine();
        if (line.startsWith(QLatin1Char('#')) || line.isEmpty()) continue;
        const QStringList f = line.split(QLatin1Char('\t'));
        if (f.size() != 11) return std::nullopt;
        Sample s{f[0], f[1], f[2], f[3], f[4], f[5], f[6], QPointF(f[7].toDouble(), f[8].toDouble()),
                 f[9] == QLatin1String("-") ? QString() : f[9], f[10]};
        samples.append(s);
    }
    return samples;
}

struct Tally {
    int right = 0, wrong = 0, none = 0; // references
    int refused = 0, answered = 0;      // negatives
    void add(const Sample& s, const std::optional<QUrl>& url) {
        if (s.expected.isEmpty()) {
            ++(url ? answered : refused);
        } else if (!url) {
            ++none;
        } else {
            ++(url->toLocalFile() == s.expected ? right : wrong);
        }
    }
    QString line() const {
        const int references = right + wrong + none;
        const QString share =
            references ? QString::asprintf("%5.1f %%", 100.0 * right / references) : QStringLiteral("      -");
        return QString::asprintf("%s %5d %5d %5d   %5d %5d", qPrintable(share), references, wrong, none,
                                 refused, answered);
    }
};

void printTable(const char* title, const QMap<QString, Tally>& rows) {
    std::printf("%-24s  right  refs wrong  none  refused answered\n", title);
    for (auto it = rows.cbegin(); it != rows.cend(); ++it)
        std::printf("  %-22s %s\n", qPrintable(it.key()), qPrintable(it.value().line()));
}

QString describe(const Sample& s) {
    return QStringLiteral("%1, %2 %3, %4").arg(s.terminal, s.font, s.size(), s.scheme);
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc < 3) {
        std::fputs("usage: bench_terminal_accuracy MANIFEST PROJECT [shown]\n", stderr);
        return 2;
    }
    const std::optional<QList<Sample>> manifest = readManifest(QString::fromLocal8Bit(argv[1]));
    if (!manifest || manifest->isEmpty()) {
        std::fprintf(stderr, "bench_terminal_accuracy: %s is not a corpus manifest\n", argv[1]);
        return 1;
    }
    if (!platform::TesseractRecognizer::available()) {
        std::puts("the English recognition model is not installed");
        return 1;
    }
    const QString project = QFileInfo(QString::fromLocal8Bit(argv[2])).canonicalFilePath();
    const QString folder = QFileInfo(QString::fromLocal8Bit(argv[1])).absolutePath();
    const int shown = argc > 3 ? atoi(argv[3]) : -1;
    if (shown >= 0) Diagnostics::setArguments({QString::fromLocal8Bit(argv[0]), QStringLiteral("--debug")});
    // As in a terminal: no document folder, the shell's working folder as the search root.
    const ResolutionContext shell{QUrl(), {QUrl::fromLocalFile(project + "/")}};

    const QRegularExpression only(qEnvironmentVariable("VISTEL_TERMINAL_SAMPLES"));
    const platform::TesseractRecognizer recognizer;
    ScreenTextReader::prime(recognizer);
    QMap<QString, Tally> byTerminal, byFont, bySize, byScheme, byKind;
    Tally all;
    QStringList wrongs, misses, answered;
    QList<double> times;
    QString loadedName;
    QImage screen;
    for (int i = 0; i < manifest->size(); ++i) {
        if (shown >= 0 && i != shown) continue;
        const Sample& s = manifest->at(i);
        if (!only.pattern().isEmpty() && !only.match(describe(s)).hasMatch()) continue;
        if (s.image != loadedName) {
            screen = QImage(folder + QLatin1Char('/') + s.image).convertToFormat(QImage::Format_RGB32);
            loadedName = s.image;
        }
        if (screen.isNull()) {
            std::fprintf(stderr, "bench_terminal_accuracy: cannot read %s\n", qPrintable(s.image));
            return 1;
        }
        // The capture as the agent takes it: the strip round the pointer,
        // trimmed to the one monitor (X11 pixels are points), whose text
        // scale is the page's Xft.dpi / 96.
        const double textScale = s.scale.toDouble();
        const QList<platform::Monitor> monitors{{QRectF(screen.rect()), 1.0, textScale}};
        const auto region = platform::captureRegion(strip(s.pointer, monitors), monitors);
        std::optional<QUrl> url;
        QElapsedTimer timer;
        timer.start();
        if (region) {
            const platform::Capture captured{screen.copy(region->first.toAlignedRect()), region->first};
            url = recognizeCapture(recognizer, captured, s.pointer, textScale, shell, i == shown);
        }
        times.append(double(timer.nsecsElapsed()) / 1e6);
        for (auto* table : {&byTerminal, &byFont, &bySize, &byScheme, &byKind}) {
            const QString key = table == &byTerminal ? s.terminal
                                : table == &byFont   ? s.font
                                : table == &bySize   ? s.size()
                                : table == &byScheme ? s.scheme
                                                     : s.kind;
            (*table)[key].add(s, url);
        }
        all.add(s, url);
        const QString where = QStringLiteral("  %1 %2 (%3): \"%4\"").arg(i).arg(s.kind, describe(s), s.row);
        if (s.expected.isEmpty() && url)
            answered << where + " -> " + url->toString(QUrl::PreferLocalFile).remove(project + "/");
        else if (!s.expected.isEmpty() && !url)
            misses << where;
        else if (url && url->toLocalFile() != s.expected)
            wrongs << where + " -> " + url->toLocalFile().remove(project + "/");
    }

    if (times.isEmpty()) {
        std::puts("no sample matches VISTEL_TERMINAL_SAMPLES");
        return 1;
    }
    std::sort(times.begin(), times.end());
    std::printf("terminal screenshots: %lld samples, pointer on each\n", static_cast<long long>(times.size()));
    printTable("by terminal", byTerminal);
    printTable("by font", byFont);
    printTable("by size", bySize);
    printTable("by scheme", byScheme);
    printTable("by kind", byKind);
    std::printf("  %-22s %s\n", "all", qPrintable(all.line()));
    std::printf("reader time per sample: median %.0f ms, worst %.0f ms\n", times.at(times.size() / 2),
                times.last());
    if (!wrongs.isEmpty()) std::printf("wrong files:\n%s\n", qPrintable(wrongs.join('\n')));
    if (!answered.isEmpty()) std::printf("negatives answered:\n%s\n", qPrintable(answered.join('\n')));
    if (!misses.isEmpty()) std::printf("not found:\n%s\n", qPrintable(misses.join('\n')));
    return 0;
}
