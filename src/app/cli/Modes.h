#pragma once

#include <QStringList>
#include <optional>

// The command-line modes. Each prints its findings on standard output and
// returns the exit status: 0 success, 1 nothing found or permission missing,
// 2 usage error.
namespace Modes {

// The mode the arguments ask for, in the order they are tested; Agent when none applies.
enum class Mode { Check, Codex, SelfTest, Roots, Resolve, Probe, Quit, Agent };
Mode choose(const QStringList& arguments);

// The four diagnostic header lines printed before any mode when verbose.
void printDebugHeader(const QStringList& arguments);

int check();
int codex();
int selfTest();
int roots(qint32 pid);
int resolve(const QStringList& arguments);
int probe(const QStringList& arguments);
// Asks the agent running for this user on this display to quit: 0 when it
// agreed, 1 when none runs or it did not answer.
int quit();

} // namespace Modes
