#include "TempTree.h"
#include "core/ProjectIndex.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTest>
#include <QThread>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using ProjectIndex::Outcome;

namespace {

QString describe(const Outcome& o, const TempTree& tree) {
    switch (o.kind) {
    case Outcome::Kind::None:
        return QStringLiteral("none");
    case Outcome::Kind::Ambiguous:
        return QStringLiteral("ambiguous");
    case Outcome::Kind::Found:
        return o.url.toLocalFile().remove(tree.path() + QLatin1Char('/'));
    }
    return {};
}

QStringList relative(const QList<QUrl>& urls, const TempTree& tree) {
    QStringList out;
    for (const QUrl& u : urls)
        out.append(u.toLocalFile().remove(tree.path() + QLatin1Char('/')));
    return out;
}

// The images under the fixture, relative and sorted (walk order is the file system's).
QStringList listed(const TempTree& tree) {
    QStringList out = relative(ProjectIndex::images(tree.url()), tree);
    out.sort();
    return out;
}

QStringList split(const QString& path) {
    return path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
}

// A lookup of `suffix` from the fixture's top, described.
QString lookupFrom(const TempTree& tree, const QString& suffix) {
    return describe(ProjectIndex::lookup(tree.url(), split(suffix)), tree);
}

} // namespace

class TestProjectIndex : public QObject {
    Q_OBJECT

  private slots:
    void init() { ProjectIndex::clearCaches(); }

    void projectRootFindsMarker_data() {
        QTest::addColumn<QString>("marker");
        QTest::addColumn<int>("depth"); // folders between the project and the start
        QTest::addColumn<bool>("found");
        QTest::newRow("folder marker") << ".git" << 2 << true;
        QTest::newRow("nine ancestors up") << "Makefile" << 9 << true;
        QTest::newRow("ten ancestors up") << "Makefile" << 10 << false;
    }
    void projectRootFindsMarker() {
        QFETCH(QString, marker);
        QFETCH(int, depth);
        QFETCH(bool, found);
        TempTree tree;
        const QString project = tree.folder("project");
        if (marker.startsWith(QLatin1Char('.')))
            tree.folder("project/" + marker);
        else
            tree.file("project/" + marker);
        const QString start = tree.folder("project" + QStringLiteral("/d").repeated(depth));
        const std::optional<QUrl> root = ProjectIndex::projectRoot(QUrl::fromLocalFile(start));
        QCOMPARE(root.has_value(), found);
        if (found) QCOMPARE(root->toLocalFile(), project);
    }

    // Never a walk of the whole disk or the home folder: the boundary pairs.
    void isSearchable_data() {
        QTest::addColumn<QString>("folder"); // "~" stands for the home folder
        QTest::addColumn<bool>("searchable");
        QTest::newRow("root") << "/" << false;
        QTest::newRow("home, written loosely") << "~/x/.." << false;
        QTest::newRow("one below home") << "~/Desktop" << false;
        QTest::newRow("two below home") << "~/Desktop/project" << true;
        QTest::newRow("two components") << "/a/b" << false;
        QTest::newRow("three components") << "/a/b/c" << true;
    }
    void isSearchable() {
        QFETCH(QString, folder);
        QFETCH(bool, searchable);
        const QByteArray oldHome = qgetenv("HOME");
        const auto restore = qScopeGuard([&] { qputenv("HOME", oldHome); });
        qputenv("HOME", "/home/tester");
        folder.replace(QLatin1Char('~'), QStringLiteral("/home/tester"));
        QCOMPARE(ProjectIndex::isSearchable(QUrl::fromLocalFile(folder)), searchable);
    }

    void searchRoots_data() {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QStringList>("expected"); // relative to the fixture; "~" is the home folder
        QTest::newRow("project") << "proj/src/deep" << QStringList{"proj"};
        QTest::newRow("markerless: three levels")
            << "loose/a/b/c" << QStringList{"loose/a/b/c", "loose/a/b", "loose/a"};
        QTest::newRow("home never walked") << "home/work/x" << QStringList{"home/work/x"};
        QTest::newRow("home itself") << "home" << QStringList{};
    }
    void searchRoots() {
        QFETCH(QString, start);
        QFETCH(QStringList, expected);
        TempTree tree;
        tree.file("proj/.git/HEAD");
        tree.folder("proj/src/deep");
        tree.folder("loose/a/b/c");
        tree.folder("home/work/x");
        const QByteArray oldHome = qgetenv("HOME");
        const auto restore = qScopeGuard([&] { qputenv("HOME", oldHome); });
        qputenv("HOME", QFile::encodeName(tree.path("home")));
        QCOMPARE(relative(ProjectIndex::searchRoots(tree.url(start)), tree), expected);
    }

