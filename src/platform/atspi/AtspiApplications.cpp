#include "platform/atspi/AtspiApplications.h"

namespace atspi {

namespace {

constexpr qint64 kFreshForMs = 5000;
constexpr qint64 kMissFreshForMs = 1000;
constexpr int kMostApplications = 512;

} // namespace

QList<AtspiAccessible*> Applications::of(qint32 pid) {
    const bool known = byPid_.count(pid) > 0;
    const qint64 freshFor = known ? kFreshForMs : kMissFreshForMs;
    if (!listed_.isValid() || listed_.elapsed() >= freshFor) list();
    QList<AtspiAccessible*> out;
    if (const auto it = byPid_.find(pid); it != byPid_.end()) {
        for (const Ref<AtspiAccessible>& app : it->second)
            out.append(app.get());
    }
    return out;
}

QList<qint32> Applications::processes() {
    list();
    QList<qint32> out;
    for (const auto& [pid, applications] : byPid_)
        out.append(pid);
    return out;
}

void Applications::forget(qint32 pid) {
    byPid_.erase(pid);
    listed_.invalidate();
}

std::optional<qint32> Applications::processOf(AtspiAccessible* application) {
    // The unique bus name of an application never changes hands: its process
    // is asked once.
    const AtspiApplication* connection = application->parent.app;
    if (!connection || !connection->bus_name) return std::nullopt;
    const QByteArray name(connection->bus_name);
    if (const auto it = pidByBusName_.constFind(name); it != pidByBusName_.cend()) return it.value();
    const auto pid =
        session_.call([&](GError** e) { return atspi_accessible_get_process_id(application, e); });
    if (!pid) return std::nullopt;
    if (pidByBusName_.size() >= kMostApplications) pidByBusName_.clear();
    pidByBusName_.insert(name, qint32(*pid));
    return qint32(*pid);
}

void Applications::list() {
    listed_.start();
    std::unordered_map<qint32, std::vector<Ref<AtspiAccessible>>> found;
    const Ref<AtspiAccessible> desktop(atspi_get_desktop(0));
    if (!desktop) return;
    const auto count =
        session_.call([&](GError** e) { return atspi_accessible_get_child_count(desktop.get(), e); });
    if (!count) {
        listed_.invalidate();
        return;
    }
    for (int i = 0; i < std::min(*count, kMostApplications); ++i) {
        const auto child = session_.call(
            [&](GError** e) { return atspi_accessible_get_child_at_index(desktop.get(), i, e); });
        if (!child) {
            // Out of budget: keep what was known rather than half a list.
            if (!session_.isOpen()) {
                listed_.invalidate();
                return;
            }
            continue;
        }
        Ref<AtspiAccessible> app(*child);
        if (!app) continue;
        if (const auto pid = processOf(app.get())) found[*pid].push_back(std::move(app));
    }
    byPid_ = std::move(found);
}

} // namespace atspi
