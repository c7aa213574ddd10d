#pragma once

#include <QImage>

// The picture the engine reads. Its LSTM model was trained on dark text on a
// light page with even margins; screens show every colour scheme, including
// low-contrast dark ones where light-grey text sits on a dark-teal background.
namespace platform::tesseract_page {

// The image in grey, dark text on a white background (faint text stretched
// until its colour is black, reverse video such as a cursor block or a
// selection turned back), with `margin` pixels of that background round
// it. A tile with no text on it (nothing stands out from its
// background) keeps its few grey levels rather than having its noise blown up
// into speckles. Null for a null image.
QImage prepared(const QImage& image, int margin);

} // namespace platform::tesseract_page
