// Diagnostics said once per change: what is printed over a run of ticks that
// read the same thing, read something else, read nothing, or start a new hover.
#include "core/OncePerChange.h"

#include <QStringList>
#include <QTest>

class TestOncePerChange : public QObject {
    Q_OBJECT

  private slots:
    void printedLines_data() {
        // Each step is "kind=line" (an empty line: nothing of that kind now) or "forget".
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("printed");

        QTest::newRow("the same line on every tick")
            << QStringList{"ax=a", "ax=a", "ax=a"} << QStringList{"a"};
        QTest::newRow("another line, then back")
            << QStringList{"ax=a", "ax=b", "ax=b", "ax=a"} << QStringList{"a", "b", "a"};
        QTest::newRow("nothing between two reads of one line")
            << QStringList{"ax=a", "ax=", "ax=", "ax=a"} << QStringList{"a", "a"};
        QTest::newRow("nothing at first prints nothing") << QStringList{"ax=", "ax=a"} << QStringList{"a"};
        QTest::newRow("kinds are apart")
            << QStringList{"ax=a", "ocr=a", "ax=a", "ocr=b"} << QStringList{"a", "a", "b"};
        QTest::newRow("a new hover says it again")
            << QStringList{"ax=a", "forget", "ax=a", "ax=a"} << QStringList{"a", "a"};
        QTest::newRow("forgetting one kind's nothing changes nothing")
            << QStringList{"ax=", "forget", "ax="} << QStringList{};
    }
    void printedLines() {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, printed);
        OncePerChange said;
        QStringList out;
        for (const QString& step : steps) {
            if (step == QLatin1String("forget")) {
                said.forget();
                continue;
            }
            const QString kind = step.section(QLatin1Char('='), 0, 0);
            const QString line = step.section(QLatin1Char('='), 1);
            if (said.changed(kind, line)) out.append(line);
        }
        QCOMPARE(out, printed);
    }
};

QTEST_GUILESS_MAIN(TestOncePerChange)
#include "test_once_per_change.moc"
