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
        QTest::newRow("png") << QByteArray("\x89PNG\r\n\x1a\n....") << true;
        QTest::newRow("png, last signature byte wrong") << QByteArray("\x89PNG\r\n\x1a\r....") << false;
        QTest::newRow("png signature cut short") << QByteArray("\x89PNG\r\n") << false;
        QTest::newRow("jpeg") << QByteArray("\xff\xd8\xff\xe0") << true;
        QTest::newRow("jpeg, two bytes") << QByteArray("\xff\xd8") << false;
        QTest::newRow("gif89a") << QByteArray("GIF89a..") << true;
        QTest::newRow("gif88a") << QByteArray("GIF88a..") << false;
        QTest::newRow("webp") << QByteArray("RIFF\0\0\0\0WEBPVP8 ", 16) << true;
        QTest::newRow("riff wave") << QByteArray("RIFF\0\0\0\0WAVEfmt ", 16) << false;
        QTest::newRow("tiff, little-endian") << QByteArray("II*\0", 4) << true;
        QTest::newRow("tiff, big-endian") << QByteArray("MM\0*", 4) << true;
        QTest::newRow("tiff order, no 42") << QByteArray("II\0\0", 4) << false;
        QTest::newRow("bmp") << QByteArray("BM\x36\0\0\0", 6) << true;
        QTest::newRow("heic") << ftyp("heic", "mif1heic") << true;
        QTest::newRow("avif by a compatible brand") << ftyp("isom", "avifmif1") << true;
        QTest::newRow("mp4 video") << ftyp("isom", "isomiso2mp41") << false;
        const QByteArray minorOnly = QByteArray(3, '\0') + "\x10" + "ftypisomheic";
        QTest::newRow("brand only in the minor version") << minorOnly << false;
        QTest::newRow("zeros") << QByteArray(4096, '\0') << false;
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("text") << QByteArray("just some words") << false;
        QTest::newRow("svg") << QByteArray("<svg xmlns=\"http://www.w3.org/2000/svg\"/>") << false;
    }
    void isImage() {
        QFETCH(QByteArray, head);
        QFETCH(bool, image);
        QCOMPARE(ImageSignature::isImage(head), image);
    }
};

QTEST_GUILESS_MAIN(TestImageSignature)
#include "test_image_signature.moc"
