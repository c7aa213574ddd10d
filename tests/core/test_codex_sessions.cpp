#include "TempTree.h"
#include "core/CodexSessions.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QThreadPool>
#include <algorithm>
#include <optional>
#include <unistd.h>

namespace {

// One transcript line whose item has the type and one more member.
QByteArray line(const QString& type, const QString& key, const QString& value) {
    const QJsonObject payload{{"type", "item_completed"},
                              {"item", QJsonObject{{"type", type}, {key, value}}}};
    const QJsonObject record{
        {"timestamp", "2026-06-01T10:00:00Z"}, {"type", "event_msg"}, {"payload", payload}};
    return QJsonDocument(record).toJson(QJsonDocument::Compact) + '\n';
}
QByteArray shown(const QString& path) {
    return line("ImageView", "path", path);
}
QByteArray shownFile(const QString& path) {
    return shown(QUrl::fromLocalFile(path).toString());
}
QByteArray message(const QString& text) {
    return line("AgentMessage", "text", text);
}

QStringList paths(const QList<QUrl>& urls) {
    QStringList out;
    for (const QUrl& url : urls)
        out.append(url.toLocalFile());
    return out;
}

void write(const QString& path, const QByteArray& bytes, QIODevice::OpenMode mode) {
    QFile file(path);
    QVERIFY(file.open(mode));
    QCOMPARE(file.write(bytes), bytes.size());
}

// Message lines of about `size` bytes in all, so that what follows starts near a given offset.
QByteArray filler(qsizetype size) {
    QByteArray out;
    while (out.size() < size) {
        const qsizetype room = size - out.size();
        const QByteArray next =
            message(QString(std::clamp<qsizetype>(room - 120, 1, 4000), QLatin1Char('m')));
        if (next.size() > room) {
            out += QByteArray(room - 1, ' ') + '\n'; // a blank line pads the rest exactly
            break;
        }
        out += next;
    }
    return out;
}

// Bytes of every value, newlines and markers among them, and nothing that parses.
QByteArray garbage() {
    QByteArray out;
    for (int round = 0; round < 64; ++round) {
        for (int byte = 0; byte < 256; ++byte)
            out += char((byte * 37 + round) & 0xff);
        out +=
            round % 3 ? QByteArray("\"ImageView\"\0{\"payload\":{") : QByteArray("\xff\xfe\"ImageView\"\n");
    }
    return out;
}

// Bytes this process has read through system calls so far (Linux task I/O accounting).
std::optional<qint64> bytesRead() {
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly)) return std::nullopt;
    for (const QByteArray& row : io.readAll().split('\n'))
        if (row.startsWith("rchar: ")) return row.mid(7).toLongLong();
    return std::nullopt;
}

} // namespace

class TestCodexSessions : public QObject {
    Q_OBJECT

  private slots:
    void cleanup() {
        CodexSessions::setOverride(std::nullopt);
        CodexSessions::setSessionsFolder(QString());
    }

