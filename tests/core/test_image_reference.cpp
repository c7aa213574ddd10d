#include "core/ImageReference.h"

#include <QTest>

using namespace ImageReference;

namespace {

const QString kEmoji = QStringLiteral("\U0001F642"); // two UTF-16 units
QString u8(const char* s) {
    return QString::fromUtf8(s);
}

QStringList references(const QList<Match>& matches) {
    QStringList out;
    for (const Match& m : matches)
        out.append(m.reference);
    return out;
}

// "-" stands for no reference.
QString shown(const std::optional<QString>& found) {
    return found.value_or(QStringLiteral("-"));
}

} // namespace

class TestImageReference : public QObject {
    Q_OBJECT

  private slots:
    // Every row also checks that the segment-wise search equals one whole-text search.
    void patterns_data() {
        QTest::addColumn<QString>("regex");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expected"); // {"*"}: only compared with the whole-text search
        const auto row = [](const char* name, const char* regex, const QString& text,
                            const QStringList& expected) {
            QTest::newRow(name) << QString::fromLatin1(regex) << text << expected;
        };
        row("any letter case", "strict", "/a/b/test-image.PNG", {"/a/b/test-image.PNG"});
        row("mangled extension", "strict", "/a/b/test-image.pnq", {});
        row("mangled extension, loose", "loose", "/a/b/test-image.pnq", {"/a/b/test-image.pnq"});
        row("loose needs a slash", "loose", "test-image.pnq", {});
        row("query stops", "strict", "a.png?1 \"b.png?2\" 'c.png?3' <d.png?4> [e.png?5] {f.png?6} (g.png?7)",
            {"a.png?1", "b.png?2", "c.png?3", "d.png?4", "e.png?5", "f.png?6", "g.png?7"});
        row("shortest run", "strict", "a.png.png", {"a.png"});
        row("tiff not cut to tif", "strict", "photo.tiff x.tif", {"photo.tiff", "x.tif"});
        row("svgz not cut to svg", "strict", "icons/app.svg logo.SVGZ", {"icons/app.svg", "logo.SVGZ"});
        row("svg in markup", "strict", "<img src=\"assets/logo.svg\">", {"assets/logo.svg"});
        row("emoji", "strict", kEmoji + "/a.png" + kEmoji + " https://x/" + kEmoji + "b.png?" + kEmoji,
            {"*"});
        row("all separators", "strict", "a.png\tb.png\nc.png\vd.png\fe.png\rf.pngg.png", {"*"});
    }
    void patterns() {
        QFETCH(QString, regex);
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        for (const QRegularExpression* r : {strict(), loose()}) {
            QList<Match> whole;
            for (auto it = r->globalMatch(text); it.hasNext();) {
                const QRegularExpressionMatch m = it.next();
                whole.append({m.capturedStart(), m.capturedLength(), m.captured()});
            }
            QCOMPARE(collect(r, text), whole);
        }
        if (expected != QStringList{"*"})
            QCOMPARE(references(collect(regex == "strict" ? strict() : loose(), text)), expected);
    }

    // PCRE2 refuses a whole subject holding one; the segments around it are still searched.
    void unpairedSurrogate() {
        const QString text = "a.png " + QString(QChar(0xD800)) + " b.png";
        QCOMPARE(collect(strict(), text), (QList<Match>{{0, 5, "a.png"}, {8, 5, "b.png"}}));
    }

