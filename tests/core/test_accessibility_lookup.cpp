#include "TempTree.h"
#include "core/AccessibilityLookup.h"
#include "core/CodexSessions.h"
#include "core/ImageReference.h"

#include <QTest>
#include <memory>

using namespace AccessibilityLookup;

namespace {

// An element that answers from its fields and records what it was asked.
struct Fake final : Element {
    std::optional<QString> roleValue;
    Value urlValue;
    std::optional<QString> filenameValue;
    std::optional<QString> labels[3];
    std::optional<QRectF> frameValue;
    std::shared_ptr<Fake> parentValue;

    std::optional<QString> text;
    std::optional<CharacterRange> rangeAnswer; // "AXRangeForPosition"
    std::optional<QRectF> boundsAnswer;        // "AXBoundsForRange", whatever the range
    std::optional<qint64> countAnswer;         // overrides the text's length
    std::optional<QString> stringAnswer;       // overrides the text read for any range

    QList<std::shared_ptr<Fake>> kids;
    std::optional<bool> showingValue;

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
    qint64 childCount() override { return kids.size(); }
    std::shared_ptr<Element> child(qint64 index) override { return kids.value(index); }
    std::optional<bool> showing() override { return showingValue; }
};

// A line of text naming a reference, with the range under the pointer on it.
void putText(Fake& f, const QString& text, const QString& under) {
    f.text = text;
    f.rangeAnswer = CharacterRange{text.indexOf(under) + 2, 1};
}

// "key=value;...": role, url (URL value) or str (URL as a string), name (file name), v/d/t
// (value, description, title labels), text (pointer on its "hero"), out (frame far away).
void setUp(Fake& e, const QString& fields) {
    for (const QString& field : fields.split(';', Qt::SkipEmptyParts)) {
        const QString key = field.section('=', 0, 0);
        const QString value = field.section('=', 1);
        if (key == "role") e.roleValue = value;
        if (key == "url") e.urlValue = QUrl(value);
        if (key == "str") e.urlValue = value;
        if (key == "name") e.filenameValue = value;
        if (key == "v" || key == "d" || key == "t") e.labels[QStringLiteral("vdt").indexOf(key)] = value;
        if (key == "text") putText(e, value, "hero");
        if (key == "out") e.frameValue = QRectF(500, 500, 100, 100);
    }
}

// Trees below an element without text, as GTK notebooks publish them. The
// pointer is kPointer; "no extents" is what page tabs report.
const QRectF kNoExtents(-1, -1, -1, -1);
const QRectF kAroundPointer(40, 30, 700, 260);

std::shared_ptr<Fake> node(const char* role, std::optional<QRectF> frame,
                           QList<std::shared_ptr<Fake>> kids = {}) {
    auto f = std::make_shared<Fake>();
    f->roleValue = QString::fromLatin1(role);
    f->frameValue = frame;
    f->kids = std::move(kids);
    for (const auto& kid : std::as_const(f->kids))
        kid->parentValue = f;
    return f;
}

// A terminal whose text names the hero image under the pointer; its character
// there lies at the pointer unless answerFor says where else.
std::shared_ptr<Fake> terminal(const char* role, std::optional<QRectF> frame = kAroundPointer,
                               QRectF answerFor = QRectF(95, 45, 8, 14)) {
    auto f = node(role, frame);
    putText(*f, QStringLiteral("wrote shots/hero.png in 3 ms"), "hero");
    f->boundsAnswer = answerFor;
    return f;
}

using TreeBuilder = std::shared_ptr<Fake> (*)();

QString shown(const std::optional<QUrl>& url) {
    return url ? url->toString() : QString();
}

const QPointF kPointer(100, 50);

} // namespace

Q_DECLARE_METATYPE(TreeBuilder)

class TestAccessibilityLookup : public QObject {
    Q_OBJECT

    std::unique_ptr<TempTree> tree_;
    std::unique_ptr<TempTree> elsewhere_; // outside the base and the roots: only a session knows it

    QString file(const QString& relative) const { return tree_->url(relative).toString(); }
    QString withFolders(QString s) const {
        return s.replace('@', tree_->path()).replace('%', elsewhere_->path());
    }

