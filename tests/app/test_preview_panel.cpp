// The card as a window: never focused nor clicked, sized by the settings, the
// caption and message layouts, and where it lands beside the pointer.
#include "TempTree.h"
#include "app/PreviewPanel.h"
#include "core/Settings.h"

#include <QSignalSpy>
#include <QTest>

class TestPreviewPanel : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { Settings::useStoreFile(store_.path(QStringLiteral("settings.conf"))); }
    void init() {
        Settings::setPreviewWidth(220);
        Settings::setShowCaption(true);
    }

    void neverTakesFocusNorInput() {
        PreviewPanel panel;
        const Qt::WindowFlags flags = panel.windowFlags();
        for (const Qt::WindowType flag : {Qt::Tool, Qt::FramelessWindowHint, Qt::WindowStaysOnTopHint,
                                          Qt::WindowDoesNotAcceptFocus, Qt::WindowTransparentForInput}) {
            QVERIFY2(flags.testFlag(flag), qPrintable(QString::number(flag, 16)));
        }
        QVERIFY(panel.testAttribute(Qt::WA_ShowWithoutActivating));
        QVERIFY(panel.testAttribute(Qt::WA_TransparentForMouseEvents));
        QVERIFY(panel.testAttribute(Qt::WA_TranslucentBackground));
        QCOMPARE(panel.focusPolicy(), Qt::NoFocus);
    }

    // Without a compositor the corners are cut out of the window, following a
    // width change; with one the window stays whole.
    void shapedCornersFollowTheCard() {
        PreviewPanel panel;
        QVERIFY(panel.mask().isEmpty());
        panel.setShapedCorners(true);
        QVERIFY(!panel.mask().contains(QPoint(1, 1)));
        QVERIFY(panel.mask().contains(QPoint(110, 80)));
        QVERIFY(panel.mask().contains(QPoint(14, 1)));
        Settings::setPreviewWidth(420);
        panel.applySettings();
        QVERIFY(!panel.mask().contains(QPoint(418, 303)));
        QVERIFY(panel.mask().contains(QPoint(400, 280)));
        panel.setShapedCorners(false);
        QVERIFY(panel.mask().isEmpty());
    }

    void messageThenImage_data() {
        QTest::addColumn<bool>("caption");
        QTest::newRow("with caption") << true;
        QTest::newRow("without caption") << false;
    }
    void messageThenImage() {
        QFETCH(bool, caption);
        Settings::setShowCaption(caption);
        PreviewPanel panel;
        panel.showMessage(QStringLiteral("Screen Recording is off."), {500, 400}, area());
        QVERIFY(panel.showsMessage());
        QVERIFY(!panel.imageVisible());
        QVERIFY(panel.labelVisible());
        QCOMPARE(panel.labelFrame(), QRectF(14, 14, 192, 132));
        QCOMPARE(panel.labelText(), QStringLiteral("Screen Recording is off."));

        panel.showImage(image(), QUrl(QStringLiteral("https://example.com/a/chart.webp")), {500, 400},
                        area());
        QVERIFY(!panel.showsMessage());
        QVERIFY(panel.imageVisible());
        QCOMPARE(panel.labelFrame(), QRectF(10, 134, 200, 16));
        QCOMPARE(panel.labelVisible(), caption);
        QCOMPARE(panel.labelText(), QStringLiteral("chart.webp"));
        QCOMPARE(panel.imageFrame(), caption ? QRectF(10, 10, 200, 116) : QRectF(10, 10, 200, 140));
        if (caption) { // turned off while shown: the image takes the band
            Settings::setShowCaption(false);
            panel.applySettings();
            QVERIFY(panel.isVisible());
            QCOMPARE(panel.imageFrame(), QRectF(10, 10, 200, 140));
            QVERIFY(!panel.labelVisible());
        }
    }

    void placedBesideThePointerAndReported() {
        PreviewPanel panel;
        QSignalSpy frames(&panel, &PreviewPanel::framesChanged);
        panel.showImage(image(), QUrl::fromLocalFile(QStringLiteral("/tmp/shot.png")), {500, 400}, area());
        QVERIFY(panel.isVisible());
        QCOMPARE(panel.geometry(), QRect(522, 418, 220, 160));
        QCOMPARE(frames.size(), 1);
        const auto shown = frames.takeFirst().at(0).value<QList<QRectF>>();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().size(), QSizeF(220, 160));

        panel.hideCard();
        QVERIFY(!panel.isVisible());
        QCOMPARE(frames.size(), 1);
        QVERIFY(frames.takeFirst().at(0).value<QList<QRectF>>().isEmpty());
        panel.hideCard(); // hiding a hidden card says nothing
        QCOMPARE(frames.size(), 0);
    }

  private:
    static QImage image() {
        QImage image(40, 30, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::red);
        return image;
    }
    static QRectF area() { return {0, 0, 1920, 1050}; }

    TempTree store_;
};

QTEST_MAIN(TestPreviewPanel)
#include "test_preview_panel.moc"
