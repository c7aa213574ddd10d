#include "platform/atspi/AtspiSession.h"

#include "core/Diagnostics.h"
#include "platform/atspi/AccessibilityBus.h"

#include <QAbstractEventDispatcher>

namespace atspi {

namespace {

constexpr int kProbeTimeoutMs = 300;
constexpr int kMostEventsPerTick = 256;

} // namespace

Session::Session() {
    clock_.start();
}

bool Session::ready() {
    if (bus_ == Bus::Ready) return true;
    if (bus_ == Bus::Failed) return false;
    if (lastProbe_.isValid() && lastProbe_.elapsed() < kRetryBusMs) return false;
    lastProbe_.start();
    // libatspi asks the session bus for the address without a time limit and
    // cannot be initialised twice: ask first, with one.
    if (!AccessibilityBus::address(kProbeTimeoutMs)) return false;
    atspi_set_timeout(kCallTimeoutMs, 0);
    const int status = atspi_init();
    if ((status != 0 && status != 1) || !atspi_get_a11y_bus()) {
        bus_ = Bus::Failed;
        if (Diagnostics::verbose())
            Diagnostics::print(QStringLiteral("  [ax] the accessibility bus cannot be used"));
        return false;
    }
    // libatspi takes in its bus traffic through GLib's main context, which Qt
    // runs when it is built on GLib; otherwise the tick drains it.
    const QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    pump_ = !dispatcher || !QByteArray(dispatcher->metaObject()->className()).contains("Glib");
    bus_ = Bus::Ready;
    return true;
}

bool Session::skipping(qint32 pid) const {
    const auto it = skipUntil_.constFind(pid);
    return it != skipUntil_.cend() && clock_.elapsed() < it.value();
}

bool Session::begin(qint32 pid) {
    open_ = false;
    if (!ready() || skipping(pid)) return false;
    if (pump_) pumpEvents();
    skipUntil_.remove(pid);
    pid_ = pid;
    spentMs_ = 0;
    open_ = true;
    return true;
}

bool Session::resume(qint32 pid) {
    if (open_ && pid == pid_) return true;
    return begin(pid);
}

void Session::account(qint64 elapsedMs) {
    spentMs_ += elapsedMs;
    if (elapsedMs < kSlowCallMs && spentMs_ < kTickBudgetMs) return;
    open_ = false;
    if (skipUntil_.size() > 256) skipUntil_.clear();
    skipUntil_.insert(pid_, clock_.elapsed() + kSkipMs);
    if (Diagnostics::verbose())
        Diagnostics::print(QStringLiteral("  [ax] process %1 answers too slowly; reading the screen for %2 s")
                               .arg(pid_)
                               .arg(kSkipMs / 1000));
}

void Session::pumpEvents() {
    GMainContext* context = g_main_context_default();
    for (int i = 0; i < kMostEventsPerTick && g_main_context_iteration(context, FALSE); ++i) {
    }
}

} // namespace atspi