    void fileURL_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected"); // empty: refused
        const auto row = [](const char* path, const char* expected) {
            QTest::newRow(path) << QString(path) << QString(expected);
        };
        row("file:///a/./b/../c.png", "/a/c.png");
        row("/a/./b/../c.png", "/a/c.png");
        row("file:///a/b%20c.png", "/a/b c.png");
        row("shots/a.png", "");
        row("https://example.com/a.png", "");
        row("file://elsewhere/a.png", "");
    }

    void fileURL() {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        const auto url = CodexSessions::fileURL(path);
        QCOMPARE(url ? url->toLocalFile() : QString(), expected);
    }

    void imagePaths_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("four lines: two image records")
            << message("done") + shownFile("/p/one.png") +
                   QByteArray("{\"payload\": {\"item\": \"ImageView\"\n") + shownFile("/p/two.png")
            << QStringList{"/p/one.png", "/p/two.png"};
        QTest::newRow("marker only inside a message text")
            << message("the \"ImageView\" tool showed it") << QStringList{};
        QTest::newRow("marker twice in one record: listed once")
            << QByteArray("{\"kind\":\"ImageView\",\"payload\":{\"item\":{\"type\":\"ImageView\","
                          "\"path\":\"/p/a.png\"}}}\n")
            << QStringList{"/p/a.png"};
        QTest::newRow("line cut off mid-object") << shownFile("/p/a.png").left(60) << QStringList{};
        QTest::newRow("relative path and other scheme ignored")
            << shown("shots/a.png") + shown("https://x.test/b.png") + shown("file:///p/c.png")
            << QStringList{"/p/c.png"};
        QTest::newRow("path not a string")
            << QByteArray("{\"payload\":{\"item\":{\"type\":\"ImageView\",\"path\":[\"/p/a.png\"]}}}\n")
            << QStringList{};
    }

    void imagePaths() {
        QFETCH(QByteArray, data);
        QFETCH(QStringList, expected);
        QCOMPARE(paths(CodexSessions::imagePaths(data)), expected);
    }

    void transcripts_data() {
        QTest::addColumn<QStringList>("entries"); // created in this order, each a second newer
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("newest year and month only")
            << QStringList{"2026/06/01/a.jsonl", "2026/05/31/b.jsonl", "2025/12/31/c.jsonl"}
            << QStringList{"2026/06/01/a.jsonl"};
        QTest::newRow("the two newest days, most recently modified first")
            << QStringList{"2026/06/03/a.jsonl", "2026/06/02/b.jsonl", "2026/06/01/c.jsonl",
                           "2026/06/03/d.jsonl"}
            << QStringList{"2026/06/03/d.jsonl", "2026/06/02/b.jsonl", "2026/06/03/a.jsonl"};
        QStringList ten, newestEight;
        for (int i = 1; i <= 10; ++i)
            ten.append(QStringLiteral("2026/06/01/%1.jsonl").arg(i));
        for (int i = 10; i > 2; --i)
            newestEight.append(QStringLiteral("2026/06/01/%1.jsonl").arg(i));
        QTest::newRow("at most eight") << ten << newestEight;
        QTest::newRow("only the exact jsonl extension, no hidden files")
            << QStringList{"2026/06/01/a.JSONL", "2026/06/01/b.json", "2026/06/01/.c.jsonl",
                           "2026/06/01/d.jsonl", "2026/06/01/jsonl"}
            << QStringList{"2026/06/01/d.jsonl"};
        QTest::newRow("a regular file sorting after the year folder is taken as the year")
            << QStringList{"2026/06/01/a.jsonl", "notes.txt"} << QStringList{};
        QTest::newRow("no sessions") << QStringList{} << QStringList{};
    }

    void transcripts() {
        QFETCH(QStringList, entries);
        QFETCH(QStringList, expected);
        TempTree tree;
        tree.folder("sessions");
        const QDateTime base = QDateTime::currentDateTime().addDays(-1);
        for (qsizetype i = 0; i < entries.size(); ++i) {
            QFile file(tree.file("sessions/" + entries.at(i), message("hi")));
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(base.addSecs(i), QFileDevice::FileModificationTime));
        }
        CodexSessions::setSessionsFolder(tree.path("sessions"));
        QStringList expectedPaths;
        for (const QString& e : expected)
            expectedPaths.append(tree.path("sessions/" + e));
        QCOMPARE(paths(CodexSessions::transcripts()), expectedPaths);
    }

    // Each step writes to the one transcript, then ingests; the shown list follows.
    void ingestSteps_data() {
        // "+" appends the rest, "=" replaces the file, "~" overwrites its start in place
        QTest::addColumn<QList<QByteArray>>("writes");
        QTest::addColumn<QList<QStringList>>("after");

        const QByteArray a = shownFile("/p/a.png"), b = shownFile("/p/b.png"), c = shownFile("/p/c.png");
        QTest::newRow("unfinished last line is read once complete")
            << QList<QByteArray>{"+" + a + b.left(30), "+" + b.mid(30)}
            << QList<QStringList>{{"/p/a.png"}, {"/p/b.png", "/p/a.png"}};
        const qsizetype inMarker = b.indexOf("ImageView") + 4;
        QTest::newRow("unfinished inside the marker")
            << QList<QByteArray>{"+" + a + b.left(inMarker), "+" + b.mid(inMarker)}
            << QList<QStringList>{{"/p/a.png"}, {"/p/b.png", "/p/a.png"}};
        QTest::newRow("unfinished over several looks")
            << QList<QByteArray>{"+" + b.left(10), "+" + b.mid(10, 50), "+", "+" + b.mid(60) + c.left(5),
                                 "+" + c.mid(5)}
            << QList<QStringList>{{}, {}, {}, {"/p/b.png"}, {"/p/c.png", "/p/b.png"}};
        QTest::newRow("a truncated transcript is read again from its start")
            << QList<QByteArray>{"+" + a + b, "=" + c}
            << QList<QStringList>{{"/p/b.png", "/p/a.png"}, {"/p/c.png", "/p/b.png", "/p/a.png"}};
        const QByteArray note = message(QString(300, QLatin1Char('n')));
        QTest::newRow("an unfinished line cut back and rewritten")
            << QList<QByteArray>{"+" + a + note.left(200), "=" + a + c.left(20), "+" + c.mid(20)}
            << QList<QStringList>{{"/p/a.png"}, {"/p/a.png"}, {"/p/c.png", "/p/a.png"}};
        QTest::newRow("the same image twice is listed once, where last shown")
            << QList<QByteArray>{"+" + a + b, "+" + a}
            << QList<QStringList>{{"/p/b.png", "/p/a.png"}, {"/p/a.png", "/p/b.png"}};
        // Lines already read are not read again, even when their bytes change.
        QTest::newRow("each complete record is read once")
            << QList<QByteArray>{"+" + a, "~" + shownFile("/p/z.png"), "+" + b}
            << QList<QStringList>{{"/p/a.png"}, {"/p/a.png"}, {"/p/b.png", "/p/a.png"}};

        QTest::newRow("binary garbage between records") << QList<QByteArray>{"+" + a + garbage() + "\n" + b}
                                                        << QList<QStringList>{{"/p/b.png", "/p/a.png"}};
        QByteArray badText = b;
        badText.replace("2026-06-01", "2026-\xff\xfe-01");
        QTest::newRow("invalid UTF-8 skips only its own line")
            << QList<QByteArray>{"+" + a + badText + c} << QList<QStringList>{{"/p/c.png", "/p/a.png"}};
        QTest::newRow("invalid UTF-8 in the path")
            << QList<QByteArray>{"+" + shown("/p/Q(.png").replace("Q(", "\xc3(") + a}
            << QList<QStringList>{{"/p/a.png"}};

        // Reads come in blocks of 1 MiB: records on and across their edges.
        const qsizetype block = 1 << 20;
        const qsizetype bMarker = b.indexOf("\"ImageView\"");
        QTest::newRow("a marker across a block edge")
            << QList<QByteArray>{"+" + filler(block - bMarker - 5) + b + c}
            << QList<QStringList>{{"/p/c.png", "/p/b.png"}};
        QTest::newRow("a newline as a block's last byte")
            << QList<QByteArray>{"+" + filler(block - b.size()) + b + c}
            << QList<QStringList>{{"/p/c.png", "/p/b.png"}};
        QTest::newRow("a newline as the next block's first byte")
            << QList<QByteArray>{"+" + filler(block - b.size() + 1) + b + c}
            << QList<QStringList>{{"/p/c.png", "/p/b.png"}};
        const QByteArray longB =
            line("ImageView", "path", "file:///p/b.png")
                .replace("\"timestamp\"", "\"note\":\"" + QByteArray(3 << 20, 'x') + "\",\"timestamp\"");
        QTest::newRow("a record longer than three blocks")
            << QList<QByteArray>{"+" + a + longB + c}
            << QList<QStringList>{{"/p/c.png", "/p/b.png", "/p/a.png"}};
        QTest::newRow("a record longer than three blocks, finished later")
            << QList<QByteArray>{"+" + a + longB.first(longB.size() - 40), "+" + longB.last(40) + c}
            << QList<QStringList>{{"/p/a.png"}, {"/p/c.png", "/p/b.png", "/p/a.png"}};
    }

    void ingestSteps() {
        QFETCH(QList<QByteArray>, writes);
        QFETCH(QList<QStringList>, after);
        TempTree tree;
        const QString transcript = tree.file("sessions/2026/06/01/rollout.jsonl", "");
        CodexSessions::setSessionsFolder(tree.path("sessions"));
        for (qsizetype i = 0; i < writes.size(); ++i) {
            const QByteArray rest = writes.at(i).mid(1);
            const char op = writes.at(i).at(0);
            write(transcript, rest,
                  op == '+'   ? QIODevice::Append
                  : op == '=' ? QIODevice::WriteOnly
                              : QIODevice::ReadWrite);
            CodexSessions::ingest();
            QCOMPARE(paths(CodexSessions::recent()), after.at(i));
        }
    }

    // A line of 100 MB that never ends is looked at once, not again at every ingest.
    void hugeUnfinishedLine() {
        TempTree tree;
        const QByteArray a = shownFile("/p/a.png");
        const QString transcript = tree.file("sessions/2026/06/01/rollout.jsonl", a);
        {
            QFile file(transcript);
            QVERIFY(file.resize(a.size() + 100'000'000)); // zero bytes, sparse
        }
        CodexSessions::setSessionsFolder(tree.path("sessions"));
        if (!bytesRead()) QSKIP("no /proc/self/io to count the bytes read");

        const qint64 allowance = 2 << 20; // two blocks and the listings
        const struct {
            QByteArray appended;
            qint64 mostRead;
            QStringList shown;
        } steps[] = {
            {"", 101'000'000, {"/p/a.png"}},
            {"", allowance, {"/p/a.png"}},
            {QByteArray(1000, '\0'), allowance, {"/p/a.png"}},
            {"\n" + shownFile("/p/b.png"), allowance, {"/p/b.png", "/p/a.png"}},
        };
        for (const auto& step : steps) {
            if (!step.appended.isEmpty()) write(transcript, step.appended, QIODevice::Append);
            const qint64 before = *bytesRead();
            CodexSessions::ingest();
            const qint64 read = *bytesRead() - before;
            QVERIFY2(read <= step.mostRead, qPrintable(QString::number(read)));
            QCOMPARE(paths(CodexSessions::recent()), step.shown);
        }
    }

    void unusualSessionsFolder_data() {
        QTest::addColumn<QString>("layout");
        QTest::newRow("missing") << "missing";
        QTest::newRow("a regular file") << "file";
        QTest::newRow("a symbolic link loop") << "loop";
        QTest::newRow("a year folder that loops") << "year loop";
        QTest::newRow("a day folder that links to its month") << "day cycle";
        QTest::newRow("unreadable") << "unreadable";
        QTest::newRow("an unreadable day folder") << "unreadable day";
    }

    // Whatever stands where the sessions should be, the list is empty and nothing hangs.
    void unusualSessionsFolder() {
        QFETCH(QString, layout);
        TempTree tree;
        const QString sessions = tree.path("sessions");
        const QByteArray record = shownFile("/p/a.png");
        if (layout == QLatin1String("file")) {
            tree.file("sessions", record);
        } else if (layout == QLatin1String("loop")) {
            QVERIFY(QFile::link(tree.path("other"), sessions));
            QVERIFY(QFile::link(sessions, tree.path("other")));
        } else if (layout == QLatin1String("year loop")) {
            tree.folder("sessions");
            QVERIFY(QFile::link(tree.path("sessions/2026"), tree.path("sessions/2026")));
        } else if (layout == QLatin1String("day cycle")) {
            tree.folder("sessions/2026/06");
            QVERIFY(QFile::link(tree.path("sessions/2026/06"), tree.path("sessions/2026/06/01")));
        } else if (layout.startsWith(QLatin1String("unreadable"))) {
            if (::geteuid() == 0) QSKIP("permissions do not hold the superuser back");
            const QString day = tree.folder("sessions/2026/06/01");
            tree.file("sessions/2026/06/01/a.jsonl", record);
            QVERIFY(QFile::setPermissions(layout == QLatin1String("unreadable") ? sessions : day,
                                          QFile::WriteOwner));
        }
        CodexSessions::setSessionsFolder(sessions);
        const QList<QUrl> found = CodexSessions::transcripts();
        const QList<QUrl> shownNow = CodexSessions::recent();
        QFile::setPermissions(sessions, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile::setPermissions(tree.path("sessions/2026/06/01"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(found, QList<QUrl>{});
        QCOMPARE(shownNow, QList<QUrl>{});
    }

    void oversizedTranscriptIsNeverRead() {
        TempTree tree;
        const QString big = tree.file("sessions/2026/06/01/big.jsonl", shownFile("/p/big.png"));
        QFile file(big);
        QVERIFY(file.resize(128'000'001)); // sparse: costs no disk
        tree.file("sessions/2026/06/01/small.jsonl", shownFile("/p/small.png"));
        CodexSessions::setSessionsFolder(tree.path("sessions"));
        QCOMPARE(paths(CodexSessions::recent()), QStringList{"/p/small.png"});
    }

    void atMost400Remembered() {
        TempTree tree;
        QByteArray lines;
        for (int i = 0; i < 450; ++i)
            lines += shownFile(QStringLiteral("/p/%1.png").arg(i));
        tree.file("sessions/2026/06/01/long.jsonl", lines);
        CodexSessions::setSessionsFolder(tree.path("sessions"));
        const QStringList shownPaths = paths(CodexSessions::recent());
        QCOMPARE(shownPaths.size(), 400);
        QCOMPARE(shownPaths.first(), QStringLiteral("/p/449.png"));
        QCOMPARE(shownPaths.last(), QStringLiteral("/p/50.png"));
    }

    void overrideReadsNothing() {
        TempTree tree;
        tree.file("sessions/2026/06/01/a.jsonl", shownFile("/p/a.png"));
        CodexSessions::setSessionsFolder(tree.path("sessions"));
        const QList<QUrl> fixture{QUrl::fromLocalFile("/fixture/x.png")};
        CodexSessions::setOverride(fixture);
        QCOMPARE(CodexSessions::recent(), fixture);
        CodexSessions::setOverride(std::nullopt);
        QCOMPARE(paths(CodexSessions::recent()), QStringList{"/p/a.png"});
    }

    void primeIngestsInTheBackground() {
        TempTree tree;
        const QString transcript = tree.file("sessions/2026/06/01/a.jsonl", shownFile("/p/a.png"));
        CodexSessions::setSessionsFolder(tree.path("sessions"));
        CodexSessions::prime();
        QThreadPool::globalInstance()->waitForDone();
        // With the transcript gone, only the background ingest can have found the image.
        QVERIFY(QFile::remove(transcript));
        QCOMPARE(paths(CodexSessions::recent()), QStringList{"/p/a.png"});
    }

    void match_data() {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("expected"); // relative to the tree; empty for nothing

        const auto row = [](const char* name, const char* label, const char* expected) {
            QTest::newRow(name) << QString(label) << QString(expected);
        };
        const char* hair = "scenes/03-hair/STATE_STORYBOARD.png";
        const char* s01 = "episodes/episode-12/storyboard/S01_1672x941.png";
        row("shared name: the one shown last", "STATE_STORYBOARD.png", hair);
        row("case does not matter", "state_storyboard.PNG", hair);
        row("a misread label is repaired", "STATE_ST0RYB0ARD.png", hair);
        row("a folder picks the older copy", "02-makeup/STATE_STORYBOARD.png",
            "scenes/02-makeup/STATE_STORYBOARD.png");
        row("a name no session showed", "OTHER.png", "");
        row("a bare name resolves to the copy shown", "S01_1672x941.png", s01);
        row("folders that agree still resolve", "storyboard/S01_1672x941.png", s01);
        row("a folder that disagrees is refused", "episode-19/storyboard/S01_1672x941.png", "");
        row("a name cut short is refused", "72x941.png", "");
        row("a folder cut short is refused", "board/S01_1672x941.png", "");
        row("a shot number is not repaired into another", "S03_1672x941.png", "");
        row("an inner folder is repaired in the second pass", "episode-12/st0ryb0ard/S01_1672x941.png", s01);
        row("the outer folder is never repaired", "episode-l2/storyboard/S01_1672x941.png", "");
        row("a deleted copy gives way to an older one", "cut.png", "kept/cut.png");
    }

    void match() {
        QFETCH(QString, label);
        QFETCH(QString, expected);
        TempTree tree;
        // In the order shown; the newest comes first in the list.
        const QStringList showings{"scenes/02-makeup/STATE_STORYBOARD.png",
                                   "scenes/03-hair/STATE_STORYBOARD.png",
                                   "episodes/episode-12/storyboard/S01_1672x941.png",
                                   "episodes/episode-19/storyboard/S02_1672x941.png",
                                   "kept/cut.png",
                                   "gone/cut.png"};
        QList<QUrl> newestFirst;
        for (const QString& s : showings) {
            if (!s.startsWith(QLatin1String("gone/"))) tree.file(s);
            newestFirst.prepend(tree.url(s));
        }
        CodexSessions::setOverride(newestFirst);
        const auto found = CodexSessions::match(label);
        QCOMPARE(found.has_value(), !expected.isEmpty());
        if (found) QCOMPARE(*found, tree.url(expected));
    }

    // "View the updated STATE_STORYBOARD.png": the reference taken from such a
    // label names the image the session just showed, read from its transcript.
    void labelResolvesToTheImageJustShown() {
        TempTree tree;
        const QString first = tree.file("scenes/02-makeup/STATE_STORYBOARD.png");
        const QString second = tree.file("scenes/03-hair/STATE_STORYBOARD.png");
        tree.file("sessions/2026/06/01/rollout.jsonl", message("working") + shownFile(first) +
                                                           message("View the updated STATE_STORYBOARD.png") +
                                                           shownFile(second));
        CodexSessions::setSessionsFolder(tree.path("sessions"));
        const auto found = CodexSessions::match("STATE_STORYBOARD.png");
        QVERIFY(found.has_value());
        QCOMPARE(found->toLocalFile(), second);
    }
};

QTEST_GUILESS_MAIN(TestCodexSessions)
#include "test_codex_sessions.moc"
