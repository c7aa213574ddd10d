#pragma once

#include "platform/Desktop.h"
#include "platform/gnome/ShellExtension.h"

#include <QDBusConnection>
#include <QElapsedTimer>
#include <memory>

namespace platform {

// The desktop of a GNOME Wayland session, as Vistel's Shell extension serves
// it over the session bus (see gnome/ShellExtension.h). Main thread only.
//
// Every call waits for the Shell at most timeoutMs: a Shell that stops
// answering, answers late or answers nonsense leaves the pointer where it was
// last seen, no keys held, no window and no screens, so the agent shows
// nothing rather than something wrong.
class GnomeDesktop final : public Desktop {
  public:
    explicit GnomeDesktop(QDBusConnection bus, QString service = ShellExtension::kService,
                          int timeoutMs = 200);
    ~GnomeDesktop() override;
    GnomeDesktop(const GnomeDesktop&) = delete;
    GnomeDesktop& operator=(const GnomeDesktop&) = delete;

    QPointF pointer() override;
    quint64 modifierFlags() override;
    std::optional<WindowInfo> windowAt(QPointF point) override;
    QList<ScreenArea> screens() override;
    bool accessibilityEnabled() override;
    // The extension answers for the monitors; captures go through it too.
    bool canReadScreen() override;
    // The extension's ModifiersChanged signal, asked for again whenever the
    // Shell comes back (a restart, the extension switched off and on).
    bool watchModifiers(std::function<void(quint64 flags)> changed) override;
    // The extension moves and raises the window: under Wayland a client
    // cannot place its own. Does not wait for the answer.
    bool placeWindow(const QString& title, QPointF topLeft) override;

  private:
    QDBusMessage ask(const QString& method, const QVariantList& arguments = {});

    QDBusConnection bus_;
    QString service_;
    int timeoutMs_;
    // The Shell's last answer about the pointer, reused while younger than
    // kFreshMs; a failed answer keeps the pointer where it was, no key held.
    static constexpr qint64 kFreshMs = 5;
    struct Seen {
        QElapsedTimer asked;
        QPointF pointer;
        quint64 flags = 0;
    };
    const Seen& seen();
    Seen seen_;
    class Watch;
    std::unique_ptr<Watch> watch_;
};

} // namespace platform