    void referenceAtOffset_data() {
        QTest::addColumn<bool>("acrossLines"); // referenceAcrossWrappedLines instead of reference
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("offset");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, bool acrossLines, const QString& text, qint64 offset,
                            const char* expected) {
            QTest::newRow(name) << acrossLines << text << offset << QString(expected);
        };
        const QString text = QStringLiteral("open /a/b.png now");
        row("start", false, text, 5, "/a/b.png");
        row("end inclusive", false, text, 13, "/a/b.png");
        row("one past the end", false, text, 14, "-");
        row("next starts there", false, "a.png b.png", 6, "b.png");
        row("first of two at a shared end", false, "a.pngb.png", 5, "a.png");
        row("after emoji", false, kEmoji + kEmoji + " x/y.gif", 5, "x/y.gif");
        row("negative", false, text, -1, "-");
        row("loose only", false, "see /a/b.pnq", 6, "-");
        const QString wrapped = QStringLiteral("saved out/\n  images/01a0557d/\n  exec-a4713290.png ok");
        const char* full = "out/images/01a0557d/exec-a4713290.png";
        row("wrapped, on removed indentation", true, wrapped, 11, full);
        row("nothing joined", true, text, 7, "-");
    }
    void referenceAtOffset() {
        QFETCH(bool, acrossLines);
        QFETCH(QString, text);
        QFETCH(qint64, offset);
        QFETCH(QString, expected);
        QCOMPARE(shown(acrossLines ? referenceAcrossWrappedLines(text, offset) : reference(text, offset)),
                 expected);
    }

    // One unit for one, so offsets into the result are offsets into the input.
    void recognitionRepair_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("repaired");
        const auto row = [](const char* name, const QString& text, const QString& repaired) {
            QTest::newRow(name) << text << repaired;
        };
        row("all five", u8("a•png b·jpg c\u2219gif d\u25CFbmp e\u2027tif"), "a.png b.jpg c.gif d.bmp e.tif");
        row("combining mark", u8("n\u2022\u0301png"), u8("n\u2022\u0301png"));
        row("after emoji", kEmoji + u8("x•png"), kEmoji + "x.png");
        // A comma read for the period of a bitmap font, only before an image extension.
        row("comma before an extension", "toast_error,png and a,JPEG", "toast_error.png and a.JPEG");
        row("comma with mixed repairs", u8("a,png b•gif"), "a.png b.gif");
        row("comma before other words", "one,two red,pngs x,pdf", "one,two red,pngs x,pdf");
        row("comma after a space", "listed: a ,png", "listed: a ,png");
        row("commas of a version in such a name", "sprite-v1,7,0,png 1,2 x", "sprite-v1.7.0.png 1,2 x");
        row("commas of a name whose period was read", "a1,2.png b1,2,c,png", "a1,2.png b1.2,c.png");
        // A thin hyphen read as a longer dash, only inside a word.
        row("em and en dash inside names", u8("shot—0042.png v–2"), "shot-0042.png v-2");
        row("minus and hyphen signs", u8("a−b.png c‐d.gif"), "a-b.png c-d.gif");
        row("dashes in prose kept", u8("done — next— –x"), u8("done — next— –x"));
        row("a run of dashes kept", u8("a——b.png"), u8("a——b.png"));
        row("at either end kept", u8("—a.png—"), u8("—a.png—"));
        // A "g" whose tail was cut, only at the end of what becomes an image extension.
        row("q ending png, jpg, jpeg", "a.pnq b-7.jpq c_2.jpeq", "a.png b-7.jpg c_2.jpeg");
        row("after a comma period", "render-v002,pnq", "render-v002.png");
        row("q inside names kept", "quip.png aqua.gif", "quip.png aqua.gif");
        row("not an extension kept", "a.q b.faq c.pnqx d. pnq", "a.q b.faq c.pnqx d. pnq");
    }
    void recognitionRepair() {
        QFETCH(QString, text);
        QFETCH(QString, repaired);
        QCOMPARE(normalisingRecognition(text), repaired);
    }

    void wrappedPaths_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("joined");        // "=": the text unchanged
        QTest::addColumn<QList<qint64>>("origins"); // empty: not checked one by one
        const auto row = [](const char* name, const char* text, const char* joined,
                            const QList<qint64>& origins = {}) {
            QTest::newRow(name) << QString(text) << QString(joined) << origins;
        };
        row("indented", "a/\n  b.png", "a/b.png", {0, 1, 5, 6, 7, 8, 9});
        row("tab, crlf", "a/\r\n\tb", "a/b", {0, 1, 5});
        row("ends while skipping", "a/\n   ", "=");
        row("blank line", "a/\n  \nb", "=");
    }
    void wrappedPaths() {
        QFETCH(QString, text);
        QFETCH(QString, joined);
        QFETCH(QList<qint64>, origins);
        const JoinedText result = joiningWrappedPaths(text);
        QCOMPARE(result.text, joined == "=" ? text : joined);
        QCOMPARE(result.origins.size(), result.text.size());
        if (!origins.isEmpty()) QCOMPARE(result.origins, origins);
        for (qsizetype i = 0; i < result.origins.size(); ++i) {
            QVERIFY(i == 0 || result.origins[i] > result.origins[i - 1]);
            QCOMPARE(result.text.at(i), text.at(result.origins[i]));
        }
    }

    // Without the bounds the backtracking would take hours on a megabyte of hostile text.
    void hugeText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("found"); // by collect
        const auto row = [](const char* name, const QString& text, const QStringList& found) {
            QTest::newRow(name) << text << found;
        };
        const qsizetype mb = 1 << 20;
        row("one run", QStringLiteral("/a.").repeated(mb / 3), {});
        row("segments at the bound", (QStringLiteral("a.").repeated(2048) + ' ').repeated(mb / 4097), {});
        row("after a skipped segment", QStringLiteral("a.").repeated(3000) + " /x/y.png", {"/x/y.png"});
        row("past 64K", QStringLiteral("ab ").repeated(30000) + " /x/y.png", {});
        row("after a megabyte", QStringLiteral("a.").repeated(mb / 2) + " /x/y.png", {});
    }
    void hugeText() {
        QFETCH(QString, text);
        QFETCH(QStringList, found);
        QCOMPARE(references(collect(strict(), text)), found);
        QCOMPARE(collect(loose(), text).size(), found.size());
        // reference() searches only the segment at the offset, wherever it lies.
        const bool endsWithPath = text.endsWith(QLatin1String(" /x/y.png"));
        QCOMPARE(shown(reference(text, text.size())), endsWithPath ? "/x/y.png" : "-");
        QVERIFY(!reference(text, text.size() / 2));
        QVERIFY(!referenceAcrossWrappedLines(text, text.size() / 2));
    }
};

QTEST_GUILESS_MAIN(TestImageReference)
#include "test_image_reference.moc"