  private slots:
    void initTestCase() { ImageReference::MissLifetime::set(0); }

    void init() {
        tree_ = std::make_unique<TempTree>();
        for (const char* f :
             {"shots/hero.png", "shots/notes.txt", "cover.png", "out/images/wrapped.png", "one/twin.png",
              "two/twin.png", "Screenshot from 2026-12-07 10-00-00.png", "shots/Screen Shot 1.png",
              "docs/pics/Screen Shot 2026-12-07 at 10.00.00.png", "my cover.png", "a b.png", "see 'a b.png"})
            tree_->file(QString::fromLatin1(f));
        tree_->folder(".git"); // a project, searched for bare names
        elsewhere_ = std::make_unique<TempTree>();
        CodexSessions::setOverride(
            QList<QUrl>{QUrl::fromLocalFile(elsewhere_->file("shots-x/session-shot.png"))});
        ImageReference::Memo::clear();
    }

    void cleanup() { CodexSessions::setOverride(std::nullopt); }

    void frameTest_data() {
        QTest::addColumn<std::optional<QRectF>>("frame");
        QTest::addColumn<QPointF>("pointer");
        QTest::addColumn<bool>("passes");
        const auto row = [](const char* name, std::optional<QRectF> frame, QPointF pointer, bool passes) {
            QTest::newRow(name) << frame << pointer << passes;
        };
        const QRectF box(100, 50, 200, 20); // x 100..300, y 50..70
        row("unknown", std::nullopt, {900, 900}, true);
        row("12 left of it", box, {88, 60}, true);
        row("12.5 left of it", box, {87.5, 60}, false);
    }
    void frameTest() {
        QFETCH(std::optional<QRectF>, frame);
        QFETCH(QPointF, pointer);
        QFETCH(bool, passes);
        Fake e;
        e.frameValue = frame;
        QCOMPARE(passesFrameTest(e, pointer), passes);
    }

    // Child and parent from setUp (@: fixture folder, %: session-only folder). Order: direct
    // attributes nearest first, then path-like labels, then every label, then the text.
    void lookup_data() {
        QTest::addColumn<QString>("child");
        QTest::addColumn<QString>("parent");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("parentReads"); // the parent's label reads; -1: not checked
        const auto row = [](const char* name, const QString& child, const char* parent, const char* expected,
                            int parentReads = -1) {
            QTest::newRow(name) << child << QString(parent) << QString(expected) << parentReads;
        };
        const char* avatar = "https://cdn.example.com/avatar/42";
        const char* cover = "file://@/cover.png";
        const char* hero = "file://@/shots/hero.png";
        const char* session = "file://%/shots-x/session-shot.png";
        row("image with a remote URL without extension", "role=AXImage;url=" + QString(avatar), "", avatar);
        row("link with the same URL", "role=AXLink;url=" + QString(avatar), "", "");
        row("file URL of an existing png", "role=AXLink;url=file://@/cover.png", "", cover);
        row("missing file falls through to the file name", "role=AXLink;url=file://@/gone.png;name=/no/A.PNG",
            "", "file:///no/A.PNG");
        row("existing non-image file falls through",
            "role=AXImage;url=file://@/shots/notes.txt;name=@/cover.png", "", cover);
        row("string naming a file under the base", "role=AXLink;str=shots/hero.png", "", hero);
        row("image with a javascript URL", "role=AXImage;url=javascript:alert(1)", "", "");

        row("child's URL before parent's", "str=cover.png", "str=shots/hero.png", cover);
        row("parent's URL before child's label", "v=shots/hero.png", "str=cover.png", cover);
        row("child's label before parent's label", "v=shots/hero.png", "v=out/images/wrapped.png", hero);
        row("parent's path label before child's bare name", "v=cover.png", "v=shots/hero.png", hero);

        // Each element's labels are read once for both passes, and not at all outside its frame.
        // All are read before any is resolved: resolving may search the disk, off the main thread.
        const QString longLabel = QString(250, 'x') + " cover.png";
        row("path-like label first, whatever its place", "v=cover.png;d=shots/hero.png", "", hero, 3);
        row("bare names in label order", "d=cover.png;t=hero.png", "", cover, 3);
        row("second pass reaches a bare name of the parent", "t=nothing here", "d=cover.png", cover, 3);
        row("parent outside its frame gives no labels", "", "out;v=shots/hero.png", "", 0);
        row("label over 256 characters skipped", "v=" + longLabel, "", "", 3);
        row("label of 256 characters read", "v=" + longLabel.right(256), "", cover, 3);
        row("session image, bare name and punctuation", "t=(see session-shot.png).", "", session);

        // The text step has no frame test of its own: its bounds check decides.
        row("text of a parent outside its frame", "", "out;v=cover.png;text=wrote shots/hero.png", hero);
    }
    void lookup() {
        QFETCH(QString, child);
        QFETCH(QString, parent);
        QFETCH(QString, expected);
        QFETCH(int, parentReads);
        auto c = std::make_shared<Fake>();
        auto p = std::make_shared<Fake>();
        c->parentValue = p;
        setUp(*c, withFolders(child));
        setUp(*p, withFolders(parent));
        QCOMPARE(shown(imageURL(c, kPointer, {tree_->url()})), QUrl(withFolders(expected)).toString());
        QVERIFY(c->labelReads <= 3);
        if (parentReads >= 0) QCOMPARE(p->labelReads, parentReads);
    }

