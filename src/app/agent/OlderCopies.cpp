#include "app/agent/OlderCopies.h"

#include "app/cli/Modes.h"
#include "platform/proc/ProcProcessSource.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace OlderCopies {

namespace {

QStringList commandLine(const QString& processDir) {
    QFile file(processDir + QStringLiteral("/cmdline"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray raw = file.read(64 * 1024);
    QStringList arguments;
    for (const QByteArray& part : raw.split('\0'))
        arguments.append(QString::fromLocal8Bit(part));
    if (!arguments.isEmpty() && arguments.last().isEmpty()) arguments.removeLast(); // the final NUL
    return arguments;
}

} // namespace

QString displayOf(qint32 pid, const QString& procRoot) {
    QFile file(procRoot + QLatin1Char('/') + QString::number(pid) + QStringLiteral("/environ"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray environment = file.read(1024 * 1024);
    for (const QByteArray& entry : environment.split('\0')) {
        if (entry.startsWith("DISPLAY=")) return QString::fromLocal8Bit(entry.mid(8));
    }
    return {};
}

QList<qint32> find(const QString& procRoot, qint32 self, uint uid, const QString& display,
                   const IsAgent& isAgent) {
    QList<qint32> found;
    const QStringList entries = QDir(procRoot).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool number = false;
        const qint32 pid = entry.toInt(&number);
        if (!number || pid <= 0 || pid == self) continue;
        const QString dir = procRoot + QLatin1Char('/') + entry;
        if (QFileInfo(dir).ownerId() != uid) continue;
        if (!ProcProcessSource(procRoot).executableName(pid).startsWith(QStringLiteral("Vistel"))) continue;
        if (!isAgent(commandLine(dir))) continue;
        // One agent per display: another display's agent (another session, a
        // test's private X server) is not an older copy of this one.
        if (displayOf(pid, procRoot) != display) continue;
        found.append(pid);
    }
    return found;
}

void close() {
    const auto isAgent = [](const QStringList& arguments) {
        return Modes::choose(arguments) == Modes::Mode::Agent;
    };
    const QString display = qEnvironmentVariable("DISPLAY");
    for (const qint32 pid :
         find(QStringLiteral("/proc"), qint32(::getpid()), ::geteuid(), display, isAgent)) {
        ::kill(pid, SIGTERM);
    }
}

} // namespace OlderCopies
