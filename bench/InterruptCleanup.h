#pragma once

// Leaves nothing behind when a benchmark is interrupted (Control-C, kill): the
// process groups it started are killed and the files and folders it made are
// removed. The work is done in a signal handler, so it uses only async-signal-safe
// calls on data registered beforehand; normal exits clean up through RAII instead.

#include <QFile>
#include <QString>
#include <cstring>
#include <signal.h>
#include <unistd.h>

namespace InterruptCleanup {

namespace detail {
constexpr int capacity = 16;
inline pid_t groups[capacity];
inline int groupCount = 0;
inline char paths[capacity][4096];
inline int pathCount = 0;

inline void onSignal(int signal) {
    for (int i = 0; i < groupCount; ++i)
        ::kill(-groups[i], SIGKILL);
    for (int i = pathCount - 1; i >= 0; --i)
        if (::unlink(paths[i]) != 0) ::rmdir(paths[i]);
    ::_exit(128 + signal);
}
} // namespace detail

// Call from the main thread before any other thread starts.
inline void install() {
    struct sigaction action {};
    action.sa_handler = detail::onSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

// A process group to kill on interruption.
inline void killGroup(pid_t group) {
    if (detail::groupCount < detail::capacity) detail::groups[detail::groupCount++] = group;
}

// A file, or a folder that will be empty once the later ones are gone: removed in
// reverse order of registration.
inline void removePath(const QString& path) {
    const QByteArray bytes = QFile::encodeName(path);
    if (detail::pathCount >= detail::capacity || bytes.size() >= 4096) return;
    std::memcpy(detail::paths[detail::pathCount], bytes.constData(), size_t(bytes.size()) + 1);
    ++detail::pathCount;
}

} // namespace InterruptCleanup
