#pragma once

#include "platform/TextRecognizer.h"

#include <QImage>

// Warming the recogniser before the first real reading.
namespace ScreenTextReader {

// 96 x 20 pixels, white, "a/b.png" in black DejaVu Sans Mono of 11 pixels at
// (3, 5) from the bottom left.
QImage primingImage();

// Runs one recognition of the priming image so that the calling thread's
// engine is loaded before the first real reading. Call it on the thread that
// will read the screen.
void prime(const platform::TextRecognizer& recognizer);

} // namespace ScreenTextReader
