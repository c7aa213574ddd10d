// Times a first ingest of a 100 MB Codex transcript holding 1000 image records
// (CodexSessions::ingest from scratch) against `grep -c '"ImageView"'` on the same
// file, in one run; then the cost of a 100 MB line that has no newline yet.
//
//   bench_codex_ingest [repetitions]
//
// Target: the ingest takes at most 3 times as long as grep.
#include "InterruptCleanup.h"
#include "core/CodexSessions.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr qint64 transcriptBytes = 100'000'000;
constexpr int imageRecords = 1000;

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::exit(1);
}

// The process's peak resident memory so far, in MB (VmHWM).
double peakResidentMB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& row : status.readAll().split('\n'))
        if (row.startsWith("VmHWM:")) return row.mid(6).trimmed().split(' ').first().toDouble() / 1024;
    return 0;
}

// A day folder under sessions, each level registered for removal on interruption.
QString dayFolder(const QString& sessions) {
    QString path = sessions;
    InterruptCleanup::removePath(path);
    for (const char* level : {"2026", "06", "01"}) {
        path += QLatin1Char('/') + QLatin1String(level);
        InterruptCleanup::removePath(path);
    }
    if (!QDir().mkpath(path)) fail("cannot make the sessions folders");
    return path;
}

QByteArray text(QRandomGenerator& random, int size) {
    static const char words[][12] = {"the ",    "render ", "frame ", "output ", "saved ",  "scene ",
                                     "update ", "tool ",   "call ",  "result ", "pixels ", "done. "};
    QByteArray out;
    out.reserve(size + 12);
    while (out.size() < size)
        out += words[random.bounded(12)];
    out.truncate(size);
    return out;
}

// Transcript lines as a session writes them: mostly short event records, some
// command outputs of a few kilobytes, a few very large ones, and 1000 image
// records spread evenly. Written line by line, never held whole.
void writeTranscript(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) fail("cannot write the transcript");
    QRandomGenerator random(20260601);
    const qint64 spacing = transcriptBytes / imageRecords;
    qint64 written = 0;
    int shown = 0;
    while (written < transcriptBytes || shown < imageRecords) {
        QByteArray line;
        if (shown < imageRecords && written >= shown * spacing) {
            line = QStringLiteral(
                       "{\"timestamp\":\"2026-06-01T10:%1:%2.000Z\",\"type\":\"event_msg\",\"payload\":"
                       "{\"type\":\"item_completed\",\"item\":{\"id\":\"item_%3\",\"type\":"
                       "\"ImageView\",\"path\":\"file:///home/user/project/shots/scene-%3/frame-%4.png\"}}}")
                       .arg(shown / 60 % 60, 2, 10, QLatin1Char('0'))
                       .arg(shown % 60, 2, 10, QLatin1Char('0'))
                       .arg(shown)
                       .arg(random.bounded(100))
                       .toUtf8();
            ++shown;
        } else {
            const quint32 kind = random.bounded(100);
            const int size = kind < 80   ? 60 + int(random.bounded(500))
                             : kind < 98 ? 1000 + int(random.bounded(7000))
                                         : 50'000 + int(random.bounded(350'000));
            const char* type = kind < 80 ? "agent_message" : "exec_command_output";
            line = "{\"timestamp\":\"2026-06-01T10:00:00.000Z\",\"type\":\"event_msg\",\"payload\":{\"type\":"
                   "\"" +
                   QByteArray(type) + "\",\"message\":\"" + text(random, size) + "\"}}";
        }
        line += '\n';
        if (file.write(line) != line.size()) fail("cannot write the transcript");
        written += line.size();
    }
}

double timeIngest(const QString& sessions, qsizetype* shown) {
    CodexSessions::setSessionsFolder(sessions); // forgets every offset: a first ingest
    QElapsedTimer timer;
    timer.start();
    CodexSessions::ingest();
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    *shown = CodexSessions::recent().size();
    return ms;
}

double timeGrep(const QString& path, QByteArray* count) {
    QProcess grep;
    QElapsedTimer timer;
    timer.start();
    grep.start(QStringLiteral("grep"), {QStringLiteral("-c"), QStringLiteral("\"ImageView\""), path});
    if (!grep.waitForFinished(-1) || grep.exitStatus() != QProcess::NormalExit) fail("grep did not run");
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    *count = grep.readAllStandardOutput().trimmed();
    return ms;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    InterruptCleanup::install();
    const int repetitions = argc > 1 ? std::max(1, atoi(argv[1])) : 7;

    QTemporaryDir temporary;
    if (!temporary.isValid()) fail("cannot make a temporary folder");
    InterruptCleanup::removePath(temporary.path());
    const QString sessions = temporary.filePath(QStringLiteral("sessions"));
    const QString transcript = dayFolder(sessions) + QStringLiteral("/rollout-2026-06-01T10-00-00.jsonl");
    InterruptCleanup::removePath(transcript);
    writeTranscript(transcript);
    std::printf("transcript: %.1f MB, %d image records, in %s\n", double(QFileInfo(transcript).size()) / 1e6,
                imageRecords, qPrintable(temporary.path()));

    // One of each first, so both read from the page cache.
    qsizetype shown = 0;
    QByteArray count;
    const double peakBefore = peakResidentMB();
    timeIngest(sessions, &shown);
    const double peakGrowth = peakResidentMB() - peakBefore;
    timeGrep(transcript, &count);

    std::vector<double> ingests, greps;
    for (int i = 0; i < repetitions; ++i) {
        ingests.push_back(timeIngest(sessions, &shown));
        greps.push_back(timeGrep(transcript, &count));
    }
    const double ingest = median(ingests), grep = median(greps);
    std::printf("ingest from scratch: median %.1f ms over %d runs (%lld images listed, the 400 kept)\n",
                ingest, repetitions, static_cast<long long>(shown));
    std::printf("grep -c '\"ImageView\"': median %.1f ms (count %s)\n", grep, count.constData());
    std::printf("ratio ingest / grep: %.2f (target: at most 3) %s\n", ingest / grep,
                ingest / grep <= 3 ? "met" : "NOT MET");
    std::printf("peak resident growth during the first ingest: %.1f MB\n", peakGrowth);

    // A line of 100 MB without a newline: looked at once, then only what is appended.
    const QString longSessions = temporary.filePath(QStringLiteral("long"));
    const QString longTranscript = dayFolder(longSessions) + QStringLiteral("/rollout-long.jsonl");
    InterruptCleanup::removePath(longTranscript);
    {
        QFile file(longTranscript);
        if (!file.open(QIODevice::WriteOnly)) fail("cannot write the long line");
        const QByteArray chunk(1 << 20, 'x');
        for (qint64 n = 0; n < transcriptBytes; n += chunk.size())
            if (file.write(chunk) != chunk.size()) fail("cannot write the long line");
    }
    CodexSessions::setSessionsFolder(longSessions);
    QElapsedTimer timer;
    timer.start();
    CodexSessions::ingest();
    const double firstLook = double(timer.nsecsElapsed()) / 1e6;
    std::vector<double> laterLooks;
    for (int i = 0; i < repetitions; ++i) {
        {
            QFile file(longTranscript);
            if (!file.open(QIODevice::Append) || file.write("yyyy") != 4) fail("cannot append");
        }
        timer.restart();
        CodexSessions::ingest();
        laterLooks.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::printf("100 MB line without a newline: first look %.1f ms, each later look (4 bytes appended) "
                "median %.3f ms\n",
                firstLook, median(laterLooks));
    return 0;
}
