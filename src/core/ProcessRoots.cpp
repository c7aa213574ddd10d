#include "core/ProcessRoots.h"

#include "core/BoundedCache.h"

#include <QDir>
#include <QSet>

#include <algorithm>

namespace {

constexpr qsizetype maximumRoots = 16;
constexpr qsizetype cacheBound = 33;

bool isShell(const QString& command) {
    static const QSet<QString> shells = {
        QStringLiteral("zsh"),  QStringLiteral("bash"), QStringLiteral("fish"), QStringLiteral("sh"),
        QStringLiteral("dash"), QStringLiteral("ksh"),  QStringLiteral("tcsh"), QStringLiteral("csh"),
    };
    return shells.contains(command);
}

using Children = QHash<qint32, QList<qint32>>;

// Every descendant of pid, without pid itself. The visited set also keeps a
// table that changed while it was read (a reused pid forming a loop) finite.
QList<qint32> subtree(qint32 pid, const Children& children) {
    QList<qint32> found;
    QSet<qint32> visited;
    QList<qint32> stack{pid};
    while (!stack.isEmpty()) {
        const qint32 next = stack.takeLast();
        if (visited.contains(next)) continue;
        visited.insert(next);
        if (next != pid) found.append(next);
        stack.append(children.value(next));
    }
    return found;
}

// The topmost ancestor of pid below the first process. /proc is read file by
// file, not atomically, so a reused pid can make the parents loop: stop there.
qint32 topmostAncestor(qint32 pid, const ProcessRoots::ProcessTable& table) {
    qint32 top = pid;
    QSet<qint32> seen{pid};
    for (auto it = table.constFind(top); it != table.cend() && it->parent > 1; it = table.constFind(top)) {
        if (seen.contains(it->parent)) break;
        top = it->parent;
        seen.insert(top);
    }
    return top;
}

int rank(const ProcessRoots::ProcessEntry& entry) {
    if (!isShell(entry.command)) return 2;
    return entry.leadsItsGroup ? 0 : 1;
}

// Roots per process id.
using Cache = BoundedCache<qint32, QList<QUrl>>;

Cache& cache() {
    // Never destroyed: hover work on other threads may still use it at exit.
    static Cache* instance = new Cache(cacheBound);
    return *instance;
}

} // namespace

namespace ProcessRoots {

QList<QUrl> compute(qint32 pid, const Source& source) {
    const ProcessTable table = source.processTable();
    Children children;
    for (auto it = table.cbegin(); it != table.cend(); ++it) children[it->parent].append(it.key());

    QList<qint32> descendants = subtree(pid, children);
    if (descendants.isEmpty()) {
        // An application without children of its own (an editor whose terminals
        // run in helper processes): take the whole family under its top ancestor.
        const qint32 top = topmostAncestor(pid, table);
        if (top != pid) descendants = subtree(top, children);
    }

    auto rankOf = [&](qint32 p) {
        const auto it = table.constFind(p);
        return it == table.cend() ? 2 : rank(*it);
    };
    std::sort(descendants.begin(), descendants.end(), [&](qint32 a, qint32 b) {
        const int ra = rankOf(a), rb = rankOf(b);
        if (ra != rb) return ra < rb;
        return a > b; // pids grow with time: the newest process first
    });

    QList<QUrl> roots;
    QSet<QString> seen;
    for (const qint32 p : std::as_const(descendants)) {
        const QString cwd = source.workingDirectory(p);
        if (cwd.isEmpty()) continue;
        const QString path = QDir::cleanPath(cwd);
        if (path == QLatin1String("/") || !path.startsWith(QLatin1Char('/'))) continue;
        if (seen.contains(path)) continue;
        seen.insert(path);
        roots.append(QUrl::fromLocalFile(path + QLatin1Char('/')));
        if (roots.size() >= maximumRoots) break;
    }
    return roots;
}

std::optional<QList<QUrl>> cached(qint32 pid, double freshFor) { return cache().value(pid, freshFor); }

void store(const QList<QUrl>& roots, qint32 pid) { cache().store(pid, roots); }

QList<QUrl> rootsFor(qint32 pid, const Source& source) {
    if (auto roots = cached(pid, 2.0)) return *roots;
    QList<QUrl> roots = compute(pid, source);
    store(roots, pid);
    return roots;
}

} // namespace ProcessRoots