    // The main thread's share of resolution: an answer only when the full
    // resolution would give the same, else the findings from the first that
    // searches the disk on. Findings as kind:text (g given, a attribute text,
    // l label, t text, w wrapped); @ is the fixture folder.
    void quickAnswer_data() {
        QTest::addColumn<QStringList>("findings");
        QTest::addColumn<QString>("quick"); // the answer on the main thread; empty: none
        QTest::addColumn<int>("restFrom");  // the first finding left to the worker; -1: none
        QTest::newRow("a file name given")
            << QStringList{"g:@/cover.png", "t:shots/hero.png"} << "@/cover.png" << -1;
        QTest::newRow("an attribute naming a file")
            << QStringList{"a:shots/hero.png"} << "@/shots/hero.png" << -1;
        QTest::newRow("a relative path in the text")
            << QStringList{"t:shots/hero.png"} << "@/shots/hero.png" << -1;
        QTest::newRow("a bare name in the text is searched for")
            << QStringList{"t:hero.png", "g:@/cover.png"} << "" << 0;
        QTest::newRow("a label comes first, however exact the text after it")
            << QStringList{"l:shots/hero.png", "t:cover.png"} << "" << 0;
        QTest::newRow("attributes that name nothing, then a wrapped path")
            << QStringList{"a:gone.png", "w:out/images/wrapped.png"} << "@/out/images/wrapped.png" << -1;
        QTest::newRow("nothing named, nothing to search")
            << QStringList{"a:gone.png", "w:no/such.png"} << "" << -1;
        QTest::newRow("a bare name that twins share") << QStringList{"t:twin.png"} << "" << 0;
    }
    void quickAnswer() {
        QFETCH(QStringList, findings);
        QFETCH(QString, quick);
        QFETCH(int, restFrom);
        const QString base = tree_->path();
        Findings all;
        for (const QString& f : findings) {
            const QString text = f.mid(2).replace(QLatin1Char('@'), base);
            Finding finding;
            switch (f.at(0).toLatin1()) {
            case 'g':
                finding = Finding{Finding::Kind::Given, QUrl::fromLocalFile(text)};
                break;
            case 'a':
                finding = Finding{Finding::Kind::Attribute, text};
                break;
            case 'l':
                finding = Finding{Finding::Kind::Label, {}, text};
                break;
            case 't':
                finding = Finding{Finding::Kind::Text, {}, text};
                break;
            default:
                finding = Finding{Finding::Kind::Wrapped, {}, text};
            }
            all.append(finding);
        }
        const ResolutionContext context{tree_->url()};
        const QuickAnswer answer = resolveQuickly(all, context);
        QCOMPARE(shown(answer.url),
                 quick.isEmpty()
                     ? QString()
                     : QUrl::fromLocalFile(QString(quick).replace(QLatin1Char('@'), base)).toString());
        QCOMPARE(answer.rest, restFrom < 0 ? Findings{} : all.mid(restFrom));
        // Whatever is answered where, it is what resolving everything at once answers.
        QCOMPARE(shown(answer.url ? answer.url : resolve(answer.rest, context)),
                 shown(resolve(all, context)));
    }

