// Names with spaces: the readings a text offers at an offset (quoted, escaped,
// unquoted), the choice among them against files on disk, and hostile text.
#include "TempTree.h"
#include "core/ImageReference.h"
#include "core/SpacedNames.h"

#include <QSet>
#include <QTest>

using namespace SpacedNames;

namespace {

// "Q:name", "P:name", "E:name", "U:name" for each reading, in order.
QStringList described(const QList<Reading>& readings, bool unquoted) {
    QStringList out;
    for (const Reading& r : readings) {
        if ((r.form == Form::Unquoted) != unquoted) continue;
        const char* form = r.form == Form::Quoted          ? "Q:"
                           : r.form == Form::Parenthesised ? "P:"
                           : r.form == Form::Escaped       ? "E:"
                                                           : "U:";
        out.append(QLatin1String(form) + r.name);
    }
    return out;
}

// The offset of the first unit of `under` in text (the pointer rests there).
qint64 offsetOf(const QString& text, const QString& under) {
    const qsizetype at = text.indexOf(under);
    return at < 0 ? -1 : at;
}

} // namespace

class TestSpacedNames : public QObject {
    Q_OBJECT

    std::unique_ptr<TempTree> tree_;

  private slots:
    void init() { tree_ = std::make_unique<TempTree>(); }

    // The pointer on the first unit of `under`. Explicit: the quoted and escaped
    // readings; unquoted: every unquoted reading, or {"*"} when not checked.
    void readingsAtTheOffset_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("under");
        QTest::addColumn<QStringList>("explicitReadings");
        QTest::addColumn<QStringList>("unquoted");
        const auto row = [](const char* name, const QString& text, const char* under, const QStringList& q,
                            const QStringList& u = {"*"}) {
            QTest::newRow(name) << text << QString::fromUtf8(under) << q << u;
        };
        const QString gnome = QStringLiteral("Screenshot from 2026-12-07 10-00-00.png");
        row("ls quotes a GNOME screenshot", "'" + gnome + "'  notes.txt", "from", {"Q:" + gnome},
            {"U:from 2026-12-07 10-00-00.png", "U:'" + gnome, "U:" + gnome});
        row("double quotes around an apostrophe", "cp \"Bob's shot.png\" /tmp", "Bob", {"Q:Bob's shot.png"},
            {"U:\"Bob's shot.png", "U:Bob's shot.png", "U:cp \"Bob's shot.png"});
        row("ls writes an apostrophe as '\\''", "'Bob'\\''s shot 1.png'  b.png", "shot",
            {"Q:Bob's shot 1.png"});
        row("two apostrophes the shell's way", "'a'\\''b'\\''c d.png'", "c d", {"Q:a'b'c d.png"});
        row("a lone '\\' is no apostrophe", "x'\\ shot 1.png'", "shot", {"Q:\\ shot 1.png"});
        row("single quotes around double quotes", "'say \"hi\" now.png'", "say", {"Q:say \"hi\" now.png"});
        row("JSON escapes its quotes", "{\"file\": \"say \\\"hi\\\" now.png\", \"w\": 3}", "say",
            {"Q:say \"hi\" now.png"});
        row("JSON escapes a backslash", "{\"f\": \"a\\\\ b.png\"}", "a\\", {"Q:a\\ b.png"});
        row("curly quotes", QString::fromUtf8("see \u2018shot 1.png\u2019 here"), "shot", {"Q:shot 1.png"});
        row("backticks", "open `shot 1.png` now", "shot", {"Q:shot 1.png"});
        row("Markdown angle brackets", "![x](<Screen Shot 2026-12-07 at 10.00.00.png>)", "Shot",
            {"Q:Screen Shot 2026-12-07 at 10.00.00.png"});
        row("Markdown parentheses nest", "[a](shots/shot (1) final.png) b", "final",
            {"P:shots/shot (1) final.png"});
        row("escaped spaces", "cp Screenshot\\ from\\ 2026.png /tmp", "from", {"E:Screenshot from 2026.png"},
            {"U:from\\ 2026.png", "U:Screenshot\\ from\\ 2026.png", "U:cp Screenshot\\ from\\ 2026.png"});
        row("escaped quote and parentheses", "Bob\\'s\\ shot\\ \\(1\\).png", "shot",
            {"E:Bob's shot (1).png"});
        row("two quoted names, pointer on the first", "'shot 1.png'  'shot 2.png'", "shot 1",
            {"Q:shot 1.png"}, {"*"});
        row("two quoted names, pointer on the second", "'shot 1.png'  'shot 2.png'", "shot 2",
            {"Q:shot 2.png"}, {"*"});
        row("bare Screen Shot name in prose", "Saved Screen Shot 2026-12-07 at 10.00.00.png.", "Screen", {},
            {"U:Screen Shot 2026-12-07 at 10.00.00.png", "U:Saved Screen Shot 2026-12-07 at 10.00.00.png"});

