// The first bytes that let a file reach a decoder, and near misses that do not.
#include "app/agent/ImageSignature.h"

#include <QByteArray>
#include <QTest>

namespace {

QByteArray ftyp(const QByteArray& major, const QByteArray& compatible) {
    const QByteArray body = "ftyp" + major + QByteArray(4, '\0') + compatible;
    QByteArray box(4, '\0');
    box[3] = char(body.size() + 4);
    return box + body;
}

} // namespace

class TestImageSignature : public QObject {
    Q_OBJECT
  private slots:
    void isImage_data() {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<bool>("image");
        QTest::addColumn<bool>("vector");
        QTest::newRow("png") << QByteArray("\x89PNG\r\n\x1a\n....") << true << false;
        QTest::newRow("png, last signature byte wrong")
            << QByteArray("\x89PNG\r\n\x1a\r....") << false << false;
        QTest::newRow("png signature cut short") << QByteArray("\x89PNG\r\n") << false << false;
        QTest::newRow("jpeg") << QByteArray("\xff\xd8\xff\xe0") << true << false;
        QTest::newRow("jpeg, two bytes") << QByteArray("\xff\xd8") << false << false;
        QTest::newRow("gif89a") << QByteArray("GIF89a..") << true << false;
        QTest::newRow("gif88a") << QByteArray("GIF88a..") << false << false;
        QTest::newRow("webp") << QByteArray("RIFF\0\0\0\0WEBPVP8 ", 16) << true << false;
        QTest::newRow("riff wave") << QByteArray("RIFF\0\0\0\0WAVEfmt ", 16) << false << false;
        QTest::newRow("tiff, little-endian") << QByteArray("II*\0", 4) << true << false;
        QTest::newRow("tiff, big-endian") << QByteArray("MM\0*", 4) << true << false;
        QTest::newRow("tiff order, no 42") << QByteArray("II\0\0", 4) << false << false;
        QTest::newRow("bmp") << QByteArray("BM\x36\0\0\0", 6) << true << false;
        QTest::newRow("heic") << ftyp("heic", "mif1heic") << true << false;
        QTest::newRow("avif by a compatible brand") << ftyp("isom", "avifmif1") << true << false;
        QTest::newRow("mp4 video") << ftyp("isom", "isomiso2mp41") << false << false;
        const QByteArray minorOnly = QByteArray(3, '\0') + "\x10" + "ftypisomheic";
        QTest::newRow("brand only in the minor version") << minorOnly << false << false;
        QTest::newRow("zeros") << QByteArray(4096, '\0') << false << false;
        QTest::newRow("empty") << QByteArray() << false << false;
        QTest::newRow("text") << QByteArray("just some words") << false << false;
        // SVG, to be confirmed by reading the whole document.
        QTest::newRow("svg") << QByteArray("<svg xmlns=\"http://www.w3.org/2000/svg\"/>") << true << true;
        QTest::newRow("svg root, no blank") << QByteArray("<svg>") << true << true;
        QTest::newRow("xml declaration") << QByteArray("<?xml version=\"1.0\"?>") << true << true;
        QTest::newRow("byte-order mark, blanks, comment")
            << QByteArray("\xef\xbb\xbf \r\n\t<!-- icon -->") << true << true;
        QTest::newRow("svg document type") << QByteArray("<!DOCTYPE svg PUBLIC") << true << true;
        QTest::newRow("gzip (svgz)") << QByteArray("\x1f\x8b\x08\0\0\0\0\0", 8) << true << true;
        QTest::newRow("gzip, unknown method") << QByteArray("\x1f\x8b\x07\0", 4) << false << false;
        QTest::newRow("html page") << QByteArray("<!DOCTYPE html><html>") << false << false;
        QTest::newRow("html element") << QByteArray("<html><body>") << false << false;
        QTest::newRow("an element named svgfoo") << QByteArray("<svgfoo>") << false << false;
        QTest::newRow("svg after text") << QByteArray("hello <svg>") << false << false;
    }
    void isImage() {
        QFETCH(QByteArray, head);
        QFETCH(bool, image);
        QFETCH(bool, vector);
        QCOMPARE(ImageSignature::isImage(head), image);
        QCOMPARE(ImageSignature::kind(head) == ImageSignature::Kind::Vector, vector);
    }
};

QTEST_GUILESS_MAIN(TestImageSignature)
#include "test_image_signature.moc"
