#pragma once

#include "screen/Choosing.h"
#include "screen/ScreenTextReader.h"

#include <QList>
#include <QPointF>
#include <QUrl>
#include <optional>

// Rejoining a reference that the terminal wrapped across rows.
namespace ScreenTextReader {

// A reference wrapped across rows, rejoined from the reads' lines: chains of
// rows that carry each other on, longest first; a match must start on the
// chain's first row, run into a later one and lie under the pointer. Each
// reference is resolved at most once.
std::optional<QUrl> rejoined(const QList<Read>& reads, QPointF pointer, const Resolver& resolve,
                             bool verbose);

} // namespace ScreenTextReader
