#include "platform/atspi/TextWindow.h"

#include <QTest>

// Offsets as applications count them (code points per AT-SPI, UTF-16 units
// for Qt) against the UTF-16 offsets the lookup works in.
class TestTextWindow : public QObject {
    Q_OBJECT

    // "🎉🎉 a.png": 8 code points, 10 UTF-16 units.
    const QString party = QStringLiteral("🎉🎉 a.png");

  private slots:
    void toUtf16_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("first");
        QTest::addColumn<qint64>("end");
        QTest::addColumn<bool>("countsUtf16");
        QTest::addColumn<QList<qint64>>("application"); // offsets as the application counts
        QTest::addColumn<QList<qint64>>("utf16");       // expected; -1: outside the stretch

        QTest::newRow("emoji before the path, code points")
            << party << qint64(100) << qint64(108) << false << QList<qint64>{99, 100, 101, 102, 103, 108, 109}
            << QList<qint64>{-1, 100, 102, 104, 105, 110, -1};
        QTest::newRow("emoji before the path, UTF-16 units (Qt)")
            << party << qint64(100) << qint64(110) << true << QList<qint64>{100, 102, 104, 105, 110, 111}
            << QList<qint64>{100, 102, 104, 105, 110, -1};
        QTest::newRow("answer shorter than asked") << QStringLiteral("abc") << qint64(0) << qint64(10)
                                                   << false << QList<qint64>{3, 4} << QList<qint64>{3, -1};
        QTest::newRow("empty stretch") << QString() << qint64(40) << qint64(40) << false
                                       << QList<qint64>{40, 41} << QList<qint64>{40, -1};
    }
    void toUtf16() {
        QFETCH(QString, text);
        QFETCH(qint64, first);
        QFETCH(qint64, end);
        QFETCH(bool, countsUtf16);
        QFETCH(QList<qint64>, application);
        QFETCH(QList<qint64>, utf16);
        const TextWindow window(first, end, text);
        QCOMPARE(window.countsUtf16(), countsUtf16);
        for (qsizetype i = 0; i < application.size(); ++i) {
            const std::optional<qint64> u = window.utf16Offset(application[i]);
            QCOMPARE(u.value_or(-1), utf16[i]);
            // And back again, exactly, for every offset inside.
            if (u) QCOMPARE(window.applicationOffset(*u).value_or(-1), application[i]);
        }
    }

    void fromUtf16_data() {
        QTest::addColumn<qint64>("end"); // 108: code points, 110: UTF-16 units
        QTest::addColumn<qint64>("utf16");
        QTest::addColumn<qint64>("down");
        QTest::addColumn<qint64>("up");
        QTest::newRow("inside the first emoji") << qint64(108) << qint64(101) << qint64(100) << qint64(101);
        QTest::newRow("the blank") << qint64(108) << qint64(104) << qint64(102) << qint64(102);
        QTest::newRow("past the end") << qint64(108) << qint64(111) << qint64(-1) << qint64(-1);
        QTest::newRow("Qt: inside the first emoji")
            << qint64(110) << qint64(101) << qint64(101) << qint64(101);
    }
    void fromUtf16() {
        QFETCH(qint64, end);
        QFETCH(qint64, utf16);
        QFETCH(qint64, down);
        QFETCH(qint64, up);
        const TextWindow window(100, end, party);
        QCOMPARE(window.applicationOffset(utf16).value_or(-1), down);
        QCOMPARE(window.applicationOffset(utf16, true).value_or(-1), up);
    }

    void unitsAndLength_data() {
        QTest::addColumn<qint64>("end");
        QTest::addColumn<qint64>("at");     // application offset
        QTest::addColumn<qint64>("units");  // of the character there
        QTest::addColumn<qint64>("count");  // the whole text, as the application counts
        QTest::addColumn<qint64>("length"); // the whole text in UTF-16 offsets
        QTest::newRow("blank, text goes on past the stretch")
            << qint64(108) << qint64(102) << qint64(1) << qint64(5000) << qint64(5002);
        QTest::newRow("count before the stretch (garbage)")
            << qint64(108) << qint64(50) << qint64(0) << qint64(50) << qint64(50);
        QTest::newRow("Qt: second half")
            << qint64(110) << qint64(101) << qint64(1) << qint64(5000) << qint64(5000);
    }
    void unitsAndLength() {
        QFETCH(qint64, end);
        QFETCH(qint64, at);
        QFETCH(qint64, units);
        QFETCH(qint64, count);
        QFETCH(qint64, length);
        const TextWindow window(100, end, party);
        QCOMPARE(window.unitsAt(at), units);
        QCOMPARE(window.utf16Length(count), length);
    }

    void slices_data() {
        QTest::addColumn<qint64>("location");
        QTest::addColumn<qint64>("length");
        QTest::addColumn<QString>("expected"); // "-": none
        QTest::newRow("the second emoji") << qint64(102) << qint64(2) << QStringLiteral("🎉");
        QTest::newRow("nothing at the end") << qint64(110) << qint64(0) << QString();
        QTest::newRow("one past the end") << qint64(105) << qint64(6) << QStringLiteral("-");
        QTest::newRow("negative length") << qint64(105) << qint64(-1) << QStringLiteral("-");
        QTest::newRow("huge length") << qint64(105) << std::numeric_limits<qint64>::max()
                                     << QStringLiteral("-");
    }
    void slices() {
        QFETCH(qint64, location);
        QFETCH(qint64, length);
        QFETCH(QString, expected);
        const TextWindow window(100, 108, party);
        QCOMPARE(window.slice(location, length).value_or(QStringLiteral("-")), expected);
    }
};

QTEST_GUILESS_MAIN(TestTextWindow)
#include "test_text_window.moc"
