#include "core/EvenPitch.h"

#include <algorithm>
#include <cmath>

namespace EvenPitch {

namespace {

constexpr double kMostVariation = 0.12;

} // namespace

double median(QList<double> values) {
    if (values.isEmpty()) return 0;
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

std::optional<double> of(const QList<double>& steps) {
    const double pitch = median(steps);
    QList<double> deviations;
    for (double s : steps)
        deviations.append(std::abs(s - pitch));
    if (!(pitch > 0) || median(deviations) > kMostVariation * pitch) return std::nullopt;
    return pitch;
}

} // namespace EvenPitch