        // Where readings end.
        row("a quote that never closes", "'shot 1.png and more", "shot", {},
            {"U:'shot 1.png", "U:shot 1.png"});
        row("a closing quote without an opener", "shot 1.png' and more", "shot", {}, {"U:shot 1.png"});
        row("an escape at the line's end", "shot\\\n1.png", "shot", {}, {});
        row("a quote on the line above", "'first\nshot 1.png'", "shot", {}, {"U:shot 1.png"});
        row("not an image", "shot 1.png.txt and shot 2.pngs", "shot", {}, {});
        row("words on the line above", "Screenshot from\n2026.png", "Screenshot", {}, {});
        row("pointer just after the name", "x shot 1.png then", " then", {},
            {"U:1.png", "U:shot 1.png", "U:x shot 1.png"});
        row("pointer two after the name", "x shot 1.png then", "then", {}, {});
        row("eight words to the left", "w1 w2 w3 w4 w5 w6 w7 w8 x.png", "w1", {},
            {"U:w1 w2 w3 w4 w5 w6 w7 w8 x.png"});
        row("nine words to the left", "w0 w1 w2 w3 w4 w5 w6 w7 w8 x.png", "w0", {}, {});
        row("tabs part no words", "shot\t1.png", "shot", {}, {});
        row("a hidden file is no stem", "see .png here", "see", {}, {});
    }
    void readingsAtTheOffset() {
        QFETCH(QString, text);
        QFETCH(QString, under);
        QFETCH(QStringList, explicitReadings);
        QFETCH(QStringList, unquoted);
        const qint64 at = offsetOf(text, under);
        QVERIFY(at >= 0);
        const QList<Reading> found = readings(text, at, at);
        QCOMPARE(described(found, false), explicitReadings);
        if (unquoted != QStringList{"*"}) QCOMPARE(described(found, true), unquoted);
        for (const Reading& r : found) {
            QVERIFY(r.location <= at && at <= r.location + r.length);
            QVERIFY(r.location + r.length <= text.size());
        }
    }

    // Resolved as the accessibility reader does, against a folder holding `files`.
    void choice_data() {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("under");
        QTest::addColumn<QString>("expected"); // the file, "" for none, "?" for refused
        const auto row = [](const char* name, const QStringList& files, const QString& text,
                            const char* under, const char* expected) {
            QTest::newRow(name) << files << text << QString::fromUtf8(under) << QString::fromUtf8(expected);
        };
        const QString gnome = QStringLiteral("Screenshot from 2026-12-07 10-00-00.png");
        row("ls output", {gnome}, "'" + gnome + "'  notes.txt", "2026", gnome.toUtf8().constData());
        row("prose", {gnome}, "Saved " + gnome + " to Pictures", "Screenshot", gnome.toUtf8().constData());
        row("escaped", {"shot 1.png"}, "rm shot\\ 1.png", "shot", "shot 1.png");
        row("ls's apostrophe", {"Bob's shot 1.png", "s shot 1.png"}, "'Bob'\\''s shot 1.png'", "shot",
            "Bob's shot 1.png");
        row("JSON", {"say \"hi\".png"}, "{\"f\": \"say \\\"hi\\\".png\"}", "say", "say \"hi\".png");
        row("in a folder", {"shots/Screen Shot 1.png"}, "open shots/Screen Shot 1.png", "Screen",
            "shots/Screen Shot 1.png");
        row("longest existing wins", {"shot 1.png", "my shot 1.png"}, "see my shot 1.png", "shot",
            "my shot 1.png");
        row("longest existing wins over two words", {"c 1.png", "a b c 1.png"}, "x a b c 1.png", "c 1",
            "a b c 1.png");
        row("two files of one length refuse", {"abcde c.png", "c.png d.png"}, "abcde c.png d.png", "c.png",
            "?");
        row("quoted and unquoted readings differ", {"a b.png", "see 'a b.png"}, "see 'a b.png'", "a b", "?");
        row("quoted and unquoted agree", {"shot 1.png"}, "'shot 1.png'", "shot", "shot 1.png");
        row("a name with a quote inside quotes", {"Bob's shot.png"}, "\"Bob's shot.png\"", "shot",
            "Bob's shot.png");
        row("nothing exists", {"other.png"}, "'shot 1.png'", "shot", "");
        row("a web address is no bare name", {}, "see http://host/a b.png", "a b", "");
    }
    void choice() {
        QFETCH(QStringList, files);
        QFETCH(QString, text);
        QFETCH(QString, under);
        QFETCH(QString, expected);
        for (const QString& f : files)
            tree_->file(f);
        const ResolutionContext context{tree_->url(), {}};
        const qint64 at = offsetOf(text, under);
        QVERIFY(at >= 0);
        const Choice c = choose(readings(text, at, at), [&](const QString& name) {
            return ImageReference::resolveExact(name, context);
        });
        QCOMPARE(c.ambiguous, expected == "?");
        QCOMPARE(c.url.value_or(QUrl()),
                 expected.isEmpty() || expected == "?" ? QUrl() : tree_->url(expected));
    }

    // A repair may find another file for an unquoted reading; only a file named
    // as written counts. Quoted readings are explicit and may be repaired.
    void unquotedReadingsAreNotRepaired_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("unquoted") << "see my shot 1.png"
                                  << "";
        QTest::newRow("quoted") << "'my shot 1.png'"
                                << "/x/my shot l.png";
    }
    void unquotedReadingsAreNotRepaired() {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        const qint64 at = text.indexOf("shot");
        QStringList asked;
        const Choice c = choose(readings(text, at, at), [&](const QString& name) -> std::optional<QUrl> {
            asked << name;
            if (name.endsWith("my shot 1.png")) return QUrl::fromLocalFile("/x/my shot l.png");
            return std::nullopt;
        });
        QCOMPARE(c.url.value_or(QUrl()), expected.isEmpty() ? QUrl() : QUrl::fromLocalFile(expected));
        QCOMPARE(asked.size(), QSet<QString>(asked.cbegin(), asked.cend()).size()); // each name once
    }

    // Hostile text: bounded work, no crash, readings within the bounds.
    void hostileText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("longest"); // the longest reading allowed
        const auto row = [](const char* name, const QString& text, qint64 longest) {
            QTest::newRow(name) << text << longest;
        };
        row("4096 units of words", QStringLiteral("ab ").repeated(1364) + "c.png", 3 * 8 + 5);
        row("4096 units of spaces", QString(4096, ' ') + "a.png", 5);
        row("one word past the bound", QStringLiteral("x").repeated(5000) + " a b.png", 7);
        row("names without spaces", QStringLiteral("a.png;").repeated(1000), kLongestReading);
        row("quotes that never close", QStringLiteral("'a b.png ").repeated(500), 48);
        row("closers without openers", QStringLiteral("a b.png' ").repeated(500), 48);
        row("backslashes", QStringLiteral("\\").repeated(3000) + " a.png\" \\\"b.png\"", kLongestReading);
        row("escapes everywhere", QStringLiteral("a\\ ").repeated(2000) + "b.png", kLongestReading);
        row("parentheses", QStringLiteral("(").repeated(3000) + "a b.png)", kLongestReading);
    }
    void hostileText() {
        QFETCH(QString, text);
        QFETCH(qint64, longest);
        for (const qint64 at : {qint64(0), text.size() / 2, text.size() - 3, text.size()}) {
            const QList<Reading> found = readings(text, at, at);
            // At most 10 extensions read, each with 9 words (with and without a
            // leading quote), an escaped and a quoted reading.
            QVERIFY(found.size() <= 10 * (2 * (kMostWords + 1) + 2));
            for (const Reading& r : found) {
                QVERIFY(r.length <= longest);
                QVERIFY(r.length <= kLongestReading);
            }
        }
        // The whole text at once, as a recognised line is read.
        const QList<Reading> all = readings(text, 0, text.size());
        for (const Reading& r : all)
            QVERIFY(r.location >= 0 && r.location + r.length <= text.size());
    }

    void offsetsOutsideTheText_data() {
        QTest::addColumn<qint64>("from");
        QTest::addColumn<qint64>("to");
        QTest::newRow("negative") << qint64(-5) << qint64(-1);
        QTest::newRow("past the end") << qint64(100) << qint64(200);
        QTest::newRow("reversed") << qint64(5) << qint64(2);
    }
    void offsetsOutsideTheText() {
        QFETCH(qint64, from);
        QFETCH(qint64, to);
        QVERIFY(readings(QStringLiteral("'shot 1.png'"), from, to).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSpacedNames)
#include "test_spaced_names.moc"
