// Renders one SVG file to a PNG of the given size (transparent background).
//   render-assets-tool INPUT.svg OUTPUT.png WIDTH HEIGHT
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s INPUT.svg OUTPUT.png WIDTH HEIGHT\n", argv[0]);
        return 2;
    }
    bool wideOk = false, highOk = false;
    const int width = QString::fromLocal8Bit(argv[3]).toInt(&wideOk);
    const int height = QString::fromLocal8Bit(argv[4]).toInt(&highOk);
    if (!wideOk || !highOk || width <= 0 || height <= 0 || width > 4096 || height > 4096) {
        std::fprintf(stderr, "render-assets: bad size %s x %s\n", argv[3], argv[4]);
        return 2;
    }
    QSvgRenderer svg(QString::fromLocal8Bit(argv[1]));
    if (!svg.isValid()) {
        std::fprintf(stderr, "render-assets: cannot read %s\n", argv[1]);
        return 1;
    }
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    svg.render(&painter);
    painter.end();
    // PNG with the least metadata, so a re-render of unchanged artwork is byte-identical.
    if (!image.convertToFormat(QImage::Format_ARGB32).save(QString::fromLocal8Bit(argv[2]), "PNG", 0)) {
        std::fprintf(stderr, "render-assets: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