    // Each row lays out one file and says whether the walk lists it.
    void walkLists_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("walked");
        QTest::newRow("deep, upper-case extension") << "a/b/c/d/e/deep.PNG" << true;
        QTest::newRow("hidden folder") << ".hidden/h.webp" << true;
        QTest::newRow("svg icon") << "icons/app.svg" << true;
        QTest::newRow("svgz icon") << "icons/app.svgz" << true;
        QTest::newRow("svg with a longer extension") << "icons/app.svgzz" << false;
        QTest::newRow("skipped deeper down") << "src/vendor/x.png" << false;
        QTest::newRow("case-sensitive skip") << "Build/kept.png" << true;
    }
    void walkLists() {
        QFETCH(QString, file);
        QFETCH(bool, walked);
        TempTree tree;
        tree.file(file);
        QCOMPARE(listed(tree), walked ? QStringList{file} : QStringList{});
    }

    void walkHandlesOddEntries() {
        TempTree tree;
        tree.file("real/target.png");
        QVERIFY(QFile::link(tree.path("real"), tree.path("real/loop")));           // a folder link: a loop
        QVERIFY(QFile::link(tree.path("real/target.png"), tree.path("link.png"))); // a file link: listed
        QVERIFY(QFile::link(tree.path("missing.png"), tree.path("dead.png")));     // dangling: not listed
        const QByteArray undecodable = QFile::encodeName(tree.path()) + "/bad\xff.png";
        const auto remove = qScopeGuard([&] { ::unlink(undecodable.constData()); });
        const int fd = ::open(undecodable.constData(), O_CREAT | O_WRONLY, 0644);
        QVERIFY(fd >= 0);
        ::close(fd);
        QCOMPARE(listed(tree), (QStringList{"link.png", "real/target.png"}));
    }

    // Root, 2997 empty folders, "deep" and "deep/inner": exactly the 3000 listings allowed.
    void walkBudget() {
        TempTree tree;
        for (int i = 0; i < 2997; ++i)
            QVERIFY(QDir().mkdir(tree.path(QStringLiteral("e%1").arg(i))));
        tree.file("deep/inner/x.png");
        QCOMPARE(ProjectIndex::images(tree.url()).size(), 1);
        QVERIFY(QDir().mkdir(tree.path(QStringLiteral("one-more"))));
        ProjectIndex::clearCaches();
        QCOMPARE(ProjectIndex::images(tree.url()).size(), 0);
    }

    // Tails match case-insensitively first, then as repairs.
    void lookup_data() {
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const char* suffix, const char* expected) {
            QTest::newRow(name) << QString(suffix) << QString(expected);
        };
        row("bare name once", "logo.png", "assets/logo.png");
        row("seven copies", "frame.png", "ambiguous");
        row("tail", "S002/contact-sheet.png", "scenes/episode-001/S002/contact-sheet.png");
        row("wrong three-component tail", "wrong/S002/contact-sheet.png", "none");
        row("misread", "l0go.pnq", "assets/logo.png");
        row("clipped name", "sheet.png", "scenes/episode-001/S002/contact-sheet.png");
        row("another shot number is never a repair", "S003/contact-sheet.png", "none");
        row("only copy in node_modules", "dep.png", "none");
    }
    void lookup() {
        QFETCH(QString, suffix);
        QFETCH(QString, expected);
        TempTree tree;
        tree.file("proj/package.json");
        tree.file("proj/assets/logo.png");
        for (int i = 0; i < 7; ++i)
            tree.file(QStringLiteral("proj/shots/s%1/frame.png").arg(i));
        tree.file("proj/scenes/episode-001/S002/contact-sheet.png");
        tree.file("proj/node_modules/lib/dep.png");
        const QUrl root = QUrl::fromLocalFile(tree.path("proj"));
        QCOMPARE(describe(ProjectIndex::lookup(root, split(suffix)), tree).remove("proj/"), expected);
    }

    // A "none" is trusted for 2 seconds and the walk for 3; after both a new file
    // is found. A file found stays found until the caches are emptied.
    void outcomesAreCached() {
        TempTree tree;
        QCOMPARE(lookupFrom(tree, "late.png"), QStringLiteral("none"));
        const QString late = tree.file("late.png");
        QCOMPARE(lookupFrom(tree, "late.png"), QStringLiteral("none"));
        QThread::msleep(3100);
        QCOMPARE(lookupFrom(tree, "late.png"), QStringLiteral("late.png"));
        QVERIFY(QFile::remove(late));
        QCOMPARE(lookupFrom(tree, "late.png"), QStringLiteral("late.png"));
        ProjectIndex::clearCaches();
        QCOMPARE(lookupFrom(tree, "late.png"), QStringLiteral("none"));
    }
};

QTEST_GUILESS_MAIN(TestProjectIndex)
#include "test_project_index.moc"
