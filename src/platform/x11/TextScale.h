#pragma once

#include <QByteArray>

// How much larger than at 96 dpi the desktop draws its text, from the X
// resources that toolkits read (the root window's RESOURCE_MANAGER string):
// "Xft.dpi: 192" is text twice as large. X11 itself has no scaled desktop, so
// this is the one setting that says a HiDPI screen is in use.
namespace platform::x11 {

// Xft.dpi / 96, kept within 1 to 4; 1 when the resources name no usable Xft.dpi.
// A smaller dpi than 96 is read as 1: small text is read as it is, at the
// enlargement low densities already get.
double textScale(const QByteArray& resourceManager);

} // namespace platform::x11
