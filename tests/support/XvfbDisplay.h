#pragma once

#include <QByteArray>
#include <QProcess>
#include <QStandardPaths>

// Starts a private Xvfb that picks a free display itself and names it on
// standard output (-displayfd), so tests never collide on a display number.
// The display (":N"), or empty when Xvfb is missing or named none.
inline QByteArray startXvfb(QProcess& xvfb) {
    const QString program = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (program.isEmpty()) return {};
    xvfb.start(program, {"-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp", "-noreset"});
    if (!xvfb.waitForStarted()) return {};
    while (!xvfb.canReadLine() && xvfb.waitForReadyRead(10000)) {
    }
    const QByteArray number = xvfb.readLine().trimmed();
    return number.isEmpty() ? QByteArray() : ":" + number;
}
