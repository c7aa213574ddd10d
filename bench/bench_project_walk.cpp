// Times the project walk (ProjectIndex::images, caches emptied before every run)
// against `find ROOT -name '*.png'` over the same generated tree, in one run.
//
//   bench_project_walk [repetitions] [existing-root]
//
// Without a root it lays out about 2900 folders (within the walk's budget of 3000
// listings, so both tools see the whole tree) and 20000 files in a temporary folder.
#include "core/ProjectIndex.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kTop = 12, kMiddle = 15, kLeaves = 15; // 12 + 180 + 2700 folders under the root
constexpr int kFiles = 20000;

void layOut(const QString& root) {
    const char* extensions[] = {"png", "png", "jpg", "txt", "swift", "json", "md", "PNG", "webp", "h"};
    QStringList leaves;
    for (int a = 0; a < kTop; ++a)
        for (int b = 0; b < kMiddle; ++b)
            for (int c = 0; c < kLeaves; ++c)
                leaves.append(QStringLiteral("%1/top-%2/mid-%3/leaf-%4").arg(root).arg(a).arg(b).arg(c));
    for (const QString& leaf : leaves)
        QDir().mkpath(leaf);
    for (int i = 0; i < kFiles; ++i) {
        QFile f(
            QStringLiteral("%1/file-%2.%3").arg(leaves[i % leaves.size()]).arg(i).arg(extensions[i % 10]));
        if (!f.open(QIODevice::WriteOnly)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(f.fileName()));
            std::exit(1);
        }
    }
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

double timeWalk(const QUrl& root, qsizetype* found) {
    ProjectIndex::clearCaches();
    QElapsedTimer t;
    t.start();
    *found = ProjectIndex::images(root).size();
    return double(t.nsecsElapsed()) / 1e6;
}

double timeFind(const QString& root) {
    QProcess find;
    find.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer t;
    t.start();
    find.start(QStringLiteral("find"), {root, QStringLiteral("-name"), QStringLiteral("*.png")});
    if (!find.waitForFinished(-1) || find.exitStatus() != QProcess::NormalExit) {
        std::fprintf(stderr, "find did not run\n");
        std::exit(1);
    }
    return double(t.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int repetitions = argc > 1 ? std::max(1, atoi(argv[1])) : 15;
    QTemporaryDir temporary;
    QString root = argc > 2 ? QDir(QString::fromLocal8Bit(argv[2])).absolutePath() : temporary.path();
    if (argc <= 2) {
        std::printf("laying out %d folders and %d files under %s\n", 1 + kTop * (1 + kMiddle * (1 + kLeaves)),
                    kFiles, qPrintable(root));
        layOut(root);
    }
    const QUrl url = QUrl::fromLocalFile(root);

    qsizetype images = 0;
    timeWalk(url, &images); // warm the file system's caches for both
    timeFind(root);
    std::vector<double> walk, find;
    for (int i = 0; i < repetitions; ++i) { // interleaved, so load changes hit both alike
        walk.push_back(timeWalk(url, &images));
        find.push_back(timeFind(root));
    }
    const double w = median(walk), f = median(find);
    std::printf("images found by the walk: %lld\n", static_cast<long long>(images));
    std::printf("walk  median %.2f ms over %d runs\n", w, repetitions);
    std::printf("find  median %.2f ms over %d runs (process start included)\n", f, repetitions);
    std::printf("ratio walk/find %.2f (target at most 1.5)\n", w / f);
    return 0;
}
