#include "core/ImageReference.h"

#include <QTest>

using namespace ImageReference;

namespace {

const QString kEmoji = QStringLiteral("\U0001F642"); // two UTF-16 units

QStringList references(const QList<Match>& matches) {
    QStringList out;
    for (const Match& m : matches)
        out.append(m.reference);
    return out;
}

// The unbounded search: every match of the pattern over the whole text.
QList<Match> wholeTextMatches(const QRegularExpression& regex, const QString& text) {
    QList<Match> out;
    QRegularExpressionMatchIterator it = regex.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        out.append({m.capturedStart(), m.capturedLength(), m.captured()});
    }
    return out;
}

const QRegularExpression* pattern(const QString& name) {
    return name == QLatin1String("strict") ? strict() : loose();
}

} // namespace

class TestImageReference : public QObject {
    Q_OBJECT

  private slots:
    void extensions_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<bool>("supported");
        QTest::newRow("upper case") << "a/b/shot.PNG"
                                    << "png" << true;
        QTest::newRow("last dot wins") << "a/b.tar.gz"
                                       << "gz" << false;
        QTest::newRow("dot in a folder only") << "a.d/shot"
                                              << "" << false;
        QTest::newRow("hidden file") << "a/.png"
                                     << "" << false;
        QTest::newRow("trailing dot") << "a/b."
                                      << "" << false;
        QTest::newRow("trailing slash") << "a/b.webp/"
                                        << "webp" << true;
        QTest::newRow("empty") << ""
                               << "" << false;
    }
    void extensions() {
        QFETCH(QString, path);
        QFETCH(QString, extension);
        QFETCH(bool, supported);
        QCOMPARE(pathExtension(path), extension);
        QCOMPARE(isSupportedExtension(pathExtension(path)), supported);
        // The order is what the extension swap tries.
        QCOMPARE(supportedExtensions(), QStringList({"avif", "bmp", "gif", "heic", "heif", "jpeg", "jpg",
                                                     "png", "tif", "tiff", "webp"}));
    }

    void patterns_data() {
        QTest::addColumn<QString>("regex");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("case-insensitive extension")
            << "strict"
            << "/a/b/test-image.PNG" << QStringList{"/a/b/test-image.PNG"};
        QTest::newRow("mangled extension, strict") << "strict"
                                                   << "/a/b/test-image.pnq" << QStringList{};
        QTest::newRow("mangled extension, loose")
            << "loose"
            << "/a/b/test-image.pnq" << QStringList{"/a/b/test-image.pnq"};
        QTest::newRow("loose needs a slash") << "loose"
                                             << "test-image.pnq" << QStringList{};
        QTest::newRow("query kept") << "strict"
                                    << "https://x.com/a/pic.png?size=2"
                                    << QStringList{"https://x.com/a/pic.png?size=2"};
        QTest::newRow("query stops at blank")
            << "strict"
            << "see https://x.com/a/pic.png?size=2 now" << QStringList{"https://x.com/a/pic.png?size=2"};
        QTest::newRow("query stops at quote")
            << "strict"
            << "\"https://x.com/p.png?s=2\"" << QStringList{"https://x.com/p.png?s=2"};
        QTest::newRow("query stops at apostrophe")
            << "strict"
            << "'https://x.com/p.png?s=2'" << QStringList{"https://x.com/p.png?s=2"};
        QTest::newRow("query stops at angle")
            << "strict"
            << "<https://x.com/p.png?s=2>" << QStringList{"https://x.com/p.png?s=2"};
        QTest::newRow("query stops at bracket")
            << "strict"
            << "[https://x.com/p.png?s=2]" << QStringList{"https://x.com/p.png?s=2"};
        QTest::newRow("query stops at brace")
            << "strict"
            << "{https://x.com/p.png?s=2}" << QStringList{"https://x.com/p.png?s=2"};
        QTest::newRow("query stops at paren")
            << "strict"
            << "(see https://x.com/p.png?s=2)" << QStringList{"https://x.com/p.png?s=2"};
        QTest::newRow("file url and tilde")
            << "strict"
            << "file:///a/b.gif and ~/c/d.jpeg" << QStringList{"file:///a/b.gif", "~/c/d.jpeg"};
        QTest::newRow("shortest run") << "strict"
                                      << "a.png.png" << QStringList{"a.png"};
        QTest::newRow("tiff not cut to tif") << "strict"
                                             << "photo.tiff and x.tif" << QStringList{"photo.tiff", "x.tif"};
        QTest::newRow("slashed O") << "strict" << QString::fromUtf8("/Ørsted/ø.png")
                                   << QStringList{QString::fromUtf8("/Ørsted/ø.png")};
        QTest::newRow("prose") << "strict"
                               << "nothing to see here." << QStringList{};
    }
    void patterns() {
        QFETCH(QString, regex);
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        QCOMPARE(references(collect(pattern(regex), text)), expected);
    }

    // Searching segment by segment must find exactly what a whole-text search finds.
    void segmentsMatchWholeText_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("mixed") << "ls: a.png b/c.JPG 'd e.png' (f/g.webp) [h.gif]{i.bmp}<j.tif>";
        QTest::newRow("query with odd characters") << "https://h/x.png?a=1&b=%20#frag;x,y=\"z\"";
        QTest::newRow("non-ascii blanks are no separators")
            << QString::fromUtf8("x.png?q=a\u00A0b\u2003c /k/l.pnq");
        QTest::newRow("emoji") << kEmoji + "/a.png" + kEmoji + " https://x/" + kEmoji + "b.png?" + kEmoji;
        QTest::newRow("adjacent") << "a.pngb.png/c/d.pnqe.jpg";
        QTest::newRow("all separators") << "a.png\tb.png\nc.png\vd.png\fe.png\rf.png";
    }
    void segmentsMatchWholeText() {
        QFETCH(QString, text);
        for (const QRegularExpression* regex : {strict(), loose()}) {
            QVERIFY(regex);
            QCOMPARE(collect(regex, text), wholeTextMatches(*regex, text));
        }
    }

    void offsets_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<qint64>>("locations");
        QTest::addColumn<QList<qint64>>("lengths");
        QTest::newRow("ascii") << "see /a/b.png" << QList<qint64>{4} << QList<qint64>{8};
        QTest::newRow("emoji before") << kEmoji + " /a/b.png" << QList<qint64>{3} << QList<qint64>{8};
        QTest::newRow("emoji between")
            << "x.png" + kEmoji + kEmoji + "y.png" << QList<qint64>{0, 9} << QList<qint64>{5, 5};
        QTest::newRow("unpaired surrogate")
            << "a.png " + QString(QChar(0xD800)) + " b.png" << QList<qint64>{0, 8} << QList<qint64>{5, 5};
    }
    void offsets() {
        QFETCH(QString, text);
        QFETCH(QList<qint64>, locations);
        QFETCH(QList<qint64>, lengths);
        const QList<Match> matches = collect(strict(), text);
        QCOMPARE(matches.size(), locations.size());
        for (qsizetype i = 0; i < matches.size(); ++i) {
            QCOMPARE(matches[i].location, locations[i]);
            QCOMPARE(matches[i].length, lengths[i]);
            QCOMPARE(matches[i].reference, text.mid(locations[i], lengths[i]));
        }
    }

    void referenceAtOffset_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("offset");
        QTest::addColumn<QString>("expected"); // null: absent
        const QString text = QStringLiteral("open /a/b.png now");
        QTest::newRow("start") << text << qint64(5) << "/a/b.png";
        QTest::newRow("inside") << text << qint64(9) << "/a/b.png";
        QTest::newRow("end inclusive") << text << qint64(13) << "/a/b.png";
        QTest::newRow("one past end") << text << qint64(14) << QString();
        QTest::newRow("one before") << text << qint64(4) << QString();
        QTest::newRow("next starts there") << "a.png b.png" << qint64(6) << "b.png";
        QTest::newRow("first of two at a shared end") << "a.pngb.png" << qint64(5) << "a.png";
        QTest::newRow("after emoji") << kEmoji + kEmoji + " x/y.gif" << qint64(5) << "x/y.gif";
        QTest::newRow("negative") << text << qint64(-1) << QString();
        QTest::newRow("past the text") << text << qint64(99) << QString();
        QTest::newRow("loose only") << "see /a/b.pnq" << qint64(6) << QString();
        QTest::newRow("empty text") << "" << qint64(0) << QString();
    }
    void referenceAtOffset() {
        QFETCH(QString, text);
        QFETCH(qint64, offset);
        QFETCH(QString, expected);
        QCOMPARE(reference(text, offset).value_or(QString()), expected);
        QCOMPARE(reference(text, offset).has_value(), !expected.isNull());
    }

    void recognitionRepair_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("repaired");
        QTest::addColumn<QStringList>("strictReferences");
        QTest::newRow("bullet") << QString::fromUtf8("name•png") << "name.png" << QStringList{"name.png"};
        QTest::newRow("middle dot") << QString::fromUtf8("a/b·jpg") << "a/b.jpg" << QStringList{"a/b.jpg"};
        QTest::newRow("bullet operator")
            << QString::fromUtf8("c\u2219gif") << "c.gif" << QStringList{"c.gif"};
        QTest::newRow("black circle") << QString::fromUtf8("d\u25CFbmp") << "d.bmp" << QStringList{"d.bmp"};
        QTest::newRow("hyphenation point")
            << QString::fromUtf8("e\u2027tif") << "e.tif" << QStringList{"e.tif"};
        QTest::newRow("bullet prose") << QString::fromUtf8("• Fixed: see the notes and the diff")
                                      << ". Fixed: see the notes and the diff" << QStringList{};
        QTest::newRow("nothing to repair") << "plain.png text"
                                           << "plain.png text" << QStringList{"plain.png"};
        QTest::newRow("bullet with a combining mark")
            << QString::fromUtf8("n\u2022\u0301png") << QString::fromUtf8("n\u2022\u0301png")
            << QStringList{};
        QTest::newRow("after emoji") << kEmoji + QString::fromUtf8("x•png") << kEmoji + "x.png"
                                     << QStringList{"x.png"};
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
        QTest::addColumn<QList<qint64>>("origins"); // empty: one for one
        QTest::newRow("unindented not joined")
            << "see https://x.com/\noverview.png is elsewhere"
            << "see https://x.com/\noverview.png is elsewhere" << QList<qint64>{};
        QTest::newRow("indented joined") << "a/\n  b.png"
                                         << "a/b.png" << QList<qint64>{0, 1, 5, 6, 7, 8, 9};
        QTest::newRow("tab") << "a/\n\tb.png"
                             << "a/b.png" << QList<qint64>{0, 1, 4, 5, 6, 7, 8};
        QTest::newRow("crlf") << "a/\r\n  b"
                              << "a/b" << QList<qint64>{0, 1, 6};
        QTest::newRow("cr") << "a/\r  b"
                            << "a/b" << QList<qint64>{0, 1, 5};
        QTest::newRow("three lines")
            << "out/\n  generated_images/01a0557d-6b34/\n  exec-a4713290-d008.png done"
            << "out/generated_images/01a0557d-6b34/exec-a4713290-d008.png done" << QList<qint64>{};
        QTest::newRow("no slash before break") << "a\n  b.png"
                                               << "a\n  b.png" << QList<qint64>{};
        QTest::newRow("ends while skipping") << "a/\n   "
                                             << "a/\n   " << QList<qint64>{};
        QTest::newRow("blank line next") << "a/\n  \nb"
                                         << "a/\n  \nb" << QList<qint64>{};
        QTest::newRow("not a path character") << "a/\n  (b)"
                                              << "a/\n  (b)" << QList<qint64>{};
        QTest::newRow("break at the end") << "a/\n"
                                          << "a/\n"
                                          << QList<qint64>{};
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
            if (i > 0) QVERIFY(result.origins[i] > result.origins[i - 1]);
            QCOMPARE(result.text.at(i), text.at(result.origins[i]));
        }
    }

    void acrossWrappedLines_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("offset");
        QTest::addColumn<QString>("expected"); // null: absent
        const QString wrapped =
            QStringLiteral("saved out/\n  generated_images/01a0557d-6b34/\n  exec-a4713290-d008.png ok");
        const QString full = QStringLiteral("out/generated_images/01a0557d-6b34/exec-a4713290-d008.png");
        QTest::newRow("first line") << wrapped << qint64(7) << full;
        QTest::newRow("last line") << wrapped << qint64(wrapped.indexOf("exec") + 3) << full;
        QTest::newRow("on removed indentation") << wrapped << qint64(11) << full;
        QTest::newRow("nothing joined") << "open /a/b.png now" << qint64(7) << QString();
        QTest::newRow("prose web address")
            << "see https://x.com/\noverview.png is elsewhere" << qint64(20) << QString();
        QTest::newRow("offset past the end") << wrapped << qint64(wrapped.size() + 1) << QString();
        QTest::newRow("crlf") << "x/\r\n  y.png" << qint64(8) << "x/y.png";
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
        QTest::addColumn<QStringList>("strictReferences");
        const qsizetype mb = 1 << 20;
        QTest::newRow("one run of path characters") << QStringLiteral("a.").repeated(mb / 2) << QStringList{};
        QTest::newRow("slashed run") << QStringLiteral("/a.").repeated(mb / 3) << QStringList{};
        QTest::newRow("segments at the bound")
            << (QStringLiteral("a.").repeated(2048) + ' ').repeated(mb / 4097) << QStringList{};
        QTest::newRow("collect stops at a segment past 64K")
            << QStringLiteral("a.").repeated(mb / 2) + " /x/y.png" << QStringList{};
        QTest::newRow("found after a long segment")
            << QStringLiteral("a.").repeated(3000) + " /x/y.png" << QStringList{"/x/y.png"};
        QTest::newRow("nothing looked at past 64K")
            << QStringLiteral("ab ").repeated(30000) + "/x/y.png" << QStringList{};
    }
    void hugeText() {
        QFETCH(QString, text);
        QFETCH(QStringList, strictReferences);
        QCOMPARE(references(collect(strict(), text)), strictReferences);
        QCOMPARE(collect(loose(), text).size(), strictReferences.size());
        // reference() looks only at the segment under the offset, wherever it is.
        const bool endsWithPath = text.endsWith(QLatin1String(" /x/y.png"));
        QCOMPARE(reference(text, text.size()).value_or(QString()), endsWithPath ? "/x/y.png" : QString());
        QVERIFY(!reference(text, text.size() / 2));
        QVERIFY(!referenceAcrossWrappedLines(text, text.size() / 2));
    }
};

QTEST_GUILESS_MAIN(TestImageReference)
#include "test_image_reference.moc"
