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

// Seven UUID-named images of one folder; the second is the one misread below,
// the last differs from it only in its final letter.
const QStringList kUuids = {
    QStringLiteral("exec-3f5b8c2e-1d4a-4e6b-9a0c-7b2d5e8f1a3c.png"),
    QStringLiteral("exec-5b80c3d1-2e4f-4a8b-9c0d-8e5f1a2b3c4d.png"),
    QStringLiteral("exec-7c1d2e3f-4a5b-4c6d-8e9f-0a1b2c3d4e5f.png"),
    QStringLiteral("exec-9e8d7c6b-5a4f-4e3d-2c1b-0a9f8e7d6c5b.png"),
    QStringLiteral("exec-0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d.png"),
    QStringLiteral("exec-6d5c4b3a-2f1e-4d0c-9b8a-7f6e5d4c3b2a.png"),
    QStringLiteral("exec-5b80c3d1-2e4f-4a8b-9c0d-8e5f1a2b3c4e.png"),
};

} // namespace

class TestFuzzyPath : public QObject {
    Q_OBJECT

  private slots:
    void canonicalFoldsConfusions_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("o class") << QString::fromUtf8("0oOqQøØ") << QString("ooooooo");
        QTest::newRow("l class") << QString("1lLiI|!") << QString("lllllll");
        QTest::newRow("pairs") << QString("5sS8bB2zZ9gG") << QString("sssbbbzzzggg");
        QTest::newRow("dash and c") << QString("_-(cC") << QString("--ccc");
        QTest::newRow("others kept") << QString("x.PNG @ 3 é") << QString::fromUtf8("x.png @ 3 é");
    }
    void canonicalFoldsConfusions() {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(FuzzyPath::canonical(text), expected);
    }

    void editDistance_data() {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("expected");
        const auto row = [](const char* name, const QString& a, const char* b, int expected) {
            QTest::newRow(name) << a << QString(b) << expected;
        };
        row("pnq", "test-image.pnq", "test-image.png", 1);
        row("free confusions", "STORYB0ARD_5X1", "storyboard_sx1", 0);
        row("digit to digit", "v003", "v004", 10000);
        row("digit to other letter", "a5", "ax", 10000);
        row("digit deleted", "a1b", "ab", 10000);
        row("letters", "kitten", "sitting", 3);
        row("from empty", "", "ab12", 20002);
        // 300000 digit deletions overflow an int: the answer saturates.
        row("saturates", QString(300000, QLatin1Char('7')), "", INT_MAX);
    }
    void editDistance() {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, expected);
        QCOMPARE(FuzzyPath::editDistance(a, b), expected);
        QCOMPARE(FuzzyPath::editDistance(b, a), expected);
    }

    // The banded distance must agree with the full one whenever it is within the limit.
    void editDistanceWithinAgrees_data() {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("limit");
        const auto row = [](const char* name, const char* a, const char* b, int limit) {
            QTest::newRow(name) << QString(a) << QString(b) << limit;
        };
        row("equal", "contact-sheet", "c0ntact-5heet", 0);
        row("one off", "test-image.pnq", "test-image.png", 1);
        row("shifted", "abcdefgh", "xxabcdefgh", 2);
        row("shift beyond", "abcdefgh", "xxxabcdefgh", 2);
        row("outside the band", "abcdefgh", "cdefghxy", 2);
        row("at the band edge", "abcdefgh", "cdefghxy", 4);
        row("digits", "shot_012", "shot_013", 6);
        row("empty", "", "abc", 3);
        row("mixed", "a-b_c(d)e", "ab-cde", 4);
    }
    void editDistanceWithinAgrees() {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, limit);
        const int full = FuzzyPath::editDistance(a, b);
        const int within = FuzzyPath::editDistanceWithin(a, b, limit);
        if (full <= limit)
            QCOMPARE(within, full);
        else
            QVERIFY2(within > limit, qPrintable(QString::number(within)));
    }

    void bestMatch_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("candidates");
        QTest::addColumn<bool>("clipped");
        QTest::addColumn<QString>("expected");
        const QStringList catBat = {"bat.png", "hat.png"};
        QTest::newRow("pnq repaired")
            << "test-image.pnq" << QStringList{"other.png", "test-image.png"} << false << "test-image.png";
        QTest::newRow("uuid misread")
            << "exec-Sb8Oc3d1-2e4f-4aBb-9cOd-Be5f1a2b3c4d.pnq" << kUuids << false << kUuids[1];
        QTest::newRow("uuid wrong digits")
            << "exec-11111111-2222-3333-4444-555555555555.png" << kUuids << true << kAbsent;
        QTest::newRow("version never changed")
            << "render_v003_5X1.png" << QStringList{"render_v004_5X1.png"} << true << kAbsent;
        QTest::newRow("zero for O") << "STORYB0ARD_sc01_v004_5X1.png"
                                    << QStringList{"STORYBOARD_sc01_v003_5X1.png",
                                                   "STORYBOARD_sc01_v004_5X1.png"}
                                    << true << "STORYBOARD_sc01_v004_5X1.png";
        QTest::newRow("tie refused") << "cat.png" << catBat << false << kAbsent;
        QTest::newRow("tie, then a farther one") << "cat.png" << catBat + QStringList{"cut.pnq"} << false << kAbsent;
        QTest::newRow("closer third wins")
            << "cat.png" << catBat + QStringList{"CAT.png"} << false << "CAT.png";
        QTest::newRow("closer first, ties later")
            << "cat.png" << QStringList{"CAT.png"} + catBat + catBat << false << "CAT.png";
        QTest::newRow("tie at the best")
            << "cat.png" << QStringList{"bat.png", "CAT.png", "Cat.png"} << false << kAbsent;
        QTest::newRow("clipped start")
            << "sheet.png" << QStringList{"contact-sheet.png"} << true << "contact-sheet.png";
        QTest::newRow("clipped not allowed")
            << "sheet.png" << QStringList{"contact-sheet.png"} << false << kAbsent;
        QTest::newRow("clipped end") << "contact-sh" << QStringList{"contact-sheet.png"} << true
                                     << "contact-sheet.png";
        QTest::newRow("clipped too much") << "et.png" << QStringList{"contact-sheet.png"} << true << kAbsent;
        QTest::newRow("too short to be clipped") << "ng" << QStringList{"x.png"} << true << kAbsent;
        QTest::newRow("nothing to compare") << "" << QStringList{"a.png"} << true << kAbsent;
        QTest::newRow("no candidates") << "a.png" << QStringList{} << true << kAbsent;
        QTest::newRow("out of budget") << "abcdef.png" << QStringList{"uvwxyz.png"} << false << kAbsent;
        // A megabyte-long name against ordinary ones, and against a near copy of itself.
        const QString huge = QString(1 << 20, QLatin1Char('a')) + QStringLiteral(".png");
        QString nearCopy = huge;
        nearCopy[500000] = QLatin1Char('x');
        QTest::newRow("huge name") << huge << QStringList{"a.png", "aaaa.png", nearCopy} << false << nearCopy;
        QTest::newRow("huge candidate") << "a.png" << QStringList{huge} << true << kAbsent;
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
                            bool absolute) {
            QTest::newRow(name) << reference << expected << absolute;
        };
        row("file url", "file:///a/b/c.png", "a|b|c.png", true);
        row("dot piece", "x/./y.png", "x|y.png", false);
        row("leading dot keeps it relative", "./x/y.png", "x|y.png", false);
        row("web url", "https://host/img/a.png", "host|img|a.png", true);
        row("long scheme kept", "verylongscheme://x/y.png", "verylongscheme:|x|y.png", false);
        row("punctuation", " shots//a.png), ", "shots|a.png", false);
        row("tilde", "~/pics/a.png", "~|pics|a.png", true);
        row("parent kept", "x/../a.png", "x|..|a.png", false);
        row("leading dots keep it relative", "../a.png", "..|a.png", false);
        row("ellipsis before a slash", ".../a.png", "..|a.png", false);
        row("sixteen", QString("a/").repeated(15) + "x.png", QString("a|").repeated(15) + "x.png", false);
        row("seventeen", QStringLiteral("a/").repeated(16) + "x.png", kAbsent, false);
        row("empty", "", kAbsent, false);
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
        QTest::newRow("exact") << "shots/test-image.png" << true << "shots/test-image.png";
        QTest::newRow("pnq") << "shots/test-image.pnq" << true << "shots/test-image.png";
        QTest::newRow("folder repaired") << "Sh0ts/test-image.png" << true << "shots/test-image.png";
        QTest::newRow("hidden folder repaired") << ".h1dden/pic.png" << true << ".hidden/pic.png";
        QTest::newRow("extension clipped") << "shots/test-image" << true << "shots/test-image.png";
        QTest::newRow("existing non-image") << "notes.txt" << true << kAbsent;
        QTest::newRow("non-image wanted") << "notes.txt" << false << "notes.txt";
        QTest::newRow("non-image repaired") << "notes.txq" << false << "notes.txt";
        QTest::newRow("file in the middle") << "notes.txt/x.png" << true << kAbsent;
        QTest::newRow("zero for O") << "renders/STORYB0ARD_sc01_v004_5X1.png" << true
                                    << "renders/STORYBOARD_sc01_v004_5X1.png";
        QTest::newRow("version kept") << "renders/STORYBOARD_sc01_v003_5X1.png" << true << kAbsent;
        QTest::newRow("nothing close") << "elsewhere/a.png" << true << kAbsent;
        QTest::newRow("dangling link") << "gone.pnq" << true << kAbsent;
        QTest::newRow("undecodable name") << QString::fromUtf8("bad\xef\xbf\xbd.png") << true << kAbsent;
        QTest::newRow("NUL") << QStringLiteral("shots/test-image.png") + QChar(0) + "x" << true << kAbsent;
        QTest::newRow("no components") << "" << true << kAbsent;
    }
    void descend() {
        QFETCH(QString, path);
        QFETCH(bool, wantImage);
        QFETCH(QString, expected);
        TempTree tree;
        tree.file("shots/test-image.png");
        tree.file(".hidden/pic.png");
        tree.file("notes.txt");
        tree.file("renders/STORYBOARD_sc01_v004_5X1.png");
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
