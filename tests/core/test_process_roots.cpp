#include "core/ProcessRoots.h"

#include <QTest>

namespace {

struct Proc {
    qint32 pid, parent;
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
        for (const Proc& p : procs_)
            table.insert(p.pid, {p.parent, p.command, p.leader});
        return table;
    }
    QString workingDirectory(qint32 pid) const override {
        for (const Proc& p : procs_)
            if (p.pid == pid) return p.cwd;
        return {};
    }
    QString executableName(qint32) const override { return {}; }
    mutable int tableReads = 0;

  private:
    Procs procs_;
};

QStringList paths(const QList<QUrl>& urls) {
    QStringList out;
    for (const QUrl& url : urls)
        out.append(url.toLocalFile());
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

        const Proc term{100, 1, "xterm", true, ""};
        QTest::newRow("a shell in / contributes nothing")
            << Procs{term, {101, 100, "bash", true, "/"}, {102, 100, "bash", true, "/w/a"}} << 100
            << QStringList{"/w/a/"};
        QTest::newRow("no descendants: all descendants of the topmost ancestor below pid 1")
            << Procs{{1, 0, "init", true, "/"},
                     {200, 1, "code", true, "/w/editor"},
                     {300, 200, "code-helper", false, "/w/app"},
                     {301, 200, "bash", true, "/w/c"},
                     {400, 1, "bash", true, "/w/elsewhere"}}
            << 300 << QStringList{"/w/c/", "/w/app/"};
        QTest::newRow("leading shells, other shells, the rest; newest first")
            << Procs{term,
                     {110, 100, "python3", true, "/p"},
                     {120, 100, "bash", false, "/q"},
                     {105, 100, "bash", true, "/r"},
                     {130, 100, "zsh", true, "/s"},
                     {150, 130, "Bash", true, "/t/../u"}}
            << 100 << QStringList{"/s/", "/r/", "/q/", "/u/", "/p/"};
        Procs many{term};
        QStringList first16;
        for (int i = 1; i <= 20; ++i)
            many.append({100 + i, 100, "bash", true, QStringLiteral("/w/%1").arg(i)});
        for (int i = 20; i > 4; --i)
            first16.append(QStringLiteral("/w/%1/").arg(i));
        QTest::newRow("more than 16 folders: the first 16 in order") << many << 100 << first16;
        // /proc is not read atomically, so a reused pid can make parents loop.
        QTest::newRow("a parent loop ends") << Procs{{500, 501, "app", false, "/l0"},
                                                     {501, 502, "app", false, "/l1"},
                                                     {502, 501, "app", false, "/l2"}}
                                            << 500 << QStringList{"/l1/", "/l0/"};
        QTest::newRow("a child loop ends") << Procs{{600, 601, "app", false, "/m0"},
                                                    {601, 600, "bash", false, "/m1"},
                                                    {602, 601, "app", false, "/m2"}}
                                           << 600 << QStringList{"/m1/", "/m2/"};
    }

    void compute() {
        QFETCH(Procs, procs);
        QFETCH(qint32, pid);
        QFETCH(QStringList, expected);
        QCOMPARE(paths(ProcessRoots::compute(pid, FakeSource(procs))), expected);
    }

    void rootsForComputesOnceWithinTwoSeconds() {
        const FakeSource source({{6000, 1, "term", true, ""}, {6001, 6000, "bash", true, "/w/a"}});
        QCOMPARE(paths(ProcessRoots::rootsFor(6000, source)), QStringList{"/w/a/"});
        QCOMPARE(paths(ProcessRoots::rootsFor(6000, source)), QStringList{"/w/a/"});
        QCOMPARE(source.tableReads, 1);
    }
};

QTEST_APPLESS_MAIN(TestProcessRoots)
#include "test_process_roots.moc"
