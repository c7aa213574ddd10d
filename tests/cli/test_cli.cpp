// Runs the built VistelPrototype and checks what it prints and how it exits.

#include "TempTree.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTest>

namespace {

struct Run {
    int exitCode = -1;
    QStringList lines;
    bool has(const QString& line) const { return lines.contains(line); }
};

Run run(const QStringList& arguments, const QString& workingDirectory = {},
        const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProgram(QStringLiteral(VISTEL_BINARY));
    process.setArguments(arguments);
    process.setProcessEnvironment(environment);
    if (!workingDirectory.isEmpty()) process.setWorkingDirectory(workingDirectory);
    process.start();
    Run result;
    // A guard against hangs, not a speed check: nothing here takes more than a moment.
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.lines = QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'));
    if (!result.lines.isEmpty() && result.lines.last().isEmpty()) result.lines.removeLast();
    return result;
}

// Environment without a display, with HOME in the fixture (settings and sessions stay there).
QProcessEnvironment isolated(const QString& home) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS"})
        env.remove(name);
    env.insert("HOME", home);
    env.insert("XDG_CONFIG_HOME", home + "/.config");
    return env;
}

} // namespace

class TestCli : public QObject {
    Q_OBJECT

    TempTree tree;
    QProcessEnvironment env;

  private slots:
    void initTestCase() {
        env = isolated(tree.path("home"));
        tree.folder("home");
        tree.folder("project/.git");
        for (const char* file : {"project/shots/hero-frame@2x.png", "project/shots/generated.png",
                                 "project/src/main.cpp", "alpha/out/frame.png", "beta/out/frame.png"})
            tree.file(file);
    }

