#include "core/IgnoredApplications.h"

#include "core/Diagnostics.h"
#include "core/Settings.h"

#include <QHash>

#include <algorithm>
#include <mutex>
#include <optional>

namespace {

constexpr qsizetype cacheBound = 65;

// The ignored set, read once per process.
class Identifiers {
public:
    QSet<QString> value() {
        {
            std::lock_guard guard(lock_);
            if (value_) return *value_;
        }
        // Read outside the lock (it reads the settings file); the first to finish wins.
        const QSet<QString> read =
            IgnoredApplications::read(Diagnostics::arguments(), Settings::storedIgnoredApplications());
        std::lock_guard guard(lock_);
        if (!value_) value_ = read;
        return *value_;
    }

private:
    std::mutex lock_;
    std::optional<QSet<QString>> value_;
};

// Answers per process id, emptied whole when it reaches its bound.
class Cache {
public:
    std::optional<bool> value(qint32 pid) {
        std::lock_guard guard(lock_);
        const auto it = entries_.constFind(pid);
        if (it == entries_.cend()) return std::nullopt;
        return *it;
    }
    void store(qint32 pid, bool ignored) {
        std::lock_guard guard(lock_);
        if (entries_.size() >= cacheBound) entries_.clear();
        entries_.insert(pid, ignored);
    }

private:
    std::mutex lock_;
    QHash<qint32, bool> entries_;
};

Identifiers& box() {
    static Identifiers* instance = new Identifiers;
    return *instance;
}

Cache& cache() {
    static Cache* instance = new Cache;
    return *instance;
}

} // namespace

namespace IgnoredApplications {

QSet<QString> read(const QStringList& arguments, const QStringList& stored) {
    QSet<QString> identifiers;
    for (qsizetype i = 0; i + 1 < arguments.size(); ++i)
        if (arguments.at(i) == QLatin1String("--ignore")) identifiers.insert(arguments.at(i + 1));
    for (const QString& identifier : stored) identifiers.insert(identifier);
    return identifiers;
}

QString summary(const QSet<QString>& identifiers) {
    if (identifiers.isEmpty()) return QStringLiteral("none");
    QStringList sorted(identifiers.cbegin(), identifiers.cend());
    std::sort(sorted.begin(), sorted.end());
    return sorted.join(QLatin1String(", "));
}

QStringList identifiers() {
    const QSet<QString> set = box().value();
    QStringList sorted(set.cbegin(), set.cend());
    std::sort(sorted.begin(), sorted.end());
    return sorted;
}

QString summary() { return summary(box().value()); }

bool contains(qint32 pid, const Identify& identify) {
    const QSet<QString> ignored = box().value();
    if (ignored.isEmpty()) return false;
    if (const auto known = cache().value(pid)) return *known;

    // Asked outside the lock: identifying a process talks to the window system.
    bool answer = false;
    if (identify) {
        const QStringList names = identify(pid);
        answer =
            std::any_of(names.cbegin(), names.cend(), [&](const QString& n) { return ignored.contains(n); });
    }
    cache().store(pid, answer);
    return answer;
}

} // namespace IgnoredApplications
