#include "platform/atspi/AtspiAccessibilityReader.h"

#include "core/AccessibilityLookup.h"
#include "core/Diagnostics.h"
#include "platform/atspi/AccessibilityBus.h"
#include "platform/atspi/AtspiApplications.h"
#include "platform/atspi/AtspiNode.h"
#include "platform/atspi/AtspiSession.h"

#include <algorithm>

namespace {

using atspi::Node;
using atspi::Ref;

// Top-level accessibles of one application looked at for the pointer.
constexpr int kMostWindows = 32;
// Steps down from the window to the deepest accessible.
constexpr int kDeepest = 24;
// How long the screens' arrangement is trusted.
constexpr qint64 kOriginFreshForMs = 5000;
constexpr qsizetype kMostWoken = 4096;

// The element under the pointer as this reader found it.
class AtspiElement final : public AccessibilityElement {
  public:
    qint32 pid = 0;
    QString windowTitle; // the X11 window's title
    // From the window down to the element: those the hit test passed, then
    // the element with text found below the last of them, if any.
    QList<std::shared_ptr<Node>> path;

    std::optional<qint32> processId() const override { return pid; }
    std::optional<QString> role() const override { return element()->role(); }

    const std::shared_ptr<Node>& element() const { return path.last(); }
    const std::shared_ptr<Node>& window() const { return path.first(); }
};

const AtspiElement* mine(const AccessibilityElement& element) {
    return dynamic_cast<const AtspiElement*>(&element);
}

} // namespace

AtspiAccessibilityReader::AtspiAccessibilityReader(platform::Desktop& desktop)
    : desktop_(desktop), session_(std::make_shared<atspi::Session>()),
      applications_(std::make_unique<atspi::Applications>(*session_)) {}

AtspiAccessibilityReader::~AtspiAccessibilityReader() = default;

void AtspiAccessibilityReader::switchOn() {
    if (switchedOn_) return;
    switchedOn_ = true;
    AccessibilityBus::enable();
}

void AtspiAccessibilityReader::requestAccess() {
    try {
        switchOn();
        session_->ready();
    } catch (...) {
    }
}

void AtspiAccessibilityReader::wakeAccessibility(const AccessibilityElement& element) {
    const std::optional<qint32> pid = element.processId();
    if (!pid || woken_.contains(*pid)) return;
    if (woken_.size() >= kMostWoken) woken_.clear();
    woken_.insert(*pid);
    // AT-SPI has no per-application switch: the session's one is what
    // toolkits listen to.
    switchOn();
}

std::optional<QSet<qint32>> AtspiAccessibilityReader::publishingProcesses() {
    try {
        if (!session_->ready() || !session_->begin(0)) return std::nullopt;
        const QList<qint32> pids = applications_->processes();
        return QSet<qint32>(pids.cbegin(), pids.cend());
    } catch (...) {
        return std::nullopt;
    }
}

bool AtspiAccessibilityReader::skipping(qint32 pid) const {
    return session_->skipping(pid);
}

QPoint AtspiAccessibilityReader::rootOrigin() {
    if (originAge_.isValid() && originAge_.elapsed() < kOriginFreshForMs) return origin_;
    originAge_.start();
    const QPointF origin = desktop_.windowSystemOrigin();
    origin_ = QPoint(qRound(origin.x()), qRound(origin.y()));
    return origin_;
}

std::shared_ptr<AccessibilityElement> AtspiAccessibilityReader::elementAt(QPointF point) {
    try {
        return find(point);
    } catch (...) {
        return nullptr;
    }
}

