// Thumbnail time of a 6000 x 4000 JPEG and PNG at a 440-pixel ceiling, against
// ImageMagick's `convert FILE -thumbnail 440x440 null:` on the same files
// (process start included, as it is part of what convert costs). Then SVG: an
// icon of 300 shapes, and the most filter work a document may hold, drawn at
// 440 and 840 pixels (the widest card), against the same convert command; and
// how soon hostile SVGs are refused.
#include "SvgFixtures.h"
#include "app/agent/Thumbnails.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdio>
#include <tuple>

#pragma push_macro("signals")
#undef signals
#include <vips/vips.h>
#pragma pop_macro("signals")

namespace {

// A photograph-like 6000 x 4000 picture: smoothed noise in three bands.
bool makePicture(const QString& path) {
    VipsImage* noise = nullptr;
    VipsImage* smooth = nullptr;
    VipsImage* bytes = nullptr;
    bool ok = vips_gaussnoise(&noise, 6000, 4000, "sigma", 60.0, "mean", 128.0, nullptr) == 0 &&
              vips_gaussblur(noise, &smooth, 3.0, nullptr) == 0 &&
              vips_cast_uchar(smooth, &bytes, nullptr) == 0;
    if (ok) {
        VipsImage* bands[] = {bytes, bytes, bytes};
        VipsImage* colour = nullptr;
        ok = vips_bandjoin(bands, &colour, 3, nullptr) == 0 &&
             vips_image_write_to_file(colour, path.toLocal8Bit().constData(), nullptr) == 0;
        if (colour) g_object_unref(colour);
    }
    for (VipsImage* image : {noise, smooth, bytes})
        if (image) g_object_unref(image);
    return ok;
}

double ours(const QString& path, int runs) {
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < runs; ++i) {
        if (!Thumbnails::ofFile(path, 440)) return -1;
    }
    return double(timer.nsecsElapsed()) / 1e6 / runs;
}

// 300 shapes with a gradient; with filtered > 0, that many discs drawn through
// one blur filter of steps primitives.
QByteArray svgIcon(int filtered, int steps) {
    QByteArray body = "<defs><linearGradient id=\"g\"><stop offset=\"0\" stop-color=\"#fc0\"/>"
                      "<stop offset=\"1\" stop-color=\"#06c\"/></linearGradient><filter id=\"f\">" +
                      QByteArray("<feGaussianBlur stdDeviation=\"4\"/>").repeated(steps) + "</filter></defs>";
    for (int i = 0; i < 300; ++i)
        body += "<rect x=\"" + QByteArray::number(i % 20 * 5) + "\" y=\"" + QByteArray::number(i / 20 * 6) +
                "\" width=\"4\" height=\"5\" rx=\"1\" fill=\"url(#g)\"/>";
    for (int i = 0; i < filtered; ++i)
        body +=
            "<circle cx=\"" + QByteArray::number(10 + i * 10) + "\" cy=\"50\" r=\"30\" filter=\"url(#f)\"/>";
    return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"100\" height=\"100\">" + body + "</svg>";
}

double convert(const QString& program, const QString& path, int runs) {
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < runs; ++i) {
        QProcess process;
        process.start(program, {path, QStringLiteral("-thumbnail"), QStringLiteral("440x440"),
                                QStringLiteral("null:")});
        if (!process.waitForFinished(120000) || process.exitCode() != 0) return -1;
    }
    return double(timer.nsecsElapsed()) / 1e6 / runs;
}

} // namespace

int main() {
    Thumbnails::initialise();
    QTemporaryDir dir;
    const QString program = QStandardPaths::findExecutable(QStringLiteral("convert"));
    std::printf("thumbnail at 440 px of a 6000 x 4000 picture (ms per image):\n");
    std::printf("  %-6s %10s %10s %8s\n", "type", "vistel", "convert", "ratio");
    for (const char* type : {"jpg", "png"}) {
        const QString path = dir.filePath(QStringLiteral("picture.") + QLatin1String(type));
        if (!makePicture(path)) {
            std::printf("  %-6s could not make the picture\n", type);
            continue;
        }
        (void)ours(path, 1); // file in the page cache
        const double mine = ours(path, 5);
        const double theirs = program.isEmpty() ? -1 : convert(program, path, 3);
        if (theirs > 0) {
            std::printf("  %-6s %10.1f %10.1f %8.2f\n", type, mine, theirs, mine / theirs);
        } else {
            std::printf("  %-6s %10.1f %10s %8s\n", type, mine, "n/a", "-");
        }
    }

    std::printf("svg drawn (ms per image, negative when refused past the time limit; convert at 440 px):\n");
    std::printf("  %-26s %8s %8s %10s %8s\n", "document", "440 px", "840 px", "convert", "ratio");
    for (const auto& [name, filtered, steps] : {std::tuple{"icon, 300 shapes", 0, 0},
                                                {"icon, 2 shadows x 2 steps", 2, 2},
                                                {"filter work limit (8 x 8)", 8, 8}}) {
        const QString path = dir.filePath(QStringLiteral("icon.svg"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(svgIcon(filtered, steps)) < 0) return 1;
        file.close();
        // Negative: refused (past the time limit) after that many ms.
        const auto timed = [&](int ceiling) {
            QElapsedTimer timer;
            timer.start();
            for (int i = 0; i < 3; ++i)
                if (!Thumbnails::ofFile(path, ceiling)) return -double(timer.nsecsElapsed()) / 1e6 / (i + 1);
            return double(timer.nsecsElapsed()) / 1e6 / 3;
        };
        const double small = timed(440);
        const double large = timed(840);
        const double theirs = program.isEmpty() ? -1 : convert(program, path, 3);
        std::printf("  %-26s %8.1f %8.1f %10.1f %8.2f\n", name, small, large, theirs,
                    theirs > 0 ? small / theirs : 0.0);
    }

    // Refused from the markup or the header, before anything is drawn.
    std::printf("hostile svg refused at 840 px (ms per file):\n");
    const QByteArray outside = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"9\" height=\"9\">"
                               "<image width=\"9\" height=\"9\" href=\"file:///etc/hosts\"/></svg>";
    for (const auto& [name, contents] :
         {std::pair{"billion laughs, svgz", SvgFixtures::gzip(SvgFixtures::billionLaughs())},
          {"outside href", outside},
          {"100000 x 100000 view box", SvgFixtures::icon("", "0 0 100000 100000")}}) {
        const QString path = dir.filePath(QStringLiteral("hostile.svg"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(contents) < 0) return 1;
        file.close();
        QElapsedTimer timer;
        timer.start();
        const bool drawn = Thumbnails::ofFile(path, 840).has_value();
        std::printf("  %-26s %8.2f%s\n", name, double(timer.nsecsElapsed()) / 1e6, drawn ? "  DRAWN" : "");
    }
    return 0;
}
