#include "CapturedOutput.h"
#include "TempTree.h"
#include "core/AccessibilityLookup.h"
#include "core/CodexSessions.h"
#include "core/Diagnostics.h"
#include "core/ImageReference.h"

#include <QTest>
#include <cstdio>
#include <functional>
#include <memory>
#include <unistd.h>

using namespace AccessibilityLookup;

namespace {

// An element that answers from its fields and records what it was asked.
struct Fake final : Element {
    QString name;
    std::optional<QString> roleValue;
    Value urlValue;
    std::optional<QString> filenameValue;
    std::optional<QString> labels[3];
    std::optional<QRectF> frameValue;
    std::shared_ptr<Fake> parentValue;

    std::optional<QString> text;               // the element's whole text
    std::optional<CharacterRange> rangeAnswer; // what "AXRangeForPosition" says
    std::optional<QRectF> boundsAnswer;        // what "AXBoundsForRange" says, whatever the range
    std::optional<qint64> countAnswer;         // overrides the text's length
    std::optional<QString> stringAnswer;       // overrides the text read for any range

    int labelReads = 0;
    QList<CharacterRange> stringRequests;

    std::optional<QString> role() override { return roleValue; }
    Value url() override { return urlValue; }
    std::optional<QString> filename() override { return filenameValue; }
    std::optional<QString> label(Label which) override {
        ++labelReads;
        return labels[int(which)];
    }
    std::optional<QRectF> frame() override { return frameValue; }
    std::shared_ptr<Element> parent() override { return parentValue; }
    std::optional<CharacterRange> rangeForPosition(QPointF) override { return rangeAnswer; }
    std::optional<QRectF> boundsForRange(CharacterRange) override { return boundsAnswer; }
    std::optional<qint64> numberOfCharacters() override {
        if (countAnswer) return countAnswer;
        if (text) return text->size();
        return std::nullopt;
    }
    std::optional<QString> stringForRange(CharacterRange r) override {
        stringRequests.append(r);
        if (stringAnswer) return stringAnswer;
        if (!text || r.location < 0 || r.length < 0 || r.location + r.length > text->size())
            return std::nullopt;
        return text->mid(r.location, r.length);
    }
};

std::shared_ptr<Fake> fake(const QString& name) {
    auto f = std::make_shared<Fake>();
    f->name = name;
    return f;
}

// A line of text naming a reference, with the range under the pointer on it.
void putText(Fake& f, const QString& text, const QString& under) {
    f.text = text;
    f.rangeAnswer = CharacterRange{text.indexOf(under) + 2, 1};
}

QString shown(const std::optional<QUrl>& url) {
    return url ? url->toString() : QString();
}

const QPointF kPointer(100, 50);

} // namespace

class TestAccessibilityLookup : public QObject {
    Q_OBJECT

    std::unique_ptr<TempTree> tree_;

    QString file(const QString& relative) const { return tree_->url(relative).toString(); }

  private slots:
    void initTestCase() {
        Diagnostics::setArguments({QStringLiteral("test"), QStringLiteral("--debug")});
        ImageReference::MissLifetime::set(0);
    }

    void init() {
        tree_ = std::make_unique<TempTree>();
        tree_->file(QStringLiteral("shots/hero.png"));
        tree_->file(QStringLiteral("shots/notes.txt"));
        tree_->file(QStringLiteral("cover.png"));
        tree_->file(QStringLiteral("out/images/wrapped.png"));
        ImageReference::Roots::write({});
        ImageReference::Memo::clear();
        CodexSessions::setOverride(QList<QUrl>{});
    }

    void cleanup() { CodexSessions::setOverride(std::nullopt); }

    void chainStopsAtFiveOrAtTheTop_data() {
        QTest::addColumn<int>("depth");
        QTest::addColumn<QString>("expected");
        QTest::newRow("alone") << 1 << "e0";
        QTest::newRow("five") << 5 << "e0 e1 e2 e3 e4";
        QTest::newRow("eight, cut at five") << 8 << "e0 e1 e2 e3 e4";
    }
    void chainStopsAtFiveOrAtTheTop() {
        QFETCH(int, depth);
        QFETCH(QString, expected);
        std::shared_ptr<Fake> top;
        for (int i = depth - 1; i >= 0; --i) {
            auto e = fake(QStringLiteral("e%1").arg(i));
            e->parentValue = top;
            top = e;
        }
        QStringList names;
        for (const auto& e : chain(top))
            names.append(static_cast<Fake&>(*e).name);
        QCOMPARE(names.join(' '), expected);
    }

