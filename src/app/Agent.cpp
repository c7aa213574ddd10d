#include "app/Agent.h"

#include "core/Diagnostics.h"

#include <QApplication>

namespace Agent {

int run(QApplication&) {
    Diagnostics::print(QStringLiteral("agent: not available in this build yet"));
    return 1;
}

} // namespace Agent
