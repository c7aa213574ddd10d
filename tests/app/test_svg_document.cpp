// Which SVG documents may reach the renderer: self-contained ones only.
#include "SvgFixtures.h"
#include "app/agent/SvgDocument.h"

#include <QTest>

namespace {

QByteArray svg(const QByteArray& body, const QByteArray& prolog = {}) {
    return prolog +
           "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
           "width=\"24\" height=\"24\">" +
           body + "</svg>";
}

// count elements drawn through a filter of steps blur primitives.
QByteArray filtered(int count, int steps, const QByteArray& how = "filter=\"url(#f)\"") {
    return svg("<filter id=\"f\">" + QByteArray("<feGaussianBlur stdDeviation=\"2\"/>").repeated(steps) +
               "</filter>" + ("<circle r=\"5\" " + how + "/>").repeated(count));
}

QByteArray nested(int depth) {
    return svg(QByteArray("<g>").repeated(depth) + QByteArray("</g>").repeated(depth));
}

} // namespace

class TestSvgDocument : public QObject {
    Q_OBJECT
  private slots:
    void selfContained_data() {
        QTest::addColumn<QByteArray>("markup");
        QTest::addColumn<bool>("passes");
        const auto row = [](const char* name, const QByteArray& markup, bool passes) {
            QTest::newRow(name) << markup << passes;
        };
        row("icon", SvgFixtures::icon(), true);
        row("gradient by fragment",
            svg("<defs><linearGradient id=\"g\"/></defs><rect width=\"9\" height=\"9\" fill=\"url(#g)\"/>"),
            true);
        row("use by xlink fragment", svg("<circle id=\"c\" r=\"3\"/><use xlink:href=\"#c\" x=\"5\"/>"), true);
        row("embedded png",
            svg("<image width=\"4\" height=\"4\" href=\"data:image/png;base64,iVBORw0KGgo=\"/>"), true);
        row("style sheet by fragment", svg("<style>.a { fill: url( '#g' ) }</style>"), true);
        row("an external DTD is never fetched",
            svg("", "<!DOCTYPE svg PUBLIC \"-//W3C//DTD SVG 1.1//EN\" "
                    "\"http://www.w3.org/Graphics/SVG/1.1/DTD/svg11.dtd\">\n"),
            true);

        row("billion laughs", SvgFixtures::billionLaughs(), false);
        row("one harmless entity", svg("<text>&a;</text>", "<!DOCTYPE svg [<!ENTITY a \"b\">]>"), false);
        row("parameter entity", svg("", "<!DOCTYPE svg [<!ENTITY % p \"x\">]>"), false);
        row("external entity",
            svg("<text>&x;</text>", "<!DOCTYPE svg [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>"), false);
        row("undeclared entity", svg("<text>&nope;</text>"), false);
        row("image from a file", svg("<image width=\"4\" height=\"4\" xlink:href=\"file:///etc/hosts\"/>"),
            false);
        row("image beside it", svg("<image width=\"4\" height=\"4\" href=\"shot.png\"/>"), false);
        row("image from the web", svg("<image href=\"https://example.org/x.png\"/>"), false);
        row("svg as a data URL", svg("<image href=\"data:image/svg+xml;base64,PHN2Zy8+\"/>"), false);
        row("href escaped as a character reference", svg("<image href=\"&#102;ile:///etc/hosts\"/>"), false);
        row("fill from the web", svg("<rect fill=\"url(http://example.org/p.svg#g)\"/>"), false);
        row("style attribute from a file", svg("<rect style=\"filter: url(f.svg#blur)\"/>"), false);
        row("style sheet import", svg("<style>@import url(#x);</style>"), false);
        row("import split by CDATA", svg("<style>@imp<![CDATA[ort]]> url(x.css);</style>"), false);
        row("a link to the web is never drawn", svg("<a href=\"https://example.org\"><rect/></a>"), true);
        row("style sheet url to a file", svg("<style>rect { fill: url(\"a.svg#p\") }</style>"), false);
        row("style sheet instruction", svg("", "<?xml-stylesheet href=\"s.css\" type=\"text/css\"?>"), false);
        row("xinclude", svg("<xi:include xmlns:xi=\"http://www.w3.org/2001/XInclude\" href=\"x.svg\"/>"),
            false);
        row("root not svg", "<?xml version=\"1.0\"?><rect/>", false);
        row("truncated", SvgFixtures::icon().left(70), false);
        row("empty", QByteArray(), false);
        row("256 levels deep", nested(255), true);
        row("257 levels deep", nested(256), false);
        row("50 000 elements", svg(QByteArray("<g/>").repeated(49'999)), true);
        row("50 001 elements", svg(QByteArray("<g/>").repeated(50'000)), false);
        row("drop-shadowed icon", filtered(3, 4), true);
        row("filter work at the limit", filtered(8, 8), true);
        row("one more element through the filter", filtered(9, 8), false);
        row("one more filter step", filtered(8, 9), false);
        row("filtered by style", filtered(33, 2, "style=\"fill: red; filter:url( '#f' )\""), false);
        row("a filter that is not there", filtered(100, 8, "filter=\"url(#g)\""), true);
        row("what is not drawn through a filter costs nothing",
            filtered(100, 8, "filter=\"none\"").replace("</svg>", "<rect filter=\"url(#f)\"/></svg>"), true);
        row("named twice, counted twice", filtered(5, 8, "filter=\"url(#f)\" style=\"filter:url(#f)\""),
            false);
        row("filter none is no filter", filtered(1000, 8, "filter=\"none\""), true);
        row("many steps, nothing filtered", filtered(0, 1000), true);
    }
    void selfContained() {
        QFETCH(QByteArray, markup);
        QFETCH(bool, passes);
        QCOMPARE(SvgDocument::isSelfContained(markup), passes);
    }

    void markup_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<qsizetype>("limit");
        QTest::addColumn<QByteArray>("markup"); // "-": none
        const QByteArray icon = SvgFixtures::icon();
        const QByteArray packed = SvgFixtures::gzip(icon);
        QTest::newRow("plain") << icon << qsizetype(1000) << icon;
        QTest::newRow("plain, one byte over") << icon << qsizetype(icon.size() - 1) << QByteArray("-");
        QTest::newRow("svgz") << packed << qsizetype(1000) << icon;
        QTest::newRow("svgz inflating to exactly the limit") << packed << icon.size() << icon;
        QTest::newRow("svgz inflating past the limit")
            << packed << qsizetype(icon.size() - 1) << QByteArray("-");
        // A few kilobytes that inflate to 64 MB: stopped at the limit, not inflated whole.
        QTest::newRow("gzip bomb") << SvgFixtures::gzip(QByteArray(64 << 20, ' ')) << qsizetype(8 << 20)
                                   << QByteArray("-");
        QTest::newRow("svgz cut short")
            << packed.left(packed.size() / 2) << qsizetype(1000) << QByteArray("-");
        QTest::newRow("gzip magic then noise")
            << QByteArray("\x1f\x8b\x08 noise noise noise") << qsizetype(1000) << QByteArray("-");
    }
    void markup() {
        QFETCH(QByteArray, file);
        QFETCH(qsizetype, limit);
        QFETCH(QByteArray, markup);
        const std::optional<QByteArray> got = SvgDocument::markup(file, limit);
        QCOMPARE(got.value_or("-"), markup);
    }
};

QTEST_GUILESS_MAIN(TestSvgDocument)
#include "test_svg_document.moc"
