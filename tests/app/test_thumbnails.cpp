// Decoding previews: supported types, ceiling, orientation, file cache, refused input.
#include "ImageFixtures.h"
#include "SvgFixtures.h"
#include "TempTree.h"
#include "app/agent/FileImages.h"
#include "app/agent/ImageDetails.h"
#include "app/agent/Thumbnails.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>
#include <sys/stat.h>

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QRgb centre(const QImage& image) {
    return image.pixel(image.width() / 2, image.height() / 2);
}

bool near(QRgb a, QColor b) {
    return qAbs(qRed(a) - b.red()) < 24 && qAbs(qGreen(a) - b.green()) < 24 && qAbs(qBlue(a) - b.blue()) < 24;
}

} // namespace

// What the card would show for the file: the cached thumbnail, else one decoded
// on a worker and awaited.
std::optional<QImage> load(FileImages& files, const QUrl& url, int maxPixels) {
    if (auto image = files.cached(url, maxPixels)) return image;
    if (files.failed(url, maxPixels)) return std::nullopt;
    QSignalSpy arrived(&files, &FileImages::arrived);
    QSignalSpy failed(&files, &FileImages::failedToDecode);
    files.fetch(url, maxPixels);
    if (!QTest::qWaitFor([&] { return !arrived.isEmpty() || !failed.isEmpty(); }, 10000)) return std::nullopt;
    if (arrived.isEmpty()) return std::nullopt;
    return arrived.first().at(1).value<QImage>();
}

