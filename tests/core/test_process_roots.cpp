#include "core/ProcessRoots.h"

#include <QTest>

#include <atomic>

namespace {

struct Proc {
    qint32 pid;
    qint32 parent;
    QString command;
    bool leader;
    QString cwd;
};
using Procs = QList<Proc>;

// A process table of our own making.
class FakeSource : public ProcessRoots::Source {
public:
    explicit FakeSource(Procs procs) : procs_(std::move(procs)) {}

    ProcessRoots::ProcessTable processTable() const override {
        ++tableReads;
        ProcessRoots::ProcessTable table;
        for (const Proc& p : procs_) table.insert(p.pid, {p.parent, p.command, p.leader});
        return table;
    }
    QString workingDirectory(qint32 pid) const override {
        for (const Proc& p : procs_)
            if (p.pid == pid) return p.cwd;
        return {};
    }

    mutable std::atomic<int> tableReads{0};

private:
    Procs procs_;
};

QStringList paths(const QList<QUrl>& urls) {
    QStringList out;
    for (const QUrl& url : urls) out.append(url.toLocalFile());
    return out;
}

// Shells 101..(100+n), each leading its group, each in its own folder.
Procs manyShells(int n) {
    Procs procs{{100, 1, "xterm", true, "/home/u"}};
    for (int i = 1; i <= n; ++i) procs.append({100 + i, 100, "bash", true, QStringLiteral("/w/%1").arg(i)});
    return procs;
}

QStringList newestFolders(int n, int of) {
    QStringList out;
    for (int i = of; i > of - n; --i) out.append(QStringLiteral("/w/%1/").arg(i));
    return out;
}

} // namespace

Q_DECLARE_METATYPE(Procs)

class TestProcessRoots : public QObject {
    Q_OBJECT

private slots:
    void compute_data() {
        QTest::addColumn<Procs>("procs");
        QTest::addColumn<qint32>("pid");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("two tabs: the newer tab's folder first")
            << Procs{{100, 1, "xterm", true, "/home/u"},
                     {101, 100, "bash", true, "/w/a"},
                     {205, 100, "zsh", true, "/w/b"}}
            << 100 << QStringList{"/w/b/", "/w/a/"};
        QTest::newRow("a shell in / contributes nothing") << Procs{{100, 1, "xterm", true, "/"},
                                                                   {101, 100, "bash", true, "/"},
                                                                   {102, 100, "bash", true, "/w/a"}}
                                                          << 100 << QStringList{"/w/a/"};
        QTest::newRow("two shells in one folder give it once") << Procs{{100, 1, "xterm", true, ""},
                                                                        {101, 100, "bash", true, "/w/a"},
                                                                        {102, 100, "fish", true, "/w/a/"}}
                                                               << 100 << QStringList{"/w/a/"};
        QTest::newRow("no descendants: every descendant of the topmost ancestor, itself included")
            << Procs{{1, 0, "init", true, "/"},
                     {200, 1, "code", true, "/w/editor"},
                     {300, 200, "code-helper", false, "/w/app"},
                     {301, 200, "bash", true, "/w/c"},
                     {400, 1, "bash", true, "/w/elsewhere"}}
            << 300 << QStringList{"/w/c/", "/w/app/"};
        QTest::newRow("leading shells, then other shells, then the rest; newest first")
            << Procs{{100, 1, "term", true, ""},
                     {110, 100, "python3", true, "/p"},
                     {120, 100, "bash", false, "/q"},
                     {105, 100, "bash", true, "/r"},
                     {130, 100, "zsh", true, "/s"},
                     {140, 100, "Bash", true, "/t"}}
            << 100 << QStringList{"/s/", "/r/", "/q/", "/t/", "/p/"};
        QTest::newRow("grandchildren count; unreadable directories are passed over")
            << Procs{{100, 1, "term", true, ""},
                     {101, 100, "bash", true, ""},
                     {150, 101, "vim", true, "/x/y/../z"}}
            << 100 << QStringList{"/x/z/"};
        QTest::newRow("more than 16 folders: the first 16 in order")
            << manyShells(20) << 100 << newestFolders(16, 20);
        QTest::newRow("exactly 16 folders") << manyShells(16) << 100 << newestFolders(16, 16);
        QTest::newRow("a process not in the table has no roots")
            << Procs{{100, 1, "term", true, ""}, {101, 100, "bash", true, "/w/a"}} << 999 << QStringList{};
        QTest::newRow("a parent loop from a table read mid-change ends")
            << Procs{{500, 501, "app", false, "/l0"},
                     {501, 502, "app", false, "/l1"},
                     {502, 501, "app", false, "/l2"}}
            << 500 << QStringList{"/l1/", "/l0/"};
        QTest::newRow("the first process is never climbed into") << Procs{{1, 0, "init", true, "/"},
                                                                          {50, 1, "lonely", true, "/w/x"},
                                                                          {60, 1, "bash", true, "/w/y"}}
                                                                 << 50 << QStringList{};
    }

