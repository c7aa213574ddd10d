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

} // namespace

class TestImageReference : public QObject {
    Q_OBJECT

  private slots:
    void extensions_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("extension");
        QTest::newRow("upper case") << "a/b/shot.PNG"
                                    << "png";
        QTest::newRow("dot in a folder only") << "a.d/shot"
                                              << "";
        QTest::newRow("hidden file") << "a/.png"
                                     << "";
        QTest::newRow("trailing dot") << "a/b."
                                      << "";
        QTest::newRow("trailing slash") << "a/b.webp/"
                                        << "webp";
    }
    void extensions() {
        QFETCH(QString, path);
        QFETCH(QString, extension);
        QCOMPARE(pathExtension(path), extension);
        QCOMPARE(isSupportedExtension(extension.toUpper()), !extension.isEmpty());
        QVERIFY(!isSupportedExtension(QStringLiteral("pnq")));
    }

    void patterns_data() {
        QTest::addColumn<QString>("regex");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expected");
        const auto row = [](const char* name, const char* regex, const QString& text,
                            const QStringList& expected) {
            QTest::newRow(name) << QString::fromLatin1(regex) << text << expected;
        };
        row("any letter case", "strict", "/a/b/test-image.PNG", {"/a/b/test-image.PNG"});
        row("mangled extension", "strict", "/a/b/test-image.pnq", {});
        row("mangled extension, loose", "loose", "/a/b/test-image.pnq", {"/a/b/test-image.pnq"});
        row("loose needs a slash", "loose", "test-image.pnq", {});
        row("query", "strict", "https://x.com/a/pic.png?size=2", {"https://x.com/a/pic.png?size=2"});
        row("query stops", "strict", "a.png?1 \"b.png?2\" 'c.png?3' <d.png?4> [e.png?5] {f.png?6} (g.png?7)",
            {"a.png?1", "b.png?2", "c.png?3", "d.png?4", "e.png?5", "f.png?6", "g.png?7"});
        row("file url and tilde", "strict", "file:///a/b.gif ~/c/d.jpeg", {"file:///a/b.gif", "~/c/d.jpeg"});
        row("shortest run", "strict", "a.png.png", {"a.png"});
        row("tiff not cut to tif", "strict", "photo.tiff x.tif", {"photo.tiff", "x.tif"});
        row("slashed O", "strict", u8("/Ørsted/ø.png"), {u8("/Ørsted/ø.png")});
    }
    void patterns() {
        QFETCH(QString, regex);
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        QCOMPARE(references(collect(regex == "strict" ? strict() : loose(), text)), expected);
    }

    // Searching segment by segment must find exactly what one search of the whole text finds.
    void segmentsMatchWholeText_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("mixed") << "ls: a.png b/c.JPG 'd e.png' (f/g.webp) [h.gif]{i.bmp}<j.tif>";
        QTest::newRow("query characters") << "https://h/x.png?a=1&b=%20#frag;x,y=\"z\"";
        QTest::newRow("non-ascii blanks") << u8("x.png?q=a\u00A0b\u2003c /k/l.pnq");
        QTest::newRow("emoji") << kEmoji + "/a.png" + kEmoji + " https://x/" + kEmoji + "b.png?" + kEmoji;
        QTest::newRow("all separators") << "a.png\tb.png\nc.png\vd.png\fe.png\rf.pngg.png";
    }
    void segmentsMatchWholeText() {
        QFETCH(QString, text);
        for (const QRegularExpression* regex : {strict(), loose()}) {
            QList<Match> whole;
            for (auto it = regex->globalMatch(text); it.hasNext();) {
                const QRegularExpressionMatch m = it.next();
                whole.append({m.capturedStart(), m.capturedLength(), m.captured()});
            }
            QCOMPARE(collect(regex, text), whole);
        }
    }

    void offsets_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<qint64>>("locations"); // every match is 5 units long
        QTest::newRow("ascii") << "see a.png" << QList<qint64>{4};
        QTest::newRow("emoji before") << kEmoji + " a.png" << QList<qint64>{3};
        QTest::newRow("emoji between") << "x.png" + kEmoji + kEmoji + "y.png" << QList<qint64>{0, 9};
        QTest::newRow("unpaired surrogate")
            << "a.png " + QString(QChar(0xD800)) + " b.png" << QList<qint64>{0, 8};
    }
    void offsets() {
        QFETCH(QString, text);
        QFETCH(QList<qint64>, locations);
        const QList<Match> matches = collect(strict(), text);
        QCOMPARE(matches.size(), locations.size());
        for (qsizetype i = 0; i < matches.size(); ++i) {
            QCOMPARE(matches[i].location, locations[i]);
            QCOMPARE(matches[i].length, qint64(5));
            QCOMPARE(matches[i].reference, text.mid(locations[i], 5));
        }
    }

    void referenceAtOffset_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("offset");
        QTest::addColumn<QString>("expected"); // null: absent
        const QString text = QStringLiteral("open /a/b.png now");
        QTest::newRow("start") << text << qint64(5) << "/a/b.png";
        QTest::newRow("end inclusive") << text << qint64(13) << "/a/b.png";
        QTest::newRow("one past the end") << text << qint64(14) << QString();
        QTest::newRow("one before") << text << qint64(4) << QString();
        QTest::newRow("next starts there") << "a.png b.png" << qint64(6) << "b.png";
        QTest::newRow("first of two at a shared end") << "a.pngb.png" << qint64(5) << "a.png";
        QTest::newRow("after emoji") << kEmoji + kEmoji + " x/y.gif" << qint64(5) << "x/y.gif";
        QTest::newRow("negative") << text << qint64(-1) << QString();
        QTest::newRow("past the text") << text << qint64(99) << QString();
        QTest::newRow("loose only") << "see /a/b.pnq" << qint64(6) << QString();
    }
    void referenceAtOffset() {
        QFETCH(QString, text);
        QFETCH(qint64, offset);
        QFETCH(QString, expected);
        const std::optional<QString> found = reference(text, offset);
        QCOMPARE(found.has_value(), !expected.isNull());
        QCOMPARE(found.value_or(QString()), expected);
    }

    void recognitionRepair_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("repaired");
        QTest::addColumn<QStringList>("strictReferences");
        QTest::newRow("all five") << u8("a•png b·jpg c\u2219gif d\u25CFbmp e\u2027tif")
                                  << "a.png b.jpg c.gif d.bmp e.tif"
                                  << QStringList{"a.png", "b.jpg", "c.gif", "d.bmp", "e.tif"};
        QTest::newRow("bullet prose") << u8("• Fixed: see the notes and the diff")
                                      << ". Fixed: see the notes and the diff" << QStringList{};
        QTest::newRow("nothing to repair") << "plain.png"
                                           << "plain.png" << QStringList{"plain.png"};
        QTest::newRow("combining mark") << u8("n\u2022\u0301png") << u8("n\u2022\u0301png") << QStringList{};
        QTest::newRow("after emoji") << kEmoji + u8("x•png") << kEmoji + "x.png" << QStringList{"x.png"};
    }
    void recognitionRepair() {
        QFETCH(QString, text);
        QFETCH(QString, repaired);
        QFETCH(QStringList, strictReferences);
        const QString result = normalisingRecognition(text);
        QCOMPARE(result, repaired);
        QCOMPARE(result.size(), text.size());
        QCOMPARE(references(collect(strict(), result)), strictReferences);
    }

    void wrappedPaths_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("joined");
        QTest::addColumn<QList<qint64>>("origins"); // empty: not checked one by one
        const QString web = QStringLiteral("see https://x.com/\noverview.png is elsewhere");
        QTest::newRow("unindented") << web << web << QList<qint64>{};
        QTest::newRow("indented") << "a/\n  b.png"
                                  << "a/b.png" << QList<qint64>{0, 1, 5, 6, 7, 8, 9};
        QTest::newRow("tab, crlf") << "a/\r\n\tb"
                                   << "a/b" << QList<qint64>{0, 1, 5};
        QTest::newRow("cr") << "a/\r  b"
                            << "a/b" << QList<qint64>{0, 1, 5};
        QTest::newRow("three lines")
            << "out/\n  generated_images/01a0557d-6b34/\n  exec-a4713290-d008.png done"
            << "out/generated_images/01a0557d-6b34/exec-a4713290-d008.png done" << QList<qint64>{};
        QTest::newRow("no slash") << "a\n  b.png"
                                  << "a\n  b.png" << QList<qint64>{};
        QTest::newRow("ends while skipping") << "a/\n   "
                                             << "a/\n   " << QList<qint64>{};
        QTest::newRow("blank line") << "a/\n  \nb"
                                    << "a/\n  \nb" << QList<qint64>{};
        QTest::newRow("no path character") << "a/\n  (b)"
                                           << "a/\n  (b)" << QList<qint64>{};
    }
    void wrappedPaths() {
        QFETCH(QString, text);
        QFETCH(QString, joined);
        QFETCH(QList<qint64>, origins);
        const JoinedText result = joiningWrappedPaths(text);
        QCOMPARE(result.text, joined);
        QCOMPARE(result.origins.size(), result.text.size());
        if (!origins.isEmpty()) QCOMPARE(result.origins, origins);
        for (qsizetype i = 0; i < result.origins.size(); ++i) {
            QVERIFY(i == 0 || result.origins[i] > result.origins[i - 1]);
            QCOMPARE(result.text.at(i), text.at(result.origins[i]));
        }
    }

    void acrossWrappedLines_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("offset");
        QTest::addColumn<QString>("expected"); // null: absent
        const QString wrapped = QStringLiteral("saved out/\n  images/01a0557d/\n  exec-a4713290.png ok");
        const QString full = QStringLiteral("out/images/01a0557d/exec-a4713290.png");
        QTest::newRow("first line") << wrapped << qint64(7) << full;
        QTest::newRow("last line") << wrapped << qint64(wrapped.indexOf("exec") + 3) << full;
        QTest::newRow("on removed indentation") << wrapped << qint64(11) << full;
        QTest::newRow("nothing joined") << "open /a/b.png now" << qint64(7) << QString();
        QTest::newRow("prose web address") << "see https://x.com/\noverview.png" << qint64(20) << QString();
        QTest::newRow("past the end") << wrapped << qint64(wrapped.size() + 1) << QString();
    }
    void acrossWrappedLines() {
        QFETCH(QString, text);
        QFETCH(qint64, offset);
        QFETCH(QString, expected);
        const std::optional<QString> found = referenceAcrossWrappedLines(text, offset);
        QCOMPARE(found.has_value(), !expected.isNull());
        QCOMPARE(found.value_or(QString()), expected);
    }

    // A megabyte of hostile text gets an answer. Without the bounds the
    // backtracking would take hours here, so the suite would time out.
    void hugeText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("found"); // by collect
        const qsizetype mb = 1 << 20;
        QTest::newRow("one run") << QStringLiteral("a.").repeated(mb / 2) << QStringList{};
        QTest::newRow("slashed run") << QStringLiteral("/a.").repeated(mb / 3) << QStringList{};
        QTest::newRow("segments at the bound")
            << (QStringLiteral("a.").repeated(2048) + ' ').repeated(mb / 4097) << QStringList{};
        QTest::newRow("after a skipped segment")
            << QStringLiteral("a.").repeated(3000) + " /x/y.png" << QStringList{"/x/y.png"};
        QTest::newRow("past 64K") << QStringLiteral("ab ").repeated(30000) + " /x/y.png" << QStringList{};
        QTest::newRow("after a megabyte")
            << QStringLiteral("a.").repeated(mb / 2) + " /x/y.png" << QStringList{};
    }
    void hugeText() {
        QFETCH(QString, text);
        QFETCH(QStringList, found);
        QCOMPARE(references(collect(strict(), text)), found);
        QCOMPARE(collect(loose(), text).size(), found.size());
        // reference() searches only the segment at the offset, wherever it lies.
        const bool endsWithPath = text.endsWith(QLatin1String(" /x/y.png"));
        QCOMPARE(reference(text, text.size()).value_or(QString()), endsWithPath ? "/x/y.png" : QString());
        QVERIFY(!reference(text, text.size() / 2));
        QVERIFY(!referenceAcrossWrappedLines(text, text.size() / 2));
    }
};

QTEST_GUILESS_MAIN(TestImageReference)
#include "test_image_reference.moc"
