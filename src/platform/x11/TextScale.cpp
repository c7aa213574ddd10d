#include "platform/x11/TextScale.h"

#include <QList>
#include <algorithm>
#include <cmath>

namespace platform::x11 {

namespace {
constexpr double kBaseDpi = 96.0;
constexpr double kLargestScale = 4.0;
} // namespace

double textScale(const QByteArray& resourceManager) {
    // The resource database is one "name:\tvalue" per line; the last entry for a name wins.
    double dpi = kBaseDpi;
    for (const QByteArray& line : resourceManager.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon < 0 || line.first(colon).trimmed() != "Xft.dpi") continue;
        bool ok = false;
        const double value = line.sliced(colon + 1).trimmed().toDouble(&ok);
        if (ok && std::isfinite(value) && value > 0) dpi = value;
    }
    return std::clamp(dpi / kBaseDpi, 1.0, kLargestScale);
}

} // namespace platform::x11
