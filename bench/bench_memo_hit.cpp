// Times a repeated hover over the same reference: ImageReference::resolveOnDisk
// answered from its memo, against the one existence test a file hit needs.
//
//   bench_memo_hit [calls]
#include "core/ImageReference.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// Median time of one call in microseconds, over batches of 100 calls.
template <typename F> double medianMicros(int calls, F&& call) {
    std::vector<double> batches;
    for (int done = 0; done < calls; done += 100) {
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < 100; ++i)
            call();
        batches.push_back(double(t.nsecsElapsed()) / 1e3 / 100);
    }
    return median(batches);
}

} // namespace

int main(int argc, char** argv) {
    const int calls = argc > 1 ? std::max(100, atoi(argv[1])) : 20000;
    QTemporaryDir dir;
    const QString file = dir.path() + QStringLiteral("/shots/hero-frame@2x.png");
    QDir().mkpath(dir.path() + QStringLiteral("/shots"));
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly)) return 1;
    f.close();
    const QUrl base = QUrl::fromLocalFile(dir.path() + QLatin1Char('/'));
    const QString reference = QStringLiteral("shots/hero-frame@2x.png");

    QElapsedTimer first;
    first.start();
    const std::optional<QUrl> answer = ImageReference::resolveOnDisk(reference, {base});
    const double firstMicros = double(first.nsecsElapsed()) / 1e3;
    if (!answer || answer->toLocalFile() != file) {
        std::printf("the reference did not resolve to %s\n", qPrintable(file));
        return 1;
    }
    bool ok = true;
    const double hit =
        medianMicros(calls, [&] { ok &= ImageReference::resolveOnDisk(reference, {base}).has_value(); });
    const double exists = medianMicros(calls, [&] { ok &= QFileInfo::exists(file); });
    std::printf("first resolution (full pipeline): %.1f us\n", firstMicros);
    std::printf("memo hit: median %.2f us per call over %d calls%s\n", hit, calls,
                ok ? "" : " (A CALL FAILED)");
    std::printf("one existence test: median %.2f us per call\n", exists);
    std::printf("ratio memo hit / existence test %.2f\n", hit / exists);
    return 0;
}
