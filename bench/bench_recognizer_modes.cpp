// Compares Tesseract page segmentation modes and settings on rendered strips:
// paths read exactly, character errors, extra lines, lines read from noise,
// time per tile. Arguments: modes (e.g. 3,6,11), resolutions, least confidence,
// and anything as a fourth to print every line read.
#include "../tests/screen/RenderedStrip.h"
#include "platform/tesseract/TesseractRecognizer.h"
#include "screen/Lines.h"
#include "screen/Prime.h"
#include "screen/ScreenTextReader.h"
#include "screen/Tiles.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <algorithm>
#include <cstdio>

namespace {

int distance(const QString& a, const QString& b) {
    QList<int> prev(b.size() + 1), cur(b.size() + 1);
    for (qsizetype j = 0; j <= b.size(); ++j)
        prev[j] = int(j);
    for (qsizetype i = 1; i <= a.size(); ++i) {
        cur[0] = int(i);
        for (qsizetype j = 1; j <= b.size(); ++j)
            cur[j] = std::min({prev[j] + 1, cur[j - 1] + 1, prev[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
        std::swap(prev, cur);
    }
    return prev[b.size()];
}

struct Scene {
    bool operator==(const Scene&) const = default;
    QStringList rows;  // rows drawn (first and last cut by the strip's edges)
    QStringList paths; // expected exactly
};

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QList<Scene> scenes{
        {{"drwxr-xr-x  4 dev dev 4096 Mar  3 10:12 build",
          "Saved screenshot to shots/hero-frame@2x.png (1280x800)",
          "$ open ~/Pictures/Screenshots/diagram_v2.jpeg now",
          "  see /home/dev/project/assets/icons/app-icon_512.png", "warning: docs/images/old.gif is unused"},
         {"shots/hero-frame@2x.png", "~/Pictures/Screenshots/diagram_v2.jpeg",
          "/home/dev/project/assets/icons/app-icon_512.png"}},
        {{"  }", "    const icon = loadImage(\"assets/logo-dark.webp\");",
          "    // fallback: public/img/placeholder_01.png", "    return render(icon, 'thumbs/a_b-c.tiff');",
          "}"},
         {"assets/logo-dark.webp", "public/img/placeholder_01.png", "thumbs/a_b-c.tiff"}},
    };
    struct Setup {
        double scale;
        double span;
    };
    const QList<Setup> setups{{1, 1000}, {2, 1000}, {1, 600}};
    QList<int> modes{3, 6, 11, 12, 13, 7};
    QList<int> resolutions{300};
    double confidence = 0;
    if (argc > 1) {
        modes.clear();
        for (const QString& m : QString(argv[1]).split(','))
            modes.append(m.toInt());
    }
    if (argc > 2) {
        resolutions.clear();
        for (const QString& m : QString(argv[2]).split(','))
            resolutions.append(m.toInt());
    }
    if (argc > 3) confidence = QString(argv[3]).toDouble();

    for (int resolution : resolutions)
        for (int mode : modes) {
            platform::TesseractRecognizer recognizer(
                {mode, resolution, confidence, 12, !qEnvironmentVariableIsSet("NO_BLANK_REPAIR")});
            ScreenTextReader::prime(recognizer);
            int found = 0, wanted = 0, edits = 0, chars = 0, extra = 0;
            QList<qint64> times;
            for (const Setup& setup : setups)
                for (bool dark : {false, true})
                    for (const Scene& scene : scenes) {
                        const QRectF strip(0, 0, setup.span, 76);
                        StripStyle style;
                        style.pixelsPerPoint = setup.scale;
                        style.dark = dark;
                        const RenderedStrip r = renderStrip(strip, scene.rows, 6, -6, style);
                        const auto t = ScreenTextReader::tile(r.image, strip, strip);
                        if (qEnvironmentVariableIsSet("DUMP"))
                            t->image.save(QString("/tmp/tile-%1-%2-%3-%4.png")
                                              .arg(setup.scale)
                                              .arg(setup.span)
                                              .arg(dark)
                                              .arg(scenes.indexOf(scene)));
                        QElapsedTimer timer;
                        timer.start();
                        const QList<ScreenTextReader::Line> lines = ScreenTextReader::lines(recognizer, *t);
                        times.append(timer.elapsed());
                        for (const QString& p : scene.paths) {
                            ++wanted;
                            if (std::any_of(lines.begin(), lines.end(),
                                            [&](const auto& l) { return l.text.contains(p); }))
                                ++found;
                        }
                        for (int row = 1; row <= 3; ++row) {
                            const QString want = scene.rows[row].trimmed();
                            int best = int(want.size());
                            for (const auto& l : lines)
                                best = std::min(best, distance(l.text.trimmed(), want));
                            edits += best;
                            chars += int(want.size());
                        }
                        extra += std::max<int>(0, int(lines.size()) - 3);
                        if (argc > 4)
                            for (const auto& l : lines)
                                std::printf("   [%s] %.0f..%.0f %.0f..%.0f\n", qPrintable(l.text), l.minX,
                                            l.maxX, l.minY, l.maxY);
                    }
            // Noise strips: nothing on them is text.
            int noiseLines = 0;
            for (int seed = 1; seed <= 4; ++seed) {
                QImage noise(2000, 152, QImage::Format_RGB32);
                quint32 state = quint32(seed) * 2654435761u;
                for (int y = 0; y < noise.height(); ++y)
                    for (int x = 0; x < noise.width(); ++x) {
                        state = state * 1664525u + 1013904223u;
                        const int v = int(state >> 24);
                        noise.setPixel(x, y, qRgb(v, v, v));
                    }
                noiseLines += int(ScreenTextReader::observations(recognizer, noise).size());
            }
            std::sort(times.begin(), times.end());
            std::printf("psm %2d dpi %3d conf %2.0f: paths %2d/%d  char errors %5.2f%%  extra lines %2d  "
                        "noise lines %2d  median %lld ms  max %lld ms\n",
                        mode, resolution, confidence, found, wanted, 100.0 * edits / chars, extra, noiseLines,
                        times[times.size() / 2], times.last());
            std::fflush(stdout);
        }
}
