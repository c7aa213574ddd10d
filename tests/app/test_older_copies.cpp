// Which processes count as an older copy of the agent, read from a process
// tree laid out like /proc.
#include "TempTree.h"
#include "app/agent/OlderCopies.h"
#include "app/cli/Modes.h"

#include <QFile>
#include <QTest>
#include <unistd.h>

namespace {

struct Process {
    qint32 pid;
    QString exe;     // link target; empty for none
    QByteArray comm; // empty for none
    QStringList arguments;
    QByteArray display = ":0"; // DISPLAY in its environment; empty for none
};

void layOut(const TempTree& proc, const Process& p) {
    const QString dir = proc.folder(QString::number(p.pid));
    if (!p.exe.isEmpty()) QFile::link(p.exe, dir + QStringLiteral("/exe"));
    if (!p.comm.isEmpty()) proc.file(QString::number(p.pid) + QStringLiteral("/comm"), p.comm + '\n');
    QByteArray cmdline;
    for (const QString& argument : p.arguments)
        cmdline += argument.toLocal8Bit() + '\0';
    proc.file(QString::number(p.pid) + QStringLiteral("/cmdline"), cmdline);
    QByteArray environment = "HOME=/home/u";
    environment += '\0';
    if (!p.display.isEmpty()) environment += "DISPLAY=" + p.display + '\0';
    proc.file(QString::number(p.pid) + QStringLiteral("/environ"), environment);
}

bool isAgent(const QStringList& arguments) {
    return Modes::choose(arguments) == Modes::Mode::Agent;
}

} // namespace

class TestOlderCopies : public QObject {
    Q_OBJECT
  private slots:
    // One process tree; which pids count depends on who asks, for which display.
    void find_data() {
        QTest::addColumn<uint>("uid");
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("root"); // empty: the tree laid out below
        QTest::addColumn<QList<qint32>>("found");
        const uint me = ::geteuid();
        QTest::newRow("agents on this display only")
            << me << ":0" << QString() << QList<qint32>{100, 104, 105, 108};
        QTest::newRow("another display") << me << ":1" << QString() << QList<qint32>{301};
        QTest::newRow("another user") << me + 1 << ":0" << QString() << QList<qint32>{};
        QTest::newRow("no proc tree") << me << ":0" << QString("/nonexistent/proc") << QList<qint32>{};
    }
    void find() {
        QFETCH(uint, uid);
        QFETCH(QString, display);
        QFETCH(QString, root);
        QFETCH(QList<qint32>, found);
        TempTree proc;
        const QList<Process> table = {
            {100, "/usr/bin/VistelPrototype", {}, {"VistelPrototype"}},
            {101, "/usr/bin/VistelPrototype", {}, {"VistelPrototype", "--check"}},
            {102, "/usr/bin/bash", {}, {"bash"}},
            {103, "/usr/bin/VistelPrototype", {}, {"VistelPrototype"}}, // this process
            {104, {}, "VistelPrototype", {"VistelPrototype", "--debug"}},
            {105, "/usr/bin/VistelPrototype (deleted)", {}, {"VistelPrototype", "--ignore", "x"}},
            {106, "/usr/bin/vistel", {}, {"vistel"}},
            {107, "/usr/bin/VistelPrototype", {}, {"VistelPrototype", "--roots", "42"}},
            {108, "/usr/bin/VistelPrototype", {}, {"VistelPrototype", "--roots", "abc"}},
            {109, "/usr/bin/VistelPrototype", {}, {"VistelPrototype", "--resolve", "a.png"}},
            {301, "/usr/bin/VistelPrototype", {}, {"VistelPrototype"}, ":1"},
            {302, "/usr/bin/VistelPrototype", {}, {"VistelPrototype"}, ":0.0"},
            {303, "/usr/bin/VistelPrototype", {}, {"VistelPrototype"}, ""},
        };
        for (const Process& p : table)
            layOut(proc, p);
        proc.folder(QStringLiteral("self"));
        proc.folder(QStringLiteral("-3"));

        QList<qint32> pids =
            OlderCopies::find(root.isEmpty() ? proc.path() : root, 103, uid, display, isAgent);
        std::sort(pids.begin(), pids.end());
        QCOMPARE(pids, found); // ":0.0" and no DISPLAY are not ":0"
    }
};

QTEST_MAIN(TestOlderCopies)
#include "test_older_copies.moc"