    // The pointer sits on the third unit of `under`; bounds are what the element
    // reports for that character (absent: unknown).
    void textUnderThePointer_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("under");
        QTest::addColumn<std::optional<QRectF>>("bounds");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const QString& text, const char* under,
                            std::optional<QRectF> bounds, const char* expected) {
            QTest::newRow(name) << text << QString(under) << bounds << QString(expected);
        };
        const QRectF here(95, 45, 8, 14);
        row("relative path", "$ ls\nwrote shots/hero.png in 3 ms\n$ ", "hero", here, "shots/hero.png");
        row("pointer on another word", "wrote shots/hero.png in 3 ms", "in 3", {}, "");
        row("emoji before the path", "🎉🎉 done: shots/hero.png 🎉", "hero", {}, "shots/hero.png");
        row("answered for another place", "wrote shots/hero.png", "hero", QRectF(500, 40.5, 8, 14), "");
        row("wrapped path rejoined", "saved out/\n  images/wrapped.png ok", "out/", here,
            "out/images/wrapped.png");
        // A bare name is looked up in the project as written: one file, or nothing.
        row("bare name one file has", "made wrapped.png", "wrapped", here, "out/images/wrapped.png");
        row("bare name two files have", "made twin.png", "twin", here, "");
        row("bare name misread is not repaired", "made wrapped.pnq", "wrapped", here, "");
        // Names with spaces, once nothing else named a file.
        row("quoted screenshot name", "$ ls\n'Screenshot from 2026-12-07 10-00-00.png'  cover.png\n$ ",
            "from", here, "Screenshot from 2026-12-07 10-00-00.png");
        row("escaped name", "cp shots/Screen\\ Shot\\ 1.png /tmp", "Screen", here, "shots/Screen Shot 1.png");
        row("bare name with spaces, in the project", "Saved Screen Shot 2026-12-07 at 10.00.00.png.",
            "Shot 2026", here, "docs/pics/Screen Shot 2026-12-07 at 10.00.00.png");
        row("a pattern's find is kept", "see my cover.png", "cover", here, "cover.png");
        row("quoted and unquoted name two files", "see 'a b.png'", "a b", here, "");
    }
    void textUnderThePointer() {
        QFETCH(QString, text);
        QFETCH(QString, under);
        QFETCH(std::optional<QRectF>, bounds);
        QFETCH(QString, expected);
        Fake e;
        putText(e, text, under);
        e.boundsAnswer = bounds;
        QCOMPARE(shown(imageReferenceInText(kPointer, e, {tree_->url()})),
                 expected.isEmpty() ? QString() : file(expected));
    }

    // The element the hit test ended at (the root) and what is read instead.
    void descendantSearch_data() {
        QTest::addColumn<TreeBuilder>("build");
        QTest::addColumn<QString>("expected"); // the role found; empty: none

        QTest::newRow("page tabs without extents") << TreeBuilder([] {
            return node("AXPageTabList", kAroundPointer,
                        {node("AXPageTab", kNoExtents,
                              {node("AXScrollPane", std::nullopt, {terminal("AXTerminal")})})});
        }) << "AXTerminal";
        QTest::newRow("hidden page passed over") << TreeBuilder([] {
            auto hidden = terminal("AXHiddenTerminal");
            hidden->showingValue = false;
            auto shownTerminal = terminal("AXTerminal");
            shownTerminal->showingValue = true;
            return node(
                "AXPageTabList", kAroundPointer,
                {node("AXPageTab", kNoExtents, {hidden}), node("AXPageTab", kNoExtents, {shownTerminal})});
        }) << "AXTerminal";
        QTest::newRow("element answering for the wrong point passed over") << TreeBuilder([] {
            return node("AXPageTabList", kAroundPointer,
                        {node("AXPageTab", kNoExtents,
                              {terminal("AXWrongTerminal", kAroundPointer, QRectF(0, 0, 8, 14))}),
                         node("AXPageTab", kNoExtents, {terminal("AXTerminal")})});
        }) << "AXTerminal";
        QTest::newRow("only an element answering for the wrong point") << TreeBuilder([] {
            return node("AXFiller", kAroundPointer,
                        {terminal("AXTerminal", kAroundPointer, QRectF(0, 0, 8, 14))});
        }) << "";
        QTest::newRow("extents that miss the point are not entered") << TreeBuilder([] {
            return node("AXFiller", kAroundPointer,
                        {node("AXPanel", QRectF(600, 400, 100, 100), {terminal("AXTerminal")})});
        }) << "";
        QTest::newRow("text without extents is not taken") << TreeBuilder([] {
            return node("AXPageTabList", kAroundPointer,
                        {node("AXPageTab", kNoExtents, {terminal("AXTerminal", kNoExtents)})});
        }) << "";
        QTest::newRow("element with text is read itself") << TreeBuilder([] {
            auto self = terminal("AXTerminal");
            self->kids = {terminal("AXInner")};
            return self;
        }) << "AXTerminal";
        QTest::newRow("too many elements without extents") << TreeBuilder([] {
            QList<std::shared_ptr<Fake>> tabs;
            for (int i = 0; i < kMostDescendants; ++i)
                tabs.append(node("AXPageTab", kNoExtents));
            tabs.append(terminal("AXTerminal"));
            return node("AXPageTabList", kAroundPointer, tabs);
        }) << "";
        QTest::newRow("deeper than the search goes") << TreeBuilder([] {
            std::shared_ptr<Fake> below = terminal("AXTerminal");
            for (int i = 0; i < kDescendantDepth; ++i)
                below = node("AXPageTab", kNoExtents, {below});
            return node("AXPageTabList", kAroundPointer, {below});
        }) << "";
    }
    void descendantSearch() {
        QFETCH(TreeBuilder, build);
        QFETCH(QString, expected);
        const std::shared_ptr<Fake> root = build();
        const std::shared_ptr<Element> found = descendantWithText(root, kPointer);
        QCOMPARE(found ? found->role().value_or("?") : QString(), expected);
    }

    // What the search finds is read like any element: its text names the file.
    void lookupBelowPageTabs() {
        const auto root =
            node("AXPageTabList", kAroundPointer, {node("AXPageTab", kNoExtents, {terminal("AXTerminal")})});
        const std::shared_ptr<Element> found = descendantWithText(root, kPointer);
        QVERIFY(found);
        QCOMPARE(shown(imageURL(found, kPointer, {tree_->url()})), file("shots/hero.png"));
    }

    // Applications that answer nonsense: nothing is found, nothing breaks.
    void garbageRanges_data() {
        QTest::addColumn<qint64>("location");
        QTest::addColumn<qint64>("length");
        QTest::addColumn<qint64>("count"); // -1: the text's own length
        const auto row = [](const char* name, qint64 location, qint64 length, qint64 count) {
            QTest::newRow(name) << location << length << count;
        };
        row("negative length (reversed)", 8, -4, -1);
        row("largest location", std::numeric_limits<qint64>::max(), 1, -1);
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
        QVERIFY(!imageReferenceInText(kPointer, e, {tree_->url()}));
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
        const qsizetype at = 3'000'000;
        text.replace(at, 14, QStringLiteral("shots/hero.png"));
        Fake e;
        e.text = text;
        e.rangeAnswer = CharacterRange{at + 3, 1};
        if (answersTooMuch) e.stringAnswer = text;
        QCOMPARE(imageReferenceInText(kPointer, e, {tree_->url()}).has_value(), found);
        // Asked for the window around the pointer only, whatever the text's size.
        QCOMPARE(e.stringRequests, (QList<CharacterRange>{{at + 3 - kTextReach, 2 * kTextReach}}));
    }
};

QTEST_GUILESS_MAIN(TestAccessibilityLookup)
#include "test_accessibility_lookup.moc"
