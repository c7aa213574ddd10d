// Downloads against a real HTTP server on 127.0.0.1: one request per URL,
// superseded downloads dropped, and every kind of bad answer showing nothing
// and never asked for again.
#include "HttpTestServer.h"
#include "ImageFixtures.h"
#include "TempTree.h"
#include "app/RemoteImages.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

Q_DECLARE_METATYPE(HttpTestServer::Route)

using Route = HttpTestServer::Route;

namespace {

QByteArray pngBytes(int width, int height, QColor colour) {
    TempTree tree;
    const QString path = tree.path(QStringLiteral("x.png"));
    if (!ImageFixtures::save(ImageFixtures::filled(width, height, colour), path)) return {};
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

RemoteImages::Limits smallLimits() {
    RemoteImages::Limits limits;
    limits.maxBytes = 256 * 1024;
    limits.stallMilliseconds = 400;
    limits.maxRedirects = 5;
    return limits;
}

} // namespace

class TestRemoteImages : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() {
        red_ = pngBytes(800, 400, Qt::red);
        blue_ = pngBytes(30, 30, Qt::blue);
        QVERIFY(!red_.isEmpty() && !blue_.isEmpty());
    }

    void foundTwiceDownloadsOnce() {
        HttpTestServer server;
        server.route("/a.png", Route::ok(red_).held());
        RemoteImages remote(smallLimits(), nullptr);
        QSignalSpy arrived(&remote, &RemoteImages::arrived);

        remote.fetch(server.url("/a.png"), 440);
        QTRY_COMPARE(server.requests("/a.png"), 1);
        remote.fetch(server.url("/a.png"), 440);
        server.release("/a.png");
        QTRY_COMPARE(arrived.size(), 1);
        remote.fetch(server.url("/a.png"), 440); // done: still not asked again
        QTest::qWait(100);
        QCOMPARE(server.requests("/a.png"), 1);
        QCOMPARE(arrived.size(), 1);

        // Decoded at the ceiling, not at full size.
        QCOMPARE(arrived.first().at(1).value<QImage>().size(), QSize(440, 220));
        QVERIFY(remote.cached(server.url("/a.png")));
    }

    void secondURLCancelsTheFirst() {
        HttpTestServer server;
        server.route("/slow.png", Route::ok(red_).held());
        server.route("/b.png", Route::ok(blue_));
        RemoteImages remote(smallLimits(), nullptr);
        QSignalSpy arrived(&remote, &RemoteImages::arrived);

        remote.fetch(server.url("/slow.png"), 440);
        QTRY_COMPARE(server.requests("/slow.png"), 1);
        remote.fetch(server.url("/b.png"), 440);
        QTRY_COMPARE(arrived.size(), 1);
        QCOMPARE(arrived.first().at(0).toUrl(), server.url("/b.png"));
        QCOMPARE(remote.requestedURL(), server.url("/b.png"));

        server.release("/slow.png");
        QTest::qWait(200);
        QCOMPARE(arrived.size(), 1);
        QVERIFY(!remote.cached(server.url("/slow.png")));
    }

    void forgottenRequestStoresNothing() {
        HttpTestServer server;
        server.route("/a.png", Route::ok(red_).held());
        RemoteImages remote(smallLimits(), nullptr);
        QSignalSpy arrived(&remote, &RemoteImages::arrived);
        remote.fetch(server.url("/a.png"), 440);
        QTRY_COMPARE(server.requests("/a.png"), 1);
        remote.forgetRequest();
        server.release("/a.png");
        QTest::qWait(200);
        QCOMPARE(arrived.size(), 0);
        QCOMPARE(remote.size(), 0);
        // Forgotten, so it may be asked for again.
        remote.fetch(server.url("/a.png"), 440);
        QTRY_COMPARE(server.requests("/a.png"), 2);
    }

    void badAnswersShowNothing_data() {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<HttpTestServer::Route>("route");
        const QByteArray html = "<html><body><h1>Not here</h1></body></html>";
        QTest::newRow("html page") << QByteArray("/page.png")
                                   << Route::ok(html).withHeaders("Content-Type: text/html\r\n");
        QTest::newRow("error status with html")
            << QByteArray("/missing.png") << Route::ok(html).withStatus("404 Not Found");
        QTest::newRow("error status with an image")
            << QByteArray("/denied.png") << Route::ok(blue_).withStatus("403 Forbidden");
        QTest::newRow("announced too large")
            << QByteArray("/big.png") << Route::ok(QByteArray(300 * 1024, 'x'));
        QTest::newRow("too large without a length")
            << QByteArray("/chunked.png") << Route::ok(red_ + QByteArray(300 * 1024, 'x')).inChunks();
        QTest::newRow("stalls") << QByteArray("/stall.png") << Route::ok(red_).stalling();
        QTest::newRow("redirects forever")
            << QByteArray("/loop.png")
            << Route().withStatus("302 Found").withHeaders("Location: /loop.png\r\n");
        QTest::newRow("enormous image")
            << QByteArray("/huge.png") << Route::ok(ImageFixtures::enormousPNGHeader(30000, 30000));
        QTest::newRow("empty body") << QByteArray("/empty.png") << Route();
        QTest::newRow("truncated image") << QByteArray("/half.png") << Route::ok(red_.left(red_.size() / 2));
    }
    void badAnswersShowNothing() {
        QFETCH(QByteArray, path);
        QFETCH(HttpTestServer::Route, route);
        HttpTestServer server;
        server.route(path, route);
        RemoteImages remote(smallLimits(), nullptr);
        QSignalSpy arrived(&remote, &RemoteImages::arrived);
        QSignalSpy failed(&remote, &RemoteImages::failed);

        remote.fetch(server.url(QString::fromLatin1(path)), 440);
        QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 10000);
        QCOMPARE(arrived.size(), 0);
        QCOMPARE(remote.size(), 0);

        // Not retried for the same URL.
        const int asked = server.requests(path);
        remote.fetch(server.url(QString::fromLatin1(path)), 440);
        QTest::qWait(100);
        QCOMPARE(server.requests(path), asked);
    }

  private:
    QByteArray red_;
    QByteArray blue_;
};

QTEST_MAIN(TestRemoteImages)
#include "test_remote_images.moc"