    // A usage error: exit status 2 and one line of usage.
    void usageErrors_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("resolve last") << QStringList{"--resolve"};
        QTest::newRow("probe with one number then a word") << QStringList{"--probe", "10", "x"};
    }
    void usageErrors() {
        QFETCH(QStringList, arguments);
        const Run r = run(arguments, {}, env);
        QCOMPARE(r.exitCode, 2);
        QCOMPARE(r.lines.size(), 1);
        QVERIFY2(r.lines.at(0).startsWith("usage: VistelPrototype " + arguments.at(0) + " "),
                 qPrintable(r.lines.at(0)));
    }

    // What --resolve prints and how it exits, for references a terminal shows.
    void resolve_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("header");  // base, window, roots ("@": the tree); empty: unchecked
        QTest::addColumn<QString>("resolved");    // relative to the tree, or a web address; empty: none
        QTest::addColumn<QStringList>("matches"); // what the strict and the loose pattern found
        const QString base = tree.path("project"), alpha = tree.path("alpha"), beta = tree.path("beta");
        QTest::newRow("relative to the base")
            << QStringList{"--resolve", "shots/hero-frame@2x.png", "--base", base}
            << QStringList{"base:   @/project", "window: -", "roots:  "} << "project/shots/hero-frame@2x.png"
            << QStringList{"shots/hero-frame@2x.png", "shots/hero-frame@2x.png"};
        QTest::newRow("extension swap, neither pattern matches")
            << QStringList{"--resolve", "shots/generated", "--base", base} << QStringList{}
            << "project/shots/generated.png" << QStringList{"-", "-"};
        QTest::newRow("misread extension is a loose match")
            << QStringList{"--resolve", "shots/generated.pnq", "--base", base} << QStringList{}
            << "project/shots/generated.png" << QStringList{"-", "shots/generated.pnq"};
        QTest::newRow("missing file") << QStringList{"--resolve", "nothing-here-at-all.png", "--base", base}
                                      << QStringList{} << "" << QStringList{"nothing-here-at-all.png", "-"};
        QTest::newRow("reference that looks like an option")
            << QStringList{"--resolve", "--base"} << QStringList{} << "" << QStringList{"-", "-"};
        QTest::newRow("web address, shown whole")
            << QStringList{"--resolve", "see https://example.com/a/pic.png?size=2"} << QStringList{}
            << "https://example.com/a/pic.png?size=2"
            << QStringList{"https://example.com/a/pic.png?size=2", "/example.com/a/pic.png"};
        // The window title names beta, so only beta's root is installed.
        QTest::newRow("the title picks a root")
            << QStringList{"--resolve",        "frame.png", "--base", base,     "--title",
                           "frame.png — beta", "--root",    alpha,    "--root", beta}
            << QStringList{"base:   @/project", "window: frame.png — beta", "roots:  @/beta"}
            << "beta/out/frame.png" << QStringList{"frame.png", "-"};
        QTest::newRow("without a title the roots keep their order")
            << QStringList{"--resolve", "x.png", "--root", beta, "--root", alpha}
            << QStringList{"base:   -", "window: -", "roots:  @/beta @/alpha"} << ""
            << QStringList{"x.png", "-"};
    }
    void resolve() {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, header);
        QFETCH(QString, resolved);
        QFETCH(QStringList, matches);
        const Run r = run(arguments, tree.path("home"), env);
        QCOMPARE(r.exitCode, resolved.isEmpty() ? 1 : 0);
        QCOMPARE(r.lines.value(0), "reference: " + arguments.at(1));
        if (!header.isEmpty()) QCOMPARE(r.lines.mid(1, 3), header.replaceInStrings("@", tree.path()));
        QCOMPARE(r.lines.mid(4, 3),
                 (QStringList{"strict match: " + matches[0], "loose match:  " + matches[1], ""}));
        QCOMPARE(r.lines.size(), resolved.isEmpty() ? 8 : 9);
        const QString answer = r.lines.at(7);
        if (resolved.isEmpty()) {
            QVERIFY2(answer.startsWith("not resolved (") && answer.endsWith(" ms)"), qPrintable(answer));
            return;
        }
        const bool web = resolved.startsWith("http");
        QVERIFY2(answer.startsWith("RESOLVED in ") &&
                     answer.endsWith(" ms: " + (web ? resolved : tree.path(resolved))),
                 qPrintable(answer));
        QCOMPARE(r.lines.at(8), web ? "exists: false" : "exists: true");
    }

    // Arguments a shell can hand over: huge, empty, not UTF-8. A clear answer each time
    // (long and odd references as such are tested in test_image_reference and test_image_resolution).
    void badReferences_data() {
        QTest::addColumn<QByteArray>("reference");
        // One argument may hold at most 128 KiB on Linux; this is close to it.
        QTest::newRow("long run of path characters") << QByteArray(120000, 'a');
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("not UTF-8") << QByteArray("\xff\xfe/tmp/\xc3(.png");
    }
    void badReferences() {
        QFETCH(QByteArray, reference);
        QProcess process;
        process.setProcessEnvironment(env);
        // Through the shell, so the bytes reach the program exactly as given.
        process.start("/bin/sh", {"-c", "exec \"$0\" --resolve \"$(cat)\"", VISTEL_BINARY});
        process.write(reference);
        process.closeWriteChannel();
        QVERIFY(process.waitForFinished(120000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 1);
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        QVERIFY2(out.contains("\nnot resolved ("), qPrintable(out.left(300)));
    }

    void debugHeader() {
        const Run r = run({"--resolve", "x.png", "--debug"}, {}, env);
        QCOMPARE(
            r.lines.mid(0, 5),
            (QStringList{"args: " VISTEL_BINARY " --resolve x.png --debug", "accessibility trusted: false",
                         "screen recording:      false", "starting app...", "reference: x.png"}));
    }

    // --check comes before --codex; without a display both permissions are missing,
    // and each gets its advice after a blank line.
    void checkWinsOverCodexWithoutDisplay() {
        const Run r = run({"--codex", "--check"}, {}, env);
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.lines.size(), 6);
        QCOMPARE(r.lines.mid(0, 3),
                 (QStringList{"accessibility:    MISSING", "screen recording: MISSING", ""}));
        QVERIFY(r.lines.at(3).startsWith("Without screen recording"));
        QCOMPARE(r.lines.at(4), QString());
        QVERIFY(r.lines.at(5).startsWith("Accessibility is off"));
    }

    void roots_data() {
        QTest::addColumn<QString>("pid"); // empty: this test process
        QTest::addColumn<bool>("found");
        // The program runs as a child of this test, in a folder of the tree: so this
        // process has a descendant whose working directory is that folder.
        QTest::newRow("this process") << QString() << true;
        // A sign is part of a process id: -7 names no process, so the mode runs and finds nothing.
        QTest::newRow("negative") << "-7" << false;
    }
    void roots() {
        QFETCH(QString, pid);
        QFETCH(bool, found);
        if (pid.isEmpty()) pid = QString::number(QCoreApplication::applicationPid());
        const QString folder = tree.folder("roots-cwd");
        const Run r = run({"--roots", pid}, folder, env);
        QCOMPARE(r.exitCode, found ? 0 : 1);
        QVERIFY2(r.lines.value(0).startsWith("pid " + pid + (found ? " -> " : " -> 0 root(s) in ")),
                 qPrintable(r.lines.value(0)));
        QCOMPARE(r.has("  " + folder), found);
    }

    // At most twelve of the images a session showed, newest first, each marked ok or gone.
    void codex_data() {
        QTest::addColumn<int>("shown");
        QTest::newRow("nothing shown") << 0;
        QTest::newRow("thirty shown") << 30;
    }
    void codex() {
        QFETCH(int, shown);
        TempTree home;
        QByteArray transcript;
        for (int i = 0; i < shown; ++i) {
            const QUrl image = QUrl::fromLocalFile(home.file(QStringLiteral("shots/shot-%1.png").arg(i)));
            transcript +=
                QStringLiteral("{\"timestamp\":\"t\",\"type\":\"event_msg\",\"payload\":{\"type\":"
                               "\"item_completed\",\"item\":{\"type\":\"ImageView\",\"path\":\"%1\"}}}\n")
                    .arg(image.toString())
                    .toUtf8();
        }
        if (shown > 0) home.file(".codex/sessions/2026/12/06/rollout-1.jsonl", transcript);
        QFile::remove(home.path("shots/shot-29.png")); // the newest one is gone
        const Run r = run({"--codex"}, {}, isolated(home.path()));
        QCOMPARE(r.exitCode, shown > 0 ? 0 : 1);
        QVERIFY2(r.lines.value(0).startsWith(QString::number(shown) + " image(s) shown recently, in "),
                 qPrintable(r.lines.join('\n')));
        QCOMPARE(r.lines.size(), 1 + qMin(shown, 12));
        if (shown == 0) return;
        QCOMPARE(r.lines.value(1), "  gone " + home.path("shots/shot-29.png"));
        QCOMPARE(r.lines.value(2), "  ok  " + home.path("shots/shot-28.png"));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
