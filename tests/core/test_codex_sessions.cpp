#include "TempTree.h"
#include "core/CodexSessions.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <optional>

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

// A blank line of `size` bytes, so that what follows starts at a given offset.
QByteArray filler(qsizetype size) {
    return QByteArray(size - 1, ' ') + '\n';
}

// Writes a transcript of the newest day and points the sessions folder at the tree.
QString transcript(const TempTree& tree, const QString& name, const QByteArray& bytes) {
    const QString path = tree.file("sessions/2026/06/01/" + name, bytes);
    CodexSessions::setSessionsFolder(tree.path("sessions"));
    return path;
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

    void imagePaths_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QStringList>("expected");
        const auto row = [](const char* name, const QByteArray& data, const QStringList& expected) {
            QTest::newRow(name) << data << expected;
        };
        row("marker only inside a message text", message("the \"ImageView\" tool showed it"), {});
        row("paths standardised; relative, remote and other hosts' paths refused",
            shown("file:///a/./b/../c.png") + shown("/a/./b/../d.png") + shown("file:///a/b%20c.png") +
                shown("shots/a.png") + shown("https://x.test/b.png") + shown("file://elsewhere/a.png"),
            {"/a/c.png", "/a/d.png", "/a/b c.png"});
        row("path not a string",
            "{\"payload\":{\"item\":{\"type\":\"ImageView\",\"path\":[\"/p/a.png\"]}}}\n", {});
    }

    void imagePaths() {
        QFETCH(QByteArray, data);
        QFETCH(QStringList, expected);
        QCOMPARE(paths(CodexSessions::imagePaths(data)), expected);
    }

    // Files each a second newer than the last; "a -> b" is a symlink, "a/" a folder.
    void transcripts_data() {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QStringList>("expected");
        const auto row = [](const char* name, const QStringList& entries, const QStringList& expected) {
            QTest::newRow(name) << entries << expected;
        };
        row("newest year and month only",
            {"s/2026/06/01/a.jsonl", "s/2026/05/31/b.jsonl", "s/2025/12/31/c.jsonl"},
            {"s/2026/06/01/a.jsonl"});
        row("the two newest days, most recently modified first",
            {"s/2026/06/03/a.jsonl", "s/2026/06/02/b.jsonl", "s/2026/06/01/c.jsonl", "s/2026/06/03/d.jsonl"},
            {"s/2026/06/03/d.jsonl", "s/2026/06/02/b.jsonl", "s/2026/06/03/a.jsonl"});
        row("a symbolic link loop", {"s -> o", "o -> s"}, {});
    }

    void transcripts() {
        QFETCH(QStringList, entries);
        QFETCH(QStringList, expected);
        TempTree tree;
        const QDateTime base = QDateTime::currentDateTime().addDays(-1);
        for (qsizetype i = 0; i < entries.size(); ++i) {
            const QString& entry = entries.at(i);
            if (entry.contains(" -> ")) {
                QVERIFY(
                    QFile::link(tree.path(entry.section(" -> ", 1)), tree.path(entry.section(" -> ", 0, 0))));
            } else if (entry.endsWith('/')) {
                tree.folder(entry);
            } else {
                QFile file(tree.file(entry, message("hi")));
                QVERIFY(file.open(QIODevice::ReadWrite));
                QVERIFY(file.setFileTime(base.addSecs(i), QFileDevice::FileModificationTime));
            }
        }
        CodexSessions::setSessionsFolder(tree.path("s"));
        QStringList expectedPaths;
        for (const QString& e : expected)
            expectedPaths.append(tree.path(e));
        QCOMPARE(paths(CodexSessions::transcripts()), expectedPaths);
    }

    // Each step writes to the one transcript, then ingests; the shown list follows
    // (after each step, the images newest first, named "/p/<name>.png").
    void ingestSteps_data() {
        // "+" appends the rest, "=" replaces the file, "~" overwrites its start in place
        QTest::addColumn<QList<QByteArray>>("writes");
        QTest::addColumn<QStringList>("after");
        const auto row = [](const char* name, const QList<QByteArray>& writes, const QStringList& after) {
            QTest::newRow(name) << writes << after;
        };
        const QByteArray a = shownFile("/p/a.png"), b = shownFile("/p/b.png"), c = shownFile("/p/c.png");
        row("unfinished last line is read once complete", {"+" + a + b.left(30), "+" + b.mid(30)},
            {"a", "b a"});
        row("a truncated transcript is read again from its start", {"+" + a + b, "=" + c}, {"b a", "c b a"});
        const QByteArray note = message(QString(300, QLatin1Char('n')));
        row("an unfinished line cut back and rewritten",
            {"+" + a + note.left(200), "=" + a + c.left(20), "+" + c.mid(20)}, {"a", "a", "c a"});
        row("the same image twice is listed once, where last shown", {"+" + a + b, "+" + a}, {"b a", "a b"});
        // Lines already read are not read again, even when their bytes change.
        row("each complete record is read once", {"+" + a, "~" + shownFile("/p/z.png"), "+" + b},
            {"a", "a", "b a"});
        QByteArray badText = b;
        badText.replace("2026-06-01", "2026-\xff\xfe-01");
        row("invalid UTF-8 skips only its own line", {"+" + a + badText + c}, {"c a"});

        // Reads come in blocks of 1 MiB: records on and across their edges.
        const qsizetype block = 1 << 20;
        const qsizetype bMarker = b.indexOf("\"ImageView\"");
        row("a marker across a block edge", {"+" + filler(block - bMarker - 5) + b + c}, {"c b"});
        row("a newline as a block's last byte", {"+" + filler(block - b.size()) + b + c}, {"c b"});
        const QByteArray longB =
            line("ImageView", "path", "file:///p/b.png")
                .replace("\"timestamp\"", "\"note\":\"" + QByteArray(3 << 20, 'x') + "\",\"timestamp\"");
        row("a record longer than three blocks, finished later",
            {"+" + a + longB.first(longB.size() - 40), "+" + longB.last(40) + c}, {"a", "c b a"});
    }

    void ingestSteps() {
        QFETCH(QList<QByteArray>, writes);
        QFETCH(QStringList, after);
        TempTree tree;
        const QString path = transcript(tree, "rollout.jsonl", "");
        for (qsizetype i = 0; i < writes.size(); ++i) {
            const char op = writes.at(i).at(0);
            write(path, writes.at(i).mid(1),
                  op == '+'   ? QIODevice::Append
                  : op == '=' ? QIODevice::WriteOnly
                              : QIODevice::ReadWrite);
            CodexSessions::ingest();
            QStringList expected;
            for (const QString& name : after.at(i).split(' ', Qt::SkipEmptyParts))
                expected.append("/p/" + name + ".png");
            QCOMPARE(paths(CodexSessions::recent()), expected);
        }
    }

    // A line of 100 MB that never ends is looked at once, not again at every ingest.
    void hugeUnfinishedLine() {
        TempTree tree;
        const QByteArray a = shownFile("/p/a.png");
        const QString path = transcript(tree, "rollout.jsonl", a);
        QVERIFY(QFile(path).resize(a.size() + 100'000'000)); // zero bytes, sparse
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
            if (!step.appended.isEmpty()) write(path, step.appended, QIODevice::Append);
            const qint64 before = *bytesRead();
            CodexSessions::ingest();
            const qint64 read = *bytesRead() - before;
            QVERIFY2(read <= step.mostRead, qPrintable(QString::number(read)));
            QCOMPARE(paths(CodexSessions::recent()), step.shown);
        }
    }

    // A transcript over 128 MB is never read; at most 400 images are remembered, newest first.
    void bounds() {
        TempTree tree;
        QVERIFY(QFile(transcript(tree, "big.jsonl", shownFile("/p/big.png"))).resize(128'000'001)); // sparse
        CodexSessions::ingest();
        QCOMPARE(CodexSessions::recent(), QList<QUrl>{});
        QByteArray lines;
        for (int i = 0; i < 450; ++i)
            lines += shownFile(QStringLiteral("/p/%1.png").arg(i));
        transcript(tree, "long.jsonl", lines);
        CodexSessions::ingest();
        const QStringList shownPaths = paths(CodexSessions::recent());
        QCOMPARE(shownPaths.size(), 400);
        QCOMPARE(shownPaths.first(), QStringLiteral("/p/449.png"));
        QCOMPARE(shownPaths.last(), QStringLiteral("/p/50.png"));
    }

    void match_data() {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("expected"); // relative to the tree; empty for nothing
        const auto row = [](const char* name, const char* label, const char* expected) {
            QTest::newRow(name) << QString(label) << QString(expected);
        };
        const char* s01 = "episodes/episode-12/storyboard/S01_1672x941.png";
        row("a folder picks the older copy", "02-makeup/STATE_STORYBOARD.png",
            "scenes/02-makeup/STATE_STORYBOARD.png");
        row("an inner folder is repaired in the second pass", "episode-12/st0ryb0ard/S01_1672x941.png", s01);
        row("the outer folder is never repaired", "episode-l2/storyboard/S01_1672x941.png", "");
        row("a deleted copy gives way to an older one", "cut.png", "kept/cut.png");
    }

    void match() {
        QFETCH(QString, label);
        QFETCH(QString, expected);
        TempTree tree;
        const QStringList showings{
            "scenes/02-makeup/STATE_STORYBOARD.png", "scenes/03-hair/STATE_STORYBOARD.png",
            "episodes/episode-12/storyboard/S01_1672x941.png", "kept/cut.png", "gone/cut.png"};
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
};

QTEST_GUILESS_MAIN(TestCodexSessions)
#include "test_codex_sessions.moc"
