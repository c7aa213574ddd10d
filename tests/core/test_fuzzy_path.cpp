#include "TempTree.h"
#include "core/FuzzyPath.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTest>
#include <climits>
#include <fcntl.h>
#include <unistd.h>

namespace {

const QString kAbsent = QStringLiteral("<absent>");

} // namespace

class TestFuzzyPath : public QObject {
    Q_OBJECT

  private slots:
    // Both ways; the banded distance agrees within the limit and says "beyond" otherwise.
    void editDistance_data() {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("expected");
        QTest::addColumn<int>("limit");
        const auto row = [](const char* name, const QString& a, const char* b, int expected, int limit) {
            QTest::newRow(name) << a << QString(b) << expected << limit;
        };
        row("pnq", "test-image.pnq", "test-image.png", 1, 1);
        row("every confusion class", QString::fromUtf8("0OqQøØ 1LiI|! 5S 8B 2Z 9G _ (C"),
            "oooooo llllll ss bb zz gg - cc", 0, 0);
        row("digit to digit", "shot_012", "shot_013", 10000, 6);
        row("from empty", "", "ab12", 20002, 6);
        // 300000 digit deletions overflow an int: the answer saturates.
        row("saturates", QString(300000, QLatin1Char('7')), "", INT_MAX, 6);
        row("shifted", "abcdefgh", "xxabcdefgh", 2, 2);
        row("shift beyond", "abcdefgh", "xxxabcdefgh", 3, 2);
        row("outside the band", "abcdefgh", "cdefghxy", 4, 2);
    }
    void editDistance() {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, expected);
        QFETCH(int, limit);
        for (const auto& [x, y] : {std::pair{a, b}, std::pair{b, a}}) {
            QCOMPARE(FuzzyPath::editDistance(x, y), expected);
            const int within = FuzzyPath::editDistanceWithin(x, y, limit);
            if (expected <= limit)
                QCOMPARE(within, expected);
            else
                QVERIFY2(within > limit, qPrintable(QString::number(within)));
        }
    }

    void bestMatch_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("candidates");
        QTest::addColumn<bool>("clipped");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const QString& text, const QStringList& candidates,
                            bool clipped, const QString& expected) {
            QTest::newRow(name) << text << candidates << clipped << expected;
        };
        const QStringList catBat = {"bat.png", "hat.png"};
        row("version never changed", "render_v003_5X1.png", {"render_v004_5X1.png"}, true, kAbsent);
        row("closer first, ties later", "cat.png", QStringList{"CAT.png"} + catBat + catBat, false,
            "CAT.png");
        row("tie at the best", "cat.png", {"bat.png", "CAT.png", "Cat.png"}, false, kAbsent);
        row("clipped start", "sheet.png", {"contact-sheet.png"}, true, "contact-sheet.png");
        row("clipped not allowed", "sheet.png", {"contact-sheet.png"}, false, kAbsent);
        row("clipped end", "contact-sh", {"contact-sheet.png"}, true, "contact-sheet.png");
        row("clipped too much", "et.png", {"contact-sheet.png"}, true, kAbsent);
        row("out of budget", "abcdef.png", {"uvwxyz.png"}, false, kAbsent);
        const QString huge = QString(1 << 20, QLatin1Char('a')) + QStringLiteral(".png");
        QString nearCopy = huge;
        nearCopy[500000] = QLatin1Char('x');
        row("huge name", huge, {"a.png", "aaaa.png", nearCopy}, false, nearCopy);
        row("huge candidate", "a.png", {huge}, true, kAbsent);

        // Confusion classes are free at any length; other edits need a stem of 8.
        row("short stem, other letter", "b.png", {"a.png"}, true, kAbsent);
        row("short stem, two letters", "zz.png", {"a.png"}, true, kAbsent);
        row("short stem, undecodable", QString::fromUtf8("\xff.png"), {"a.png"}, true, kAbsent);
        row("short stem, class", "8.png", {"b.png"}, true, "b.png");
        row("7-letter stem, one edit", "abcdefx.png", {"abcdefg.png"}, false, kAbsent);
        row("8-letter stem, one edit", "abcdefgx.png", {"abcdefgh.png"}, false, "abcdefgh.png");
        row("8-letter stem, two edits", "abcdefxx.png", {"abcdefgh.png"}, false, kAbsent);
        row("16-letter stem, two edits", "abcdefghijklmnxx.png", {"abcdefghijklmnop.png"}, false,
            "abcdefghijklmnop.png");
        row("long stem, three edits at most", QString(40, 'a') + "xxxx.png", {QString(44, 'a') + ".png"},
            false, kAbsent);
        row("long stem, three edits", QString(41, 'a') + "xxx.png", {QString(44, 'a') + ".png"}, false,
            QString(44, 'a') + ".png");
        // The extension has one misread of its own, whatever the stem.
        row("short stem, pnq", "a.pnq", {"a.png"}, true, "a.png");
        row("short stem, two in the extension", "a.pqq", {"a.png"}, true, kAbsent);
        row("extension lost", "abcdefghij", {"abcdefghij.png"}, false, kAbsent);
        // Dotted zeros and bitmap periods.
        row("at for zero", "shot@1.png", {"shot01.png"}, false, "shot01.png");
        row("zero for at", "hero-frame02x.png", {"hero-frame@2x.png"}, false, "hero-frame@2x.png");
        row("comma for the period", "a,png", {"a.png"}, false, "a.png");
        row("comma elsewhere is a letter", "a,b.png", {"a.b.png"}, false, kAbsent);
        // A clipped piece must keep three characters of its stem.
        row("clipped to two letters of stem", "ta.png", {"data.png"}, true, kAbsent);
        row("clipped to three letters of stem", "ata.png", {"data.png"}, true, "data.png");
    }
    void bestMatch() {
        QFETCH(QString, name);
        QFETCH(QStringList, candidates);
        QFETCH(bool, clipped);
        QFETCH(QString, expected);
        QCOMPARE(FuzzyPath::bestMatch(name, candidates, clipped).value_or(kAbsent), expected);
    }

    void components_data() {
        QTest::addColumn<QString>("reference");
        QTest::addColumn<QString>("expected"); // pieces joined by "|", "~" for the home folder's pieces
        QTest::addColumn<bool>("absolute");
        const auto row = [](const char* name, const QString& reference, const QString& expected,
                            bool absolute) { QTest::newRow(name) << reference << expected << absolute; };
        row("file url", "file:///a/b/c.png", "a|b|c.png", true);
        row("leading dot keeps it relative", "./x/y.png", "x|y.png", false);
        row("punctuation", " shots//a.png), ", "shots|a.png", false);
        row("tilde", "~/pics/a.png", "~|pics|a.png", true);
        row("leading dots keep it relative", "../a.png", "..|a.png", false);
        row("sixteen", QString("a/").repeated(15) + "x.png", QString("a|").repeated(15) + "x.png", false);
        row("seventeen", QStringLiteral("a/").repeated(16) + "x.png", kAbsent, false);
        row("only slashes", "/./", kAbsent, false);
    }
    void components() {
        QFETCH(QString, reference);
        QFETCH(QString, expected);
        QFETCH(bool, absolute);
        const std::optional<FuzzyPath::Components> c = FuzzyPath::components(reference);
        if (expected == kAbsent) {
            QVERIFY(!c);
            return;
        }
        QVERIFY(c);
        QStringList want = expected.split(QLatin1Char('|'));
        if (want.first() == QLatin1String("~"))
            want = QDir::homePath().split(QLatin1Char('/'), Qt::SkipEmptyParts) + want.mid(1);
        QCOMPARE(c->components, want);
        QCOMPARE(c->isAbsolute, absolute);
    }

    void descend_data() {
        QTest::addColumn<QString>("path"); // components joined by "/"
        QTest::addColumn<bool>("wantImage");
        QTest::addColumn<QString>("expected"); // relative to the fixture
        const auto row = [](const char* name, const QString& path, bool wantImage, const QString& expected) {
            QTest::newRow(name) << path << wantImage << expected;
        };
        row("exact", "shots/test-image.png", true, "shots/test-image.png");
        row("folder repaired", "Sh0ts/test-image.png", true, "shots/test-image.png");
        row("extension clipped", "shots/test-image", true, "shots/test-image.png");
        row("existing non-image", "notes.txt", true, kAbsent);
        row("file in the middle", "notes.txt/x.png", true, kAbsent);
        row("zero for O", "renders/STORYB0ARD_sc01_v004_5X1.png", true,
            "renders/STORYBOARD_sc01_v004_5X1.png");
        row("version kept", "renders/STORYBOARD_sc01_v003_5X1.png", true, kAbsent);
        row("dangling link", "gone.pnq", true, kAbsent);
        row("undecodable name", QString::fromUtf8("bad\xef\xbf\xbd.png"), true, kAbsent);
        row("NUL", QStringLiteral("shots/test-image.png") + QChar(0) + "x", true, kAbsent);
        row("no components", "", true, kAbsent);
        // A word glued to the first folder: a dropped space.
        row("glued first folder", "toshots/test-image.png", true, "shots/test-image.png");
        row("four glued characters", "intoshots/test-image.png", true, kAbsent);
        row("glued, then a wrong file", "toshots/other.png", true, kAbsent);
        row("glued onto a name of three", "tonot/x.png", true, kAbsent);
    }
    void descend() {
        QFETCH(QString, path);
        QFETCH(bool, wantImage);
        QFETCH(QString, expected);
        TempTree tree;
        tree.file("shots/test-image.png");
        tree.file("notes.txt");
        tree.file("renders/STORYBOARD_sc01_v004_5X1.png");
        tree.file("not/x.png");
        QVERIFY(QFile::link(tree.path("nowhere.png"), tree.path("gone.png")));
        // Not valid UTF-8: Qt could not remove it with the fixture, so it goes by hand.
        const QByteArray undecodable = QFile::encodeName(tree.path()) + "/bad\xff.png";
        const auto removeUndecodable = qScopeGuard([&] { ::unlink(undecodable.constData()); });
        const int fd = ::open(undecodable.constData(), O_CREAT | O_WRONLY, 0644);
        QVERIFY(fd >= 0);
        ::close(fd);

        const std::optional<QUrl> url =
            FuzzyPath::descend(tree.url(), path.split(QLatin1Char('/'), Qt::SkipEmptyParts), wantImage);
        QCOMPARE(url ? url->toLocalFile() : kAbsent, expected == kAbsent ? kAbsent : tree.path(expected));
    }
};

QTEST_GUILESS_MAIN(TestFuzzyPath)
#include "test_fuzzy_path.moc"
