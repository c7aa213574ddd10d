#pragma once

#include "platform/ScreenCapture.h"
#include "platform/gnome/ShellExtension.h"

#include <QDBusConnection>

namespace platform {

// Captures through Vistel's GNOME Shell extension: the Shell's own screenshot
// of the strip, written as a PNG into a memory file this program creates and
// passes over the bus, so nothing reaches the disk. Runs on the screen
// reader's worker over a bus connection that is not the GUI thread's. The
// image comes in the monitor's device pixels (a scaled monitor gives more
// pixels than points).
class GnomeScreenCapture final : public ScreenCapture {
  public:
    explicit GnomeScreenCapture(QDBusConnection bus, QString service = ShellExtension::kService);

    // A one-point capture at the primary monitor's origin answers.
    bool canCapture(Deadline deadline) override;
    // The primary monitor first.
    QList<Monitor> monitors(Deadline deadline) override;
    std::optional<Capture> capture(QRectF strip, Deadline deadline) override;

  private:
    // The PNG of the rectangle (global points), or none.
    std::optional<QImage> read(QRect area, Deadline deadline);
    QDBusMessage ask(QDBusMessage call, Deadline deadline);

    QDBusConnection bus_;
    QString service_;
};

} // namespace platform
