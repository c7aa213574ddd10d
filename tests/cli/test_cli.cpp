// Runs the built VistelPrototype and checks what it prints and how it exits.

#include "TempTree.h"

#include <QCoreApplication>
#include <QDateTime>
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
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    return env;
}

const QString usageResolve = QStringLiteral(
    "usage: VistelPrototype --resolve <reference> [--base <dir>] [--title <window title>] [--root <dir>]...");

} // namespace

class TestCli : public QObject {
    Q_OBJECT

    TempTree tree;
    QProcessEnvironment env;

private slots:
    void initTestCase() {
        env = isolated(tree.path(QStringLiteral("home")));
        tree.folder(QStringLiteral("home"));
        tree.folder(QStringLiteral("project/.git"));
        tree.file(QStringLiteral("project/shots/hero-frame@2x.png"));
        tree.file(QStringLiteral("project/shots/generated.png"));
        tree.file(QStringLiteral("project/src/main.cpp"));
        tree.file(QStringLiteral("alpha/out/frame.png"));
        tree.file(QStringLiteral("beta/out/frame.png"));
    }

    void usageErrors_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("line");
        QTest::newRow("resolve last") << QStringList{"--resolve"} << usageResolve;
        QTest::newRow("probe with one number") << QStringList{"--probe", "10"}
                                               << QStringLiteral("usage: VistelPrototype --probe [<x> <y>]");
        QTest::newRow("probe with one number then a word")
            << QStringList{"--probe", "10", "x"} << QStringLiteral("usage: VistelPrototype --probe [<x> <y>]");
    }
    void usageErrors() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, line);
        const Run r = run(arguments, {}, env);
        QCOMPARE(r.exitCode, 2);
        QCOMPARE(r.lines, QStringList{line});
    }

    // What --resolve prints and how it exits, for references a terminal shows.
    void resolve_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("resolvedPath"); // relative to the tree; empty when not resolved
        QTest::addColumn<QString>("strictLine");
        QTest::addColumn<QString>("looseLine");
        const QString base = tree.path(QStringLiteral("project"));
        QTest::newRow("relative to the base")
            << QStringList{"--resolve", "shots/hero-frame@2x.png", "--base", base} << 0
            << "project/shots/hero-frame@2x.png" << "strict match: shots/hero-frame@2x.png"
            << "loose match:  shots/hero-frame@2x.png";
        QTest::newRow("reference inside a sentence")
            << QStringList{"--resolve", "wrote shots/generated.png.", "--base", base} << 0
            << "project/shots/generated.png" << "strict match: shots/generated.png"
            << "loose match:  shots/generated.png";
        QTest::newRow("extension swap, neither pattern matches")
            << QStringList{"--resolve", "shots/generated", "--base", base} << 0 << "project/shots/generated.png"
            << "strict match: -" << "loose match:  -";
        QTest::newRow("misread extension is a loose match")
            << QStringList{"--resolve", "shots/generated.pnq", "--base", base} << 0
            << "project/shots/generated.png" << "strict match: -" << "loose match:  shots/generated.pnq";
        QTest::newRow("bare name found in the project")
            << QStringList{"--resolve", "hero-frame@2x.png", "--base", tree.path(QStringLiteral("project/src"))}
            << 0 << "project/shots/hero-frame@2x.png" << "strict match: hero-frame@2x.png" << "loose match:  -";
        QTest::newRow("missing file") << QStringList{"--resolve", "nothing-here-at-all.png", "--base", base} << 1
                                      << "" << "strict match: nothing-here-at-all.png" << "loose match:  -";
        QTest::newRow("reference that looks like an option")
            << QStringList{"--resolve", "--base"} << 1 << "" << "strict match: -" << "loose match:  -";
        QTest::newRow("web address") << QStringList{"--resolve", "see https://example.com/a/pic.png?size=2"} << 0
                                     << "https://example.com/a/pic.png?size=2"
                                     << "strict match: https://example.com/a/pic.png?size=2"
                                     << "loose match:  /example.com/a/pic.png";
    }
    void resolve() {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, resolvedPath);
        QFETCH(QString, strictLine);
        QFETCH(QString, looseLine);
        const Run r = run(arguments, tree.path(QStringLiteral("home")), env);
        QCOMPARE(r.exitCode, exitCode);
        QCOMPARE(r.lines.value(0), QStringLiteral("reference: ") + arguments.at(1));
        QVERIFY2(r.has(strictLine), qPrintable(r.lines.join('\n')));
        QVERIFY2(r.has(looseLine), qPrintable(r.lines.join('\n')));
        if (exitCode == 0) {
            const QString expected =
                resolvedPath.startsWith(QLatin1String("http")) ? resolvedPath : tree.path(resolvedPath);
            const QString resolvedLine = r.lines.value(r.lines.size() - 2);
            QVERIFY2(resolvedLine.startsWith(QLatin1String("RESOLVED in ")), qPrintable(resolvedLine));
            QVERIFY2(resolvedLine.endsWith(QStringLiteral(" ms: ") + expected), qPrintable(resolvedLine));
            QCOMPARE(r.lines.last(), QStringLiteral("exists: ") +
                                         (expected.startsWith(QLatin1String("http")) ? "false" : "true"));
            QCOMPARE(r.lines.value(r.lines.size() - 3), QString()); // the blank line before the answer
        } else {
            QVERIFY(r.lines.last().startsWith(QLatin1String("not resolved (")));
            QVERIFY(r.lines.last().endsWith(QLatin1String(" ms)")));
        }
    }

    void resolveHeaderLines() {
        const QString base = tree.path(QStringLiteral("project"));
        const Run r = run({"--resolve", "frame.png", "--base", base, "--title", "frame.png — beta", "--root",
                           tree.path(QStringLiteral("alpha")), "--root", tree.path(QStringLiteral("beta"))},
                          {}, env);
        QCOMPARE(r.lines.value(1), QStringLiteral("base:   ") + base);
        QCOMPARE(r.lines.value(2), QStringLiteral("window: frame.png — beta"));
        // The window title names beta, so only beta's root is installed.
        QCOMPARE(r.lines.value(3), QStringLiteral("roots:  ") + tree.path(QStringLiteral("beta")));
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.lines.value(r.lines.size() - 2).endsWith(tree.path(QStringLiteral("beta/out/frame.png"))),
                 qPrintable(r.lines.join('\n')));
    }

    void resolveWithoutTitleKeepsRootOrder() {
        const Run r = run({"--resolve", "x.png", "--root", tree.path(QStringLiteral("beta")), "--root",
                           tree.path(QStringLiteral("alpha"))},
                          {}, env);
        QCOMPARE(r.lines.value(1), QStringLiteral("base:   -"));
        QCOMPARE(r.lines.value(2), QStringLiteral("window: -"));
        QCOMPARE(r.lines.value(3), QStringLiteral("roots:  ") + tree.path(QStringLiteral("beta")) + " " +
                                       tree.path(QStringLiteral("alpha")));
    }

    // Arguments a shell can hand over: huge, empty, not UTF-8. A clear answer each time.
    void badReferences_data() {
        QTest::addColumn<QByteArray>("reference");
        // One argument may hold at most 128 KiB on Linux; this is close to it.
        QTest::newRow("long run of path characters") << QByteArray(120000, 'a');
        QTest::newRow("long path without extension") << QByteArray("/").append(QByteArray(120000, 'b'));
        QTest::newRow("long slashes") << QByteArray("a/").repeated(60000);
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("not UTF-8") << QByteArray("\xff\xfe/tmp/\xc3(.png");
    }
    void badReferences() {
        QFETCH(QByteArray, reference);
        QProcess process;
        process.setProcessEnvironment(env);
        // Through the shell, so the bytes reach the program exactly as given.
        process.start(QStringLiteral("/bin/sh"),
                      {QStringLiteral("-c"), QStringLiteral("exec \"$0\" --resolve \"$(cat)\""),
                       QStringLiteral(VISTEL_BINARY)});
        process.write(reference);
        process.closeWriteChannel();
        QVERIFY(process.waitForFinished(120000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 1);
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        QVERIFY2(out.contains(QLatin1String("\nnot resolved (")), qPrintable(out.left(300)));
    }

    void debugHeader() {
        const Run r = run({"--resolve", "x.png", "--debug"}, {}, env);
        QCOMPARE(r.lines.value(0), QStringLiteral("args: " VISTEL_BINARY " --resolve x.png --debug"));
        QCOMPARE(r.lines.value(1), QStringLiteral("accessibility trusted: false"));
        QCOMPARE(r.lines.value(2), QStringLiteral("screen recording:      false"));
        QCOMPARE(r.lines.value(3), QStringLiteral("starting app..."));
        QCOMPARE(r.lines.value(4), QStringLiteral("reference: x.png"));
    }

    void checkWinsOverCodexWithoutDisplay() {
        const Run r = run({"--codex", "--check"}, {}, env);
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.lines.value(0), QStringLiteral("accessibility:    MISSING"));
        QCOMPARE(r.lines.value(1), QStringLiteral("screen recording: MISSING"));
        QCOMPARE(r.lines.value(2), QString());
        QVERIFY(r.lines.value(3).startsWith(QLatin1String("Without screen recording, apps that paint")));
        QCOMPARE(r.lines.value(4), QString());
        QVERIFY(r.lines.value(5).startsWith(QLatin1String("Accessibility is off: switch it on with `gsettings set")));
    }

    void rootsOfTheTestProcess() {
        // The program runs as a child of this test, in the folder we give it: so this
        // process has a descendant whose working directory is that folder.
        const QString folder = tree.folder(QStringLiteral("roots-cwd"));
        const QString pid = QString::number(QCoreApplication::applicationPid());
        const Run r = run({"--roots", pid}, folder, env);
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.lines.value(0).startsWith(QStringLiteral("pid ") + pid + " -> "), qPrintable(r.lines.value(0)));
        QVERIFY2(r.has(QStringLiteral("  ") + folder), qPrintable(r.lines.join('\n')));
    }

    void rootsSignsAreProcessIds() {
        // -7 names no process: the mode runs and finds nothing.
        const Run r = run({"--roots", "-7"}, {}, env);
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.lines.value(0).startsWith(QLatin1String("pid -7 -> 0 root(s) in ")));
    }

    void codexListsAtMostTwelve() {
        TempTree home;
        const QString day = home.folder(QStringLiteral(".codex/sessions/2026/12/06"));
        QByteArray transcript;
        for (int i = 0; i < 30; ++i) {
            const QString image = home.file(QStringLiteral("shots/shot-%1.png").arg(i));
            transcript += QStringLiteral("{\"timestamp\":\"t\",\"type\":\"event_msg\",\"payload\":{\"type\":"
                                         "\"item_completed\",\"item\":{\"type\":\"ImageView\",\"path\":\"%1\"}}}\n")
                              .arg(QUrl::fromLocalFile(image).toString())
                              .toUtf8();
        }
        home.file(QStringLiteral(".codex/sessions/2026/12/06/rollout-1.jsonl"), transcript);
        QFile::remove(home.path(QStringLiteral("shots/shot-29.png"))); // the newest one is gone
        Q_UNUSED(day);
        const Run r = run({"--codex"}, {}, isolated(home.path()));
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.lines.value(0).startsWith(QLatin1String("30 image(s) shown recently, in ")),
                 qPrintable(r.lines.join('\n')));
        QCOMPARE(r.lines.size(), 13);
        QCOMPARE(r.lines.value(1), QStringLiteral("  gone ") + home.path(QStringLiteral("shots/shot-29.png")));
        QCOMPARE(r.lines.value(2), QStringLiteral("  ok  ") + home.path(QStringLiteral("shots/shot-28.png")));
    }

    void codexWithNothingShown() {
        const Run r = run({"--codex"}, {}, env);
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.lines.value(0).startsWith(QLatin1String("0 image(s) shown recently, in ")));
        QCOMPARE(r.lines.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
