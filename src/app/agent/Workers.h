#pragma once

class QThreadPool;

// Where the agent's slow work runs: never on the GUI thread. Work is started
// with QtConcurrent::run on one of these pools and its answer comes back to
// the main thread through a QFutureWatcher, where it is checked again (key
// still held, same request, pointer still on the line) before it may change
// the card. Neither pool is destroyed: a worker stuck in a hung read must not
// hold up the program's exit.
namespace Workers {

// Screen readings: two threads, kept for good, because each keeps a warmed
// recogniser; the second is there for when an abandoned reading still holds
// the first.
QThreadPool* reading();

// Everything else that waits on the disk or the CPU: decoding thumbnails,
// session records, permission checks.
QThreadPool* loading();

} // namespace Workers
