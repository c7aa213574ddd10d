// The document a window title names: editors' title forms, paths with blanks,
// and titles that look like paths but name no file.
#include "TempTree.h"
#include "core/TitleDocument.h"

#include <QTest>

class TestTitleDocument : public QObject {
    Q_OBJECT

    TempTree tree_;

  private slots:
    void initTestCase() {
        qputenv("HOME", tree_.path().toUtf8());
        tree_.file("fx/mousepad/notes.txt");
        tree_.file("fx/my notes/plan.txt");
        tree_.file("fx/other.txt");
        tree_.folder("fx/empty");
    }

    void documentPath_data() {
        QTest::addColumn<QString>("title");    // %1: the fixture folder
        QTest::addColumn<QString>("expected"); // relative to the fixture folder; empty: none

        QTest::newRow("Mousepad: absolute path") << "%1/fx/mousepad/notes.txt - Mousepad"
                                                 << "fx/mousepad/notes.txt";
        QTest::newRow("unsaved-change marker") << "*%1/fx/mousepad/notes.txt - Mousepad"
                                               << "fx/mousepad/notes.txt";
        QTest::newRow("Kate: home path, em dash") << "~/fx/mousepad/notes.txt — Kate"
                                                  << "fx/mousepad/notes.txt";
        QTest::newRow("path with a blank") << "%1/fx/my notes/plan.txt - Mousepad"
                                           << "fx/my notes/plan.txt";
        QTest::newRow("gedit: name and folder") << "*plan.txt (~/fx/my notes) - gedit"
                                                << "fx/my notes/plan.txt";
        QTest::newRow("quoted") << "Editing \"%1/fx/other.txt\""
                                << "fx/other.txt";
        QTest::newRow("first existing path wins")
            << "%1/fx/missing.txt %1/fx/other.txt %1/fx/mousepad/notes.txt"
            << "fx/other.txt";
        QTest::newRow("dot segments") << "%1/fx/empty/../other.txt - Mousepad"
                                      << "fx/other.txt";

        QTest::newRow("a folder is no document") << "user@host: %1/fx/empty"
                                                 << "";
        QTest::newRow("missing file") << "%1/fx/missing.txt - Mousepad"
                                      << "";
        QTest::newRow("relative path") << "fx/other.txt - Mousepad"
                                       << "";
        QTest::newRow("path glued to a word") << "see%1/fx/other.txt"
                                              << "";
        QTest::newRow("gedit form, missing file") << "gone.txt (~/fx) - gedit"
                                                  << "";
        QTest::newRow("no path") << "Terminal - user@host"
                                 << "";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("too long") << "%1/fx/other.txt " +
                                         QString(TitleDocument::kLongestTitle, QLatin1Char('x'))
                                  << "";
    }

    void documentPath() {
        QFETCH(QString, title);
        QFETCH(QString, expected);
        const QString path = TitleDocument::documentPath(title.replace(QLatin1String("%1"), tree_.path()));
        QCOMPARE(path, expected.isEmpty() ? QString() : tree_.path(expected));
    }

    void documentDirectory() {
        QCOMPARE(TitleDocument::documentDirectory(tree_.path("fx/mousepad/notes.txt") + " - Mousepad"),
                 tree_.url("fx/mousepad/"));
        QCOMPARE(TitleDocument::documentDirectory("Untitled 1 - Mousepad"), QUrl());
    }

    // Many blanks after a path cannot make the search test more than its share.
    void boundedTests() {
        QString title = tree_.path("fx/missing.txt");
        for (int i = 0; i < 40; ++i)
            title += QStringLiteral(" w");
        title += QLatin1Char(' ') + tree_.path("fx/other.txt");
        QCOMPARE(TitleDocument::documentPath(title), QString());
    }
};

QTEST_GUILESS_MAIN(TestTitleDocument)
#include "test_title_document.moc"
