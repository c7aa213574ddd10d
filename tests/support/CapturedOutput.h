#pragma once

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <functional>
#include <unistd.h>

// What fn printed on standard output (Diagnostics writes there), captured at
// the file-descriptor level so that every writer in the process is caught.
inline QString stdoutOf(const std::function<void()>& fn) {
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    FILE* capture = std::tmpfile();
    if (saved < 0 || !capture) return QStringLiteral("<capture failed>");
    dup2(fileno(capture), STDOUT_FILENO);
    fn();
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    std::rewind(capture);
    QByteArray bytes;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, capture)) > 0;)
        bytes.append(buffer, qsizetype(n));
    std::fclose(capture);
    return QString::fromUtf8(bytes);
}
