#include "app/cli/AppHosted.h"
#include "app/cli/CommandLine.h"
#include "app/cli/Modes.h"

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
    }
    void modeOrder() {
        QFETCH(QStringList, arguments);
        QFETCH(int, mode);
        QCOMPARE(int(Modes::choose(arguments)), mode);
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
