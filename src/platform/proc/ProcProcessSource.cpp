#include "platform/proc/ProcProcessSource.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <filesystem>
#include <system_error>

namespace {

std::optional<qint32> parsePid(QByteArrayView digits) {
    if (digits.isEmpty()) return std::nullopt;
    bool ok = false;
    const int value = digits.toInt(&ok);
    if (!ok) return std::nullopt;
    return value;
}

bool isAllDigits(const QString& name) {
    if (name.isEmpty()) return false;
    for (const QChar c : name)
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
    return true;
}

const QLatin1String deletedSuffix(" (deleted)");

} // namespace

ProcProcessSource::ProcProcessSource(QString procRoot) : procRoot_(std::move(procRoot)) {}

std::optional<ProcProcessSource::Stat> ProcProcessSource::parseStat(QByteArrayView text) {
    const qsizetype open = text.indexOf('(');
    const qsizetype close = text.lastIndexOf(')');
    if (open < 1 || close < open) return std::nullopt;

    const auto pid = parsePid(text.first(open).trimmed());
    if (!pid || *pid < 1) return std::nullopt;

    // After the command: state, ppid, pgrp, and more we do not need.
    const QList<QByteArray> fields = text.sliced(close + 1).toByteArray().simplified().split(' ');
    if (fields.size() < 3) return std::nullopt;
    const auto parent = parsePid(fields.at(1));
    const auto group = parsePid(fields.at(2));
    if (!parent || !group) return std::nullopt;

    Stat stat;
    stat.pid = *pid;
    stat.parent = *parent;
    stat.group = *group;
    stat.command = QString::fromUtf8(text.sliced(open + 1, close - open - 1));
    return stat;
}

ProcessRoots::ProcessTable ProcProcessSource::processTable() const {
    ProcessRoots::ProcessTable table;
    const QStringList names = QDir(procRoot_).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        if (!isAllDigits(name)) continue;
        QFile file(procRoot_ + QLatin1Char('/') + name + QLatin1String("/stat"));
        if (!file.open(QIODevice::ReadOnly)) continue; // the process ended meanwhile
        const auto stat = parseStat(file.readAll());
        if (!stat) continue;
        table.insert(stat->pid,
                     ProcessRoots::ProcessEntry{stat->parent, stat->command, stat->pid == stat->group});
    }
    return table;
}

QString ProcProcessSource::workingDirectory(qint32 pid) const {
    if (pid < 1) return {};
    const QString link = procRoot_ + QLatin1Char('/') + QString::number(pid) + QLatin1String("/cwd");
    std::error_code error;
    const std::filesystem::path target =
        std::filesystem::read_symlink(QFile::encodeName(link).toStdString(), error);
    if (error) return {}; // gone, or another user's process
    const QString path = QFile::decodeName(QByteArray::fromStdString(target.native()));
    if (!path.startsWith(QLatin1Char('/'))) return {};
    // The kernel marks a removed folder by appending " (deleted)"; a folder
    // whose real name ends that way still exists under the full name.
    if (path.endsWith(deletedSuffix) && !QFileInfo(path).isDir()) return {};
    return path;
}

QString ProcProcessSource::executableName(qint32 pid) const {
    const QString dir = procRoot_ + QLatin1Char('/') + QString::number(pid);
    const QString target = QFile::symLinkTarget(dir + QStringLiteral("/exe"));
    if (!target.isEmpty()) {
        QString name = QFileInfo(target).fileName();
        // The kernel marks an executable replaced on disk since it started.
        if (name.endsWith(QStringLiteral(" (deleted)"))) name.chop(10);
        return name;
    }
    QFile comm(dir + QStringLiteral("/comm"));
    if (!comm.open(QIODevice::ReadOnly)) return {};
    return QString::fromLocal8Bit(comm.read(256)).trimmed();
}
