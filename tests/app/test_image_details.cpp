// The caption's details: pixel size, file size in file-manager units, and how
// they share one line with the name.
#include "app/agent/ImageDetails.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QTest>

class TestImageDetails : public QObject {
    Q_OBJECT
  private slots:
    // Powers of 1000, decided on the figure as printed.
    void fileSize_data() {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("nothing") << qint64(0) << "0 bytes";
        QTest::newRow("one") << qint64(1) << "1 byte";
        QTest::newRow("just under a kilobyte") << qint64(999) << "999 bytes";
        QTest::newRow("a kilobyte is 1000 bytes") << qint64(1000) << "1.0 KB";
        QTest::newRow("1024 bytes") << qint64(1024) << "1.0 KB";
        QTest::newRow("one decimal below ten") << qint64(4260) << "4.3 KB";
        QTest::newRow("9.949 KB") << qint64(9949) << "9.9 KB";
        QTest::newRow("9.95 KB rounds to a whole ten") << qint64(9950) << "10 KB";
        QTest::newRow("whole above ten") << qint64(245'123) << "245 KB";
        QTest::newRow("999.4 KB") << qint64(999'499) << "999 KB";
        QTest::newRow("999.5 KB is a megabyte, not 1000 KB") << qint64(999'500) << "1.0 MB";
        QTest::newRow("a mebibyte") << qint64(1 << 20) << "1.0 MB";
        QTest::newRow("screenshot") << qint64(12'345'678) << "12 MB";
        QTest::newRow("gigabytes") << qint64(3'210'000'000) << "3.2 GB";
        QTest::newRow("the largest there is") << std::numeric_limits<qint64>::max() << "9223 PB";
        QTest::newRow("negative") << qint64(-1) << "";
    }
    void fileSize() {
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        QCOMPARE(ImageDetails::fileSize(bytes), text);
    }

    void text_data() {
        QTest::addColumn<QSize>("pixels");
        QTest::addColumn<qint64>("bytes"); // -2: a remote image, no file size
        QTest::addColumn<QString>("text");
        QTest::newRow("local") << QSize(1920, 1080) << qint64(245'000) << "1920 × 1080 · 245 KB";
        QTest::newRow("remote: dimensions only") << QSize(1920, 1080) << qint64(-2) << "1920 × 1080";
        QTest::newRow("one pixel, empty file") << QSize(1, 1) << qint64(0) << "1 × 1 · 0 bytes";
        QTest::newRow("size unknown") << QSize() << qint64(5000) << "5.0 KB";
        QTest::newRow("nothing known") << QSize() << qint64(-2) << "";
        QTest::newRow("empty size") << QSize(0, 10) << qint64(-2) << "";
    }
    void text() {
        QFETCH(QSize, pixels);
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        QCOMPARE(ImageDetails::text(pixels, bytes == -2 ? std::nullopt : std::optional(bytes)), text);
    }

    // The size survives the trip through the caches; what is not a size reads as none.
    void sourceSize_data() {
        QTest::addColumn<QString>("stored"); // "-": nothing stored
        QTest::addColumn<QSize>("size");
        QTest::newRow("stored") << "1920x1080" << QSize(1920, 1080);
        QTest::newRow("none") << "-" << QSize();
        QTest::newRow("garbage") << "1x2x3" << QSize();
    }
    void sourceSize() {
        QFETCH(QString, stored);
        QFETCH(QSize, size);
        QImage image(4, 4, QImage::Format_ARGB32_Premultiplied);
        if (stored != "-") image.setText(QStringLiteral("vistel-source-size"), stored);
        QCOMPARE(ImageDetails::sourceSize(image), size);
        ImageDetails::setSourceSize(image, QSize(640, 480));
        QCOMPARE(ImageDetails::sourceSize(image.copy()), QSize(640, 480)); // copies keep it
    }

    // The file size a thumbnail carries; anything else stored reads as none, so
    // the caption shows no size rather than a wrong one.
    void fileBytes_data() {
        QTest::addColumn<QString>("stored"); // "-": nothing stored
        QTest::addColumn<qint64>("bytes");   // -1: none
        QTest::newRow("stored") << "245123" << qint64(245'123);
        QTest::newRow("an empty file") << "0" << qint64(0);
        QTest::newRow("beyond 4 GB") << "5000000000" << qint64(5'000'000'000);
        QTest::newRow("none") << "-" << qint64(-1);
        QTest::newRow("negative") << "-5" << qint64(-1);
        QTest::newRow("garbage") << "12 KB" << qint64(-1);
    }
    void fileBytes() {
        QFETCH(QString, stored);
        QFETCH(qint64, bytes);
        QImage image(4, 4, QImage::Format_ARGB32_Premultiplied);
        if (stored != "-") image.setText(QStringLiteral("vistel-file-size"), stored);
        QCOMPARE(ImageDetails::fileBytes(image), bytes < 0 ? std::nullopt : std::optional(bytes));
        ImageDetails::setSourceSize(image, QSize(40, 30));
        QCOMPARE(ImageDetails::of(image), bytes < 0
                                              ? QStringLiteral("40 × 30")
                                              : QStringLiteral("40 × 30 · ") + ImageDetails::fileSize(bytes));
    }

    // Widths in multiples of the details' own width, so the table holds for any font.
    void caption_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("details");
        QTest::addColumn<double>("room"); // the line's width over the width of " · " + details
        QTest::addColumn<QString>("shape");
        // shape: "name", "details", "both" (whole name, details), "short" (elided name, details)
        const QString details = QStringLiteral("1920 × 1080 · 245 KB");
        QTest::newRow("name alone") << "hero.png"
                                    << "" << 3.0 << "name";
        QTest::newRow("details alone") << "" << details << 3.0 << "details";
        QTest::newRow("both fit") << "hero.png" << details << 3.0 << "both";
        QTest::newRow("long name gives way")
            << "Screenshot from 2026-12-07 10-00-00 and then some more words.png" << details << 1.6
            << "short";
        QTest::newRow("no room for any name") << "hero-frame@2x.png" << details << 1.0 << "details";
    }
    void caption() {
        QFETCH(QString, name);
        QFETCH(QString, details);
        QFETCH(double, room);
        QFETCH(QString, shape);
        QFont font = QGuiApplication::font();
        font.setPixelSize(12);
        const QFontMetricsF metrics(font);
        const QString tail = QStringLiteral(" · ") + details;
        const double width = room * metrics.horizontalAdvance(details.isEmpty() ? name : tail);
        const QString line = ImageDetails::caption(name, details, metrics, width);
        QVERIFY2(metrics.horizontalAdvance(line) <= width + 0.5, qPrintable(line));
        if (shape == "name") QCOMPARE(line, name);
        if (shape == "details") QCOMPARE(line, details);
        if (shape == "both") QCOMPARE(line, name + tail);
        if (shape == "short") {
            QVERIFY2(line.endsWith(tail) && line.contains(QChar(0x2026)), qPrintable(line));
            QVERIFY(line.startsWith(QStringLiteral("Scr")) && line.size() < name.size() + tail.size());
        }
    }
};

QTEST_MAIN(TestImageDetails)
#include "test_image_details.moc"
