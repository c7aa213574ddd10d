// Resident memory through hostile downloads: each URL answers an endless body
// without a declared length, which the download must cut off at its cap.
// Prints the resident memory before, the peak (VmHWM) and after; run by
// bench/bench_remote_memory.sh, which serves the bodies. Target: peak under 150 MB.
//
//   bench_remote_downloads http://127.0.0.1:PORT [count]
#include "app/agent/RemoteImages.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QRegularExpression>
#include <QUrl>
#include <cstdio>

namespace {

// A figure of /proc/self/status in MB ("VmRSS", "VmHWM").
double statusMB(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    const QString text = QString::fromLatin1(status.readAll());
    const QRegularExpression line(QStringLiteral("^%1:\\s+(\\d+) kB").arg(QLatin1String(field)),
                                  QRegularExpression::MultilineOption);
    return line.match(text).captured(1).toDouble() / 1024;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::puts("usage: bench_remote_downloads http://127.0.0.1:PORT [count]");
        return 2;
    }
    const QUrl server(QString::fromLocal8Bit(argv[1]));
    const int count = argc > 2 ? std::max(1, atoi(argv[2])) : 20;
    RemoteImages remote; // the agent's own limits
    const double before = statusMB("VmRSS");
    QElapsedTimer timer;
    timer.start();
    int failed = 0;
    for (int i = 0; i < count; ++i) {
        QUrl url = server;
        url.setPath(QStringLiteral("/endless-%1.png").arg(i));
        QEventLoop loop;
        QObject::connect(&remote, &RemoteImages::failed, &loop, [&] {
            ++failed;
            loop.quit();
        });
        QObject::connect(&remote, &RemoteImages::arrived, &loop, &QEventLoop::quit);
        remote.fetch(url, 440);
        loop.exec();
    }
    std::printf("%d endless downloads, %d refused, %.1f s\n", count, failed, timer.elapsed() / 1000.0);
    std::printf("resident memory: before %.1f MB, peak %.1f MB, after %.1f MB (target: peak under 150 MB)\n",
                before, statusMB("VmHWM"), statusMB("VmRSS"));
    return 0;
}