    void frameTest_data() {
        QTest::addColumn<std::optional<QRectF>>("frame");
        QTest::addColumn<QPointF>("pointer");
        QTest::addColumn<bool>("passes");
        const auto row = [](const char* name, std::optional<QRectF> frame, QPointF pointer, bool passes) {
            QTest::newRow(name) << frame << pointer << passes;
        };
        const QRectF box(100, 50, 200, 20); // x 100..300, y 50..70
        row("unknown", std::nullopt, {900, 900}, true);
        row("zero width is unknown", QRectF(0, 0, 0, 20), {900, 900}, true);
        row("negative height is unknown", QRectF(0, 0, 20, -5), {900, 900}, true);
        row("inside", box, {150, 60}, true);
        row("12 left of it", box, {88, 60}, true);
        row("12.5 left of it", box, {87.5, 60}, false);
        row("12 below it", box, {150, 82}, true);
        row("13 below it", box, {150, 83}, false);
        row("12 right and above", box, {312, 38}, true);
    }
    void frameTest() {
        QFETCH(std::optional<QRectF>, frame);
        QFETCH(QPointF, pointer);
        QFETCH(bool, passes);
        Fake e;
        e.frameValue = frame;
        QCOMPARE(passesFrameTest(e, pointer), passes);
    }

    // One element with a URL and a file name: what the direct attributes yield.
    void directAttributes_data() {
        QTest::addColumn<QString>("role");
        QTest::addColumn<QString>("urlKind"); // "url", "string" or "" (absent)
        QTest::addColumn<QString>("url");     // "@" stands for the tree's folder
        QTest::addColumn<QString>("filename");
        QTest::addColumn<QString>("expected");

        const auto row = [](const char* name, const char* role, const char* urlKind, const char* url,
                            const char* filename, const char* expected) {
            QTest::newRow(name) << QString(role) << QString(urlKind) << QString(url) << QString(filename)
                                << QString(expected);
        };
        const char* avatar = "https://cdn.example.com/avatar/42";
        row("image with a remote URL without extension", "AXImage", "url", avatar, "", avatar);
        row("link with the same URL", "AXLink", "url", avatar, "", "");
        row("link to a remote png", "AXLink", "url", "https://example.com/a/b.png", "",
            "https://example.com/a/b.png");
        row("file URL of an existing png", "AXLink", "url", "file://@/cover.png", "", "file://@/cover.png");
        row("missing file falls through to the file name", "AXLink", "url", "file://@/gone.png",
            "/nowhere/SHOT.PNG", "file:///nowhere/SHOT.PNG");
        row("existing non-image file falls through", "AXImage", "url", "file://@/shots/notes.txt",
            "@/cover.png", "file://@/cover.png");
        row("file name in capitals, no such file", "AXGroup", "", "", "/tmp/nowhere/Screen Shot.PNG",
            "file:///tmp/nowhere/Screen Shot.PNG");
        row("file name without image extension", "AXGroup", "", "", "/tmp/readme.md", "");
        row("string naming a file under the base", "AXLink", "string", "shots/hero.png", "",
            "file://@/shots/hero.png");
        row("empty string", "AXImage", "string", "", "", "");
        row("image string, remote without extension", "AXImage", "string", "https://example.com/pic", "",
            "https://example.com/pic");
        row("non-image string, remote without extension", "AXLink", "string", "https://example.com/pic", "",
            "");
        row("image string naming a missing local file", "AXImage", "string", "shots/missing.png", "", "");
        row("image with a javascript URL", "AXImage", "url", "javascript:alert(1)", "", "");
    }
    void directAttributes() {
        QFETCH(QString, role);
        QFETCH(QString, urlKind);
        QFETCH(QString, url);
        QFETCH(QString, filename);
        QFETCH(QString, expected);
        const QString root = tree_->path();
        url.replace('@', root);
        filename.replace('@', root);
        expected.replace('@', root);

        auto e = fake("e");
        e->roleValue = role;
        if (urlKind == "url") e->urlValue = QUrl(url);
        if (urlKind == "string") e->urlValue = url;
        if (!filename.isEmpty()) e->filenameValue = filename;
        QCOMPARE(shown(imageURL(e, kPointer, tree_->url())), QUrl(expected).toString());
    }

