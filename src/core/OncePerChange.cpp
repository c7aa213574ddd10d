#include "core/OncePerChange.h"

bool OncePerChange::changed(const QString& kind, const QString& line) {
    auto it = last_.find(kind);
    if (it != last_.end() && *it == line) return false;
    if (line.isEmpty()) {
        last_.remove(kind);
        return false;
    }
    last_.insert(kind, line);
    return true;
}

void OncePerChange::forget() {
    last_.clear();
}
