#pragma once

#include <QList>
#include <optional>

// Monospaced text sits on an even pitch: the distances between neighbouring
// glyphs' centres barely vary. Recognition's boxes say where the glyphs are;
// the pitch they keep tells a terminal's cells (and a missing or extra glyph
// among them) from proportional text.
namespace EvenPitch {

// The middle value (the upper of the two middle ones for an even count); 0 for none.
double median(QList<double> values);

// The pitch of the steps, their median, when they deviate from it by a median
// of at most 12 % of it: measured 0.02 to 0.03 for DejaVu Sans Mono (rendered
// and in xterm), 0.25 to 0.27 for DejaVu Sans and Serif; the engine misplaces
// the odd glyph badly, hence medians. None for proportional text or no steps.
std::optional<double> of(const QList<double>& steps);

} // namespace EvenPitch
