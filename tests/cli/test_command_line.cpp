#include "app/cli/AppHosted.h"
#include "app/cli/CommandLine.h"
#include "app/cli/Modes.h"
#include "app/cli/Usage.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTest>
#include <QTimer>

using Modes::Mode;

class TestCommandLine : public QObject {
    Q_OBJECT

  private slots:
    void processIdentifier_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("value");
        QTest::newRow("plain") << "42" << true << 42;
        QTest::newRow("plus") << "+42" << true << 42;
        QTest::newRow("max") << "2147483647" << true << 2147483647;
        QTest::newRow("min") << "-2147483648" << true << int(-2147483648LL);
        QTest::newRow("one past max") << "2147483648" << false << 0;
        QTest::newRow("trailing letter") << "12a" << false << 0;
        QTest::newRow("sign only") << "-" << false << 0;
        QTest::newRow("blank") << " 12" << false << 0;
        QTest::newRow("arabic-indic digits") << QString::fromUtf8("١٢") << false << 0;
    }
    void processIdentifier() {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(int, value);
        const auto parsed = CommandLine::processIdentifier(text);
        QCOMPARE(parsed.has_value(), valid);
        if (valid) QCOMPARE(*parsed, value);
    }

    void modeOrder_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("mode");
        const QString p = QStringLiteral("VistelPrototype");
        QTest::newRow("check before codex") << QStringList{p, "--codex", "--check"} << int(Mode::Check);
        QTest::newRow("codex before self-test")
            << QStringList{p, "--self-test", "--codex"} << int(Mode::Codex);
        QTest::newRow("roots with pid") << QStringList{p, "--roots", "12"} << int(Mode::Roots);
        QTest::newRow("roots without pid") << QStringList{p, "--roots"} << int(Mode::Agent);
        QTest::newRow("roots abc then resolve")
            << QStringList{p, "--roots", "abc", "--resolve", "x"} << int(Mode::Resolve);
        QTest::newRow("roots before resolve")
            << QStringList{p, "--resolve", "x", "--roots", "+1"} << int(Mode::Roots);
        QTest::newRow("resolve before probe") << QStringList{p, "--probe", "--resolve"} << int(Mode::Resolve);
        QTest::newRow("prefix is not the option") << QStringList{p, "--checked"} << int(Mode::Agent);
        QTest::newRow("probe before quit") << QStringList{p, "--quit", "--probe"} << int(Mode::Probe);
        QTest::newRow("quit before the agent")
            << QStringList{p, "--open", "settings", "--quit"} << int(Mode::Quit);
    }
    void modeOrder() {
        QFETCH(QStringList, arguments);
        QFETCH(int, mode);
        QCOMPARE(int(Modes::choose(arguments)), mode);
    }

    // What the whole command line asks for before any mode: values are taken as
    // the modes take them, anything else that looks like an option is refused.
    void usage_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("request");
        QTest::addColumn<QString>("problem"); // the start of the refusal; empty: accepted
        using R = Usage::Reading;
        QTest::newRow("no arguments") << QStringList{} << int(R::Run) << "";
        QTest::newRow("help") << QStringList{"--help"} << int(R::Help) << "";
        QTest::newRow("short help with a mode") << QStringList{"--check", "-h"} << int(R::Help) << "";
        QTest::newRow("version") << QStringList{"--version"} << int(R::Version) << "";
        QTest::newRow("help before version") << QStringList{"--version", "--help"} << int(R::Help) << "";
        QTest::newRow("unknown option")
            << QStringList{"--frobnicate"} << int(R::Run) << "unknown option \"--frobnicate\"";
        QTest::newRow("refused even with help")
            << QStringList{"--help", "-x"} << int(R::Run) << "unknown option \"-x\"";
        QTest::newRow("a Qt option is not ours")
            << QStringList{"-platform", "offscreen"} << int(R::Run) << "unknown option \"-platform\"";
        QTest::newRow("stray word") << QStringList{"--debug", "settings"} << int(R::Run)
                                    << "unexpected argument \"settings\"";
        QTest::newRow("the reference may look like an option")
            << QStringList{"--resolve", "--help"} << int(R::Run) << "";
        QTest::newRow("resolve without reference is the mode's usage")
            << QStringList{"--resolve"} << int(R::Run) << "";
        QTest::newRow("resolve with its options")
            << QStringList{"--resolve", "a.png", "--base", "/", "--title", "-t-", "--root", "/a"}
            << int(R::Run) << "";
        QTest::newRow("value missing")
            << QStringList{"--resolve", "a.png", "--root"} << int(R::Run) << "--root needs a value";
        QTest::newRow("ignore needs a value")
            << QStringList{"--ignore"} << int(R::Run) << "--ignore needs a value";
        QTest::newRow("negative probe numbers")
            << QStringList{"--probe", "-10", "-20.5"} << int(R::Run) << "";
        QTest::newRow("probe words: countdown") << QStringList{"--probe", "a", "b"} << int(R::Run) << "";
        QTest::newRow("probe takes two at most")
            << QStringList{"--probe", "1", "2", "3"} << int(R::Run) << "unexpected argument \"3\"";
        QTest::newRow("open a known item") << QStringList{"--open", "login-item"} << int(R::Run) << "";
        QTest::newRow("open an unknown item")
            << QStringList{"--open", "bogus"} << int(R::Run) << "--open: unknown item \"bogus\"";
        QTest::newRow("open without item") << QStringList{"--open"} << int(R::Run) << "--open needs one of";
        QTest::newRow("open followed by an option")
            << QStringList{"--open", "--debug"} << int(R::Run) << "--open needs one of";
        QTest::newRow("roots with a negative pid") << QStringList{"--roots", "-7"} << int(R::Run) << "";
        QTest::newRow("malformed pid would start the agent")
            << QStringList{"--roots", "12a"} << int(R::Run)
            << "--roots needs a process id (a whole number), not \"12a\"";
        QTest::newRow("overflowing pid")
            << QStringList{"--roots", "99999999999"} << int(R::Run) << "--roots needs a process id";
        QTest::newRow("pid missing") << QStringList{"--roots"} << int(R::Run) << "--roots needs a process id";
        QTest::newRow("pid missing before an option")
            << QStringList{"--roots", "--debug"} << int(R::Run) << "--roots needs a process id";
        QTest::newRow("malformed pid, then another mode runs")
            << QStringList{"--roots", "abc", "--resolve", "x"} << int(R::Run) << "";
    }
    void usage() {
        QFETCH(QStringList, arguments);
        QFETCH(int, request);
        QFETCH(QString, problem);
        const Usage::Reading reading = Usage::read(QStringList{"VistelPrototype"} + arguments);
        QCOMPARE(int(reading.request), request);
        if (problem.isEmpty())
            QCOMPARE(reading.problem, QString());
        else
            QVERIFY2(reading.problem.startsWith(problem), qPrintable(reading.problem));
    }

    void probeNumbers_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QList<double>>("numbers");
        QTest::newRow("two") << QStringList{"p", "--probe", "-10", "20.5"} << QList<double>{-10, 20.5};
        QTest::newRow("one") << QStringList{"p", "--probe", "10"} << QList<double>{10};
        QTest::newRow("only two looked at") << QStringList{"p", "--probe", "a", "1", "2"} << QList<double>{1};
        QTest::newRow("blank around") << QStringList{"p", "--probe", " 5", "7 "} << QList<double>{};
        QTest::newRow("not finite") << QStringList{"p", "--probe", "inf", "nan"} << QList<double>{};
    }
    void probeNumbers() {
        QFETCH(QStringList, arguments);
        QFETCH(QList<double>, numbers);
        QCOMPARE(CommandLine::probeNumbers(arguments), numbers);
    }

    // The hosted body runs inside the event loop, and its status is what the host returns.
    void appHostedRunsBodyInsideTheLoop() {
        bool timerFired = false;
        const int status = AppHosted::run(*QCoreApplication::instance(), [&] {
            QEventLoop wait;
            QTimer::singleShot(10, &wait, [&] {
                timerFired = true;
                wait.quit();
            });
            wait.exec();
            return 3;
        });
        QCOMPARE(status, 3);
        QVERIFY(timerFired);
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "test_command_line.moc"
