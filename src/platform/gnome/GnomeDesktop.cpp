#include "platform/gnome/GnomeDesktop.h"

#include "platform/a11y/AccessibilityStatus.h"
#include "platform/gnome/ShellReplies.h"

#include <QDBusPendingCall>
#include <QDBusServiceWatcher>
#include <cmath>

namespace platform {

namespace {

// A point far off any screen is not sent: the extension takes 32-bit integers.
std::optional<QPoint> integerPoint(QPointF point) {
    constexpr double limit = 1 << 20;
    if (!std::isfinite(point.x()) || !std::isfinite(point.y()) || std::abs(point.x()) > limit ||
        std::abs(point.y()) > limit)
        return std::nullopt;
    return QPoint(int(std::floor(point.x())), int(std::floor(point.y())));
}

} // namespace

// Receives ModifiersChanged and asks for it again when the Shell returns.
class GnomeDesktop::Watch : public QObject {
    Q_OBJECT
  public:
    Watch(GnomeDesktop& desktop, std::function<void(quint64)> changed)
        : desktop_(desktop), changed_(std::move(changed)),
          returns_(desktop.service_, desktop.bus_, QDBusServiceWatcher::WatchForRegistration) {
        connect(&returns_, &QDBusServiceWatcher::serviceRegistered, this, &Watch::subscribe);
    }

    bool start() {
        if (!desktop_.bus_.connect(desktop_.service_, ShellExtension::kPath, ShellExtension::kInterface,
                                   QStringLiteral("ModifiersChanged"), this, SLOT(modifiersChanged(uint))))
            return false;
        subscribe();
        return true;
    }

  public slots:
    void modifiersChanged(uint mask) {
        desktop_.seen_.asked.invalidate(); // the next tick asks afresh rather than reuse older keys
        changed_(ShellExtension::hoverFlags(mask));
    }

  private:
    void subscribe() {
        desktop_.bus_.asyncCall(QDBusMessage::createMethodCall(
            desktop_.service_, ShellExtension::kPath, ShellExtension::kInterface, QStringLiteral("Watch")));
    }

    GnomeDesktop& desktop_;
    std::function<void(quint64)> changed_;
    QDBusServiceWatcher returns_;
};

GnomeDesktop::GnomeDesktop(QDBusConnection bus, QString service, int timeoutMs)
    : bus_(std::move(bus)), service_(std::move(service)), timeoutMs_(timeoutMs) {}

GnomeDesktop::~GnomeDesktop() = default;

QDBusMessage GnomeDesktop::ask(const QString& method, const QVariantList& arguments) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(service_, ShellExtension::kPath, ShellExtension::kInterface, method);
    call.setArguments(arguments);
    return bus_.call(call, QDBus::Block, timeoutMs_);
}

// A tick asks for the keys and then the pointer: one answer serves both.
const GnomeDesktop::Seen& GnomeDesktop::seen() {
    if (seen_.asked.isValid() && seen_.asked.elapsed() < kFreshMs) return seen_;
    const auto state = ShellReplies::pointer(ask(QStringLiteral("Pointer")));
    seen_.asked.start(); // from the answer: a late one is not asked for again at once
    seen_.flags = state ? ShellExtension::hoverFlags(state->mask) : 0;
    if (state) seen_.pointer = state->at;
    return seen_;
}

QPointF GnomeDesktop::pointer() {
    return seen().pointer;
}

quint64 GnomeDesktop::modifierFlags() {
    return seen().flags;
}

std::optional<WindowInfo> GnomeDesktop::windowAt(QPointF point) {
    const auto at = integerPoint(point);
    if (!at) return std::nullopt;
    return ShellReplies::window(ask(QStringLiteral("WindowAt"), {at->x(), at->y()}));
}

QList<ScreenArea> GnomeDesktop::screens() {
    return ShellReplies::monitors(ask(QStringLiteral("Monitors"))).value_or(QList<ScreenArea>{});
}

bool GnomeDesktop::accessibilityEnabled() {
    return AccessibilityStatus::enabled(bus_);
}

bool GnomeDesktop::canReadScreen() {
    return !screens().isEmpty();
}

bool GnomeDesktop::watchModifiers(std::function<void(quint64 flags)> changed) {
    auto watch = std::make_unique<Watch>(*this, std::move(changed));
    if (!watch->start()) return false;
    watch_ = std::move(watch);
    return true;
}

bool GnomeDesktop::placeWindow(const QString& title, QPointF topLeft) {
    const auto at = integerPoint(topLeft);
    if (!at) return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        service_, ShellExtension::kPath, ShellExtension::kInterface, QStringLiteral("PlaceWindow"));
    call.setArguments({title, at->x(), at->y()});
    bus_.asyncCall(call, timeoutMs_);
    return true;
}

} // namespace platform

#include "GnomeDesktop.moc"
