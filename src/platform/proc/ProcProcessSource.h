#pragma once

#include "core/ProcessRoots.h"

#include <QByteArrayView>
#include <QString>
#include <optional>

// The process table and working directories as Linux publishes them under /proc.
class ProcProcessSource : public ProcessRoots::Source {
  public:
    // procRoot is "/proc" except in tests, which lay out a tree of their own.
    explicit ProcProcessSource(QString procRoot = QStringLiteral("/proc"));

    // Every process whose stat file could be read and parsed.
    ProcessRoots::ProcessTable processTable() const override;

    // The target of the cwd link. A folder that was deleted while a process sat
    // in it reads as empty: nothing can be found relative to it any more, and a
    // new folder at the old path is not the one the process printed paths from.
    QString workingDirectory(qint32 pid) const override;

    // The file name of the exe link (without the " (deleted)" the kernel adds
    // when the file was replaced since), else the comm file.
    QString executableName(qint32 pid) const override;

    struct Stat {
        qint32 pid = 0;
        qint32 parent = 0;
        qint32 group = 0;
        QString command;
        bool operator==(const Stat&) const = default;
    };

    // One /proc/<pid>/stat text: "pid (comm) state ppid pgrp ...". The command
    // may itself hold blanks and parentheses, so the fields are taken after the
    // last ')'. Absent for anything malformed.
    static std::optional<Stat> parseStat(QByteArrayView text);

  private:
    QString procRoot_;
};