    void compute() {
        QFETCH(Procs, procs);
        QFETCH(qint32, pid);
        QFETCH(QStringList, expected);
        const FakeSource source(procs);
        QCOMPARE(paths(ProcessRoots::compute(pid, source)), expected);
    }

    void rootsAreDirectoryUrls() {
        const FakeSource source({{100, 1, "term", true, ""}, {101, 100, "bash", true, "/w/a"}});
        const QList<QUrl> roots = ProcessRoots::compute(100, source);
        QCOMPARE(roots.size(), 1);
        QVERIFY(roots.first().isLocalFile());
        QCOMPARE(roots.first().toLocalFile(), QStringLiteral("/w/a/"));
    }

    void cacheFreshness_data() {
        QTest::addColumn<double>("freshFor");
        QTest::addColumn<bool>("hit");
        QTest::newRow("fresh for a minute") << 60.0 << true;
        QTest::newRow("fresh for no time at all") << 0.0 << false;
        QTest::newRow("negative freshness") << -1.0 << false;
    }

    void cacheFreshness() {
        QFETCH(double, freshFor);
        QFETCH(bool, hit);
        const QList<QUrl> roots{QUrl::fromLocalFile("/w/a/")};
        ProcessRoots::store(roots, 7001);
        const auto cached = ProcessRoots::cached(7001, freshFor);
        QCOMPARE(cached.has_value(), hit);
        if (hit) QCOMPARE(*cached, roots);
    }

    void cacheIsEmptiedAtItsBound() {
        // Store until a marker disappears: that store emptied the cache, which
        // now holds exactly the one pid it stored.
        ProcessRoots::store({}, 9000);
        qint32 pid = 9001;
        while (ProcessRoots::cached(9000, 60)) {
            ProcessRoots::store({}, pid++);
            QVERIFY(pid < 9100);
        }
        const qint32 first = pid - 1;
        for (int i = 0; i < 32; ++i) ProcessRoots::store({}, pid++);
        QVERIFY(ProcessRoots::cached(first, 60).has_value()); // 33 entries, none dropped
        QVERIFY(ProcessRoots::cached(pid - 1, 60).has_value());
        ProcessRoots::store({}, pid);
        QVERIFY(!ProcessRoots::cached(first, 60).has_value());
        QVERIFY(!ProcessRoots::cached(pid - 1, 60).has_value());
        QVERIFY(ProcessRoots::cached(pid, 60).has_value());
    }

    void rootsForComputesOnceWithinTwoSeconds() {
        const FakeSource source({{6000, 1, "term", true, ""}, {6001, 6000, "bash", true, "/w/a"}});
        QCOMPARE(paths(ProcessRoots::rootsFor(6000, source)), QStringList{"/w/a/"});
        QCOMPARE(source.tableReads.load(), 1);
        QCOMPARE(paths(ProcessRoots::rootsFor(6000, source)), QStringList{"/w/a/"});
        QCOMPARE(source.tableReads.load(), 1);
    }
};

QTEST_APPLESS_MAIN(TestProcessRoots)
#include "test_process_roots.moc"