    // Direct attributes of every element come before any label; the nearest element first.
    void chainOrder_data() {
        QTest::addColumn<QString>("child"); // "url:", "label:" or "" with a reference
        QTest::addColumn<QString>("parent");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const char* child, const char* parent, const char* expected) {
            QTest::newRow(name) << QString(child) << QString(parent) << QString(expected);
        };
        row("child's URL before parent's", "url:cover.png", "url:shots/hero.png", "cover.png");
        row("parent's URL before child's label", "label:shots/hero.png", "url:cover.png", "cover.png");
        row("child's label before parent's label", "label:shots/hero.png", "label:out/images/wrapped.png",
            "shots/hero.png");
        row("parent's path label before child's bare name", "label:cover.png", "label:shots/hero.png",
            "shots/hero.png");
    }
    void chainOrder() {
        QFETCH(QString, child);
        QFETCH(QString, parent);
        QFETCH(QString, expected);
        auto c = fake("child");
        auto p = fake("parent");
        c->parentValue = p;
        for (const auto& [element, given] : {std::pair{c, child}, std::pair{p, parent}}) {
            const QString value = given.section(':', 1);
            if (given.startsWith("url:")) element->urlValue = value;
            if (given.startsWith("label:")) element->labels[0] = value;
        }
        QCOMPARE(shown(imageURL(c, kPointer, tree_->url())), file(expected));
    }

    void labelPasses_data() {
        QTest::addColumn<QStringList>("childLabels"); // value, description, title ("-" for absent)
        QTest::addColumn<QStringList>("parentLabels");
        QTest::addColumn<bool>("parentInside");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("parentReads"); // the parent's label reads: 0 when never reached
        const QStringList none{"-", "-", "-"};
        const QString longLabel = QString(250, 'x') + " cover.png";
        QTest::newRow("path-like label first, whatever its place")
            << QStringList{"cover.png", "shots/hero.png", "-"} << none << true << "shots/hero.png" << 0;
        QTest::newRow("bare names in label order")
            << QStringList{"-", "cover.png", "hero.png"} << none << true << "cover.png" << 3;
        QTest::newRow("second pass reaches a bare name of the parent")
            << QStringList{"-", "-", "nothing here"} << QStringList{"-", "cover.png", "-"} << true
            << "cover.png" << 3;
        QTest::newRow("parent outside its frame gives no labels")
            << none << QStringList{"shots/hero.png", "-", "-"} << false << "" << 0;
        QTest::newRow("label over 256 characters skipped")
            << QStringList{longLabel, "-", "-"} << none << true << "" << 3;
        QTest::newRow("label of 256 characters read")
            << QStringList{longLabel.right(256), "-", "-"} << none << true << "cover.png" << 3;
        QTest::newRow("label with a line feed skipped")
            << QStringList{"see\ncover.png", "-", "-"} << none << true << "" << 3;
        QTest::newRow("every reference of a label tried")
            << QStringList{"gone.png then cover.png", "-", "-"} << none << true << "cover.png" << 3;
    }
    void labelPasses() {
        QFETCH(QStringList, childLabels);
        QFETCH(QStringList, parentLabels);
        QFETCH(bool, parentInside);
        QFETCH(QString, expected);
        QFETCH(int, parentReads);
        auto c = fake("child");
        auto p = fake("parent");
        c->parentValue = p;
        for (int i = 0; i < 3; ++i) {
            if (childLabels[i] != "-") c->labels[i] = childLabels[i];
            if (parentLabels[i] != "-") p->labels[i] = parentLabels[i];
        }
        if (!parentInside) p->frameValue = QRectF(500, 500, 100, 100);
        QCOMPARE(shown(imageURL(c, kPointer, tree_->url())), expected.isEmpty() ? QString() : file(expected));
        // Each element's labels are read once for both passes, and not at all outside its frame.
        QCOMPARE(c->labelReads, 3);
        QCOMPARE(p->labelReads, parentReads);
    }

    void labelsFallBackToSessionImages_data() {
        QTest::addColumn<QString>("label");
        QTest::addColumn<bool>("found");
        QTest::newRow("bare name with closing parenthesis and full stop")
            << "(see session-shot.png)." << true;
        QTest::newRow("path with trailing colon") << "saved: shots-x/session-shot.png:" << true;
        QTest::newRow("other name") << "unrelated-name.png" << false;
    }
    void labelsFallBackToSessionImages() {
        QFETCH(QString, label);
        QFETCH(bool, found);
        // The image lives outside the base and the roots: only the session record knows it.
        TempTree elsewhere;
        const QString image = elsewhere.file(QStringLiteral("shots-x/session-shot.png"));
        CodexSessions::setOverride(QList<QUrl>{QUrl::fromLocalFile(image)});
        auto e = fake("e");
        e->labels[2] = label;
        const auto url = imageURL(e, kPointer, tree_->url());
        QCOMPARE(shown(url), found ? QUrl::fromLocalFile(image).toString() : QString());
    }

    void textWindowArithmetic_data() {
        QTest::addColumn<qint64>("location");
        QTest::addColumn<qint64>("count"); // -1: unknown
        QTest::addColumn<qint64>("lower"); // -1: no window
        QTest::addColumn<qint64>("upper");
        const auto row = [](const char* name, qint64 location, qint64 count, qint64 lower, qint64 upper) {
            QTest::newRow(name) << location << count << lower << upper;
        };
        row("near the start", 10, 5000, 0, 1034);
        row("in the middle", 3000, 5000, 1976, 4024);
        row("near the end", 4990, 5000, 3966, 5000);
        row("count unknown", 10, -1, 0, 1034);
        row("at the very end", 5000, 5000, 3976, 5000);
        row("past the end, window empty", 7000, 5000, -1, -1);
        row("empty text", 0, 0, -1, -1);
        row("negative location", -3, 5000, -1, -1);
        row("absurd location", std::numeric_limits<qint64>::max(), -1, -1, -1);
        row("negative count", 10, -7, -1, -1);
    }
    void textWindowArithmetic() {
        QFETCH(qint64, location);
        QFETCH(qint64, count);
        QFETCH(qint64, lower);
        QFETCH(qint64, upper);
        const auto window = textWindow(location, count == -1 ? std::nullopt : std::optional<qint64>(count));
        if (lower < 0) {
            QVERIFY(!window);
            return;
        }
        QVERIFY(window);
        QCOMPARE(window->location, lower);
        QCOMPARE(window->location + window->length, upper);
    }

    // The window arithmetic seen from the element: what it is asked to read.
    void textReadAroundThePointer() {
        Fake e;
        e.text = QString(5000, 'a');
        e.rangeAnswer = CharacterRange{3000, 1};
        QVERIFY(!imageReferenceInText(kPointer, e, tree_->url()));
        QCOMPARE(e.stringRequests, (QList<CharacterRange>{{1976, 2048}}));
    }

    void textUnderThePointer_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("under"); // the pointer sits on its third unit
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const QString& text, const char* under, const char* expected) {
            QTest::newRow(name) << text << QString(under) << QString(expected);
        };
        const QString wrapped = QStringLiteral("saved out/\n  images/wrapped.png ok");
        row("relative path", "$ ls\nwrote shots/hero.png in 3 ms\n$ ", "hero", "shots/hero.png");
        row("pointer on another word", "wrote shots/hero.png in 3 ms", "in 3", "");
        row("emoji before the path", "🎉🎉 done: shots/hero.png 🎉", "hero", "shots/hero.png");
        row("path that names nothing", "wrote shots/other.png", "other", "");
        row("wrapped path rejoined", wrapped, "out/", "out/images/wrapped.png");
        row("wrapped, on its second line", wrapped, "images", "out/images/wrapped.png");
    }
    void textUnderThePointer() {
        QFETCH(QString, text);
        QFETCH(QString, under);
        QFETCH(QString, expected);
        Fake e;
        putText(e, text, under);
        QCOMPARE(shown(imageReferenceInText(kPointer, e, tree_->url())),
                 expected.isEmpty() ? QString() : file(expected));
    }

    void verboseLines_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("under");
        QTest::addColumn<std::optional<QRectF>>("bounds");
        QTest::addColumn<QString>("expected");
        const QRectF here(95, 45, 8, 14);
        QTest::newRow("answered for another place")
            << "wrote shots/hero.png"
            << "hero" << std::optional<QRectF>(QRectF(500, 40.5, 8, 14))
            << "  [ax] element answered for (500, 40.5), not the pointer; ignoring it\n";
        QTest::newRow("rejoined") << "saved out/\n  images/wrapped.png ok"
                                  << "out/" << std::optional<QRectF>(here)
                                  << "  [ax] rejoined a wrapped path -> out/images/wrapped.png\n";
        QTest::newRow("rejoined, names nothing")
            << "saved out/\n  images/absent.png ok"
            << "out/" << std::optional<QRectF>()
            << "  [ax] rejoined out/images/absent.png, which names nothing\n";
        QTest::newRow("found on one line: silent") << "wrote shots/hero.png"
                                                   << "hero" << std::optional<QRectF>(here) << "";
    }
    void verboseLines() {
        QFETCH(QString, text);
        QFETCH(QString, under);
        QFETCH(std::optional<QRectF>, bounds);
        QFETCH(QString, expected);
        Fake e;
        putText(e, text, under);
        e.boundsAnswer = bounds;
        QCOMPARE(stdoutOf([&] { imageReferenceInText(kPointer, e, tree_->url()); }), expected);
    }

    void attributeLines_data() {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("expected");
        QTest::newRow("url") << "url" << "  [ax] AXImage AXURL -> @/cover.png\n";
        QTest::newRow("file name") << "filename" << "  [ax] AXImage AXFilename -> @/cover.png\n";
        QTest::newRow("label") << "label"
                               << "  [ax] AXImage label \"shots/hero.png\" -> @/shots/hero.png\n";
        QTest::newRow("label, no role") << "label-norole"
                                        << "  [ax] ? label \"shots/hero.png\" -> @/shots/hero.png\n";
    }
    void attributeLines() {
        QFETCH(QString, what);
        QFETCH(QString, expected);
        expected.replace('@', tree_->path());
        auto e = fake("e");
        if (what != "label-norole") e->roleValue = "AXImage";
        if (what == "url") e->urlValue = tree_->url("cover.png");
        if (what == "filename") e->filenameValue = tree_->path("cover.png");
        if (what.startsWith("label")) e->labels[1] = "shots/hero.png";
        QCOMPARE(stdoutOf([&] { imageURL(e, kPointer, tree_->url()); }), expected);
    }

    // Applications that answer nonsense: nothing is found, nothing breaks.
    void garbageRanges_data() {
        QTest::addColumn<qint64>("location");
        QTest::addColumn<qint64>("length");
        QTest::addColumn<qint64>("count"); // -1: the text's own length
        const auto row = [](const char* name, qint64 location, qint64 length, qint64 count) {
            QTest::newRow(name) << location << length << count;
        };
        row("negative location", -5, 1, -1);
        row("negative length (reversed)", 8, -4, -1);
        row("past the end", 100000, 1, -1);
        row("largest location", std::numeric_limits<qint64>::max(), 1, -1);
        row("smallest location", std::numeric_limits<qint64>::min(), 1, -1);
        row("count says empty", 8, 1, 0);
        row("negative count", 8, 1, -9);
    }
    void garbageRanges() {
        QFETCH(qint64, location);
        QFETCH(qint64, length);
        QFETCH(qint64, count);
        Fake e;
        e.text = QStringLiteral("wrote shots/hero.png");
        e.rangeAnswer = CharacterRange{location, length};
        if (count != -1) e.countAnswer = count;
        QVERIFY(!imageReferenceInText(kPointer, e, tree_->url()));
    }

    void enormousTexts_data() {
        QTest::addColumn<bool>("answersTooMuch");
        QTest::addColumn<bool>("found");
        QTest::newRow("five million units, read around the pointer") << false << true;
        QTest::newRow("application answers the whole text for any range") << true << false;
    }
    void enormousTexts() {
        QFETCH(bool, answersTooMuch);
        QFETCH(bool, found);
        QString text(5'000'000, QLatin1Char(' '));
        const QString line = QStringLiteral("shots/hero.png");
        const qsizetype at = 3'000'000;
        text.replace(at, line.size(), line);
        Fake e;
        e.text = text;
        e.rangeAnswer = CharacterRange{at + 3, 1};
        if (answersTooMuch) e.stringAnswer = text;
        QCOMPARE(imageReferenceInText(kPointer, e, tree_->url()).has_value(), found);
        QCOMPARE(e.stringRequests.size(), 1);
        QCOMPARE(e.stringRequests.first().length, 2 * kTextReach);
    }

    // The text step has no frame test of its own: a parent outside its frame
    // still has its text read (and its own bounds check decides).
    void textOfAParentOutsideItsFrame() {
        auto c = fake("child");
        auto p = fake("parent");
        c->parentValue = p;
        p->frameValue = QRectF(500, 500, 100, 100);
        p->labels[0] = "cover.png";
        putText(*p, "wrote shots/hero.png", "hero");
        QCOMPARE(shown(imageURL(c, kPointer, tree_->url())), file("shots/hero.png"));
    }

    void documentDirectory_data() {
        QTest::addColumn<QString>("document");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* document, const char* expected) {
            QTest::newRow(document) << QString(document) << QString(expected);
        };
        row("file:///work/notes/plan.md", "file:///work/notes/");
        row("file:///work/my%20notes/plan.md", "file:///work/my%20notes/");
        row("file:///work/notes/", "file:///work/notes/");
        row("https://example.com/a/b.html", "");
        row("/work/notes/plan.md", "");
        row("", "");
        row("::::", "");
    }
    void documentDirectory() {
        QFETCH(QString, document);
        QFETCH(QString, expected);
        QCOMPARE(AccessibilityLookup::documentDirectory(document).toString(QUrl::FullyEncoded), expected);
    }
};

QTEST_GUILESS_MAIN(TestAccessibilityLookup)
#include "test_accessibility_lookup.moc"
