// Downloads against a real HTTP server on 127.0.0.1: one request per URL,
// superseded downloads dropped, and every kind of bad answer showing nothing
// and never asked for again.
#include "HttpTestServer.h"
#include "ImageFixtures.h"
#include "SvgFixtures.h"
#include "TempTree.h"
#include "app/agent/ImageDetails.h"
#include "app/agent/RemoteImages.h"

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
    return {.maxBytes = 256 * 1024, .stallMilliseconds = 400, .maxRedirects = 5};
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
        server.route("/a.png", {.body = red_, .hold = true});
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
        QCOMPARE(arrived.first().at(1).value<QImage>().size(), QSize(440, 220)); // at the ceiling
        QVERIFY(remote.cached(server.url("/a.png")));
    }

    // A pending download dropped for another URL or forgotten: what it brings later is not kept.
    void supersededDownloadIsDropped_data() {
        QTest::addColumn<bool>("forgotten");
        QTest::newRow("another URL asked for") << false;
        QTest::newRow("request forgotten") << true;
    }
    void supersededDownloadIsDropped() {
        QFETCH(bool, forgotten);
        HttpTestServer server;
        server.route("/slow.png", {.body = red_, .hold = true});
        server.route("/b.png", {.body = blue_});
        RemoteImages remote(smallLimits(), nullptr);
        QSignalSpy arrived(&remote, &RemoteImages::arrived);

        remote.fetch(server.url("/slow.png"), 440);
        QTRY_COMPARE(server.requests("/slow.png"), 1);
        if (forgotten) {
            remote.forgetRequest();
        } else {
            remote.fetch(server.url("/b.png"), 440);
            QTRY_COMPARE(arrived.size(), 1);
            QCOMPARE(arrived.first().at(0).toUrl(), server.url("/b.png"));
        }
        server.release("/slow.png");
        QTest::qWait(200);
        QCOMPARE(arrived.size(), forgotten ? 0 : 1);
        QVERIFY(!remote.cached(server.url("/slow.png")));
        QCOMPARE(remote.size(), forgotten ? 0 : 1);
        if (forgotten) { // so it may be asked for again
            remote.fetch(server.url("/slow.png"), 440);
            QTRY_COMPARE(server.requests("/slow.png"), 2);
        }
    }

    void badAnswersShowNothing_data() {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<HttpTestServer::Route>("route");
        const QByteArray html = "<html><body><h1>Not here</h1></body></html>";
        const QByteArray tooMuch(300 * 1024, 'x');
        QTest::newRow("html page") << QByteArray("/page.png")
                                   << Route{.headers = "Content-Type: text/html\r\n", .body = html};
        QTest::newRow("error status with an image")
            << QByteArray("/denied.png") << Route{.status = "403 Forbidden", .body = blue_};
        QTest::newRow("announced too large") << QByteArray("/big.png") << Route{.body = tooMuch};
        QTest::newRow("too large without a length")
            << QByteArray("/chunked.png") << Route{.body = red_ + tooMuch, .chunked = true};
        QTest::newRow("stalls") << QByteArray("/stall.png") << Route{.body = red_, .stall = true};
        QTest::newRow("redirects forever")
            << QByteArray("/loop.png") << Route{.status = "302 Found", .headers = "Location: /loop.png\r\n"};
        QTest::newRow("empty body") << QByteArray("/empty.png") << Route{};
        QTest::newRow("svg with entities")
            << QByteArray("/laughs.svg") << Route{.body = SvgFixtures::billionLaughs()};
    }

    // A web SVG is drawn at the ceiling and says the size it declares, whether
    // it comes as markup or gzipped.
    void svgDownloads_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("svg") << SvgFixtures::icon("width=\"48\" height=\"24\"", "0 0 48 24");
        QTest::newRow("svgz") << SvgFixtures::gzip(
            SvgFixtures::icon("width=\"48\" height=\"24\"", "0 0 48 24"));
    }
    void svgDownloads() {
        QFETCH(QByteArray, body);
        HttpTestServer server;
        server.route("/logo.svg", {.headers = "Content-Type: image/svg+xml\r\n", .body = body});
        RemoteImages remote(smallLimits(), nullptr);
        QSignalSpy arrived(&remote, &RemoteImages::arrived);
        remote.fetch(server.url("/logo.svg"), 440);
        QTRY_COMPARE_WITH_TIMEOUT(arrived.size(), 1, 10000);
        const QImage image = arrived.first().at(1).value<QImage>();
        QCOMPARE(image.size(), QSize(440, 220));
        QCOMPARE(ImageDetails::sourceSize(image), QSize(48, 24));
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

    // An endless body without a declared length is cut off at the cap, not
    // after whatever the network layer buffered meanwhile.
    void endlessBodyStopsAtTheCap() {
        HttpTestServer server;
        server.route("/endless.png", {.body = red_.left(64), .endless = true});
        RemoteImages remote(smallLimits(), nullptr);
        QSignalSpy failed(&remote, &RemoteImages::failed);
        remote.fetch(server.url("/endless.png"), 440);
        QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 10000);
        QTest::qWait(200); // whatever was still in flight
        const qint64 sent = server.sent("/endless.png");
        QVERIFY2(sent > smallLimits().maxBytes, qPrintable(QString::number(sent)));
        // The read buffer and the socket's own buffers are all that may pass the cap.
        QVERIFY2(sent < smallLimits().maxBytes + 8 * 1024 * 1024, qPrintable(QString::number(sent)));
    }

    // An endless body that does not start like an image is refused at once.
    void endlessNonImageStopsAtOnce() {
        HttpTestServer server;
        server.route("/endless.png", {.body = "<html><body>", .endless = true});
        RemoteImages::Limits limits = smallLimits();
        limits.maxBytes = 64 * 1024 * 1024;
        RemoteImages remote(limits, nullptr);
        QSignalSpy failed(&remote, &RemoteImages::failed);
        remote.fetch(server.url("/endless.png"), 440);
        QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 10000);
        QTest::qWait(200);
        // Only what the sockets' buffers took before the refusal, far below the cap.
        const qint64 sent = server.sent("/endless.png");
        QVERIFY2(sent < 16 * 1024 * 1024, qPrintable(QString::number(sent)));
    }

    // A slow body that never ends but never stalls either meets the deadline.
    void deadlineEndsADownload() {
        HttpTestServer server;
        server.route("/slow.png", {.body = red_, .hold = true});
        RemoteImages::Limits limits = smallLimits();
        limits.stallMilliseconds = 60'000;
        limits.deadlineMilliseconds = 300;
        RemoteImages remote(limits, nullptr);
        QSignalSpy failed(&remote, &RemoteImages::failed);
        remote.fetch(server.url("/slow.png"), 440);
        QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 10000);
    }

    // User information read off the screen is never sent, not even when asked for.
    void credentialsAreNotSent() {
        HttpTestServer server;
        server.route("/private.png", {.status = "401 Unauthorized",
                                      .headers = "WWW-Authenticate: Basic realm=\"x\"\r\n",
                                      .body = "no"});
        RemoteImages remote(smallLimits(), nullptr);
        QSignalSpy failed(&remote, &RemoteImages::failed);
        QUrl url = server.url("/private.png");
        url.setUserInfo("user:secret");
        remote.fetch(url, 440);
        QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 10000);
        QTest::qWait(100);
        QVERIFY(server.requests("/private.png") >= 1);
        for (const QByteArray& head : server.heads("/private.png"))
            QVERIFY2(!head.toLower().contains("authorization"), head.constData());
    }

  private:
    QByteArray red_;
    QByteArray blue_;
};

QTEST_MAIN(TestRemoteImages)
#include "test_remote_images.moc"