class TestThumbnails : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { Thumbnails::initialise(); }

    void everySupportedType_data() {
        QTest::addColumn<QString>("extension");
        for (const char* extension : {"avif", "bmp", "gif", "heic", "jpg", "png", "tif", "webp"})
            QTest::newRow(extension) << QString::fromLatin1(extension);
    }
    void everySupportedType() {
        QFETCH(QString, extension);
        TempTree tree;
        const QString path = tree.path(QStringLiteral("shot.") + extension);
        QVERIFY(ImageFixtures::save(ImageFixtures::filled(300, 200, QColor(200, 30, 30)), path));

        const auto small = Thumbnails::ofFile(path, 100);
        QVERIFY(small && near(centre(*small), QColor(200, 30, 30)));
        QCOMPARE(small->width(), 100);
        QCOMPARE(Thumbnails::ofFile(path, 440).value_or(QImage()).size(), QSize(300, 200)); // never enlarged
        // The same bytes downloaded decode the same way.
        QCOMPARE(Thumbnails::ofData(readAll(path), 100).value_or(QImage()).size(), small->size());
    }

    // Every thumbnail carries the size it was made from, as shown: turned when its
    // orientation says so; one of a file also the file's size, a download none.
    void sourceSizeCarried_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("orientation");
        QTest::addColumn<QSize>("source");
        QTest::newRow("png, shrunk") << "wide.png" << 0 << QSize(900, 300);
        QTest::newRow("jpeg turned a quarter") << "turned.jpg" << 6 << QSize(300, 900);
        QTest::newRow("bmp, through Qt") << "old.bmp" << 0 << QSize(900, 300);
    }
    void sourceSizeCarried() {
        QFETCH(QString, name);
        QFETCH(int, orientation);
        QFETCH(QSize, source);
        TempTree tree;
        const QString path = tree.path(name);
        QVERIFY(ImageFixtures::save(ImageFixtures::filled(900, 300, Qt::blue), path, orientation));
        const auto image = Thumbnails::ofFile(path, 100);
        QVERIFY(image && std::max(image->width(), image->height()) == 100);
        QCOMPARE(ImageDetails::sourceSize(*image), source);
        QCOMPARE(ImageDetails::fileBytes(*image), std::optional(QFileInfo(path).size()));
        const QImage downloaded = Thumbnails::ofData(readAll(path), 100).value_or(QImage());
        QCOMPARE(ImageDetails::sourceSize(downloaded), source);
        QCOMPARE(ImageDetails::fileBytes(downloaded), std::nullopt);
    }

    // Vector pictures are drawn at the ceiling, so an icon is sharp on the card,
    // and report the size they declare. The content decides, not the name.
    void svgDrawn_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QSize>("drawn"); // at a ceiling of 120
        QTest::addColumn<QSize>("source");
        const QByteArray icon = SvgFixtures::icon();
        QTest::newRow("24 px icon") << "icon.svg" << icon << QSize(120, 120) << QSize(24, 24);
        QTest::newRow("svgz") << "icon.svgz" << SvgFixtures::gzip(icon) << QSize(120, 120) << QSize(24, 24);
        QTest::newRow("wide, sized in pixels")
            << "wide.svg" << SvgFixtures::icon("width=\"48\" height=\"32\"", "0 0 48 32") << QSize(120, 80)
            << QSize(48, 32);
        QTest::newRow("only a view box")
            << "box.svg" << SvgFixtures::icon("", "0 0 300 150") << QSize(120, 60) << QSize(300, 150);
        QTest::newRow("svg under a png name") << "drawing.png" << icon << QSize(120, 120) << QSize(24, 24);
        QTest::newRow("declared at the pixel limit")
            << "limit.svg" << SvgFixtures::icon("width=\"10000\" height=\"10000\"", "0 0 1 1")
            << QSize(120, 120) << QSize(10000, 10000);
    }
    void svgDrawn() {
        QFETCH(QString, name);
        QFETCH(QByteArray, contents);
        QFETCH(QSize, drawn);
        QFETCH(QSize, source);
        TempTree tree;
        const QString path = tree.file(name, contents);
        for (const std::optional<QImage>& image :
             {Thumbnails::ofFile(path, 120), Thumbnails::ofData(contents, 120)}) {
            QVERIFY(image);
            QCOMPARE(image->size(), drawn);
            QVERIFY(near(centre(*image), QColor(0xd0, 0x20, 0x20)));
            QCOMPARE(ImageDetails::sourceSize(*image), source);
        }
        // The file's own size, compressed for an .svgz: what a file manager shows.
        QCOMPARE(ImageDetails::fileBytes(Thumbnails::ofFile(path, 120).value_or(QImage())),
                 std::optional(qint64(contents.size())));
        FileImages files;
        QCOMPARE(load(files, QUrl::fromLocalFile(path), 120).value_or(QImage()).size(), drawn);
    }

    // Hostile or broken SVG is refused like any other bad image, from a file
    // and as a download, and the worker is free again at once for the next
    // file. (What the document check refuses on its own is its test's.)
    void svgRefused_data() {
        QTest::addColumn<QByteArray>("contents");
        const QByteArray icon = SvgFixtures::icon();
        QTest::newRow("billion laughs, compressed") << SvgFixtures::gzip(SvgFixtures::billionLaughs());
        QTest::newRow("external image")
            << QByteArray("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"9\" height=\"9\">"
                          "<image width=\"9\" height=\"9\" href=\"file:///etc/hosts\"/></svg>");
        QTest::newRow("100000 x 100000 view box") << SvgFixtures::icon("", "0 0 100000 100000");
        QTest::newRow("100000 x 100000 declared") << SvgFixtures::icon("width=\"100000\" height=\"100000\"");
        QTest::newRow("zero width") << SvgFixtures::icon("width=\"0\" height=\"24\"");
        QTest::newRow("truncated svgz") << SvgFixtures::gzip(icon).chopped(12);
        QTest::newRow("gzip of something else") << SvgFixtures::gzip("just some words");
    }
    void svgRefused() {
        QFETCH(QByteArray, contents);
        TempTree tree;
        const QString path = tree.file(QStringLiteral("bad.svg"), contents);
        QVERIFY(!Thumbnails::ofFile(path, 440));
        QVERIFY(!Thumbnails::ofData(contents, 440));
        FileImages files;
        QVERIFY(!load(files, QUrl::fromLocalFile(path), 440));
        const QString good = tree.file(QStringLiteral("good.svg"), SvgFixtures::icon());
        QVERIFY(load(files, QUrl::fromLocalFile(good), 440));
    }

    // A drawing that takes longer than its time is abandoned, not waited for.
    void svgDeadline() {
        QByteArray body;
        for (int i = 0; i < 8; ++i) {
            body += "<circle cx=\"" + QByteArray::number(i % 1000) + "\" cy=\"" +
                    QByteArray::number(i * 7 % 1000) +
                    "\" r=\"300\" fill=\"#c03\" filter=\"url(#f)\" opacity=\"0.5\"/>";
        }
        const QByteArray slow = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"1000\" height=\"1000\">"
                                "<defs><filter id=\"f\">" +
                                QByteArray("<feGaussianBlur stdDeviation=\"40\"/>").repeated(8) +
                                "</filter></defs>" + body + "</svg>";
        QVERIFY(!Thumbnails::ofSvg(slow, 840, 1));
        // Not refused for what it is: small and given time, it draws.
        QVERIFY(Thumbnails::ofSvg(slow, 60, 60'000));
    }

    // "[...]" at the end of a name is part of it, not loader options.
    void orientationApplied_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("orientation");
        QTest::addColumn<QSize>("size");
        QTest::newRow("turned a quarter") << "photo.jpg" << 6 << QSize(60, 120);
        QTest::newRow("brackets in the name") << "shot[1].png" << 0 << QSize(120, 60);
    }
    void orientationApplied() {
        QFETCH(QString, name);
        QFETCH(int, orientation);
        QFETCH(QSize, size);
        TempTree tree;
        const QString path = tree.path(name);
        QVERIFY(ImageFixtures::save(ImageFixtures::filled(120, 60, Qt::green), path, orientation));
        QCOMPARE(Thumbnails::ofFile(path, 440).value_or(QImage()).size(), size);
    }

    void badInput_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("contents");

        TempTree scratch;
        const QString png = scratch.path(QStringLiteral("good.png"));
        QVERIFY(ImageFixtures::save(ImageFixtures::filled(400, 300, Qt::blue), png));
        const QByteArray goodPNG = readAll(png);

        QTest::newRow("empty file") << "a.png" << QByteArray();
        QTest::newRow("text under an image name") << "notes.png" << QByteArray("just some words\n");
        QTest::newRow("html page under an image name")
            << "page.png" << QByteArray("<!DOCTYPE html><html><body>Not found</body></html>");
        QTest::newRow("png signature then noise")
            << "noise.png" << (goodPNG.left(8) + QByteArray(500, '\x5a'));
        QTest::newRow("truncated png") << "half.png" << goodPNG.left(goodPNG.size() / 2);
        QTest::newRow("enormous png") << "huge.png" << ImageFixtures::enormousPNGHeader(30000, 30000);
        QTest::newRow("zero width png") << "flat.png" << ImageFixtures::enormousPNGHeader(0, 10);
    }
    void badInput() {
        QFETCH(QString, name);
        QFETCH(QByteArray, contents);
        TempTree tree;
        const QString path = tree.file(name, contents);
        QVERIFY(!Thumbnails::ofFile(path, 440));
        QVERIFY(!Thumbnails::ofData(contents, 440));
        FileImages files;
        const QUrl url = QUrl::fromLocalFile(path);
        QVERIFY(!load(files, url, 440));
        QVERIFY(files.failed(url, 440)); // remembered: not decoded again while the file stays as it is
        QVERIFY(!load(files, QUrl::fromLocalFile(path + QStringLiteral(".gone.png")), 440));
        QCOMPARE(files.size(), 0);
        // Once the file is an image, it is tried again.
        QVERIFY(ImageFixtures::save(ImageFixtures::filled(8, 8, Qt::red), path));
        QVERIFY(!files.failed(url, 440));
        QVERIFY(load(files, url, 440));
    }

    // Files that would block, never end or take seconds to sniff are refused
    // before any decoder sees them.
    void specialFilesRefused_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("FIFO named x.png") << "fifo";
        QTest::newRow("link to /dev/zero named z.png") << "zero";
        QTest::newRow("1 GB sparse file named .png") << "sparse";
        QTest::newRow("sparse file with a PNG signature") << "signed sparse";
    }
    void specialFilesRefused() {
        QFETCH(QString, kind);
        TempTree tree;
        const QString path = tree.path(QStringLiteral("x.png"));
        const QByteArray name = QFile::encodeName(path);
        if (kind == "fifo") {
            QVERIFY(::mkfifo(name.constData(), 0600) == 0);
        } else if (kind == "zero") {
            QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
        } else {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            if (kind == "signed sparse") file.write("\x89PNG\r\n\x1a\n");
            QVERIFY(file.resize(qint64(1) << 30));
        }
        QVERIFY(!Thumbnails::ofFile(path, 440));
        FileImages files;
        QVERIFY(!load(files, QUrl::fromLocalFile(path), 440));
    }

    void cacheEmptiesAtThirtyFour_data() {
        QTest::addColumn<int>("files");
        QTest::addColumn<int>("entries");
        QTest::newRow("thirty-three fill it") << 33 << 33;
        QTest::newRow("the thirty-fourth empties it first") << 34 << 1;
    }
    void cacheEmptiesAtThirtyFour() {
        QFETCH(int, files);
        QFETCH(int, entries);
        TempTree tree;
        FileImages cache;
        for (int i = 0; i < files; ++i) {
            const QString path = tree.path(QStringLiteral("f%1.png").arg(i));
            QVERIFY(ImageFixtures::save(ImageFixtures::filled(8, 8, Qt::red), path));
            QVERIFY(load(cache, QUrl::fromLocalFile(path), 440));
        }
        QCOMPARE(cache.size(), entries);
    }

    // A decoding that another request superseded is stored but not announced.
    void supersededDecodeIsNotAnnounced() {
        TempTree tree;
        const QUrl first = QUrl::fromLocalFile(tree.path(QStringLiteral("first.png")));
        const QUrl second = QUrl::fromLocalFile(tree.path(QStringLiteral("second.png")));
        QVERIFY(ImageFixtures::save(ImageFixtures::filled(64, 64, Qt::red), first.toLocalFile()));
        QVERIFY(ImageFixtures::save(ImageFixtures::filled(64, 64, Qt::blue), second.toLocalFile()));
        FileImages files;
        QSignalSpy arrived(&files, &FileImages::arrived);
        files.fetch(first, 440);
        files.fetch(second, 440);
        QVERIFY(QTest::qWaitFor([&] { return files.size() == 2; }, 5000));
        QTest::qWait(20);
        QCOMPARE(arrived.size(), 1);
        QCOMPARE(arrived.first().first().toUrl(), second);
    }

    // Cached by ceiling and modification time: a new card width or a changed file decodes again.
    void cacheKey() {
        TempTree tree;
        const QString path = tree.path(QStringLiteral("shot.png"));
        const QUrl url = QUrl::fromLocalFile(path);
        FileImages cache;
        QVERIFY(ImageFixtures::save(ImageFixtures::filled(1000, 500, Qt::red), path));
        QCOMPARE(load(cache, url, 440).value_or(QImage()).size(), QSize(440, 220));
        QVERIFY(cache.cached(url, 440));
        QCOMPARE(cache.size(), 1);
        QCOMPARE(load(cache, url, 600).value_or(QImage()).size(), QSize(600, 300));
        QCOMPARE(cache.size(), 2);

        // Same size on disk, new contents and a new modification time.
        QVERIFY(ImageFixtures::save(ImageFixtures::filled(1000, 500, Qt::blue), path));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime));
        file.close();
        QVERIFY(!cache.cached(url, 440));
        const auto second = load(cache, url, 440);
        QVERIFY(second && near(centre(*second), Qt::blue));
        QCOMPARE(cache.size(), 3); // the old entries stay until the cache empties
    }
};

QTEST_MAIN(TestThumbnails)
#include "test_thumbnails.moc"
