#include "core/IgnoredApplications.h"

#include "core/BoundedCache.h"
#include "core/Diagnostics.h"
#include "core/Settings.h"

#include <algorithm>
#include <mutex>
#include <optional>

namespace {

constexpr qsizetype cacheBound = 65;

// The ignored set as read, and which reading of the stored list it came from.
struct Known {
    QSet<QString> identifiers;
    quint64 generation = 0;
};

// The ignored set, read on first use and again after the stored list changed.
class Identifiers {
public:
    Known value() {
        quint64 generation = 0;
        {
            std::lock_guard guard(lock_);
            if (value_) return {*value_, generation_};
            generation = generation_;
        }
        // Read outside the lock (it reads the settings file). The first to finish
        // wins, unless the list changed meanwhile: then the next caller reads again.
        const QSet<QString> read =
            IgnoredApplications::read(Diagnostics::arguments(), Settings::storedIgnoredApplications());
        std::lock_guard guard(lock_);
        if (generation != generation_) return {read, generation};
        if (!value_) value_ = read;
        return {*value_, generation};
    }
    void forget() {
        std::lock_guard guard(lock_);
        value_.reset();
        ++generation_;
    }

private:
    std::mutex lock_;
    std::optional<QSet<QString>> value_;
    quint64 generation_ = 0;
};

// Answers per process id, each with the generation of the set it was judged by:
// an answer judged by an older set (one a lookup stored while the list changed)
// is no answer.
struct Answer {
    bool ignored = false;
    quint64 generation = 0;
};
using Cache = BoundedCache<qint32, Answer>;

Cache& cache() {
    static Cache* instance = new Cache(cacheBound);
    return *instance;
}

Identifiers& box() {
    static Identifiers* instance = [] {
        auto* identifiers = new Identifiers;
        // Direct: the set is forgotten before the setter returns, so no lookup
        // after the change is judged by the old list.
        QObject::connect(
            Settings::notifier(), &Settings::Notifier::changed, Settings::notifier(),
            [identifiers](Settings::Change change) {
                if (change != Settings::Change::IgnoredApplications) return;
                identifiers->forget();
            },
            Qt::DirectConnection);
        return identifiers;
    }();
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
    const QSet<QString> set = box().value().identifiers;
    QStringList sorted(set.cbegin(), set.cend());
    std::sort(sorted.begin(), sorted.end());
    return sorted;
}

QString summary() { return summary(box().value().identifiers); }

bool contains(qint32 pid, const Identify& identify) {
    const Known known = box().value();
    const QSet<QString>& ignored = known.identifiers;
    if (ignored.isEmpty()) return false;
    const std::optional<Answer> cached = cache().value(pid);
    if (cached && cached->generation == known.generation) return cached->ignored;

    // Asked outside the lock: identifying a process talks to the window system.
    bool answer = false;
    if (identify) {
        const QStringList names = identify(pid);
        answer =
            std::any_of(names.cbegin(), names.cend(), [&](const QString& n) { return ignored.contains(n); });
    }
    cache().store(pid, Answer{answer, known.generation});
    return answer;
}

} // namespace IgnoredApplications
