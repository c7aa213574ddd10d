// Times FuzzyPath::bestMatch over 4000 names, and the project index's fuzzy pass
// (a tail compared with bestMatch per image) over 4000 image paths.
//
//   bench_best_match [repetitions]
#include "core/FuzzyPath.h"
#include "core/ProjectIndex.h"

#include <QElapsedTimer>
#include <QStringList>
#include <QUrl>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kNames = 4000;

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

template <typename F> double medianMs(int repetitions, F&& run) {
    std::vector<double> times;
    for (int i = 0; i < repetitions; ++i) {
        QElapsedTimer t;
        t.start();
        run();
        times.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    return median(times);
}

} // namespace

int main(int argc, char** argv) {
    const int repetitions = argc > 1 ? std::max(1, atoi(argv[1])) : 21;
    const char* words[] = {"hero", "frame", "contact", "sheet", "storyboard", "render", "shot", "icon"};
    QStringList names;
    QList<QUrl> images;
    for (int i = 0; i < kNames; ++i) {
        const QString name = QStringLiteral("%1-%2_v%3.png")
                                 .arg(words[i % 8], words[(i / 8) % 8])
                                 .arg(i, 4, 10, QLatin1Char('0'));
        names.append(name);
        images.append(QUrl::fromLocalFile(QStringLiteral("/project/scenes/s%1/%2").arg(i / 40).arg(name)));
    }
    const QString target = names[kNames / 2];
    QString misread = target; // "0" for "o", ".pnq" for ".png"
    misread.replace(QLatin1Char('o'), QLatin1Char('0'))
        .replace(QStringLiteral(".png"), QStringLiteral(".pnq"));
    const QString longName = QString(1 << 20, QLatin1Char('x')) + QStringLiteral(".png");

    std::optional<QString> found;
    int hits = 0;
    const double misreadMs =
        medianMs(repetitions, [&] { found = FuzzyPath::bestMatch(misread, names, true); });
    std::printf("bestMatch, misread name among %d: median %.3f ms (%s)\n", kNames, misreadMs,
                found == target ? "found the right name" : "DID NOT find the name");
    const double missMs =
        medianMs(repetitions, [&] { found = FuzzyPath::bestMatch("unrelated.gif", names, true); });
    std::printf("bestMatch, no match among %d: median %.3f ms\n", kNames, missMs);
    const double longMs = medianMs(repetitions, [&] { found = FuzzyPath::bestMatch(longName, names, true); });
    std::printf("bestMatch, a 1 MiB name among %d: median %.3f ms\n", kNames, longMs);
    const double passMs = medianMs(repetitions, [&] {
        hits = ProjectIndex::outcome(images, {QStringLiteral("s50"), misread}, true).kind ==
               ProjectIndex::Outcome::Kind::Found;
    });
    std::printf("fuzzy pass over %d image paths, two-component tail: median %.3f ms (%s)\n", kNames, passMs,
                hits ? "found" : "NOT found");
    return 0;
}
