#include "app/agent/QuitSignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

// Written once before the handlers are installed; the handler may only make
// async-signal-safe calls, so it writes to this pipe and nothing else.
int quitPipe[2] = {-1, -1};

// The event loop usually ends the program at once; the watchdog ends it when
// the loop or the teardown after it waits on a worker (a recognition, a
// decode, a disk walk) or is stuck itself.
constexpr suseconds_t kGraceMicroseconds = 700'000;

void onWatchdog(int) {
    ::_exit(0);
}

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(quitPipe[1], &byte, 1);
    const itimerval grace{{0, 0}, {0, kGraceMicroseconds}};
    ::setitimer(ITIMER_REAL, &grace, nullptr);
}

} // namespace

QuitSignals::QuitSignals(QObject* parent) : QObject(parent) {
    if (quitPipe[0] < 0 && ::pipe2(quitPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    notifier_ = new QSocketNotifier(quitPipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [] {
        char buffer[16];
        while (::read(quitPipe[0], buffer, sizeof buffer) > 0) {
        }
        QCoreApplication::exit(0);
    });
    struct sigaction watchdog = {};
    watchdog.sa_handler = onWatchdog;
    sigemptyset(&watchdog.sa_mask);
    sigaction(SIGALRM, &watchdog, nullptr); // kept for good: it fires only after a quit signal
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
}

QuitSignals::~QuitSignals() {
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
}