std::shared_ptr<AccessibilityElement> AtspiAccessibilityReader::find(QPointF point) {
    const std::optional<platform::WindowInfo> window = desktop_.windowAt(point);
    if (!window || window->pid <= 0) return nullptr;
    if (!session_->begin(window->pid)) return nullptr;
    session_->setOrigin(rootOrigin());
    atspi::Session& s = *session_;

    // The application's top-level accessibles under the pointer.
    QList<std::shared_ptr<Node>> windows;
    for (AtspiAccessible* application : applications_->of(window->pid)) {
        const auto count =
            s.call([&](GError** e) { return atspi_accessible_get_child_count(application, e); });
        for (int i = 0; count && i < std::min(*count, kMostWindows); ++i) {
            const auto child =
                s.call([&](GError** e) { return atspi_accessible_get_child_at_index(application, i, e); });
            if (!child || !*child) continue;
            auto node =
                std::make_shared<Node>(session_, Ref<AtspiAccessible>(*child), atspi::share(application));
            const std::optional<QRectF> frame = AccessibilityLookup::frame(*node);
            if (frame && frame->contains(point)) windows.append(std::move(node));
        }
    }
    if (windows.isEmpty()) {
        if (!s.isOpen()) applications_->forget(window->pid);
        return nullptr;
    }

    // Overlapping windows of one application: the one the window system names,
    // else the active one.
    std::shared_ptr<Node> top = windows.first();
    if (windows.size() > 1) {
        bool named = false;
        for (const auto& candidate : std::as_const(windows)) {
            if (!window->title.isEmpty() &&
                candidate->label(AccessibilityLookup::Label::Title) == window->title) {
                top = candidate;
                named = true;
                break;
            }
        }
        for (qsizetype i = 0; !named && i < windows.size(); ++i) {
            const auto states =
                s.call([&](GError**) { return atspi_accessible_get_state_set(windows[i]->accessible()); });
            if (!states || !*states) continue;
            const Ref<AtspiStateSet> owned(*states);
            if (atspi_state_set_contains(owned.get(), ATSPI_STATE_ACTIVE)) {
                top = windows[i];
                break;
            }
        }
    }

    auto found = std::make_shared<AtspiElement>();
    found->pid = window->pid;
    found->windowTitle = window->title;
    found->path.append(top);
    const QPoint screen = s.toScreen(point);
    for (int depth = 0; depth < kDeepest; ++depth) {
        AtspiAccessible* current = found->element()->accessible();
        const auto component =
            s.call([&](GError**) { return atspi_accessible_get_component_iface(current); });
        if (!component || !*component) break;
        const Ref<AtspiComponent> owned(*component);
        const auto child = s.call([&](GError** e) {
            return atspi_component_get_accessible_at_point(owned.get(), screen.x(), screen.y(),
                                                           ATSPI_COORD_TYPE_SCREEN, e);
        });
        if (!child || !*child) break;
        Ref<AtspiAccessible> next(*child);
        // An application that answers with an element already passed would send us round.
        const bool seen =
            std::any_of(found->path.cbegin(), found->path.cend(),
                        [&](const std::shared_ptr<Node>& n) { return n->accessible() == next.get(); });
        if (seen) break;
        found->path.append(
            std::make_shared<Node>(session_, std::move(next), atspi::share(top->application())));
    }
    // Notebook page tabs publish no extents, so the hit test stops above the
    // terminal or editor they hold: look for the text below.
    const auto readable =
        std::dynamic_pointer_cast<Node>(AccessibilityLookup::descendantWithText(found->element(), point));
    const bool below = readable && readable != found->element();
    if (Diagnostics::verbose()) {
        // Said when the element read changes, not on every tick that reads it again.
        const QString line = below ? QStringLiteral("  [ax] text below ") +
                                         AccessibilityLookup::described(*found->element()) +
                                         QStringLiteral(": ") + AccessibilityLookup::described(*readable)
                                   : QString();
        if (said_.changed(QStringLiteral("below"), line)) Diagnostics::print(line);
    }
    if (below) found->path.append(readable);
    return found;
}

std::optional<WindowContext> AtspiAccessibilityReader::windowContext(const AccessibilityElement& element) {
    try {
        const AtspiElement* found = mine(element);
        if (!found || !session_->resume(found->pid)) return std::nullopt;
        WindowContext context;
        // The document nearest the element names the folder (a browser's page, an editor's file).
        for (qsizetype i = found->path.size() - 1; i >= 0 && context.documentDirectory.isEmpty(); --i) {
            if (const std::optional<QString> address = found->path.at(i)->documentAddress())
                context.documentDirectory = AccessibilityLookup::documentDirectory(*address);
        }
        const std::optional<QString> name = found->window()->label(AccessibilityLookup::Label::Title);
        if (name && !name->isEmpty())
            context.title = name;
        else if (!found->windowTitle.isEmpty())
            context.title = found->windowTitle;
        return context;
    } catch (...) {
        return std::nullopt;
    }
}

AccessibilityLookup::Findings AtspiAccessibilityReader::findingsAt(const AccessibilityElement& element,
                                                                   QPointF at) {
    try {
        const AtspiElement* found = mine(element);
        if (!found || !session_->resume(found->pid)) return {};
        return AccessibilityLookup::findings(found->element(), at);
    } catch (...) {
        return {};
    }
}
