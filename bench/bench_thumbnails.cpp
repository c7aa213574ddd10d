// Thumbnail time of a 6000 x 4000 JPEG and PNG at a 440-pixel ceiling, against
// ImageMagick's `convert FILE -thumbnail 440x440 null:` on the same files
// (process start included, as it is part of what convert costs).
#include "app/agent/Thumbnails.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdio>

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
    return 0;
}
