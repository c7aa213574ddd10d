#pragma once

#include "platform/atspi/AtspiSession.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <unordered_map>
#include <vector>

// The applications registered on the accessibility bus, found by process id.
// Listing them costs a call per application, so answers are kept a few
// seconds (and "none" for a second: an application starting up registers late).
// Main thread only.
namespace atspi {

class Applications {
  public:
    explicit Applications(Session& session) : session_(session) {}

    // The accessible applications of the process (usually one). Calls go
    // through the session's conversation, which must be begun.
    QList<AtspiAccessible*> of(qint32 pid);

    // The processes with an application on the bus, listed afresh. Calls go
    // through the session's conversation, which must be begun.
    QList<qint32> processes();

    // Drops what is known of the process (its application went away).
    void forget(qint32 pid);

  private:
    std::optional<qint32> processOf(AtspiAccessible* application);
    void list();

    Session& session_;
    std::unordered_map<qint32, std::vector<Ref<AtspiAccessible>>> byPid_;
    QHash<QByteArray, qint32> pidByBusName_;
    QElapsedTimer listed_;
};

} // namespace atspi
